#include "ApSearch.h"
#include "Application.h"
#include "AplistTestSupport.h"
#include "FakeServices.h"
#include "MessageBox.h"
#include "Platform.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

using namespace tidewell;
using aplist_test::storedValue;
using aplist_test::WhenShown;
using kavo::ui::Icon;
using kavo::ui::MessageBox;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<ApTableRow>;

// --- the parse of the AP table ---------------------------------------------

struct ParseCase {
    const char* name;
    std::string addresses, versions;
    Rows rows;
    std::optional<int> overflow;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParseApTableTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseApTableTest, GivesTheRowsAndTheWarning)
{
    const ParseCase& c = GetParam();
    const ApTable t = ParseApTable(c.addresses, c.versions);
    EXPECT_EQ(t.rows, c.rows);
    EXPECT_EQ(t.overflow, c.overflow);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ParseApTableTest,
    ::testing::Values(
        ParseCase{"OneAp", "10.0.0.2", "1.3c", {{"10.0.0.2", "1.3c"}}, std::nullopt},
        ParseCase{"TwoAps", "10.0.0.2,10.0.0.7", "1.4,1.3b", {{"10.0.0.2", "1.4"}, {"10.0.0.7", "1.3b"}},
                  std::nullopt},
        ParseCase{"Overflow", "10.0.0.2,10.0.0.7,>256", "1.4,1.3b", {{"10.0.0.2", "1.4"}, {"10.0.0.7", "1.3b"}},
                  256},
        ParseCase{"OverflowOtherNumber", "10.0.0.2,>17", "1.4", {{"10.0.0.2", "1.4"}}, 17},
        ParseCase{"OverflowNotANumber", "10.0.0.2,>many", "1.4", {{"10.0.0.2", "1.4"}}, 256},
        ParseCase{"OverflowEmptyNumber", "10.0.0.2,>", "1.4", {{"10.0.0.2", "1.4"}}, 256},
        ParseCase{"LoneOverflowToken", ">256", "", {}, 256},
        // Version list shorter: a middle address gets no version, and the
        // last address is listed only while version text remains.
        ParseCase{"VersionsShorter", "10.0.0.1,10.0.0.2,10.0.0.3", "1.1",
                  {{"10.0.0.1", "1.1"}, {"10.0.0.2", std::nullopt}}, std::nullopt},
        ParseCase{"LastVersionEmpty", "10.0.0.1,10.0.0.2", "1.1,", {{"10.0.0.1", "1.1"}}, std::nullopt},
        ParseCase{"SingleAddressNoVersion", "10.0.0.2", "", {}, std::nullopt},
        ParseCase{"EmptyVersionTokenInMiddle", "10.0.0.1,10.0.0.2", ",2.0", {{"10.0.0.1", ""}, {"10.0.0.2", "2.0"}},
                  std::nullopt},
        ParseCase{"MoreVersionsThanAddresses", "10.0.0.1", "1.1,1.2", {{"10.0.0.1", "1.1"}}, std::nullopt},
        ParseCase{"GreaterSignInAddressWithVersion", "10.0.0.1,>3", "1.1,9", {{"10.0.0.1", "1.1"}, {">3", "9"}},
                  std::nullopt},
        ParseCase{"Empty", "", "1.1", {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchProgramPath, AppDirThenUpdateFolderAndTheBufferLimit)
{
    kavo::test::IsolatedEnv env;
    const std::string app = env.root() + "/app";
    fs::create_directories(app);
    EXPECT_EQ(SearchProgramPath(app), app + "/Update/Beaconry") << "not checked to exist";
    env.writeFile("app/Beaconry", "");
    EXPECT_EQ(SearchProgramPath(app), app + "/Beaconry");

    // "/Update/Beaconry" is 16 characters: 239 + 16 = 255 fits, 240 does not.
    EXPECT_EQ(SearchProgramPath(std::string(239, 'd')), std::string(239, 'd') + "/Update/Beaconry");
    EXPECT_EQ(SearchProgramPath(std::string(240, 'd')), std::nullopt);
}

// --- the search against stand-in discovery programs -------------------------

class ApSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MessageBox::clearShown();
        app = env.root() + "/app";
        fs::create_directories(app + "/Update");
        ::unsetenv("KAVO_TEST_APIPADDRESS");
        ::unsetenv("KAVO_TEST_APVERSION");
        ::unsetenv("KAVO_TEST_AP_NOWRITE");
    }
    void TearDown() override
    {
        ::unsetenv("KAVO_TEST_APIPADDRESS");
        ::unsetenv("KAVO_TEST_APVERSION");
        ::unsetenv("KAVO_TEST_AP_NOWRITE");
        MessageBox::clearShown();
    }
    // Puts a stand-in program as Beaconry into `folder` (relative to app).
    void install(const std::string& helper, const std::string& folder = "")
    {
        fs::create_symlink(kavo::test::binDir() + "/" + helper,
                           app + (folder.empty() ? "" : "/" + folder) + "/Beaconry" + kavo::platform::kExeSuffix);
    }
    void table(const std::string& addresses, const std::string& versions)
    {
        ::setenv("KAVO_TEST_APIPADDRESS", addresses.c_str(), 1);
        ::setenv("KAVO_TEST_APVERSION", versions.c_str(), 1);
    }
    bool search(const ApSearchTiming& timing = {}) { return SearchAccessPoints(nullptr, dialog, app, version, timing); }

    kavo::test::IsolatedEnv env;
    std::string app;
    TFormAPList dialog;
    std::string version = "0";
};

TEST_F(ApSearchTest, TableFromTheDiscoveryProgramAndOk)
{
    install("aptable_writer");
    table("10.0.0.2", "1.3c");
    WhenShown probe(dialog, [](TFormAPList& d) { QTest::keyClick(d.ListView1, Qt::Key_Return); });
    EXPECT_TRUE(search());
    ASSERT_TRUE(probe.shown);
    EXPECT_EQ(probe.seen.rows, (decltype(probe.seen.rows){{"10.0.0.2", "1.3c"}}));
    EXPECT_TRUE(probe.seen.automatic);
    EXPECT_EQ(probe.seen.selectedRow, 0);
    EXPECT_TRUE(probe.seen.okEnabled);
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::string("10.0.0.2\0", 9));
    EXPECT_EQ(version, "13c");
    EXPECT_TRUE(MessageBox::shown().empty());
}

TEST_F(ApSearchTest, OverflowWarningThenTheRowsFromTheUpdateFolder)
{
    install("aptable_writer", "Update");
    table("10.0.0.2,10.0.0.7,>256", "1.4,1.3b");
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped(fake);
    WhenShown probe(dialog, [](TFormAPList& d) {
        QTest::keyClick(d.ListView1, Qt::Key_Down);
        QTest::keyClick(d.ListView1, Qt::Key_Return);
    });
    EXPECT_TRUE(search());
    EXPECT_EQ(fake.started, std::vector<std::string>{app + "/Update/Beaconry"});
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "The found APs exceed the maximum number of the AP list table: 256.");
    EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Warning);
    EXPECT_EQ(MessageBox::shown()[0].caption, "");
    ASSERT_TRUE(probe.shown);
    EXPECT_EQ(probe.seen.rows, (decltype(probe.seen.rows){{"10.0.0.2", "1.4"}, {"10.0.0.7", "1.3b"}}));
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::string("10.0.0.7\0", 9));
    EXPECT_EQ(version, "13b");
}

// Tables that give no row, and an error report instead of a list.
struct NoRowCase {
    const char* name;
    std::optional<std::pair<std::string, std::string>> table;  // nullopt: writes nothing
    std::vector<std::pair<QString, Icon>> messages;
    bool dialogShown;
};

void PrintTo(const NoRowCase& c, std::ostream* os) { *os << c.name; }

class ApSearchNoRowTest : public ApSearchTest, public ::testing::WithParamInterface<NoRowCase> {};

TEST_P(ApSearchNoRowTest, NotFoundEntryInManualModeOrTheError)
{
    const NoRowCase& c = GetParam();
    install("aptable_writer");
    if (c.table)
        table(c.table->first, c.table->second);
    else
        ::setenv("KAVO_TEST_AP_NOWRITE", "1", 1);
    // An earlier showing used the automatic mode.
    dialog.AddRow("10.9.9.9", std::string("1.0"));
    dialog.show();
    dialog.hide();

    WhenShown probe(dialog, nullptr);
    EXPECT_FALSE(search());
    EXPECT_EQ(probe.shown, c.dialogShown);
    ASSERT_EQ(MessageBox::shown().size(), c.messages.size());
    for (std::size_t i = 0; i < c.messages.size(); ++i) {
        EXPECT_EQ(MessageBox::shown()[i].text, c.messages[i].first);
        EXPECT_EQ(MessageBox::shown()[i].icon, c.messages[i].second);
        EXPECT_EQ(MessageBox::shown()[i].caption, "");
    }
    if (c.dialogShown) {
        EXPECT_EQ(probe.seen.rows, (decltype(probe.seen.rows){{"Access Point not found!", std::nullopt}}));
        EXPECT_FALSE(probe.seen.automaticEnabled);
        EXPECT_TRUE(probe.seen.manual);
        EXPECT_FALSE(probe.seen.listEnabled);
        EXPECT_TRUE(probe.seen.fieldsEnabled);
        EXPECT_EQ(probe.seen.focus, "Memo1");
    }
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::nullopt);
    EXPECT_EQ(version, "0");
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ApSearchNoRowTest,
    ::testing::Values(
        NoRowCase{"NothingWritten", std::nullopt, {}, true},
        NoRowCase{"EmptyTable", std::pair<std::string, std::string>{"", ""}, {}, true},
        NoRowCase{"LoneOverflowToken",
                  std::pair<std::string, std::string>{">256", ""},
                  {{"The found APs exceed the maximum number of the AP list table: 256.", Icon::Warning}},
                  true},
        NoRowCase{"AddressWithoutVersion", std::pair<std::string, std::string>{"10.0.0.2", ""}, {}, true},
        NoRowCase{"ErrorReport", std::pair<std::string, std::string>{"SNMP Error: no socket", "1.0"},
                  {{"SNMP Error: no socket", Icon::Error}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ApSearchTest, MissingDiscoveryProgram)
{
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped(fake);
    WhenShown probe(dialog, nullptr);
    version = "x";
    EXPECT_FALSE(search());
    EXPECT_EQ(fake.started, std::vector<std::string>{app + "/Update/Beaconry"});
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Could not run search AP program");
    EXPECT_EQ(MessageBox::shown()[0].caption, tidewell::ApplicationTitle());
    EXPECT_EQ(MessageBox::shown()[0].caption, "wizard_tests");
    EXPECT_EQ(MessageBox::shown()[0].icon, Icon::None);
    EXPECT_EQ(MessageBox::shown()[0].buttons, kavo::ui::Buttons::Ok);
    EXPECT_FALSE(probe.shown);
    EXPECT_EQ(version, "x");
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::nullopt);
}

TEST_F(ApSearchTest, TooLongProgramPathIsRefusedNotCut)
{
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped(fake);
    app = env.root() + "/" + std::string(250, 'd');
    WhenShown probe(dialog, nullptr);
    EXPECT_FALSE(search());
    EXPECT_TRUE(fake.started.empty());
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text,
              QString(kSearchPathTooLong).arg(QString::fromStdString(app + "/Beaconry")));
    EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Error);
    EXPECT_FALSE(probe.shown);
}

TEST_F(ApSearchTest, AnAddressListOfAnotherTypeIsAnError)
{
    install("aptable_writer");
    ::setenv("KAVO_TEST_AP_NOWRITE", "1", 1);
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
        ASSERT_TRUE(key->writeRaw(kavo::settings::kApIpAddress, {kavo::RegDword, {1, 0, 0, 0}}));
    }
    WhenShown probe(dialog, nullptr);
    EXPECT_THROW(search(), kavo::RegistryError);
    EXPECT_FALSE(probe.shown);
}

// With the real 4000 ms: a discovery program that does not end gives the
// not-found entry and is left running.
TEST_F(ApSearchTest, DiscoveryProgramThatNeverEnds)
{
    install("never_ending");
    kavo::platform::FakeServices fake;
    std::int64_t pid = 0;
    fake.onStartProgram = [&](const std::string& path) {
        auto child = fake.real.startProgram(path);
        if (child)
            pid = child->id();
        return child;
    };
    kavo::platform::ScopedServices scoped(fake);
    // A table that the program would have left from an earlier run is not read.
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
        key->writeString(kavo::settings::kApIpAddress, "10.0.0.5");
        key->writeString(kavo::settings::kApVersion, "1.0");
    }
    std::chrono::steady_clock::duration waited{};
    const auto start = std::chrono::steady_clock::now();
    WhenShown probe(dialog, [&](TFormAPList&) { waited = std::chrono::steady_clock::now() - start; });
    EXPECT_FALSE(search());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), 0) << "the program keeps running";
    EXPECT_EQ(::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG), 0);
    // Once it ends it is reaped: no zombie is left for the rest of the run.
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    bool gone = false;
    for (int i = 0; i < 150 && !gone; ++i) {
        gone = ::kill(static_cast<pid_t>(pid), 0) != 0;
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(gone) << "the ended discovery program was never reaped";

    EXPECT_GE(waited, std::chrono::milliseconds(4000));
    EXPECT_LT(waited, std::chrono::milliseconds(8000));
    ASSERT_TRUE(probe.shown);
    EXPECT_EQ(probe.seen.rows, (decltype(probe.seen.rows){{"Access Point not found!", std::nullopt}}));
    EXPECT_TRUE(probe.seen.manual);
    EXPECT_FALSE(probe.seen.automaticEnabled);
}

}  // namespace
