#include "FakeServices.h"
#include "Platform.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

using namespace kavo;
using namespace std::chrono;

namespace {

std::string script(test::IsolatedEnv& env, const std::string& name, const std::string& body)
{
    std::string path = env.writeFile(name, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(Platform, TempFolderEndsWithASeparator)
{
    test::IsolatedEnv env;
    EXPECT_EQ(platform::tempFolder(), env.tempFolder());
    ::unsetenv("TMPDIR");
    // /tmp is everyone's: a folder of this user's below it.
    const std::string own = "/tmp/kavo-" + std::to_string(::geteuid()) + "/";
    EXPECT_EQ(platform::tempFolder(), own);
}

// A temporary folder that others may write to is not used directly: the
// wizard and Flashpost agree on a private folder below it, and refuse one
// that someone else made or that is a link.
TEST(Platform, ASharedTemporaryFolderGivesAPrivateOneBelowIt)
{
    test::IsolatedEnv env;
    const std::string shared = env.root() + "/shared/";
    std::filesystem::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    ::setenv("TMPDIR", shared.c_str(), 1);
    const std::string own = shared + "kavo-" + std::to_string(::geteuid());
    EXPECT_EQ(platform::tempFolder(), own + "/");
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Made private again when it was opened up.
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(platform::tempFolder(), own + "/");
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Group-writable counts as shared too; a private one is used as it is.
    ::chmod(shared.c_str(), 0770);
    EXPECT_EQ(platform::tempFolder(), own + "/");
    ::chmod(shared.c_str(), 0700);
    EXPECT_EQ(platform::tempFolder(), shared);
    ::chmod(shared.c_str(), 01777);

    // A link planted in its place is refused, whatever it points to.
    std::filesystem::remove(own);
    std::filesystem::create_directories(env.root() + "/elsewhere");
    std::filesystem::create_directory_symlink(env.root() + "/elsewhere", own);
    EXPECT_EQ(platform::tempFolder(), "");
    std::filesystem::remove(own);
    // So is a file, and a folder someone else owns.
    env.writeFile("shared/kavo-" + std::to_string(::geteuid()), "x");
    EXPECT_EQ(platform::tempFolder(), "");
    std::filesystem::remove(own);
    if (::geteuid() == 0) {
        std::filesystem::create_directory(own);
        ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform::tempFolder(), "");
    }
}

TEST(Platform, SearchPathFindsOnlyFilesDirectlyInTheFolder)
{
    test::IsolatedEnv env;
    env.writeFile("dir/Beaconry", "x");
    env.writeFile("dir/Update/Flashpost", "x");
    std::string found;
    std::string dir = env.root() + "/dir";
    EXPECT_EQ(platform::searchPath(dir, "Beaconry", &found), dir.size() + 9);
    EXPECT_EQ(found, dir + "/Beaconry");
    EXPECT_EQ(platform::searchPath(dir, "Flashpost"), 0u);
    EXPECT_EQ(platform::searchPath(dir, "Update"), 0u) << "a folder is not a file";
    EXPECT_EQ(platform::searchPath(dir, "Update/Flashpost"), 0u);
    EXPECT_EQ(platform::searchPath(dir, "Beaconry", nullptr, dir.size() + 9), 0u) << "too small a buffer";
}

TEST(Platform, WaitingWithATimeLimitLeavesTheChildRunning)
{
    test::IsolatedEnv env;
    std::string marker = env.root() + "/done";
    std::string prog = script(env, "slow", "sleep 1; touch " + marker + "; exit 3");
    auto child = platform::startProgram(prog);
    ASSERT_TRUE(child);
    auto start = steady_clock::now();
    EXPECT_EQ(platform::waitForProgram(*child, 200), platform::WaitResult::TimedOut);
    auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 900);
    pid_t pid = static_cast<pid_t>(child->id());
    child.reset();  // letting go of the handle does not end it
    EXPECT_EQ(::kill(pid, 0), 0);
    for (int i = 0; i < 100 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(std::filesystem::exists(marker)) << "the child was ended";
    // Once it ends it is collected: no zombie stays behind until we end.
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = ::kill(pid, 0) != 0;
        if (!gone)
            std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(gone) << "the ended child was never reaped";
}

TEST(Platform, WaitingGivesTheExitCode)
{
    test::IsolatedEnv env;
    auto child = platform::startProgram(script(env, "quick", "exit 7"));
    ASSERT_TRUE(child);
    int code = -1;
    EXPECT_EQ(platform::waitForProgram(*child, -1, &code), platform::WaitResult::Exited);
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(platform::startProgram(env.root() + "/missing"));
    env.writeFile("plain", "not a program");
    EXPECT_FALSE(platform::startProgram(env.root() + "/plain"));
}

TEST(Platform, CopyFileRefusesToOverwrite)
{
    test::IsolatedEnv env;
    std::string from = env.writeFile("a", "new"), to = env.writeFile("b", "old");
    EXPECT_FALSE(platform::copyFile(from, to, true));
    EXPECT_EQ(test::readFile(to), "old");
    EXPECT_TRUE(platform::copyFile(from, env.root() + "/c", true));
    EXPECT_EQ(test::readFile(env.root() + "/c"), "new");
    EXPECT_FALSE(platform::copyFile(env.root() + "/none", env.root() + "/d", true));
}

TEST(Platform, LanguageIdFromLocale)
{
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"zh_TW.UTF-8", 0x0404}, {"zh_CN", 0x0804}, {"ja_JP.eucJP", 0x0411}, {"ko_KR", 0x0412},
        {"fr_FR@euro", 0x040C}, {"de_DE.UTF-8", 0x0407}, {"it_IT", 0x0410}, {"ru_RU", 0x0419},
        {"en_US.UTF-8", 0x0409}, {"de_AT", 0x0C07}, {"fr", 0x040C}, {"C", 0x0409}, {"POSIX", 0x0409},
    };
    for (const auto& [locale, id] : cases)
        EXPECT_EQ(platform::langIdFromLocale(locale), id) << locale;
}

TEST(Platform, FakesAnswerAndRecord)
{
    platform::FakeServices fake;
    fake.version = platform::OsVersion{platform::OsVersion::PlatformWindows9x, 4, 0};
    fake.windowTitles = {"KAVO Marlin"};
    platform::ScopedServices use(fake);
    EXPECT_EQ(platform::osVersion().minor, 0);
    EXPECT_TRUE(platform::topLevelWindowExists("KAVO Marlin"));
    EXPECT_FALSE(platform::topLevelWindowExists("KAVO Marlin "));
    platform::beep(platform::Beep::Question);
    EXPECT_EQ(fake.beeps.size(), 1u);
    EXPECT_TRUE(platform::startHidden("regsvr32.exe /s dartsock.dll"));
    EXPECT_EQ(fake.hiddenCommands, std::vector<std::string>{"regsvr32.exe /s dartsock.dll"});
}

}  // namespace
