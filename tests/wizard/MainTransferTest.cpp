// The Internet methods of the wizard against vsftpd and the scripted
// server on loopback: connection start, listing and choice, download with
// progress and Stop, disconnect, installation hand-over and saving, the
// failures and their messages, and leaving while a call is pending.
#include "Application.h"
#include "FtpTestServers.h"
#include "MainFixture.h"
#include "MainPictures.h"
#include "NMFTP.h"
#include "RemoteListing.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

using namespace ftptest;
namespace tw = tidewell;
using kavo::test::readFile;
using kavo::ui::Answer;
using kavo::ui::FileDialog;
using kavo::ui::Icon;
using kavo::ui::MessageBox;

namespace {

// The main window with the real transfer; the installation is recorded.
class TransferForm : public TFormMain {
public:
    std::vector<std::string> installed;
    std::function<void()> onInstall;
    void InstallPackage(const std::string& path) override
    {
        installed.push_back(path);
        if (onInstall)
            onInstall();
    }
    void SelectLanguage() override {}
    // The AP search stands in: the chosen AP's version key, no Beaconry.
    std::string apVersion = "0";
    bool RunApSearch() override
    {
        CurApVersion = apVersion;
        return true;
    }
};

const std::string kAp = "pub/KAVO/Wireless/AP/";

class TransferTest : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        fake.temp = env.tempFolder();
        fake.program = appDir + "/Tidewell";
        ftpRoot = env.root() + "/ftp";
    }
    void TearDown() override
    {
        delete FormAPList;
        FormAPList = nullptr;
        t.reset();
        MainFixture::TearDown();
    }

    TransferForm& make(quint16 port, int method, const std::string& apVersion = "0")
    {
        t = std::make_unique<TransferForm>();
        FormMain = t.get();
        FormAPList = new TFormAPList(t.get());
        t->UpdateHost = "127.0.0.1";
        t->UpdatePort = port;
        t->ConnectPauseMs = 0;
        t->cbMethod->setCurrentIndex(method);
        t->apVersion = apVersion;
        t->show();
        return *t;
    }
    // Next with the mouse: the procedure runs to its end inside the click.
    void next() { QTest::mouseClick(t->BitBtn2, Qt::LeftButton); }
    // A click on `button` as its own event once the transfer has received
    // `packets` blocks.
    void clickDuringDownload(QPushButton* TFormMain::*button, int packets)
    {
        auto original = t->NMFTP1->OnPacketRecvd;
        t->NMFTP1->OnPacketRecvd = [this, original, button, packets, n = 0](qint64 r, qint64 total) mutable {
            original(r, total);
            if (++n == packets)
                QTimer::singleShot(0, t.get(), [this, button] { QTest::mouseClick(t.get()->*button, Qt::LeftButton); });
        };
    }

    std::string ticks() const
    {
        std::string out;
        for (int row = 1; row <= 5; ++row)
            out += t->TickImage(row)->isHidden() ? '0' : '1';
        return out;
    }
    bool cross() const { return !t->imgErr->isHidden(); }
    bool marker() const { return !t->imgDot->isHidden(); }
    std::vector<QString> texts() const
    {
        std::vector<QString> out;
        for (const auto& m : shown())
            out.push_back(m.text);
        return out;
    }

    std::string ftpRoot;
    std::unique_ptr<TransferForm> t;
};

#define NEED_VSFTPD()                                          \
    if (auto why = vsftpdSkipReason(); !why.empty())           \
    GTEST_SKIP() << why

// ---- The listing rule and the choice ----

TEST(RemoteListing, EntryNamesOfListingLines)
{
    struct Case {
        const char* line;
        const char* name;  // nullptr: no entry
    } cases[] = {
        {"-rw-r--r--    1 0        0          100000 Dec 11 16:48 a1400.zip", "a1400.zip"},
        {"drwxr-xr-x 2 ftp ftp 4096 Jan  1  2002 archive", "archive"},
        {"-rw-r--r-- 1 owner group 12 Mar 3 2003 name with  spaces .zip", "name with  spaces .zip"},
        {"total 12", nullptr},
        {"TOTAL 0", nullptr},
        {"totals 1 0 0 1 Jan 1 2002 a1.zip", "a1.zip"},
        {"-rw-r--r-- 1 0 0 1 Jan 1 2002", nullptr},
        {"-rw-r--r-- 1 0 0 1 Jan 1 2002 ", nullptr},
        {"", nullptr},
        {"lrwxrwxrwx 1 0 0 7 Jan 1 2002 a1.zip -> ../x", "a1.zip -> ../x"},
    };
    for (const Case& c : cases) {
        auto name = tw::ListingEntryName(c.line);
        if (!c.name)
            EXPECT_FALSE(name) << c.line;
        else
            EXPECT_EQ(name.value_or("<none>"), c.name) << c.line;
    }
}

TEST(RemoteListing, OnlyPlainFileNames)
{
    for (const std::string& ok : std::vector<std::string>{"a1400.zip", "a b.zip", "a\xC3\xA9.zip", "...", std::string(255, 'a')})
        EXPECT_TRUE(tw::PlainFileName(ok)) << ok;
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "../a1400.zip", "sub/a1400.zip", "a\\1400.zip", std::string("a\0.zip", 6),
                            "a\x01.zip", "a\t.zip", "a\x7F.zip", std::string(256, 'a')})
        EXPECT_FALSE(tw::PlainFileName(bad)) << bad;
}

TEST(RemoteListing, TheChoice)
{
    struct Case {
        std::vector<std::string> names;
        const char* apVersion;
        int choice;
        const char* newVersion;
    } cases[] = {
        {{"a1305.zip", "a1400.zip"}, "13c", 1, "1400"},   // 1305 below 13c, 1400 above
        {{"a1400.zip"}, "14", 0, "1400"},
        {{"a14.zip"}, "14", 0, "14.z"},
        {{"a1305.zip"}, "1305", -1, "0"},                 // not above the AP's version
        {{"b1500.zip", "readme"}, "0", 1, "eadm"},        // no "a": never; "readme" has one
        {{"archive"}, "0", 0, "rchi"},                    // a directory takes part like a file
        {{"a1400.zip", "a1400-copy.zip", "A1400.ZIP"}, "0", 0, "1400"},  // first of equals
        {{"a9.zip", "a10.zip"}, "0", 0, "9.zi"},          // 9 sorts above 10
        {{"a", "x"}, "0", -1, "0"},                       // "" is not above "0"
        {{"../a9999.zip", "a\x01" "999.zip", std::string(300, 'a'), "a1400.zip"}, "0", 3, "1400"},
        {{"..", "."}, "0", -1, "0"},
    };
    for (const Case& c : cases) {
        std::string version;
        EXPECT_EQ(tw::ChoosePackage(c.names, c.apVersion, version), c.choice) << c.names[0];
        EXPECT_EQ(version, c.newVersion) << c.names[0];
    }
}

// ---- The two methods to their end ----

TEST_F(TransferTest, DownloadMethodSavesAnIdenticalCopyWithProgress)
{
    NEED_VSFTPD();
    const std::string package = binaryContent(200000);
    putFile(ftpRoot, kAp + "a1305.zip", "old");
    putFile(ftpRoot, kAp + "a1400.zip", package);
    putFile(ftpRoot, kAp + "b9999.zip", "no a");
    Vsftpd server(ftpRoot);
    ASSERT_TRUE(server.running()) << server.output();

    TransferForm& f = make(server.port(), tw::MethodDownload);
    std::vector<std::pair<int, QString>> progress;
    f.NMFTP1->OnPacketRecvd = [&f, &progress, orig = f.NMFTP1->OnPacketRecvd](qint64 r, qint64 total) {
        EXPECT_TRUE(f.bbtnStop->isEnabled());
        orig(r, total);
        progress.emplace_back(f.ProgressBar1->value(), f.labProgress->text());
    };
    const std::string saved = appDir + "/saved.zip";
    FileDialog::setNextFileName(QString::fromStdString(saved));
    MessageBox::setNextAnswer(Answer::No);
    next();

    EXPECT_EQ(texts(), std::vector<QString>{tw::kDownloadedText});
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "Information");
    EXPECT_EQ(shown()[0].icon, Icon::Information);
    EXPECT_EQ(fake.beeps, std::vector<kavo::platform::Beep>{kavo::platform::Beep::Default});
    ASSERT_EQ(FileDialog::shown().size(), 1u);
    const auto& dialog = FileDialog::shown()[0];
    EXPECT_EQ(dialog.kind, kavo::ui::FileDialogRecord::Save);
    EXPECT_EQ(dialog.caption, "Save Updating File");
    EXPECT_EQ(dialog.folder, QString::fromStdString(appDir + "/a1400.zip"));
    EXPECT_EQ(dialog.filter, tw::QtFileFilter(tw::kZipFilter));

    EXPECT_TRUE(readFile(saved) == package);
    EXPECT_EQ(LocalFile, env.tempFolder() + "a1400.zip");
    EXPECT_TRUE(readFile(LocalFile) == package) << "the package stays in the temporary folder";
    EXPECT_EQ(NewVersion, "1400");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(100, QString("200000 bytes of 200000 received")));
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_LE(progress[i - 1].first, progress[i].first);

    // Finished: every row ticked, Back, Finish with the focus, disconnected.
    EXPECT_EQ(ticks(), "11111");
    EXPECT_FALSE(marker());
    EXPECT_FALSE(cross());
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.BitBtn2->isVisible());
    EXPECT_TRUE(f.BitBtn4->isVisible());
    EXPECT_EQ(f.focusWidget(), f.BitBtn4);
    EXPECT_FALSE(f.bbtnStop->isEnabled());
    EXPECT_FALSE(f.NMFTP1->Connected());
    EXPECT_FALSE(Busy);
    EXPECT_TRUE(Downloaded);
    EXPECT_TRUE(f.installed.empty());
}

TEST_F(TransferTest, UpdateMethodHandsTheNewestPackageToTheInstallation)
{
    NEED_VSFTPD();
    const std::string package = binaryContent(50000, 3);
    putFile(ftpRoot, kAp + "a1305.zip", "older than 13c");
    putFile(ftpRoot, kAp + "a1400.zip", package);
    Vsftpd server(ftpRoot);
    ASSERT_TRUE(server.running()) << server.output();

    TransferForm& f = make(server.port(), tw::MethodInternet, "13c");
    std::string seen;
    f.onInstall = [&] {
        seen = ticks() + (marker() ? " marker " : " - ") + std::to_string(f.imgDot->y()) +
               (f.NMFTP1->Connected() ? " connected" : " disconnected") + " " + readFile(f.installed[0]).substr(0, 0);
        EXPECT_TRUE(readFile(f.installed[0]) == package);
    };
    next();
    ASSERT_EQ(f.installed, std::vector<std::string>{env.tempFolder() + "a1400.zip"});
    EXPECT_EQ(seen, "11110 marker 156 disconnected ");
    EXPECT_TRUE(shown().empty()) << shown()[0].text.toStdString();
    EXPECT_TRUE(FileDialog::shown().empty());
}

TEST_F(TransferTest, TheRefusedFirstDirectoryLeavesItsCrossAndTheFallbackIsUsed)
{
    NEED_VSFTPD();
    putFile(ftpRoot, "Wireless/AP/a1400.zip", "package");
    Vsftpd server(ftpRoot);
    ASSERT_TRUE(server.running()) << server.output();

    TransferForm& f = make(server.port(), tw::MethodInternet);
    next();
    ASSERT_EQ(f.installed, std::vector<std::string>{env.tempFolder() + "a1400.zip"});
    EXPECT_EQ(readFile(f.installed[0]), "package");
    EXPECT_TRUE(cross());
    EXPECT_EQ(f.imgErr->y(), 73);  // where the marker stood on row 2
    EXPECT_FALSE(marker());
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_EQ(ticks(), "11110");
    EXPECT_TRUE(shown().empty());
}

TEST_F(TransferTest, NoNewerPackageAsksWhetherToLeave)
{
    NEED_VSFTPD();
    putFile(ftpRoot, kAp + "a1305.zip", "same");
    putFile(ftpRoot, kAp + "notes.zip", "no a in it");
    Vsftpd server(ftpRoot);
    ASSERT_TRUE(server.running()) << server.output();

    for (Answer answer : {Answer::No, Answer::Yes}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes" : "No");
        MessageBox::clearShown();
        fake.beeps.clear();
        writeAllValues();
        TransferForm& f = make(server.port(), tw::MethodInternet, "1305");
        MessageBox::setNextAnswer(answer);
        next();
        EXPECT_EQ(texts(), std::vector<QString>{tw::kMostRecentText});
        EXPECT_EQ(shown()[0].caption, "Information");
        EXPECT_EQ(shown()[0].icon, Icon::Information);
        EXPECT_EQ(fake.beeps, std::vector<kavo::platform::Beep>{kavo::platform::Beep::Question});
        EXPECT_EQ(ticks(), "11000");
        EXPECT_TRUE(f.installed.empty());
        EXPECT_FALSE(f.NMFTP1->Connected());
        if (answer == Answer::Yes) {
            EXPECT_TRUE(f.Ending());
            EXPECT_FALSE(f.isVisible());
            EXPECT_EQ(runValuesPresent(), 0);
        } else {
            EXPECT_FALSE(f.Ending());
            EXPECT_FALSE(marker());
            EXPECT_FALSE(cross());
            EXPECT_TRUE(f.BitBtn1->isEnabled());
            EXPECT_FALSE(f.BitBtn2->isEnabled());
            EXPECT_TRUE(f.BitBtn2->isVisible());
        }
        delete FormAPList;
        FormAPList = nullptr;
        t.reset();
    }
}

// ---- Failures ----

TEST_F(TransferTest, ARefusedLoginCrossesRowOneAndReportsTheServersReply)
{
    NEED_VSFTPD();
    std::filesystem::create_directories(ftpRoot);
    Vsftpd server(ftpRoot, /*anonymous=*/false);
    ASSERT_TRUE(server.running()) << server.output();

    TransferForm& f = make(server.port(), tw::MethodDownload);
    next();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text.left(4), "530 ");
    EXPECT_EQ(shown()[0].caption, "wizard_tests");
    EXPECT_EQ(shown()[0].icon, Icon::Error);
    EXPECT_TRUE(cross());
    EXPECT_EQ(f.imgErr->y(), 43);
    EXPECT_FALSE(marker());
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(Busy);
    EXPECT_EQ(ticks(), "00000");
}

TEST_F(TransferTest, ConnectionFailuresShowTheConnectMessage)
{
    const quint16 closedPort = freePort();
    struct Case {
        std::string host;
        std::string message;
    } cases[] = {
        {"127.0.0.1", "Error: Connection refused by 127.0.0.1:" + std::to_string(closedPort)},
        {"no-such-host.invalid", "Error: Host not found: no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        MessageBox::clearShown();
        TransferForm& f = make(closedPort, tw::MethodDownload);
        f.UpdateHost = c.host;
        next();
        EXPECT_EQ(texts(), std::vector<QString>{QString::fromStdString(c.message) + tw::kConnectFailedText});
        EXPECT_EQ(shown()[0].caption, "");
        EXPECT_EQ(shown()[0].icon, Icon::Error);
        EXPECT_TRUE(cross());
        EXPECT_EQ(f.imgErr->y(), 45);
        EXPECT_TRUE(f.BitBtn1->isEnabled());
        EXPECT_FALSE(f.BitBtn2->isEnabled());
        EXPECT_FALSE(Busy);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        delete FormAPList;
        FormAPList = nullptr;
        t.reset();
    }
}

TEST_F(TransferTest, AFailingListingShowsItsMessage)
{
    ScriptedFtpServer server;
    server.replies["LIST"] = "550 Permission denied.";
    TransferForm& f = make(server.port(), tw::MethodDownload);
    next();
    EXPECT_EQ(texts(), std::vector<QString>{tw::kListFailedText});
    EXPECT_EQ(shown()[0].caption, "");
    EXPECT_TRUE(cross());
    EXPECT_EQ(f.imgErr->y(), 73);
    EXPECT_EQ(ticks(), "10000");
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(Busy);
}

// A short or unconfirmed download is a failure at row 3: nothing is
// installed, the client's error is reported.
TEST_F(TransferTest, AnIncompleteDownloadIsNeitherInstalledNorSaved)
{
    struct Case {
        const char* name;
        qint64 sendLimit;
        const char* completion;
        const char* report;
    } cases[] = {
        {"short data", 700, "226 Transfer complete.", "Download incomplete: 700 of 1000 bytes received."},
        {"no positive completion", -1, "451 Local error in processing.", "451 Local error in processing."},
    };
    for (int method : {tw::MethodInternet, tw::MethodDownload}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " method " + std::to_string(method));
            MessageBox::clearShown();
            FileDialog::clearShown();
            ScriptedFtpServer server;
            server.listing = {"-rw-r--r-- 1 0 0 1000 Jan 1 2002 a1400.zip"};
            server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = std::string(1000, 'x');
            server.sendLimit = c.sendLimit;
            server.completion = c.completion;
            TransferForm& f = make(server.port(), method);
            next();
            EXPECT_EQ(texts(), std::vector<QString>{c.report});
            EXPECT_EQ(shown()[0].caption, "wizard_tests");
            EXPECT_TRUE(f.installed.empty());
            EXPECT_TRUE(FileDialog::shown().empty());
            EXPECT_FALSE(Downloaded);
            EXPECT_EQ(ticks(), "11000");
            EXPECT_TRUE(cross());
            EXPECT_EQ(f.imgErr->y(), 99);
            EXPECT_TRUE(f.BitBtn1->isEnabled());
            EXPECT_FALSE(f.BitBtn2->isEnabled());
            delete FormAPList;
            FormAPList = nullptr;
            t.reset();
        }
    }
}

TEST_F(TransferTest, NamesThatAreNoFileNamesAreNeverFetched)
{
    ScriptedFtpServer server;
    server.listing = {"total 3", "-rw-r--r-- 1 0 0 9 Jan 1 2002 ../a9999.zip",
                      "-rw-r--r-- 1 0 0 9 Jan 1 2002 a\\9998.zip", "-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = "good file";
    TransferForm& f = make(server.port(), tw::MethodInternet);
    next();
    EXPECT_EQ(f.installed, std::vector<std::string>{env.tempFolder() + "a1400.zip"});
    EXPECT_TRUE(server.saw("RETR /pub/KAVO/Wireless/AP/a1400.zip"));
    EXPECT_EQ(f.ListViewRemote->count(), 3);  // the summary line adds none
    EXPECT_FALSE(std::filesystem::exists(env.root() + "/a9999.zip"));
}

TEST_F(TransferTest, SavingThatFailsOrIsCancelled)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = "a package";
    const std::string plainFile = env.writeFile("plain", "not a folder");

    struct Case {
        const char* name;
        std::string target;
    } cases[] = {
        {"below a plain file", plainFile + "/a1400.zip"},
        {"cancelled", ""},
        {"onto the downloaded file itself", env.tempFolder() + "a1400.zip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBox::clearShown();
        TransferForm& f = make(server.port(), tw::MethodDownload);
        FileDialog::setNextFileName(QString::fromStdString(c.target));
        MessageBox::setNextAnswer(Answer::No);
        next();
        EXPECT_TRUE(f.BitBtn1->isEnabled());
        EXPECT_EQ(readFile(LocalFile), "a package");
        if (std::string(c.name) == "below a plain file") {
            EXPECT_EQ(texts(), std::vector<QString>{tw::kSaveFailedText});
            EXPECT_EQ(shown()[0].caption, "");
            EXPECT_EQ(shown()[0].icon, Icon::Error);
            EXPECT_TRUE(marker());
            EXPECT_EQ(f.imgDot->y(), 156);
            EXPECT_FALSE(cross());
            EXPECT_EQ(ticks(), "11110");
        } else if (c.target.empty()) {
            EXPECT_TRUE(shown().empty());
            EXPECT_TRUE(cross());
            EXPECT_EQ(f.imgErr->y(), 154);
            EXPECT_FALSE(marker());
            EXPECT_EQ(ticks(), "11110");
        } else {
            EXPECT_EQ(texts(), std::vector<QString>{tw::kDownloadedText});
            EXPECT_EQ(ticks(), "11111");
        }
        delete FormAPList;
        FormAPList = nullptr;
        t.reset();
    }
}

TEST_F(TransferTest, StopInTheMiddleOfADownload)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = std::string(4 << 20, 's');
    server.paceBytes = 32768;
    server.paceMs = 5;
    TransferForm& f = make(server.port(), tw::MethodInternet);
    clickDuringDownload(&TFormMain::bbtnStop, 4);
    next();
    EXPECT_EQ(texts(), std::vector<QString>{"Socket send aborted."});
    EXPECT_EQ(shown()[0].caption, "wizard_tests");
    EXPECT_TRUE(cross());
    EXPECT_EQ(f.imgErr->y(), 99);
    EXPECT_EQ(ticks(), "11000");
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.BitBtn2->isEnabled());
    EXPECT_FALSE(f.bbtnStop->isEnabled());
    EXPECT_TRUE(f.installed.empty());
    const auto kept = std::filesystem::file_size(env.tempFolder() + "a1400.zip");
    EXPECT_GT(kept, 0u) << "the part received stays";
    EXPECT_LT(kept, 4u << 20);
    EXPECT_GT(f.ProgressBar1->value(), -1);
    EXPECT_TRUE(f.labProgress->text().endsWith(" bytes of 4194304 received"));
    EXPECT_TRUE(server.saw("ABOR"));
}

// ---- Leaving while a call is pending ----

TEST_F(TransferTest, CancelWhileDownloadingEndsTheRunAndNothingGoesOn)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = std::string(4 << 20, 'c');
    server.paceBytes = 32768;
    server.paceMs = 5;
    writeAllValues();
    TransferForm& f = make(server.port(), tw::MethodInternet);
    clickDuringDownload(&TFormMain::BitBtn3, 3);
    next();
    EXPECT_TRUE(f.Ending());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(runValuesPresent(), 0);
    EXPECT_TRUE(shown().empty()) << shown()[0].text.toStdString();
    EXPECT_TRUE(f.installed.empty());
    EXPECT_FALSE(Downloaded);
    EXPECT_FALSE(f.NMFTP1->Connected());
    QTest::qWait(100);  // the server reads what came
    EXPECT_TRUE(server.saw("QUIT")) << ::testing::PrintToString(server.commands);
}

TEST_F(TransferTest, CancelWhileConnectingEndsTheRunAtOnce)
{
    ScriptedFtpServer server;
    server.greeting.clear();  // the server never greets
    writeAllValues();
    TransferForm& f = make(server.port(), tw::MethodDownload);
    QTimer::singleShot(200, &f, [&f] { QTest::keyClick(&f, Qt::Key_Escape); });
    QElapsedTimer clock;
    clock.start();
    next();
    EXPECT_LT(clock.elapsed(), 10000) << "the connect call went on waiting";
    EXPECT_TRUE(f.Ending());
    EXPECT_EQ(runValuesPresent(), 0);
    EXPECT_TRUE(shown().empty()) << shown()[0].text.toStdString();
    EXPECT_FALSE(f.isVisible());
}

// The installation asks the user inside the download call; an answer after
// longer than the time-out gives no time-out error.
TEST_F(TransferTest, AnAnswerAfterTheTimeOutIsNoError)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = "package";
    TransferForm& f = make(server.port(), tw::MethodInternet);
    f.NMFTP1->TimeOut = 300;
    f.onInstall = [] { QTest::qWait(1000); };
    next();
    EXPECT_EQ(f.installed.size(), 1u);
    EXPECT_TRUE(shown().empty()) << shown()[0].text.toStdString();
    QTest::qWait(400);
    EXPECT_TRUE(shown().empty());
}

// The real time-out: a server that stops answering during the download.
TEST_F(TransferTest, AServerThatStopsAnsweringTimesOutAfterTwentySeconds)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.replies["RETR"] = "";
    TransferForm& f = make(server.port(), tw::MethodInternet);
    ASSERT_EQ(f.NMFTP1->TimeOut, 20000);
    QElapsedTimer clock;
    clock.start();
    next();
    EXPECT_GE(clock.elapsed(), 19900);
    EXPECT_EQ(texts(), std::vector<QString>{"Timed out: the server sent nothing for 20000 ms."});
    EXPECT_EQ(f.imgErr->y(), 99);
    EXPECT_TRUE(f.installed.empty());
}

}  // namespace

// ---- Pictures for a person to look at ----
// Runs only when KAVO_SCREENSHOT_DIR names a folder, on a real display:
//   QT_QPA_PLATFORM=xcb DISPLAY=:75 KAVO_SCREENSHOT_DIR=out bin/wizard_tests --gtest_filter='TransferScreens*'

namespace {

class TransferScreens : public TransferTest {
protected:
    void SetUp() override
    {
        dir = qEnvironmentVariable("KAVO_SCREENSHOT_DIR");
        if (dir.isEmpty() || QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "KAVO_SCREENSHOT_DIR is not set or there is no display";
        TransferTest::SetUp();
    }
    void shoot(const QString& name)
    {
        QTest::qWait(300);
        QPixmap pm = QGuiApplication::primaryScreen()->grabWindow(0);
        EXPECT_TRUE(pm.save(dir + "/" + name + ".png")) << name.toStdString();
    }
    // The next modal dialog is really shown, pictured, then closed with
    // `button` (a message box's button) or rejected.
    void whenModal(const QString& name, QMessageBox::StandardButton button)
    {
        auto* poll = new QTimer(t.get());
        QObject::connect(poll, &QTimer::timeout, [this, poll, name, button] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            poll->stop();
            poll->deleteLater();
            shoot(name);
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && button != QMessageBox::NoButton)
                box->button(button)->click();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
        poll->start(100);
    }
    QString dir;
};

TEST_F(TransferScreens, DownloadStopQuestionAndSaveDialog)
{
    ScriptedFtpServer server;
    server.listing = {"-rw-r--r-- 1 0 0 9 Jan 1 2002 a1400.zip"};
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = std::string(8 << 20, 'd');
    server.paceBytes = 65536;
    server.paceMs = 20;
    MessageBox::setTestMode(false);

    // Page 2 during the download, then after Stop (with its report).
    TransferForm& f = make(server.port(), tw::MethodDownload);
    auto original = f.NMFTP1->OnPacketRecvd;
    f.NMFTP1->OnPacketRecvd = [&, original, n = 0](qint64 r, qint64 total) mutable {
        original(r, total);
        if (++n == 40)
            QTimer::singleShot(0, &f, [&] {
                shoot("transfer-downloading");
                whenModal("transfer-stopped-report", QMessageBox::Ok);
                QTest::mouseClick(f.bbtnStop, Qt::LeftButton);
            });
    };
    next();
    shoot("transfer-stopped");
    delete FormAPList;
    FormAPList = nullptr;
    t.reset();

    // The most-recent question.
    server.paceBytes = 0;
    server.files["/pub/KAVO/Wireless/AP/a1400.zip"] = "package";
    make(server.port(), tw::MethodInternet, "1400");
    whenModal("transfer-most-recent", QMessageBox::No);
    next();
    delete FormAPList;
    FormAPList = nullptr;
    t.reset();

    // The save dialog, then (with a name given) the last question.
    make(server.port(), tw::MethodDownload);
    whenModal("transfer-save-dialog", QMessageBox::NoButton);
    next();
    shoot("transfer-save-cancelled");
    MessageBox::setTestMode(true);
}

}  // namespace
