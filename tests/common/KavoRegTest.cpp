// kavo-reg from a shell: the output of reg.exe, exit codes, and the store
// under concurrent and killed writers.
#include "ProcessRunner.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>

using namespace kavo;
using test::runProgram;

extern char** environ;

namespace {

const std::string kKey = "HKCU\\Software\\KAVO\\Tidewell";

std::string reg() { return test::binDir() + "/kavo-reg"; }

class KavoRegTest : public ::testing::Test {
protected:
    test::IsolatedEnv env;
};

TEST_F(KavoRegTest, QueryShowsWhatTheProgramsWroteLikeRegQuery)
{
    {
        auto key = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::All, true);
        key->writeString("ApIpAddress", "10.0.0.2,10.0.0.3");
        key->writeString("LastUpdate", "1", 4);
        key->writeRaw("Flags", {RegBinary, {0xde, 0xad}});
    }
    auto all = runProgram(reg(), {"query", kKey});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out,
              "\nHKEY_CURRENT_USER\\Software\\KAVO\\Tidewell\n"
              "    ApIpAddress    REG_SZ    10.0.0.2,10.0.0.3\n"
              "    LastUpdate    REG_SZ    1\n"
              "    Flags    REG_BINARY    DEAD\n\n");

    auto raw = runProgram(reg(), {"query", "hkcu\\software\\kavo\\tidewell", "/v", "lastupdate", "/raw"});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out, "\nHKEY_CURRENT_USER\\software\\kavo\\tidewell\n    LastUpdate    1    31000000\n\n");
}

TEST_F(KavoRegTest, AddAndDelete)
{
    auto added = runProgram(reg(), {"add", kKey, "/v", "IpAddress", "/t", "Reg_Sz", "/d", "10.010.0.1"});
    EXPECT_EQ(added.exitCode, 0) << added.err;
    auto key = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::Read, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readRaw("IpAddress")->data,
              (std::vector<std::uint8_t>{'1', '0', '.', '0', '1', '0', '.', '0', '.', '1', 0}));

    EXPECT_EQ(runProgram(reg(), {"add", kKey, "/v", "IpAddress", "/d", "x"}).exitCode, 1)
        << "an existing value needs /f";
    EXPECT_EQ(runProgram(reg(), {"add", kKey, "/v", "IpAddress", "/d", "x", "/f"}).exitCode, 0);
    // Type names in any case, as reg.exe takes them.
    EXPECT_EQ(runProgram(reg(), {"add", kKey, "/v", "Count", "/t", "reg_dword", "/d", "7"}).exitCode, 0);
    EXPECT_EQ(key->readRaw("Count")->data, (std::vector<std::uint8_t>{7, 0, 0, 0}));

    EXPECT_EQ(runProgram(reg(), {"delete", kKey, "/v", "IpAddress", "/f"}).exitCode, 0);
    EXPECT_FALSE(key->readRaw("IpAddress"));
}

TEST_F(KavoRegTest, ErrorsAndExitCodes)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* errText;
    };
    const Case cases[] = {
        {{"query", kKey}, 1, "unable to find"},
        {{"delete", kKey, "/v", "Nothing"}, 1, "unable to find"},
        {{"add", "HKLM\\Software\\KAVO\\KAVO Kestrel", "/v", "AppPath", "/d", "x"}, 1, "Access is denied"},
        {{}, 2, "Usage"},
        {{"frob", kKey}, 2, "unknown operation"},
        {{"query", "HKXX\\Software"}, 2, "a key such as"},
        {{"query", "HKCU"}, 2, "a key such as"},
        {{"add", kKey, "/v", "A"}, 2, "/d DATA"},
        {{"add", kKey, "/d", "x"}, 2, "/v NAME"},
        {{"add", kKey, "/v", "A", "/t", "REG_DWORD", "/d", "12x"}, 2, "invalid type or data"},
        {{"add", kKey, "/v", "A", "/t", "REG_NOPE", "/d", "1"}, 2, "invalid type or data"},
        {{"query", kKey, "/v"}, 2, "invalid option"},
        {{"query", kKey, "/zz"}, 2, "invalid option"},
    };
    for (const auto& c : cases) {
        auto r = runProgram(reg(), c.args);
        std::string what;
        for (const auto& a : c.args)
            what += a + " ";
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_NE(r.err.find(c.errText), std::string::npos) << what << "\n" << r.err;
    }
    runProgram(reg(), {"add", kKey, "/v", "A", "/d", "1"});
    auto missing = runProgram(reg(), {"query", kKey, "/v", "B"});
    EXPECT_EQ(missing.exitCode, 1);
}

TEST_F(KavoRegTest, TwoConcurrentWritersLoseNothing)
{
    auto loop = [&](const std::string& prefix) {
        return "for i in $(seq 1 500); do \"" + reg() + "\" add '" + kKey + "' /v " + prefix +
               "$i /d $i >/dev/null || exit 1; done";
    };
    auto a = std::async(std::launch::async, [&] { return runProgram("bash", {"-c", loop("A")}, 300000); });
    auto b = std::async(std::launch::async, [&] { return runProgram("bash", {"-c", loop("B")}, 300000); });
    EXPECT_EQ(a.get().exitCode, 0);
    EXPECT_EQ(b.get().exitCode, 0);
    auto key = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::Read, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->valueNames().size(), 1000u);
    for (int i = 1; i <= 500; ++i) {
        ASSERT_EQ(key->readString("A" + std::to_string(i)), std::to_string(i));
        ASSERT_EQ(key->readString("B" + std::to_string(i)), std::to_string(i));
    }
}

TEST_F(KavoRegTest, AWriterKilledMidWriteLeavesTheOldOrTheNewValue)
{
    const std::string oldValue(100000, 'o'), newValue(100000, 'n');
    {
        auto key = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::All, true);
        key->writeString("Big", oldValue);
    }
    std::mt19937 rng(42);
    std::string prog = reg();
    int sawNew = 0;
    for (int round = 0; round < 40; ++round) {
        const std::string& data = round % 2 ? oldValue : newValue;
        std::vector<std::string> args = {prog, "add", kKey, "/v", "Big", "/d", data, "/f"};
        std::vector<char*> argv;
        for (auto& s : args)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        pid_t pid;
        ASSERT_EQ(::posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 6000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(env.userStore().c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        sqlite3_close(db);

        auto key = RegistryKey::open(Hive::CurrentUser, settings::kKeyPath, Access::Read, false);
        ASSERT_TRUE(key) << "round " << round;
        std::string value = key->readString("Big");
        ASSERT_TRUE(value == oldValue || value == newValue) << "round " << round;
        sawNew += value == newValue;
    }
    RecordProperty("rounds_with_new_value", sawNew);
}

}  // namespace
