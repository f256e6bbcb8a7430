#include "FirmwareList.h"

#include <cctype>
#include <climits>
#include <vector>

namespace kavo::fwlist {

bool readLine(std::FILE* file, std::string& line)
{
    line.clear();
    int c;
    while (line.size() < 255 && (c = std::fgetc(file)) != EOF) {
        if (c == '\r') {
            int next = std::fgetc(file);
            if (next == '\n') {
                line.push_back('\n');
                return true;
            }
            if (next != EOF)
                std::ungetc(next, file);
            line.push_back('\r');
            continue;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            return true;
    }
    return !line.empty();
}

namespace {

bool isSep(char c) { return c == '/' || c == '\\'; }

// Checks a relative name and gives it with the platform's separators.
PathStatus normaliseName(const std::string& name, std::string& out)
{
    if (name.empty())
        return PathStatus::EmptyName;
    // A NUL would end the name early for every reader after us ("..\0x"
    // would pass the ".." test and name the folder's parent).
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return PathStatus::ControlCharacter;
    if (isSep(name[0]))
        return PathStatus::LeavesFolder;
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return PathStatus::LeavesFolder;
    std::string part;
    // ".." and, since Windows trims trailing dots and blanks, any part made
    // only of dots and blanks with two dots or more.
    auto partOk = [&part] {
        int dots = 0;
        for (char c : part) {
            if (c == '.')
                ++dots;
            else if (c != ' ')
                return true;
        }
        return dots < 2;
    };
    out.clear();
    for (char c : name) {
        if (isSep(c)) {
            if (!partOk())
                return PathStatus::LeavesFolder;
            part.clear();
#ifdef _WIN32
            out.push_back('\\');
#else
            out.push_back('/');
#endif
        } else {
            part.push_back(c);
            out.push_back(c);
        }
    }
    if (!partOk())
        return PathStatus::LeavesFolder;
    return PathStatus::Ok;
}

FirmwarePath build(const std::string& tempFolder, const std::string& line, std::size_t p,
                   std::size_t maxPath)
{
    FirmwarePath r;
    if (p == 0) {
        r.status = PathStatus::NoName;
        return r;
    }
    std::string name;
    r.status = normaliseName(line.substr(0, p - 1), name);
    if (r.status != PathStatus::Ok)
        return r;
    if (tempFolder.size() + name.size() > maxPath) {
        r.status = PathStatus::TooLong;
        return r;
    }
    r.path = tempFolder + name;
    return r;
}

}  // namespace

FirmwarePath wizardFirmwarePath(const std::string& tempFolder, const std::string& line,
                                std::size_t maxPath)
{
    std::size_t p = line.find('$');
    if (p == std::string::npos)
        return {PathStatus::NoMarker, {}};
    return build(tempFolder, line, p, maxPath);
}

FirmwarePath uploaderFirmwarePath(const std::string& tempFolder, const std::string& line,
                                  std::size_t maxPath)
{
    std::size_t p = line.find('$');
    if (p == std::string::npos)
        p = line.size();
    return build(tempFolder, line, p, maxPath);
}

std::int32_t statedValue(const std::string& line)
{
    std::size_t last = line.rfind('$');
    if (last == std::string::npos)
        return 0;
    std::size_t i = last + 1;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    long long value = 0;
    bool any = false;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        any = true;
        if (value <= 1LL << 33)
            value = value * 10 + (line[i] - '0');
    }
    if (!any)
        return 0;
    if (negative)
        value = -value;
    if (value < INT32_MIN)
        return INT32_MIN;
    if (value > INT32_MAX)
        return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

}  // namespace kavo::fwlist
