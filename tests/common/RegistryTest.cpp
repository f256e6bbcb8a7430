#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace kavo;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

class RegistryTest : public ::testing::Test {
protected:
    test::IsolatedEnv env;
    std::unique_ptr<RegistryKey> userKey(bool create = true, Access access = Access::All)
    {
        return RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, access, create);
    }
};

TEST_F(RegistryTest, StoreIsCreatedPrivateWithTheSchema)
{
    ASSERT_TRUE(userKey());
    struct stat st;
    ASSERT_EQ(::stat(env.userStore().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(fs::path(env.userStore()).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(env.userStore().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st2 = nullptr;
    sqlite3_prepare_v2(db, "SELECT path FROM keys ORDER BY path", -1, &st2, nullptr);
    std::vector<std::string> keys;
    while (sqlite3_step(st2) == SQLITE_ROW)
        keys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st2, 0)));
    sqlite3_finalize(st2);
    sqlite3_close(db);
    EXPECT_EQ(keys, (std::vector<std::string>{"Software", "Software\\KAVO", "Software\\KAVO\\Tidewell"}));
}

TEST_F(RegistryTest, RoundTripsKeepExactBytesAndTypes)
{
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::size_t> size;
        std::vector<std::uint8_t> stored;
        std::string readBack;
    };
    const Case cases[] = {
        {"ApIpAddress", "10.0.0.2,10.0.0.3", std::nullopt, bytes(std::string("10.0.0.2,10.0.0.3\0", 18)), "10.0.0.2,10.0.0.3"},
        {"ApVersion", "", std::nullopt, {0}, ""},
        {"LastUpdate", "1", 4, {'1', 0, 0, 0}, "1"},
        {"Cut", "abcdef", 3, bytes("abc"), "abc"},
        {"High", "\xe9t\xe9", std::nullopt, {0xe9, 't', 0xe9, 0}, "\xe9t\xe9"},
    };
    {
        auto key = userKey();
        ASSERT_TRUE(key);
        for (const auto& c : cases)
            ASSERT_TRUE(key->writeString(c.name, c.text, c.size)) << c.name;
    }
    auto key = userKey(false, Access::Read);
    ASSERT_TRUE(key);
    for (const auto& c : cases) {
        auto raw = key->readRaw(c.name);
        ASSERT_TRUE(raw) << c.name;
        EXPECT_EQ(raw->type, RegSz) << c.name;
        EXPECT_EQ(raw->data, c.stored) << c.name;
        EXPECT_EQ(key->readString(c.name), c.readBack) << c.name;
    }
}

TEST_F(RegistryTest, AbsentKeysAndValues)
{
    EXPECT_FALSE(userKey(false)) << "a missing key opened without create";
    EXPECT_FALSE(fs::exists(env.userStore())) << "a failed open must not create the store";
    auto key = userKey();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("Nothing"), "");
    EXPECT_FALSE(key->readRaw("Nothing"));
    EXPECT_TRUE(key->deleteValue("Nothing"));
    EXPECT_FALSE(RegistryKey::open(Hive::CurrentUser, "Software\\KAVO\\Other", Access::Read, false));
    // Created for reading: the key exists afterwards, but this handle writes nothing.
    auto readKey = RegistryKey::open(Hive::CurrentUser, "Software\\KAVO\\Other", Access::Read, true);
    ASSERT_TRUE(readKey);
    EXPECT_FALSE(readKey->writeString("x", "y"));
    EXPECT_TRUE(RegistryKey::open(Hive::CurrentUser, "Software\\KAVO\\Other", Access::Read, false));
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase)
{
    {
        auto key = userKey();
        key->writeString("IpAddress", "10.0.0.1");
        key->writeString("IPADDRESS", "10.0.0.9");
    }
    auto key = RegistryKey::open(Hive::CurrentUser, "software\\kavo\\TIDEWELL", Access::All, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("ipaddress"), "10.0.0.9");
    EXPECT_EQ(key->valueNames(), std::vector<std::string>{"IpAddress"});
    EXPECT_TRUE(key->deleteValue("IPAddress"));
    EXPECT_FALSE(key->readRaw("IpAddress"));
}

TEST_F(RegistryTest, ReadStringOfAnotherTypeThrowsTheTypeError)
{
    auto key = userKey();
    ASSERT_TRUE(key->writeRaw("ApIpAddress", {RegDword, {1, 0, 0, 0}}));
    try {
        key->readString("ApIpAddress");
        FAIL() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'ApIpAddress'");
    }
    auto raw = key->readRaw("ApIpAddress");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, RegDword);
    EXPECT_EQ(raw->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(RegistryTest, ReadAccessKeyRefusesChanges)
{
    userKey()->writeString("IpAddress", "10.0.0.1");
    auto key = userKey(false, Access::Read);
    EXPECT_FALSE(key->writeString("IpAddress", "x"));
    EXPECT_FALSE(key->deleteValue("IpAddress"));
    EXPECT_EQ(key->readString("IpAddress"), "10.0.0.1");
}

TEST_F(RegistryTest, LocalMachineIsReadOnly)
{
    const char* kestrel = settings::kKestrelKeyPath;
    // No store: every key absent, and nothing is created.
    EXPECT_FALSE(RegistryKey::open(Hive::LocalMachine, kestrel, Access::Read, false));
    EXPECT_FALSE(RegistryKey::open(Hive::LocalMachine, kestrel, Access::All, true));
    EXPECT_FALSE(fs::exists(env.machineStore()));

    // A store prepared by an installer is read, never written.
    {
        auto seed = RegistryKey::openStore(env.machineStore(), kestrel, Access::All, true, false);
        ASSERT_TRUE(seed);
        seed->writeString(settings::kAppPath, "C:\\Program Files\\KAVO\\");
    }
    ::chmod(env.machineStore().c_str(), 0444);
    auto key = RegistryKey::open(Hive::LocalMachine, kestrel, Access::Read, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString(settings::kAppPath), "C:\\Program Files\\KAVO\\");
    EXPECT_FALSE(key->writeString(settings::kAppPath, "x"));
    EXPECT_FALSE(RegistryKey::open(Hive::LocalMachine, kestrel, Access::All, false));
    EXPECT_FALSE(RegistryKey::open(Hive::LocalMachine, "Software\\KAVO\\New", Access::Read, true));
}

TEST_F(RegistryTest, ACorruptStoreIsAMissingKeyAndIsNeverOverwritten)
{
    std::string garbage(4096, 'x');
    env.writeFile("config/KAVO/registry.db", garbage);
    EXPECT_FALSE(userKey(true));
    EXPECT_FALSE(userKey(false, Access::Read));
    settings::deleteRunValues();  // must not throw or write
    EXPECT_EQ(test::readFile(env.userStore()), garbage);
}

TEST_F(RegistryTest, DeleteRunValuesRemovesTheFourAndKeepsTheRest)
{
    {
        auto key = userKey();
        for (const char* n : {settings::kApIpAddress, settings::kApVersion, settings::kIpAddress,
                              settings::kLastUpdate, settings::kLastUpdateVersion,
                              settings::kProxyEnable, settings::kProxyAddr, settings::kProxyPort})
            key->writeString(n, "v");
    }
    settings::deleteRunValues();
    auto key = userKey(false);
    EXPECT_EQ(key->valueNames(), (std::vector<std::string>{settings::kLastUpdateVersion,
                                                            settings::kProxyEnable,
                                                            settings::kProxyAddr,
                                                            settings::kProxyPort}));
}

TEST_F(RegistryTest, DeleteRunValuesCreatesAMissingKey)
{
    settings::deleteRunValues();
    EXPECT_TRUE(userKey(false));
}

}  // namespace
