// The Internet methods end to end in network namespaces: vsftpd on an
// update server host, its name mapped in the PC host's hosts file, the
// wizard inside the PC host (this test binary again) with the real port,
// time-out and pause, the real Beaconry and Flashpost against ap-sim; and
// the real Tidewell program there, driven with keys on a private display.
// Needs root; skipped otherwise.
#include "FileDialog.h"
#include "FirmwareList.h"
#include "FtpTestServers.h"
#include "LabWizard.h"
#include "MessageBox.h"
#include "NMFTP.h"
#include "PackageMaker.h"
#include "ProcessRunner.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"
#include "WizardLab.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include <signal.h>

using namespace kavo::test;
namespace fs = std::filesystem;
using kavo::ui::Answer;
using kavo::ui::MessageBox;

namespace {

constexpr const char* kServer = "10.77.0.21";
// A host whose listener on port 21 accepts connections and never greets.
constexpr const char* kSilentServer = "10.77.0.22";

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}

const char* env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

class FtpLab : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (WizardLab::inPc())
            return;
        if (auto why = NetLab::skipReason(); !why.empty())
            GTEST_SKIP() << why;
        if (auto why = ftptest::vsftpdSkipReason(); !why.empty())
            GTEST_SKIP() << why;
        isolated = std::make_unique<IsolatedEnv>();
        lab = std::make_unique<WizardLab>();
        ftpRoot = isolated->root() + "/ftp";
        firmware = randomBytes(3000, 11);
        fs::create_directories(ftpRoot + "/pub/KAVO/Wireless/AP");
        package = ftpRoot + "/pub/KAVO/Wireless/AP/a1400.zip";
        pkgtest::writeZip(package, {pkgtest::file("APfirmware.txt", pkgtest::listLine("a1400\\fw.bin", firmware)),
                                    pkgtest::file("fw.bin", firmware),
                                    pkgtest::file("padding.bin", randomBytes(600000, 12))});
        ftptest::putFile(ftpRoot, "pub/KAVO/Wireless/AP/a1305.zip", "older");
    }

    // vsftpd on port 21 of the update server host; `rate` limits its
    // sending (bytes per second, 0 none).
    void startServer(int rate = 0)
    {
        lab->net().addHost("srv", kServer);
        const std::string dir = isolated->root() + "/vsftpd";
        fs::create_directories(dir + "/empty");
        std::ofstream(dir + "/vsftpd.conf")
            << "listen=YES\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nanon_root=" << ftpRoot
            << "\nno_anon_password=YES\nport_enable=YES\nconnect_from_port_20=NO\npasv_enable=NO\nsecure_chroot_dir="
            << dir << "/empty\nseccomp_sandbox=NO\nxferlog_enable=NO\nwrite_enable=NO\nanon_max_rate=" << rate
            // A session whose client vanished with the lab's network ends soon.
            << "\nidle_session_timeout=15\ndata_connection_timeout=15\n";
        fs::permissions(ftpRoot, fs::perms(0755));
        lab->net().spawn("srv", {"vsftpd", dir + "/vsftpd.conf"});
        lab->net().writeHosts("pc", std::string("127.0.0.1 localhost\n") + kServer + " " + tidewell::kUpdateHost + "\n");
        bool up = false;
        for (int i = 0; i < 50 && !up; ++i)
            up = lab->net()
                     .run("pc", {"bash", "-c", std::string("exec 3<>/dev/tcp/") + tidewell::kUpdateHost +
                                                   "/21 && head -c 3 <&3 | grep -q 220"})
                     .exitCode == 0;
        ASSERT_TRUE(up) << "vsftpd does not answer on the update server's name";
    }

    // vsftpd leaves a session process per connection that outlives the
    // listener the lab ends; those of this test's server are found by its
    // own configuration file and ended by their process ids.
    void TearDown() override
    {
        endSessions();
        lab.reset();
        endSessions();  // and what the lab's end left over
    }
    void endSessions()
    {
        if (!isolated)
            return;
        const std::string conf = isolated->root() + "/vsftpd/vsftpd.conf";
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const std::string pid = entry.path().filename().string();
            if (pid.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::ifstream in(entry.path() / "cmdline", std::ios::binary);  // proc files have no size
            std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
            if (cmdline.rfind("vsftpd ", 0) == 0 && cmdline.find(conf) != std::string::npos)
                ::kill(std::stoi(pid), SIGKILL);
        }
    }

    std::optional<std::string> value(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        if (!key || !key->readRaw(name))
            return std::nullopt;
        return key->readString(name);
    }

    std::unique_ptr<IsolatedEnv> isolated;
    std::unique_ptr<WizardLab> lab;
    std::string ftpRoot, package, firmware;
};

TEST_F(FtpLab, UpdateFromTheServerUpgradesTheAp)
{
    if (WizardLab::inPc()) {
        LabWizard w;
        w.choose(tidewell::MethodInternet);
        MessageBox::setNextAnswer(Answer::Yes);  // the consent question
        ASSERT_TRUE(w.nextAndPick(WizardLab::kApAddress));
        EXPECT_TRUE(w.finished());
        ASSERT_EQ(MessageBox::shown().size(), 1u) << MessageBox::shown().back().text.toStdString();
        EXPECT_EQ(MessageBox::shown()[0].text, tidewell::kConsentText);
        EXPECT_EQ(w.form->labProgress->text().toStdString(), env("KAVO_LAB_PROGRESS"));
        EXPECT_EQ(w.form->ProgressBar1->value(), 100);
        return;
    }
    lab->startAp("KAVO-AP-510 Ver:1.3.0c");
    startServer();
    const std::string size = std::to_string(fs::file_size(package));
    auto run = lab->runInPc(120000, {"KAVO_LAB_PROGRESS=" + size + " bytes of " + size + " received"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(readFile(lab->image()) == firmware) << "the AP's image differs from the package's firmware";
    EXPECT_EQ(value(kavo::settings::kLastUpdateVersion), "1400");
    EXPECT_TRUE(readFile(isolated->tempFolder() + "a1400.zip") == readFile(package));
}

TEST_F(FtpLab, DownloadSavesAnIdenticalCopy)
{
    if (WizardLab::inPc()) {
        LabWizard w;
        w.choose(tidewell::MethodDownload);
        kavo::ui::FileDialog::setNextFileName(QString::fromLocal8Bit(env("KAVO_LAB_SAVE")));
        MessageBox::setNextAnswer(Answer::No);
        QTest::mouseClick(w.form->BitBtn2, Qt::LeftButton);
        EXPECT_TRUE(w.finished());
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown()[0].text, tidewell::kDownloadedText);
        return;
    }
    startServer();
    const std::string saved = isolated->root() + "/saved/my copy.zip";
    fs::create_directories(isolated->root() + "/saved");
    auto run = lab->runInPc(60000, {"KAVO_LAB_SAVE=" + saved});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(readFile(saved) == readFile(package)) << "the saved copy differs from the server's package";
}

// Stop, and in a second run Cancel, while vsftpd sends slowly.
TEST_F(FtpLab, StopAndCancelInTheMiddleOfADownload)
{
    if (WizardLab::inPc()) {
        const bool cancel = std::string(env("KAVO_LAB_BUTTON")) == "cancel";
        LabWizard w;
        w.choose(tidewell::MethodDownload);
        QPushButton* button = cancel ? w.form->BitBtn3 : w.form->bbtnStop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (w.form->ProgressBar1->value() >= 10 && w.form->bbtnStop->isEnabled()) {
                poll.stop();
                QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        poll.start(20);
        QTest::mouseClick(w.form->BitBtn2, Qt::LeftButton);
        EXPECT_TRUE(kavo::ui::FileDialog::shown().empty());
        if (cancel) {
            EXPECT_TRUE(w.form->Ending());
            EXPECT_TRUE(MessageBox::shown().empty());
            EXPECT_FALSE(w.form->isVisible());
        } else {
            ASSERT_EQ(MessageBox::shown().size(), 1u);
            EXPECT_EQ(MessageBox::shown()[0].text, "Socket send aborted.");
            EXPECT_TRUE(w.form->imgErr->isVisible());
            EXPECT_EQ(w.form->imgErr->y(), 99);
            EXPECT_TRUE(w.form->BitBtn1->isEnabled());
        }
        return;
    }
    startServer(200000);
    for (const char* button : {"stop", "cancel"}) {
        SCOPED_TRACE(button);
        {
            auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
            key->writeString(kavo::settings::kIpAddress, "10.77.0.11");
        }
        fs::remove(isolated->tempFolder() + "a1400.zip");
        auto run = lab->runInPc(60000, {std::string("KAVO_LAB_BUTTON=") + button});
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        const auto kept = fs::file_size(isolated->tempFolder() + "a1400.zip");
        EXPECT_GT(kept, 0u);
        EXPECT_LT(kept, fs::file_size(package));
        EXPECT_FALSE(value(kavo::settings::kIpAddress)) << "the window's destruction removes the run's values";
    }
}

// The real Tidewell process in the PC host, on a private display and driven
// with keys: Next with the Internet method, OK in the AP list, then Cancel
// (Esc) while the server has accepted the connection but never greets, and
// while vsftpd sends slowly. Either way the process ends with 0, the run's
// four values are gone and nothing was installed.
TEST_F(FtpLab, CancelEndsTheTidewellProcessCleanly)
{
    if (WizardLab::inPc())
        return;  // the wizard runs as its own program here
    XSession x;
    if (!x.ready())
        GTEST_SKIP() << x.whyNot();
    lab->startAp("KAVO-AP-510 Ver:1.3.0c");
    startServer(200000);
    lab->net().addHost("quiet", kSilentServer);
    const int silent = lab->net().spawn(
        "quiet", {"python3", "-u", "-c",
                  std::string("import socket, time\ns = socket.socket()\n"
                              "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\ns.bind(('") +
                      kSilentServer +
                      "', 21))\ns.listen(4)\nprint('READY')\nwhile True:\n    c, _ = s.accept()\n"
                      "    print('ACCEPTED')\n    time.sleep(600)\n"});
    const std::string silentLog = lab->net().logPath(silent) + ".out";
    ASSERT_TRUE(waitForText(silentLog, "READY", 10000)) << readFile(lab->net().logPath(silent) + ".err");

    auto press = [&](unsigned long window, const std::string& keys) {
        const std::string display = "DISPLAY=" + x.display();
        runProgram("env", {display, "xdotool", "windowactivate", "--sync", std::to_string(window)}, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return runProgram("env", {display, "xdotool", "key", "--clearmodifiers", keys}, 5000).exitCode == 0;
    };
    const std::string partial = isolated->tempFolder() + "a1400.zip";
    struct Case {
        const char* name;
        const char* address;             // what the update server's name stands for
        std::function<bool()> underWay;  // the moment to cancel
    };
    const Case cases[] = {
        {"while connecting", kSilentServer, [&] { return readFile(silentLog).find("ACCEPTED") != std::string::npos; }},
        {"while downloading", kServer,
         [&] {
             std::error_code ec;
             const auto size = fs::file_size(partial, ec);
             return !ec && size > 0 && size < fs::file_size(package);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(partial);
        lab->net().writeHosts("pc", std::string("127.0.0.1 localhost\n") + c.address + " " + tidewell::kUpdateHost + "\n");
        const int wizard = lab->net().spawn(
            "pc", {"env", "-C", binDir(), "DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb", "./Tidewell"});
        const unsigned long main = x.waitForWindow(tidewell::kMainCaption, 20000);
        ASSERT_NE(main, 0u) << readFile(lab->net().logPath(wizard) + ".err");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(press(main, "alt+n"));  // Next, "Update Firmware from the Internet" being the first method
        const unsigned long list = x.waitForWindow("AP List", 20000);
        ASSERT_NE(list, 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(press(list, "alt+o"));  // OK: the one AP found
        ASSERT_TRUE(XSession::waitUntil(c.underWay, 15000)) << readFile(lab->net().logPath(wizard) + ".err");
        EXPECT_TRUE(value(kavo::settings::kIpAddress)) << "the AP chosen is not in the store";
        ASSERT_TRUE(press(main, "Escape"));
        const int exitCode = lab->net().wait(wizard, 10000);
        EXPECT_EQ(exitCode, 0) << readFile(lab->net().logPath(wizard) + ".err");
        if (exitCode == -1)
            lab->net().stop(wizard);
        for (const char* name : {kavo::settings::kApIpAddress, kavo::settings::kIpAddress, kavo::settings::kApVersion,
                                 kavo::settings::kLastUpdate})
            EXPECT_FALSE(value(name)) << name << " is left in the store";
        EXPECT_FALSE(fs::exists(isolated->tempFolder() + "a1400")) << "the package was extracted";
        EXPECT_FALSE(fs::exists(isolated->tempFolder() + kavo::fwlist::kListFileName)) << "a list copy was made";
        EXPECT_TRUE(readFile(lab->image()).empty()) << "the AP received an image";
    }
}

}  // namespace
