#include "RemoteListing.h"

namespace tidewell {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> ListingEntryName(std::string_view line)
{
    // Field 1, the attributes, ends at the first space.
    std::size_t pos = line.find(' ');
    if (pos == std::string_view::npos)
        return std::nullopt;
    if (equalsNoCase(line.substr(0, pos), "total"))
        return std::nullopt;
    // Fields 2 to 8: link count, owner, group, size, month, day, time or year.
    for (int field = 2; field <= 8; ++field) {
        pos = line.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos)
            return std::nullopt;
        pos = line.find(' ', pos);
        if (pos == std::string_view::npos)
            return std::nullopt;
    }
    pos = line.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos)
        return std::nullopt;
    return std::string(line.substr(pos));
}

bool PlainFileName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxRemoteNameBytes || name == "." || name == "..")
        return false;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\')
            return false;
    }
    return true;
}

}  // namespace tidewell
