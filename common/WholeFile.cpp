#include "WholeFile.h"

#include <cstdio>
#include <filesystem>

namespace kavo {

WholeFile readWholeFile(const std::string& path, std::vector<unsigned char>& data, std::size_t limit)
{
    data.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec))
        return WholeFile::CannotRead;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return WholeFile::CannotRead;
    WholeFile result = WholeFile::Read;
    unsigned char chunk[65536];
    for (;;) {
        std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (n > limit - data.size()) {
            result = WholeFile::TooLarge;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            if (std::ferror(f))
                result = WholeFile::CannotRead;
            break;
        }
    }
    std::fclose(f);
    if (result != WholeFile::Read)
        data.clear();
    return result;
}

}  // namespace kavo
