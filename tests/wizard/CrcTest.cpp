#include "Crc.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <zlib.h>

namespace {

TEST(Crc, CheckValueAndEmptyAndUnreadableFiles)
{
    kavo::test::IsolatedEnv env;
    std::uint32_t crc = 1;
    EXPECT_EQ(FileCRC32(env.writeFile("digits", "123456789"), crc), 0xCBF43926u);
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(static_cast<std::int32_t>(crc), -873187034);

    crc = 1;
    EXPECT_EQ(FileCRC32(env.writeFile("empty", ""), crc), 0u);
    EXPECT_EQ(crc, 0u);
    crc = 1;
    EXPECT_EQ(FileCRC32(env.root() + "/missing", crc), 0u);
    EXPECT_EQ(crc, 0u);
    crc = 1;
    EXPECT_EQ(FileCRC32(env.root(), crc), 0u) << "a folder";
    EXPECT_EQ(crc, 0u);
}

TEST(Crc, UpdateAppliesNoInitialValueOrComplement)
{
    EXPECT_EQ(UpdateCRC32(0xFFFFFFFFu, "", 0), 0xFFFFFFFFu);
    EXPECT_EQ(UpdateCRC32(0, "\0", 1), 0u);
    // Chained blocks give the same as one block.
    const char* text = "123456789";
    std::uint32_t part = UpdateCRC32(0xFFFFFFFFu, text, 4);
    EXPECT_EQ(~UpdateCRC32(part, text + 4, 5), 0xCBF43926u);
}

TEST(Crc, AgreesWithZlibOnRandomData)
{
    kavo::test::IsolatedEnv env;
    std::mt19937 rng(1234);
    for (std::size_t size : {1u, 2u, 3u, 255u, 256u, 4095u, 65537u, 188416u, 1000003u}) {
        std::string data(size, '\0');
        for (auto& c : data)
            c = static_cast<char>(rng());
        uLong expected = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(size));
        EXPECT_EQ(~UpdateCRC32(0xFFFFFFFFu, data.data(), size), expected) << size;
        std::uint32_t crc = 0;
        EXPECT_EQ(FileCRC32(env.writeFile("r" + std::to_string(size), data), crc), expected) << size;
    }
}

}  // namespace
