#include "Crc.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto kTable = makeTable();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du);

}  // namespace

std::uint32_t UpdateCRC32(std::uint32_t crc, const void* data, std::size_t length)
{
    auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFF];
    return crc;
}

std::uint32_t FileCRC32(const std::string& fileName, std::uint32_t& crc)
{
    crc = 0;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return 0;
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f)
        return 0;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0) {
        std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
        if (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size())
            crc = ~UpdateCRC32(0xFFFFFFFFu, buffer.data(), buffer.size());
    }
    std::fclose(f);
    return crc;
}
