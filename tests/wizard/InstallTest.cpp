// Installing a package with the disk method: unpacking, Setup.exe, the list
// check, consent, the hand-off to a stand-in Flashpost, the outcome and the
// clean-up; every failure with its texts, captions, icons and indicators.
#include "Aplist.h"
#include "Application.h"
#include "BitBtn.h"
#include "FakeServices.h"
#include "FileDialog.h"
#include "Main.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "PackageMaker.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"
#include "Unzip.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
namespace tw = tidewell;
using kavo::platform::Beep;
using kavo::test::readFile;
using kavo::ui::Answer;
using kavo::ui::Buttons;
using kavo::ui::FileDialog;
using kavo::ui::Icon;
using kavo::ui::MessageBox;
using pkgtest::Entry;

const std::string kFirmware = "firmware image \x01\x02\x03 of the AP";

class InstallForm : public TFormMain {
public:
    void ConnectToUpdateServer() override {}
    void DisconnectFromServer() override {}
    void SelectLanguage() override {}
    // A typed address: any version above "0" installs without asking.
    bool RunApSearch() override
    {
        CurApVersion = "0";
        return true;
    }
};

// What page 2 shows at the end.
struct Looks {
    bool tick1, tick2, cross, marker, back, next, nextEnabled, finish;
    int crossTop;
};

class Install : public ::testing::Test {
protected:
    void SetUp() override
    {
        appDir = env.root() + "/app";
        temp = env.tempFolder();
        fs::create_directories(appDir + "/Update");
        fake.current = appDir;
        fake.version = kavo::platform::OsVersion{};
        fake.beforeWait = [this](int ms) { waits.emplace_back(ms, form->isMinimized()); };
        MessageBox::clearShown();
        FileDialog::clearShown();
        form = std::make_unique<InstallForm>();
        FormMain = form.get();
        FormAPList = new TFormAPList(form.get());
        form->show();
    }
    void TearDown() override
    {
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
        FormMain = nullptr;
    }

    // A program written as a shell script, marked executable.
    std::string script(const std::string& path, const std::string& body)
    {
        std::string full = env.writeFile(path, "#!/bin/sh\n" + body + "\n");
        ::chmod(full.c_str(), 0755);
        return full;
    }
    // The stand-in Flashpost in the program folder: it keeps the list it was
    // given, notes its turn and, when asked, reports a completed upload.
    void uploader(bool completes, const std::string& where = "app/Flashpost")
    {
        std::string body = "cp '" + temp + "APfirmware.txt' '" + env.root() + "/seen-list'\necho flashpost >> '" +
                           env.root() + "/order'\n";
        if (completes)
            body += "'" + kavo::test::binDir() + "/kavo-reg' add 'HKCU\\Software\\KAVO\\Tidewell' /v LastUpdate /d 1 /f >/dev/null";
        script(where, body);
    }
    // The usual package: the list and the firmware in the package's folder.
    std::string package(const std::string& name, std::vector<Entry> more = {}, const std::string& folder = "pkgs")
    {
        const std::string base = name.substr(0, name.rfind('.'));
        std::vector<Entry> entries = {pkgtest::file("APfirmware.txt", pkgtest::listLine(base + "\\fw.bin", kFirmware)),
                                      pkgtest::file("fw.bin", kFirmware)};
        entries.insert(entries.end(), more.begin(), more.end());
        return zip(folder + "/" + name, entries);
    }
    std::string zip(const std::string& relative, const std::vector<Entry>& entries)
    {
        const std::string path = env.root() + "/" + relative;
        fs::create_directories(fs::path(path).parent_path());
        pkgtest::writeZip(path, entries);
        return path;
    }

    // Next with the disk method and `path` chosen in the open dialog.
    void runDiskMethod(const std::string& path, std::vector<Answer> answers = {})
    {
        form->cbMethod->setCurrentIndex(tw::MethodDisk);
        FileDialog::setNextFileName(QString::fromLocal8Bit(path.c_str()));
        for (Answer a : answers)
            MessageBox::setNextAnswer(a);
        QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    }

    Looks looks() const
    {
        return {form->imgT1->isVisible(), form->imgT2->isVisible(), form->imgErr->isVisible(),
                form->imgDot->isVisible(), form->BitBtn1->isEnabled(), form->BitBtn2->isVisible(),
                form->BitBtn2->isEnabled(), form->BitBtn4->isVisible(), form->imgErr->y()};
    }
    void expectStopped() const
    {
        Looks l = looks();
        EXPECT_TRUE(l.tick1);
        EXPECT_FALSE(l.tick2);
        EXPECT_TRUE(l.cross);
        EXPECT_EQ(l.crossTop, TFormMain::RowTickTop(2));
        EXPECT_FALSE(l.marker);
        EXPECT_TRUE(l.back);
        EXPECT_TRUE(l.next);
        EXPECT_FALSE(l.nextEnabled);
        EXPECT_FALSE(l.finish);
    }
    void expectFinished(bool completed) const
    {
        Looks l = looks();
        EXPECT_EQ(l.tick2, completed);
        EXPECT_EQ(l.cross, !completed);
        if (!completed) {
            EXPECT_EQ(l.crossTop, TFormMain::RowTickTop(2));
        }
        EXPECT_FALSE(l.marker);
        EXPECT_TRUE(l.back);
        EXPECT_FALSE(l.next);
        EXPECT_TRUE(l.finish);
        EXPECT_EQ(form->focusWidget(), form->BitBtn4);
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& m : MessageBox::shown())
            out.push_back(m.text.toLocal8Bit().toStdString());
        return out;
    }
    std::optional<std::string> value(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        if (!key || !key->readRaw(name))
            return std::nullopt;
        return key->readString(name);
    }
    bool exists(const std::string& path) const
    {
        std::error_code ec;
        return fs::exists(fs::symlink_status(path, ec));
    }
    std::string consentText() const { return tw::kConsentText; }

    kavo::test::IsolatedEnv env;
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped{fake};
    std::string appDir, temp;
    std::unique_ptr<InstallForm> form;
    std::vector<std::pair<int, bool>> waits;  // time limit, minimised, at each wait
};

TEST_F(Install, ACompletedUpgradeTicksTheRowRecordsTheVersionAndCleansUp)
{
    uploader(true);
    const std::string pkg = package("a1400.zip", {pkgtest::folder("docs/"), pkgtest::file("docs/readme.txt", "r"),
                                                  pkgtest::file("docs/Setup.exe", "#!/bin/sh\nexit 0\n", 0755),
                                                  pkgtest::file("docs/APfirmware.txt", "garbage")});
    runDiskMethod(pkg, {Answer::Yes});

    // Consent: the asterisk beep, an information dialog with Yes and No.
    ASSERT_EQ(MessageBox::shown().size(), 1u) << texts()[0];
    const auto& consent = MessageBox::shown()[0];
    EXPECT_EQ(consent.text.toStdString(), consentText());
    EXPECT_EQ(consent.caption, "Information");
    EXPECT_EQ(consent.icon, Icon::Information);
    EXPECT_EQ(consent.buttons, Buttons::YesNo);
    EXPECT_EQ(fake.beeps, std::vector<Beep>{Beep::Asterisk});

    // Flashpost from the program folder, read the list just checked, while
    // the wizard was minimised and waited without a time limit.
    EXPECT_EQ(fake.started, std::vector<std::string>{appDir + "/Flashpost"}) << "Setup.exe in a subfolder is not run";
    EXPECT_EQ(readFile(env.root() + "/seen-list"), pkgtest::listLine("a1400\\fw.bin", kFirmware));
    EXPECT_EQ(waits, (std::vector<std::pair<int, bool>>{{-1, true}}));
    EXPECT_FALSE(form->isMinimized());

    expectFinished(true);
    EXPECT_EQ(value(kavo::settings::kLastUpdateVersion), "1400");
    // The list copy and the files are gone; the subfolder stays with its files.
    EXPECT_FALSE(exists(temp + "APfirmware.txt"));
    EXPECT_FALSE(exists(temp + "a1400/fw.bin"));
    EXPECT_FALSE(exists(temp + "a1400/APfirmware.txt"));
    EXPECT_TRUE(exists(temp + "a1400/docs/readme.txt"));
    EXPECT_TRUE(exists(pkg));
}

TEST_F(Install, WithoutSubfoldersTheExtractionFolderIsRemovedAndASecondRunStartsAfresh)
{
    uploader(true);
    const std::string pkg = package("a1400.zip");
    runDiskMethod(pkg, {Answer::Yes});
    expectFinished(true);
    EXPECT_FALSE(exists(temp + "a1400"));
    EXPECT_EQ(value(kavo::settings::kLastUpdate), "1");

    // Back, and again with an uploader that does not complete: Next deleted
    // LastUpdate, so the run ends with the cross.
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    uploader(false);
    runDiskMethod(package("a1401.zip"), {Answer::Yes});
    expectFinished(false);
    EXPECT_FALSE(value(kavo::settings::kLastUpdate));
    EXPECT_EQ(value(kavo::settings::kLastUpdateVersion), "1400");
    EXPECT_FALSE(exists(temp + "a1401"));
    EXPECT_TRUE(exists(pkg));
}

TEST_F(Install, NoToTheUpgradeCrossesTheRowWritesNothingAndRemovesTheFolder)
{
    uploader(true);
    runDiskMethod(package("a1400.zip"), {Answer::No});
    expectFinished(false);
    EXPECT_TRUE(fake.started.empty());
    EXPECT_FALSE(value(kavo::settings::kLastUpdate));
    EXPECT_FALSE(value(kavo::settings::kLastUpdateVersion));
    EXPECT_FALSE(exists(temp + "a1400"));
    EXPECT_FALSE(exists(temp + "APfirmware.txt"));
}

TEST_F(Install, SetupRunsFirstAndIsWaitedForMinimised)
{
    uploader(true);
    const std::string setup = "sleep 0.3; echo setup >> '" + env.root() + "/order'";
    runDiskMethod(package("a1400.zip", {pkgtest::file("Setup.exe", "#!/bin/sh\n" + setup + "\n", 06755)}),
                  {Answer::Yes});
    EXPECT_EQ(readFile(env.root() + "/order"), "setup\nflashpost\n");
    EXPECT_EQ(fake.started, (std::vector<std::string>{temp + "a1400/Setup.exe", appDir + "/Flashpost"}));
    EXPECT_EQ(waits, (std::vector<std::pair<int, bool>>{{-1, true}, {-1, true}}));
    expectFinished(true);
}

TEST_F(Install, SetupWithoutAListRunsThenTheFileIsInError)
{
    const std::string pkg = zip("pkgs/a1400.zip", {pkgtest::file("Setup.exe", "#!/bin/sh\nsleep 0.3\ntouch '" +
                                                                                  env.root() + "/setup-ran'\n", 0755)});
    runDiskMethod(pkg);
    EXPECT_TRUE(exists(env.root() + "/setup-ran")) << "waited for";
    EXPECT_EQ(texts(), std::vector<std::string>{"Error in file " + pkg});
    expectStopped();
}

TEST_F(Install, FailuresStopWithTheirMessagesAndTheCross)
{
    struct Case {
        const char* what;
        std::vector<Entry> entries;  // of a1400.zip
        bool withUploader;
        std::vector<std::string> messages;  // "PKG", "TMP/" stand for the paths
        std::vector<std::pair<std::string, Icon>> captionsAndIcons;
        bool folderStays, listCopyStays;
    };
    const std::string list = pkgtest::listLine("a1400\\fw.bin", kFirmware);
    const Case cases[] = {
        {"no list file", {pkgtest::file("fw.bin", kFirmware)}, true, {"Error in file PKG"},
         {{"Cannot Continue", Icon::Error}}, true, false},
        {"the checksum differs", {pkgtest::file("APfirmware.txt", list), pkgtest::file("fw.bin", "other")}, true,
         {"Error in file TMP/a1400/fw.bin", "Error in file PKG"},
         {{"Cannot Continue", Icon::Error}, {"Cannot Continue", Icon::Error}}, true, false},
        {"an empty list", {pkgtest::file("APfirmware.txt", ""), pkgtest::file("fw.bin", kFirmware)}, true,
         {"Error in file PKG"}, {{"Cannot Continue", Icon::Error}}, true, false},
        {"a list without a marker", {pkgtest::file("APfirmware.txt", "a1400\\fw.bin\r\n")}, true,
         {"Error in file TMP/a1400/APfirmware.txt", "Error in file PKG"},
         {{"Cannot Continue", Icon::Error}, {"Cannot Continue", Icon::Error}}, true, false},
        {"a Setup.exe that cannot run",
         {pkgtest::file("Setup.exe", "MZ", 0644), pkgtest::file("APfirmware.txt", list), pkgtest::file("fw.bin", kFirmware)},
         true, {tw::kSetupFailedText}, {{"", Icon::None}}, true, false},
        {"no Flashpost", {pkgtest::file("APfirmware.txt", list), pkgtest::file("fw.bin", kFirmware)}, false,
         {tw::kConsentText, tw::kUploaderFailedText}, {{"Information", Icon::Information}, {"", Icon::None}}, true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(appDir + "/Flashpost");
        if (c.withUploader)
            uploader(true);
        MessageBox::clearShown();
        fake.started.clear();
        const std::string pkg = zip("pkgs/a1400.zip", c.entries);
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);  // back to page 1 when on page 2
        runDiskMethod(pkg, {Answer::Yes});
        std::vector<std::string> expected;
        for (std::string m : c.messages) {
            if (auto at = m.find("PKG"); at != std::string::npos)
                m.replace(at, 3, pkg);
            if (auto at = m.find("TMP/"); at != std::string::npos)
                m.replace(at, 4, temp);
            expected.push_back(m);
        }
        EXPECT_EQ(texts(), expected);
        for (std::size_t i = 0; i < c.captionsAndIcons.size() && i < MessageBox::shown().size(); ++i) {
            const auto& m = MessageBox::shown()[i];
            // A plain box carries the application's title.
            EXPECT_EQ(m.caption.toStdString(), c.captionsAndIcons[i].first.empty()
                                                   ? tw::ApplicationTitle().toStdString()
                                                   : c.captionsAndIcons[i].first);
            EXPECT_EQ(m.icon, c.captionsAndIcons[i].second);
        }
        expectStopped();
        EXPECT_EQ(exists(temp + "a1400/APfirmware.txt") || exists(temp + "a1400/fw.bin"), c.folderStays);
        EXPECT_EQ(exists(temp + "APfirmware.txt"), c.listCopyStays);
        EXPECT_FALSE(value(kavo::settings::kLastUpdate));
        fs::remove(temp + "APfirmware.txt");
    }
}

TEST_F(Install, TheInternetMethodDrivesRowFiveAndFlashpostMayLieInTheUpdateFolder)
{
    form->cbMethod->setCurrentIndex(tw::MethodInternet);
    uploader(true, "app/Update/Flashpost");
    NewVersion = "1400";
    form->InstallPackage(package("a1400.zip"));
    EXPECT_EQ(fake.started, std::vector<std::string>{appDir + "/Update/Flashpost"});
    EXPECT_TRUE(form->imgT5->isVisibleTo(form->TabSheet2));
    EXPECT_FALSE(form->imgT2->isVisibleTo(form->TabSheet2));
    EXPECT_EQ(value(kavo::settings::kLastUpdateVersion), "1400");

    form->imgT5->hide();
    kavo::settings::deleteRunValues();
    uploader(false, "app/Update/Flashpost");
    form->InstallPackage(package("a1401.zip"));
    EXPECT_FALSE(form->imgT5->isVisibleTo(form->TabSheet2));
    EXPECT_TRUE(form->imgErr->isVisibleTo(form->TabSheet2));
    EXPECT_EQ(form->imgErr->y(), TFormMain::RowTickTop(5));
}

TEST_F(Install, UnsafeOrBrokenPackagesAreRefusedWhole)
{
    // A file beside the temporary folder that a package tries to reach.
    const std::string outside = env.writeFile("target.txt", "keep");
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        bool truncate = false;
    };
    const std::string list = pkgtest::listLine("a1400\\fw.bin", kFirmware);
    const Case cases[] = {
        {"a \"..\" part", {pkgtest::file("fw.bin", kFirmware), pkgtest::file("../../target.txt", "evil")}},
        {"a \"..\" part with backslashes", {pkgtest::file("fw.bin", kFirmware), pkgtest::file("sub\\..\\..\\x", "evil")}},
        {"an absolute name", {pkgtest::file("fw.bin", kFirmware), pkgtest::file(env.root() + "/target.txt", "evil")}},
        {"a drive letter", {pkgtest::file("fw.bin", kFirmware), pkgtest::file("C:\\boot.ini", "evil")}},
        {"a link out", {pkgtest::file("fw.bin", kFirmware), pkgtest::symlink("out", env.root()),
                        pkgtest::file("out/target.txt", "evil")}},
        {"a link inside", {pkgtest::file("fw.bin", kFirmware), pkgtest::symlink("fw2.bin", "fw.bin")}},
        {"a truncated zip", {pkgtest::file("APfirmware.txt", list), pkgtest::file("fw.bin", std::string(5000, 'f'))}, true},
    };
    uploader(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBox::clearShown();
        fake.started.clear();
        std::vector<Entry> entries = c.entries;
        entries.push_back(pkgtest::file("APfirmware.txt", list));
        std::string pkg = zip("pkgs/a1400.zip", entries);
        if (c.truncate)
            fs::resize_file(pkg, fs::file_size(pkg) / 2);
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        runDiskMethod(pkg, {Answer::Yes});
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].text, tw::kExtractErrorText);
        EXPECT_EQ(MessageBox::shown()[0].caption, "");
        EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Error);
        expectStopped();
        EXPECT_TRUE(fake.started.empty());
        EXPECT_EQ(readFile(outside), "keep");
        EXPECT_FALSE(exists(temp + "a1400")) << "what was unpacked is removed";
        EXPECT_FALSE(exists(temp + "APfirmware.txt"));
        EXPECT_TRUE(exists(pkg));
    }
}

TEST_F(Install, APackageNameWithoutAFolderOfItsOwnIsAnErrorAndNothingIsTouched)
{
    // What must survive: files in and beside the temporary folder.
    const std::string beside = env.writeFile("beside.txt", "keep");
    const std::string inTemp = env.writeFile("tmp/other.txt", "keep");
    uploader(true);
    form->cbMethod->setCurrentIndex(tw::MethodDisk);
    // The Internet method hands over any downloaded name, so these come
    // straight to the installation.
    auto refused = [&](const std::string& pkg) {
        MessageBox::clearShown();
        fake.started.clear();
        form->imgErr->hide();
        form->BitBtn1->setEnabled(false);
        form->InstallPackage(pkg);
        EXPECT_EQ(texts(), std::vector<std::string>{"Error in file " + pkg});
        ASSERT_FALSE(MessageBox::shown().empty());
        EXPECT_EQ(MessageBox::shown()[0].caption, "Cannot Continue");
        EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Error);
        EXPECT_TRUE(form->imgErr->isVisibleTo(form->TabSheet2));
        EXPECT_EQ(form->imgErr->y(), TFormMain::RowTickTop(2));
        EXPECT_TRUE(form->BitBtn1->isEnabled());
        EXPECT_TRUE(fake.started.empty());
        EXPECT_TRUE(exists(pkg));
    };
    for (const std::string name : {"...zip", "..zip", ".zip", ". .zip", "abc"}) {
        SCOPED_TRACE(name);
        refused(package(name));
        EXPECT_EQ(readFile(beside), "keep");
        EXPECT_EQ(readFile(inTemp), "keep");
    }
    // A package inside its own extraction folder.
    const std::string inside = package("a1400.zip", {}, "tmp/a1400");
    env.writeFile("tmp/a1400/other.txt", "keep");
    refused(inside);
    EXPECT_EQ(readFile(temp + "a1400/other.txt"), "keep");
    // Something other than a folder in the extraction folder's place.
    fs::create_directory_symlink(env.root() + "/pkgs", temp + "a1401");
    refused(package("a1401.zip"));
}

TEST_F(Install, APackageInAFolderWithNonAsciiCharactersInstallsAndIsNamedAsTheUserKnowsIt)
{
    uploader(true);
    const std::string folder = "pkgs/Gr\xc3\xb6\xc3\x9f" "e \xe6\x9b\xb4\xe6\x96\xb0";  // UTF-8, the locale's encoding here
    runDiskMethod(package("a1400.zip", {}, folder), {Answer::Yes});
    expectFinished(true);

    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    MessageBox::clearShown();
    const std::string broken = zip(folder + "/a1401.zip", {pkgtest::file("fw.bin", kFirmware)});
    runDiskMethod(broken);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Error in file " + QDir::toNativeSeparators(QString::fromUtf8(broken.c_str())));
}

TEST(Unzip, FoldersModesAndOverwriting)
{
    kavo::test::IsolatedEnv env;
    const std::string dest = env.tempFolder() + "x";
    fs::create_directories(dest);
    env.writeFile("tmp/x/old.txt", "old");
    const std::string pkg = env.root() + "/p.zip";
    pkgtest::writeZip(pkg, {pkgtest::file("old.txt", "new"), pkgtest::file("a/b/c.txt", "c"),
                            pkgtest::folder("empty/"), pkgtest::file("run", "#!/bin/sh\n", 06755)});
    std::string why;
    const fs::path cwd = fs::current_path();
    ASSERT_TRUE(tw::UnpackPackage(pkg, dest, &why)) << why;
    EXPECT_EQ(fs::current_path(), cwd) << "the current folder comes back";
    EXPECT_EQ(readFile(dest + "/old.txt"), "new");
    EXPECT_EQ(readFile(dest + "/a/b/c.txt"), "c");
    EXPECT_TRUE(fs::is_directory(dest + "/empty"));
    struct stat st {};
    ASSERT_EQ(::stat((dest + "/run").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "executable bits kept";
    EXPECT_FALSE(st.st_mode & (S_ISUID | S_ISGID)) << "never set-user or set-group";
}

TEST(ClearFolder, DeletesOnlyFilesDirectlyInsideAFolderBelowTheTemporaryFolder)
{
    kavo::test::IsolatedEnv env;
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped(fake);
    const std::string temp = env.tempFolder();
    const std::string ro = env.writeFile("tmp/x/ro.txt", "r");
    ::chmod(ro.c_str(), 0444);
    env.writeFile("tmp/x/sub/kept.txt", "k");
    const std::string target = env.writeFile("tmp/target.txt", "t");
    fs::create_symlink(target, temp + "x/link");
    env.writeFile("tmp/top.txt", "t");
    env.writeFile("beside.txt", "b");

    tw::ClearFolder(temp + "x");
    EXPECT_FALSE(fs::exists(ro));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp + "x/link")));
    EXPECT_TRUE(fs::exists(temp + "x/sub/kept.txt"));
    EXPECT_TRUE(fs::exists(target)) << "a link's target stays";

    // Never the temporary folder itself, nor above it.
    for (std::string refused : {temp, temp.substr(0, temp.size() - 1), env.root(), temp + "x/..", temp + "."})
        tw::ClearFolder(refused);
    EXPECT_TRUE(fs::exists(temp + "top.txt"));
    EXPECT_TRUE(fs::exists(env.root() + "/beside.txt"));
    // Nor a folder found through a link.
    fs::create_directories(env.root() + "/elsewhere");
    env.writeFile("elsewhere/f.txt", "f");
    fs::create_directory_symlink(env.root() + "/elsewhere", temp + "via");
    tw::ClearFolder(temp + "via");
    EXPECT_TRUE(fs::exists(env.root() + "/elsewhere/f.txt"));
}

}  // namespace
