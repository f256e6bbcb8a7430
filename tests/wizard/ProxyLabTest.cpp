// The proxy settings reach the FTP client: in a lab of network namespaces a
// PC downloads the update package from the update server through a real FTP
// proxy (ftp-proxy, "user@host" logins), after the proxy dialog was filled
// in. Needs root; skipped otherwise.
//
// The outer test builds the lab and runs this binary again inside the PC
// host, where ProxyLabInside does the wizard's part.
#include "FtpTestServers.h"
#include "MainFixture.h"
#include "NMFTP.h"
#include "NetLab.h"
#include "Proxy.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using kavo::test::NetLab;

constexpr const char* kPackage = "a1400.zip";

TEST(ProxyLab, TheWizardDownloadsThroughARealFtpProxy)
{
    if (auto why = NetLab::skipReason(); !why.empty())
        GTEST_SKIP() << why;
    if (auto why = ftptest::vsftpdSkipReason(); !why.empty())
        GTEST_SKIP() << why;
    if (!fs::exists("/usr/sbin/ftp-proxy"))
        GTEST_SKIP() << "ftp-proxy is not installed (scripts/setup installs it)";

    kavo::test::IsolatedEnv env;
    NetLab lab;
    lab.addHost("pc", "10.78.0.1");
    lab.addHost("proxy", "10.78.0.2");
    lab.addHost("server", "10.78.0.3");
    // Only the proxy knows the update server's name.
    lab.writeHosts("proxy", std::string("127.0.0.1 localhost\n10.78.0.3 ") + tidewell::kUpdateHost + "\n");

    const std::string root = env.root() + "/ftp";
    const std::string content = ftptest::binaryContent(200000, 11);
    const std::string expected = ftptest::putFile(env.root(), "expected.zip", content);
    ftptest::putFile(root, std::string("pub/KAVO/Wireless/AP/") + kPackage, content);
    fs::permissions(root, fs::perms(0755));
    fs::create_directories(env.root() + "/empty");
    const std::string vsftpdConf = env.writeFile(
        "vsftpd.conf", "listen=YES\nlisten_address=10.78.0.3\nlisten_port=21\nbackground=NO\nanonymous_enable=YES\n"
                       "local_enable=NO\nanon_root=" + root + "\nno_anon_password=YES\nport_enable=YES\n"
                       "connect_from_port_20=NO\npasv_enable=NO\nsecure_chroot_dir=" + env.root() + "/empty\n"
                       "seccomp_sandbox=NO\nxferlog_enable=NO\nwrite_enable=NO\ndirmessage_enable=NO\n");
    lab.spawn("server", {"/usr/sbin/vsftpd", vsftpdConf});
    const std::string proxyConf = env.writeFile(
        "ftp-proxy.conf", "[-Global-]\nServerType standalone\nListen 10.78.0.2\nPort 2121\nAllowMagicUser yes\n"
                          "DestinationAddress 10.78.0.3\nDestinationPort 21\nUser nobody\nGroup nogroup\n"
                          "PidFile " + env.root() + "/ftp-proxy.pid\nTimeOut 60\n");
    lab.spawn("proxy", {"/usr/sbin/ftp-proxy", "-d", "-n", "-f", proxyConf});

    // Both listen before the wizard starts.
    bool ready = false;
    for (int i = 0; i < 50 && !ready; ++i) {
        ready = lab.run("pc", {"bash", "-c", "exec 3<>/dev/tcp/10.78.0.2/2121 && exec 4<>/dev/tcp/10.78.0.3/21"},
                        2000).exitCode == 0;
        if (!ready)
            QTest::qWait(100);
    }
    ASSERT_TRUE(ready) << kavo::test::readFile(lab.logPath(0) + ".err") << kavo::test::readFile(lab.logPath(1) + ".err");

    const auto r = lab.run("pc", {"env", "KAVO_PROXY_LAB=10.78.0.2", "KAVO_PROXY_LAB_EXPECTED=" + expected,
                                  "QT_QPA_PLATFORM=offscreen", kavo::test::binDir() + "/wizard_tests", "--gtest_filter=ProxyLabInside.*"},
                           120000);
    EXPECT_EQ(r.exitCode, 0) << r.out + r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out + r.err;
}

class ProxyLabInside : public MainFixture {};

// Inside the PC host: the proxy dialog as the user fills it in, then the
// download method as far as the saved package.
TEST_F(ProxyLabInside, DialogThenDownload)
{
    const QByteArray proxy = qgetenv("KAVO_PROXY_LAB");
    if (proxy.isEmpty())
        GTEST_SKIP() << "runs inside the lab of ProxyLab";
    // The wizard's own window, with the transfer's disconnect and save steps.
    auto form = std::make_unique<TFormMain>();
    TFormMain& f = *form;
    FormMain = form.get();
    FormAPList = new TFormAPList(form.get());
    f.ConnectPauseMs = 0;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TFormProxy*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        d->CheckBox1->setChecked(true);
        d->edtAddr->setText(QString::fromLatin1(proxy));
        d->edtPort->setText("2121");
        d->BitBtn1->click();
    });
    f.btnProxyClick();
    ASSERT_EQ(f.NMFTP1->Proxy, proxy.toStdString());
    ASSERT_EQ(f.NMFTP1->ProxyPort, 2121);

    // Next: connect, list, download, disconnect, save, and No to leaving.
    const std::string saved = env.root() + "/saved.zip";
    kavo::ui::FileDialog::setNextFileName(QString::fromStdString(saved));
    kavo::ui::MessageBox::setNextAnswer(kavo::ui::Answer::No);
    f.cbMethod->setCurrentIndex(tidewell::MethodDownload);
    f.BitBtn2Click();
    std::string steps;
    for (int row = 1; row <= 5; ++row)
        steps += f.TickImage(row)->isVisibleTo(&f) ? 'v' : '-';
    steps += f.imgErr->isVisibleTo(&f) ? " cross" : " no cross";
    SCOPED_TRACE("steps " + steps + ", file dialogs " + std::to_string(kavo::ui::FileDialog::shown().size()) +
                 ", list " + std::to_string(f.ListViewRemote->count()));
    std::vector<std::string> messages;
    for (const auto& m : shown())
        messages.push_back(m.text.toStdString());
    EXPECT_EQ(messages, std::vector<std::string>{tidewell::kDownloadedText});
    EXPECT_TRUE(kavo::test::readFile(saved) == kavo::test::readFile(qEnvironmentVariable("KAVO_PROXY_LAB_EXPECTED").toStdString()))
        << "the package saved differs from the server's";
    EXPECT_EQ(tidewell::FileNamePart(LocalFile), kPackage);
    delete FormAPList;
    FormAPList = nullptr;
}

}  // namespace
