// Start and end of the wizard: the main window's creation (start-up
// directory, Windows check, SNMP component files), its first showing, its
// destruction, and the report of errors that no handler catches.
#include "Application.h"
#include "MainFixture.h"

#include <QTest>

namespace {

using kavo::platform::OsVersion;
using kavo::ui::Icon;
using kavo::ui::MessageBox;
namespace tw = tidewell;

using StartTest = MainFixture;

TEST(OsKind, Classification)
{
    struct Case {
        int platform, major, minor;
        int kind;
        bool refused;
    } cases[] = {
        {OsVersion::PlatformWindows9x, 4, 90, 0, false},  // Me
        {OsVersion::PlatformWindows9x, 4, 10, 1, false},  // 98
        {OsVersion::PlatformWindows9x, 4, 0, 2, true},    // 95
        {OsVersion::PlatformWindows9x, 4, 3, 5, true},
        {OsVersion::PlatformNT, 4, 0, 3, false},
        {OsVersion::PlatformNT, 5, 1, 4, false},          // XP
        {OsVersion::PlatformNT, 10, 0, 4, false},
        {OsVersion::PlatformNT, 3, 51, 5, true},
        {OsVersion::PlatformWin32s, 3, 10, 5, true},
        {OsVersion::PlatformOther, 6, 1, 5, false},       // no Windows version to refuse
    };
    for (const Case& c : cases) {
        OsVersion v{c.platform, c.major, c.minor};
        int kind = tw::ComputeOsKind(v);
        EXPECT_EQ(kind, c.kind) << c.platform << " " << c.major << "." << c.minor;
        EXPECT_EQ(tw::OsRefused(kind, v), c.refused) << c.platform << " " << c.major << "." << c.minor;
    }
}

TEST_F(StartTest, CreationTakesTheCurrentDirectoryAndSelectsTheFirstMethod)
{
    Busy = true;
    Downloaded = true;
    NewVersion = "old";
    TestFormMain& f = create();
    EXPECT_EQ(AppDir, appDir);
    EXPECT_FALSE(Busy);
    EXPECT_FALSE(Downloaded);
    EXPECT_TRUE(NewVersion.empty());
    EXPECT_TRUE(LocalFile.empty());
    EXPECT_EQ(f.cbMethod->currentIndex(), tw::MethodInternet);
    EXPECT_FALSE(f.Refused());
    EXPECT_TRUE(MessageBox::shown().empty());
    EXPECT_TRUE(fake.hiddenCommands.empty()) << "no SNMP component files off Windows";
    EXPECT_TRUE(fake.copies.empty());
}

TEST_F(StartTest, Windows95IsRefusedBeforeAnythingElse)
{
    fake.version = OsVersion{OsVersion::PlatformWindows9x, 4, 0};
    writeAllValues();
    {
        TestFormMain& f = create();
        EXPECT_TRUE(f.Refused());
        EXPECT_EQ(f.OsKind, 2);
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        const auto& m = MessageBox::shown()[0];
        EXPECT_EQ(m.text, "Please run it only on Win98/Win ME/Win NT/Win 2000/Win XP, thank you!");
        EXPECT_EQ(m.icon, Icon::Warning);
        EXPECT_EQ(m.buttons, kavo::ui::Buttons::Ok);
        EXPECT_TRUE(m.caption.isEmpty()) << "the system's default caption";
        EXPECT_TRUE(fake.hiddenCommands.empty());
        EXPECT_TRUE(fake.copies.empty());
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
    }
    EXPECT_EQ(runValuesPresent(), 4) << "a refused start ends at once";
}

TEST_F(StartTest, SnmpComponentFilesOnWindows)
{
    // dartsock.dll beside the program, dartSnmp.dll only in Update, and a
    // dartsock.dll already in the system folder that must stay.
    env.writeFile("app/dartsock.dll", "new sock");
    env.writeFile("app/Update/dartSnmp.dll", "new snmp");
    env.writeFile("system/dartsock.dll", "old sock");
    fake.version = OsVersion{OsVersion::PlatformNT, 5, 1};
    TestFormMain& f = create();
    EXPECT_FALSE(f.Refused());
    EXPECT_EQ(f.OsKind, 4);
    using kavo::platform::kSeparator;
    const std::string sep(1, kSeparator);
    ASSERT_EQ(fake.copies.size(), 2u);
    EXPECT_EQ(fake.copies[0].first, appDir + sep + "dartsock.dll");
    EXPECT_EQ(fake.copies[0].second, systemDir + sep + "dartsock.dll");
    EXPECT_EQ(fake.copies[1].first, appDir + sep + "Update" + sep + "dartSnmp.dll");
    EXPECT_EQ(fake.copies[1].second, systemDir + sep + "dartSnmp.dll");
    EXPECT_EQ(kavo::test::readFile(systemDir + "/dartsock.dll"), "old sock");
    EXPECT_EQ(kavo::test::readFile(systemDir + "/dartSnmp.dll"), "new snmp");
    EXPECT_EQ(fake.hiddenCommands,
              (std::vector<std::string>{"regsvr32.exe /s dartsock.dll", "regsvr32.exe /s dartSnmp.dll"}));
}

TEST_F(StartTest, SnmpComponentFilesMissingStillRegister)
{
    fake.onStartHidden = [](const std::string&) { return false; };  // not started: not looked at
    tw::PrepareSnmpComponents(appDir, systemDir);
    ASSERT_EQ(fake.copies.size(), 2u);
    EXPECT_EQ(fake.copies[0].first, appDir + "/Update/dartsock.dll");
    EXPECT_EQ(fake.hiddenCommands.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(systemDir + "/dartsock.dll"));
}

TEST_F(StartTest, FileInFolderLooksOnlyDirectlyInTheFolder)
{
    env.writeFile("app/Beaconry", "x");
    env.writeFile("app/Update/Flashpost", "x");
    EXPECT_EQ(tw::FileInFolder(appDir, "Beaconry"), (appDir + "/Beaconry").size());
    EXPECT_EQ(tw::FileInFolder(appDir, "Flashpost"), 0u);
    EXPECT_EQ(tw::FileInFolder(appDir, "Update"), 0u) << "a folder is not a file";
    EXPECT_EQ(tw::FileInFolderOrUpdate(appDir, "Beaconry"), appDir + "/Beaconry");
    EXPECT_EQ(tw::FileInFolderOrUpdate(appDir, "Flashpost"), appDir + "/Update/Flashpost");
    EXPECT_EQ(tw::FileInFolderOrUpdate(appDir, "none"), appDir + "/Update/none");
}

TEST_F(StartTest, LanguageSelectionRunsWhenFirstShown)
{
    TestFormMain& f = create();
    EXPECT_EQ(f.languages, 0);
    f.show();
    EXPECT_EQ(f.languages, 1);
    f.showMinimized();
    f.showNormal();
    f.hide();
    f.show();
    EXPECT_EQ(f.languages, 1);
}

TEST_F(StartTest, ClosingTheWizardRemovesTheFourRunValues)
{
    writeAllValues();
    {
        auto k = key();
        k->writeString(kavo::settings::kProxyAddr, "proxy.example");
        k->writeString(kavo::settings::kProxyPort, "8080");
    }
    TestFormMain& f = create();
    f.show();
    f.BitBtn3Click();  // Cancel closes the window; the process then destroys it
    delete FormAPList;
    FormAPList = nullptr;
    form.reset();
    EXPECT_EQ(runValuesPresent(), 0);
    auto names = key()->valueNames();
    EXPECT_EQ(names, (std::vector<std::string>{"LastUpdateVersion", "ProxyEnable", "ProxyAddr", "ProxyPort"}));

    // Nothing to delete is no error.
    create();
    delete FormAPList;
    FormAPList = nullptr;
    form.reset();
    EXPECT_EQ(key()->valueNames().size(), 4u);
}

TEST(ExceptionReport, TextAndCaption)
{
    struct Case {
        const char* message;
        const char* text;
    } cases[] = {
        {"Invalid data type for 'ApIpAddress'", "Invalid data type for 'ApIpAddress'"},  // "'" sorts below "."
        {"Socket send aborted", "Socket send aborted."},
        {"ends with a dot.", "ends with a dot."},
        {"ends with!", "ends with!"},
        {"ends with,", "ends with,"},     // "," sorts below "."
        {"a path/", "a path/."},          // "/" sorts above "."
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tw::ExceptionReportText(c.message), c.text) << c.message;
    EXPECT_EQ(tw::ApplicationTitle(), "wizard_tests");
}

TEST_F(StartTest, AnErrorEscapingAHandlerIsReportedAndTheWizardGoesOn)
{
    TestFormMain& f = create();
    f.show();
    f.search = [](std::string&) -> bool {
        throw kavo::RegistryError("Invalid data type for 'ApIpAddress'");
    };
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Invalid data type for 'ApIpAddress'");
    MessageBox::clearShown();
    f.search = [](std::string&) -> bool {
        throw std::runtime_error("Socket error");
    };
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    const auto& m = MessageBox::shown()[0];
    EXPECT_EQ(m.text, "Socket error.");
    EXPECT_EQ(m.caption, "wizard_tests");
    EXPECT_EQ(m.icon, Icon::Error);
    EXPECT_TRUE(onPage1());

    // The wizard still works: Next again, then Cancel.
    searchGives(true);
    choose(tw::MethodDownload);
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    EXPECT_TRUE(onPage2());
    QTest::mouseClick(f.BitBtn3, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible());
}

}  // namespace
