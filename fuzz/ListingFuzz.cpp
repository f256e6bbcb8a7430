// Fuzz target of the listing line rule: the entry name of any line is the
// line's own tail, never empty and never starting with a blank; a name the
// plain-name rule accepts can only ever name a file directly in a folder.
#include "RemoteListing.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(bytes), size);
    if (auto name = tidewell::ListingEntryName(line)) {
        if (name->empty() || name->front() == ' ' || name->size() > line.size() ||
            line.substr(line.size() - name->size()) != *name)
            std::abort();
    }
    if (tidewell::PlainFileName(line)) {
        if (line.empty() || line.size() > tidewell::kMaxRemoteNameBytes || line == "." || line == ".." ||
            line.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos)
            std::abort();
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                std::abort();
    }
    return 0;
}
