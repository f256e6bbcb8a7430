// The registry API over the Win32 backend, run under wine: the behaviour
// the programs rely on, as the POSIX store gives it.
#include "Registry.h"
#include "SettingsKey.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kavo;

namespace {

constexpr const char* kTestKey = "Software\\KAVO\\RegistryWin32Test";

class RegistryWin32 : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear()
    {
        if (auto key = RegistryKey::open(Hive::CurrentUser, kTestKey, Access::All, false))
            for (const auto& name : key->valueNames())
                key->deleteValue(name);
    }
    static std::unique_ptr<RegistryKey> key(Access access = Access::All, bool create = true)
    {
        return RegistryKey::open(Hive::CurrentUser, kTestKey, access, create);
    }
};

TEST_F(RegistryWin32, StringsKeepTheirExactBytes)
{
    auto k = key();
    ASSERT_TRUE(k);
    ASSERT_TRUE(k->writeString("IpAddress", "10.010.0.1"));
    ASSERT_TRUE(k->writeString("LastUpdate", "1", 4));   // as Flashpost writes it
    ASSERT_TRUE(k->writeString("Cut", "abcdef", 3));
    EXPECT_EQ(k->readRaw("IpAddress")->data,
              (std::vector<std::uint8_t>{'1', '0', '.', '0', '1', '0', '.', '0', '.', '1', 0}));
    EXPECT_EQ(k->readRaw("LastUpdate")->type, RegSz);
    EXPECT_EQ(k->readRaw("LastUpdate")->data, (std::vector<std::uint8_t>{'1', 0, 0, 0}));
    EXPECT_EQ(k->readString("LastUpdate"), "1");
    EXPECT_EQ(k->readString("Cut"), "abc");
    EXPECT_EQ(k->readString("Missing"), "");
    EXPECT_FALSE(k->readRaw("Missing"));
    // In the registry's own order here.
    auto names = k->valueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Cut", "IpAddress", "LastUpdate"}));
}

TEST_F(RegistryWin32, NamesCompareWithoutRegardToCase)
{
    auto k = key();
    ASSERT_TRUE(k);
    ASSERT_TRUE(k->writeString("ApIpAddress", "10.0.0.2"));
    EXPECT_EQ(k->readString("apipaddress"), "10.0.0.2");
    EXPECT_TRUE(k->deleteValue("APIPADDRESS"));
    EXPECT_FALSE(k->readRaw("ApIpAddress"));
    EXPECT_TRUE(k->deleteValue("ApIpAddress")) << "a missing value is not a failure";
}

TEST_F(RegistryWin32, AnotherTypeIsAnErrorForReadString)
{
    auto k = key();
    ASSERT_TRUE(k);
    ASSERT_TRUE(k->writeRaw("Count", {RegDword, {7, 0, 0, 0}}));
    EXPECT_EQ(k->readRaw("Count")->type, RegDword);
    try {
        k->readString("Count");
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Count'");
    }
}

TEST_F(RegistryWin32, AKeyOpenedForReadingWritesNothing)
{
    EXPECT_FALSE(RegistryKey::open(Hive::CurrentUser, "Software\\KAVO\\NoSuchKey", Access::Read, false));
    auto reader = key(Access::Read, true);  // created, as on Windows
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->writable());
    EXPECT_FALSE(reader->writeString("IpAddress", "10.0.0.1"));
    EXPECT_FALSE(key()->readRaw("IpAddress"));
    ASSERT_TRUE(key()->writeString("IpAddress", "10.0.0.1"));
    EXPECT_FALSE(reader->deleteValue("IpAddress"));
    EXPECT_EQ(reader->readString("IpAddress"), "10.0.0.1");
}

TEST_F(RegistryWin32, TheRunValuesAreDeletedTogether)
{
    {
        auto run = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::All, true);
        ASSERT_TRUE(run);
        for (const char* name : {settings::kApIpAddress, settings::kIpAddress, settings::kApVersion,
                                 settings::kLastUpdate})
            ASSERT_TRUE(run->writeString(name, "x"));
    }
    settings::deleteRunValues();
    auto run = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::Read, false);
    ASSERT_TRUE(run);
    EXPECT_TRUE(run->valueNames().empty());
}

}  // namespace
