// The upgrade dialog: its window, start-up from the shared key and the list
// file, and every outcome in the status line, against ap-sim on loopback.
#include "AboutDlg.h"
#include "DialogUnits.h"
#include "FakeServices.h"
#include "MessageBox.h"
#include "UploaderTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include <gtest/gtest.h>

namespace {

using namespace uptest;

QString sha256(const std::string& s)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromStdString(s), QCryptographicHash::Sha256).toHex());
}

class FlashpostDlgTest : public ::testing::Test {
protected:
    void SetUp() override { kavo::ui::MessageBox::clearShown(); }
    void TearDown() override { kavo::ui::MessageBox::clearShown(); }
    // A firmware file named by a one-line list, and the AP's address.
    std::string prepare(std::size_t size, const std::string& name = "pkg/fw.bin")
    {
        std::string bytes = pattern(size, 11);
        s.writeFirmware(name, bytes);
        std::string listName = name;
        for (auto& c : listName)
            c = c == '/' ? '\\' : c;
        s.writeList(listName + " $0\r\n");
        s.setAddress("127.0.0.1");
        return bytes;
    }
    Scene s;
};

TEST_F(FlashpostDlgTest, TheWindowFollowsTemplate102)
{
    Dialog d(fastParams(9));
    CFlashpostDlg& w = d.dlg();
    EXPECT_EQ(w.windowTitle(), " Upgrade AP firmware message");
    DialogUnits du(w.font());
    EXPECT_EQ(w.size(), du.size(236, 63));
    struct Control {
        const char* name;
        const char* text;
        int x, y, cx, cy;
        bool visible;
    };
    const Control controls[] = {
        {"IDCANCEL", "OK", 86, 37, 65, 16, true},
        {"IDOK", "Download image", 4, 30, 65, 16, false},
        {"1004", "Download settings", 4, 43, 65, 16, false},
        {"1000", "", 159, 44, 52, 14, false},
        {"1001", "", 158, 37, 52, 14, false},
        {"1003", "...", 213, 40, 14, 15, false},
        {"1002", "", 33, 16, 193, 12, true},
    };
    w.show();
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = w.findChild<QWidget*>(c.name);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->geometry(), du.rect(c.x, c.y, c.cx, c.cy));
        EXPECT_EQ(widget->isVisible(), c.visible);
        if (auto* b = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(b->text(), c.text);
        }
        // Every control lies inside the client area: nothing is clipped.
        EXPECT_TRUE(w.rect().contains(widget->geometry()));
    }
    auto* icon = w.findChild<QLabel*>("1007");
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->isVisible());
    EXPECT_EQ(icon->pos(), QPoint(du.x(6), du.y(11)));
    EXPECT_TRUE(w.findChild<QLineEdit*>("1002")->isReadOnly());
}

TEST_F(FlashpostDlgTest, TheAboutItemOpensTheAboutBox)
{
    Dialog d(fastParams(9));
    d.init();
    auto* about = d->findChild<QAction*>("aboutAction");
    ASSERT_TRUE(about);
    EXPECT_EQ(about->text(), "&About Flashpost...");
    EXPECT_EQ(d->contextMenuPolicy(), Qt::ActionsContextMenu);
    QString title, version;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            version = box->findChild<QLabel*>("version")->text();
            box->accept();
        }
    });
    about->trigger();
    EXPECT_EQ(title, "About Flashpost");
    EXPECT_EQ(version, "Flashpost Version 1.3");
}

TEST_F(FlashpostDlgTest, AnUploadShowsEachStageAndRecordsCompletionOnlyAfterTheFlashWait)
{
    const std::string bytes = prepare(1500);
    ApSim sim({"--delay", "300"});
    TftpParams p = fastParams(sim.port());
    p.requestPeriodMs = p.blockPeriodMs = 1500;  // no retransmission: every reply comes 300 ms late
    p.flashWaitMs = 800;
    Dialog d(p);
    d.init();
    // Until the first ACK: " Please wait... ", busy.
    spin(150);
    EXPECT_EQ(d->statusText(), kWait);
    EXPECT_FALSE(d.iconShown());
    EXPECT_FALSE(d.okEnabled());
    ASSERT_TRUE(d.waitForStatus(kInProgress, 3000));
    EXPECT_FALSE(d.iconShown());
    EXPECT_FALSE(d.okEnabled());
    ASSERT_TRUE(d.waitForStatus(kFlashing, 5000));
    EXPECT_FALSE(s.lastUpdate()) << "written before the flash wait ended";
    const QJsonObject report = sim.report(false);
    ASSERT_TRUE(d.waitForStatus(kCompleted, 3000));
    EXPECT_FALSE(d.iconShown());
    EXPECT_TRUE(d.okEnabled());
    EXPECT_TRUE(d.okHasFocus());
    auto last = s.lastUpdate();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->data, (std::vector<std::uint8_t>{'1', 0, 0, 0}));
    EXPECT_EQ(d.texts(), (QStringList{kWait, kInProgress, kFlashing, kCompleted}));

    EXPECT_TRUE(report.value("valid").toBool()) << QJsonDocument(report).toJson().toStdString();
    EXPECT_EQ(report.value("name").toString(), "atbrfirm.bin");
    EXPECT_EQ(report.value("blocks").toInt(), 3);
    EXPECT_EQ(report.value("sha256").toString(), sha256(bytes));
    EXPECT_EQ(sim.image(), bytes);
}

// "OK" carries the cancel command, and so do Esc and the close box: while
// "OK" is disabled (request, data and flash wait) they only beep, so the
// transfer and its completion record cannot be cut off.
TEST_F(FlashpostDlgTest, EscAndTheCloseBoxEndTheDialogOnlyWhileOkIsEnabled)
{
    prepare(700);  // two blocks
    ScriptedAp ap;
    ap.autoAck = false;
    TftpParams p = fastParams(ap.port());
    p.requestPeriodMs = p.blockPeriodMs = 5000;
    p.flashWaitMs = 1000;
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped(fake);
    Dialog d(p);
    d.init();
    auto tryToEnd = [&](const char* phase) {
        SCOPED_TRACE(phase);
        EXPECT_FALSE(d.okEnabled());
        QTest::keyClick(&d.dlg(), Qt::Key_Escape);
        d->close();
        QCoreApplication::processEvents();
        EXPECT_TRUE(d->isVisible());
    };
    ASSERT_TRUE(ap.waitForCount(1, 3000));
    tryToEnd("write request");
    ap.ack(0);
    ASSERT_TRUE(waitUntil([&] { return ap.dataCount() == 1; }, 3000));
    tryToEnd("data");
    ap.ack(1);
    ASSERT_TRUE(waitUntil([&] { return ap.dataCount() == 2; }, 3000));
    ap.ack(2);
    ASSERT_TRUE(d.waitForStatus(kFlashing, 3000));
    tryToEnd("flash wait");
    EXPECT_EQ(fake.beeps.size(), 6u);  // each refused attempt beeps

    ASSERT_TRUE(d.waitForStatus(kCompleted, 3000)) << d.texts().join('|').toStdString();
    EXPECT_TRUE(s.lastUpdate());
    // With "OK" enabled, Esc ends the dialog, and so does the close box.
    QTest::keyClick(&d.dlg(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
    d->show();
    QCoreApplication::processEvents();
    d->close();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(fake.beeps.size(), 6u);
}

TEST_F(FlashpostDlgTest, TheLastLineOfTheListNamesTheFileAndACfgFileStillGoesAsTheImage)
{
    s.writeFirmware("pkg/first.bin", pattern(600, 1));
    const std::string cfg = pattern(900, 2);
    s.writeFirmware("pkg/oem.cfg", cfg);
    s.writeList("pkg\\first.bin $123\r\npkg\\oem.cfg $456\r\n");
    s.setAddress("127.0.0.1");
    ApSim sim;
    Dialog d(fastParams(sim.port()));
    d.init();
    EXPECT_FALSE(d->m_btnImage->isEnabled());
    EXPECT_TRUE(d->m_btnSettings->isEnabled());
    EXPECT_EQ(d->m_edtFile->text().toStdString(), s.env.tempFolder() + "pkg/oem.cfg");
    ASSERT_TRUE(d.waitForStatus(kCompleted, 10000)) << d.texts().join('|').toStdString();
    const QJsonObject report = sim.report(true);
    EXPECT_TRUE(report.value("valid").toBool());
    EXPECT_EQ(report.value("name").toString(), "atbrfirm.bin");
    EXPECT_EQ(sim.image(), cfg);
}

TEST_F(FlashpostDlgTest, TheHiddenCommandsFollowTheFilesKind)
{
    struct Case {
        const char* name;
        bool image, settings;
    };
    const Case cases[] = {{"a.cfg", false, true}, {"a.CFG", false, true}, {"a.rom", true, false},
                          {"a.ROM", true, false}, {"a.all", true, false}, {"a.ALL", true, false},
                          {"a.bin", true, true},  {"a.Cfg", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        scene.writeFirmware(c.name, "x");
        scene.writeList(std::string(c.name) + " $0\n");
        Dialog d(fastParams(9));  // no address: nothing is sent
        d.init();
        EXPECT_EQ(d->m_btnImage->isEnabled(), c.image);
        EXPECT_EQ(d->m_btnSettings->isEnabled(), c.settings);
    }
}

// Every outcome of the transfer that ap-sim can provoke.
TEST_F(FlashpostDlgTest, TransferOutcomesAgainstTheSimulatedAp)
{
    struct Case {
        QStringList options;
        QString last;            // the final status
        bool completed;          // LastUpdate written
        QString report;          // a report field ...
        int value;               // ... and its value
        bool invalidPacketSeen;
    };
    const Case cases[] = {
        {{"--error-on", "wrq", "--error-code", "258"}, "Transfer failed: Error - 2", false, "data_packets", 0, false},
        {{"--error-on", "3", "--error-code", "5"}, "Transfer failed: Error - 5", false, "data_packets", 3, false},
        {{"--silent"}, " Timed out... ", false, "requests", 10, false},
        {{"--silent-from", "2"}, "Transfer failed ... ", false, "data_packets", 11, false},
        // A reply from another address is reported and dropped: the request goes again.
        {{"--once-from-address", "127.0.0.2"}, kCompleted, true, "requests", 2, true},
        // From the AP's address but another port: reported, and the transfer goes on.
        {{"--once-from-port", "--once-at", "2"}, kCompleted, true, "duplicates", 0, true},
        // The last ACK comes again after the flash wait, while idle.
        {{"--dup-acks", "--dup-delay", "700"}, "error state", true, "requests", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        Scene scene;
        const std::string bytes = pattern(2000, 5);
        scene.writeFirmware("pkg/fw.bin", bytes);
        scene.writeList("pkg\\fw.bin $0\n");
        scene.setAddress("127.0.0.1");
        ApSim sim(c.options);
        Dialog d(fastParams(sim.port()));
        d.init();
        ASSERT_TRUE(d.waitForStatus(c.last, 10000)) << d.texts().join('|').toStdString();
        spin(50);
        const bool error = c.last != kCompleted;
        EXPECT_EQ(d.iconShown(), error);
        EXPECT_TRUE(d.okEnabled());
        EXPECT_TRUE(d.okHasFocus());
        EXPECT_EQ(d->m_nStatus, 2);
        EXPECT_EQ(bool(scene.lastUpdate()), c.completed);
        if (!c.completed) {
            EXPECT_FALSE(d.texts().contains(kCompleted));
        }
        const QJsonObject report = sim.report(true);
        EXPECT_EQ(report.value(c.report).toInt(), c.value) << QJsonDocument(report).toJson().toStdString();
        if (c.completed) {
            EXPECT_TRUE(report.value("valid").toBool());
            EXPECT_EQ(sim.image(), bytes);
        }
        auto invalid = std::find_if(d.trail().begin(), d.trail().end(),
                                    [](const Shown& sh) { return sh.text == "Invalid Packet"; });
        ASSERT_EQ(invalid != d.trail().end(), c.invalidPacketSeen);
        if (c.invalidPacketSeen) {
            EXPECT_TRUE(invalid->icon);  // the error look
            EXPECT_TRUE(invalid->okEnabled);
        }
    }
}

// Start-up outcomes that end before any datagram is sent.
TEST_F(FlashpostDlgTest, StartUpFailuresShowTheirTextOrEndTheProgram)
{
    const std::string longName(120, 'n');
    struct Case {
        const char* what;
        std::function<void(Scene&)> setup;
        QString status;   // the final status; empty: the program ended with the message box
        bool socketFails = false;
    };
    const auto file = [](Scene& sc) {
        sc.writeFirmware("pkg/fw.bin", "firmware");
        sc.writeList("pkg\\fw.bin $0\n");
    };
    const Case cases[] = {
        {"no IpAddress value", [&](Scene& sc) { file(sc); sc.createKey(); }, "Error - Invalid IP address"},
        {"no settings key", file, "Error - Invalid IP address"},
        {"no list file", [](Scene& sc) { sc.setAddress("127.0.0.1"); }, "Error - No specify files to upgrade"},
        {"list file unreadable (a folder)",
         [](Scene& sc) {
             std::filesystem::create_directories(sc.env.tempFolder() + "APfirmware.txt");
             sc.setAddress("127.0.0.1");
         },
         "Error - No specify files to upgrade"},
        {"empty firmware file",
         [](Scene& sc) {
             sc.writeFirmware("pkg/fw.bin", "");
             sc.writeList("pkg\\fw.bin $0\n");
             sc.setAddress("127.0.0.1");
         },
         "Error - No specify files to upgrade"},
        {"firmware file too large",
         [](Scene& sc) {
             sc.writeFirmware("pkg/fw.bin", std::string(CFlashpostDlg::kMaxFileLen + 1, 'x'));
             sc.writeList("pkg\\fw.bin $0\n");
             sc.setAddress("127.0.0.1");
         },
         "Error - Firmware file too large"},
        {"socket not created",
         [&](Scene& sc) {
             file(sc);
             sc.setAddress("127.0.0.1");
         },
         "Error - No specify files to upgrade", true},
        {"empty list file", [](Scene& sc) { sc.writeList(""); sc.setAddress("127.0.0.1"); }, ""},
        {"named file missing", [](Scene& sc) { sc.writeList("pkg\\gone.bin $0\n"); }, ""},
        {"last line empty", [&](Scene& sc) { file(sc); sc.writeList("pkg\\fw.bin $0\n\n"); }, ""},
        {"line begins with $", [&](Scene& sc) { file(sc); sc.writeList("$0\n"); }, ""},
        {"path too long",
         [&](Scene& sc) {
             sc.writeFirmware(longName, "firmware");
             sc.writeList(longName + " $0\n");
         },
         ""},
        {"name leaves the folder", [&](Scene& sc) { file(sc); sc.writeList("..\\fw.bin $0\n"); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kavo::ui::MessageBox::clearShown();
        Scene scene;
        c.setup(scene);
        ScriptedAp ap;
        TftpParams p = fastParams(ap.port());
        if (c.socketFails)
            p.localAddress = QHostAddress("192.0.2.1");  // not on this machine: bind fails
        Dialog d(p);
        d.init();
        spin(50);
        EXPECT_TRUE(ap.received.empty());
        const auto& boxes = kavo::ui::MessageBox::shown();
        if (c.status.isEmpty()) {
            EXPECT_TRUE(d->programEnded());
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, "Error: cannot open firmware file");
            EXPECT_EQ(boxes[0].caption, "Error");
            EXPECT_EQ(boxes[0].icon, kavo::ui::Icon::Error);
            EXPECT_EQ(boxes[0].buttons, kavo::ui::Buttons::Ok);
            EXPECT_TRUE(d.texts().isEmpty());
            continue;
        }
        EXPECT_FALSE(d->programEnded());
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(d->statusText(), c.status) << d.texts().join('|').toStdString();
        EXPECT_TRUE(d.iconShown());
        EXPECT_TRUE(d.okEnabled());
        if (c.socketFails) {
            EXPECT_EQ(d.texts(), (QStringList{"Unable to create a socket ...", kWait, c.status}));
            EXPECT_EQ(d->m_nStatus, 0);
        } else {
            EXPECT_EQ(d->m_nStatus, 2);
        }
        EXPECT_FALSE(scene.lastUpdate());
        if (std::string(c.what) == "no settings key") {
            EXPECT_FALSE(scene.keyExists());
        }
    }
}

// LastUpdate goes into an existing key only: without the key the upload
// still ends as completed and no key is created.
TEST_F(FlashpostDlgTest, ACompletionWithoutTheSettingsKeyCreatesNoKey)
{
    s.writeFirmware("pkg/fw.bin", pattern(700));
    s.writeList("pkg\\fw.bin $0\r\n");
    ScriptedAp ap;
    Dialog d(fastParams(ap.port()));
    d.init();
    ASSERT_EQ(d->statusText(), "Error - Invalid IP address");
    d->OnDownloadImage();  // the default command again: the same text, shown again
    EXPECT_EQ(d.texts(), (QStringList{kWait, "Error - Invalid IP address", "Error - Invalid IP address"}));
    d->m_edtAddress->setText("127.0.0.1");
    d->OnDownloadImage();
    ASSERT_TRUE(d.waitForStatus(kCompleted, 5000)) << d.texts().join('|').toStdString();
    EXPECT_FALSE(d.iconShown());
    EXPECT_TRUE(d.okEnabled());
    EXPECT_EQ(ap.dataCount(), 2);
    EXPECT_FALSE(s.keyExists());
}

TEST_F(FlashpostDlgTest, TheSettingsUploadChecksAddressThenSize)
{
    struct Case {
        std::size_t size;
        const char* address;
        QString status;
    };
    const Case cases[] = {
        {100, "", "Invalid IP address!"},
        {0, "127.0.0.1", "Invalid filename"},
        {16385, "127.0.0.1", "Invalid filename"},
        {16384, "127.0.0.1", kCompleted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Scene scene;
        scene.writeFirmware("pkg/oem.cfg", pattern(c.size));
        scene.writeList("pkg\\oem.cfg $0\n");
        scene.createKey();
        ScriptedAp ap;
        Dialog d(fastParams(ap.port()));
        d.init();  // no address: the image upload is refused
        ASSERT_EQ(d->statusText(), c.size ? "Error - Invalid IP address" : "Error - No specify files to upgrade");
        d->m_edtAddress->setText(c.address);
        d->OnDownloadSettings();
        ASSERT_TRUE(d.waitForStatus(c.status, 5000)) << d.texts().join('|').toStdString();
        if (c.status == kCompleted) {
            ASSERT_FALSE(ap.received.empty());
            EXPECT_EQ(ap.received.front().mid(2, 12), "atoemset.cfg");
            EXPECT_EQ(ap.dataCount(), 33);  // 32 full blocks and an empty one
            EXPECT_TRUE(scene.lastUpdate());
        } else {
            EXPECT_TRUE(ap.received.empty());
            EXPECT_TRUE(d.iconShown());
        }
    }
}

}  // namespace
