#include "Crc.h"

#include "WholeFile.h"

#include <array>
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

std::optional<std::uint32_t> ReadableFileCRC32(const std::string& fileName)
{
    std::vector<unsigned char> data;
    if (kavo::readWholeFile(fileName, data) != kavo::WholeFile::Read)
        return std::nullopt;
    // No data: the standard's value 0.
    if (data.empty())
        return 0u;
    return ~UpdateCRC32(0xFFFFFFFFu, data.data(), data.size());
}

std::uint32_t FileCRC32(const std::string& fileName, std::uint32_t& crc)
{
    crc = ReadableFileCRC32(fileName).value_or(0u);
    return crc;
}
