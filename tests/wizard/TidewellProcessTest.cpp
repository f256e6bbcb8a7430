// The Tidewell program as a process: one wizard per user.
#include "Main.h"
#include "ProcessRunner.h"
#include "SingleInstance.h"
#include "TestEnv.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

QString tidewellPath()
{
    return QString::fromStdString(kavo::test::binDir() + "/Tidewell" + kavo::platform::kExeSuffix);
}

TEST(TidewellProcess, ASecondStartRaisesTheRunningWizardAndEndsWithZero)
{
    kavo::test::IsolatedEnv env;  // private store and TMPDIR, where the channel lives
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString channel =
        kavo::platform::SingleInstance(QString::fromLatin1(tidewell::kMainCaption)).channelName();

    QProcess first;
    first.setWorkingDirectory(QString::fromStdString(kavo::test::binDir()));
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(tidewellPath(), {});
    ASSERT_TRUE(first.waitForStarted(10000));

    // Wait until the first wizard listens on its channel.
    QElapsedTimer clock;
    clock.start();
    bool listening = false;
    while (!listening && clock.elapsed() < 15000 && first.state() == QProcess::Running) {
        QLocalSocket probe;
        probe.connectToServer(channel);
        listening = probe.waitForConnected(200);
        if (!listening)
            QThread::msleep(20);
    }
    ASSERT_TRUE(listening) << "the first wizard never listened";

    auto second = kavo::test::runProgram(tidewellPath().toStdString(), {}, 15000, {}, kavo::test::binDir());
    EXPECT_FALSE(second.timedOut) << "the second start went on running";
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first wizard goes on";

    // The first wizard answers a raise request once it has come forward.
    QLocalSocket socket;
    socket.connectToServer(channel);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write("raise\n");
    socket.flush();
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(3000))
        answer += socket.readAll();
    EXPECT_EQ(answer, "ok\n");
    socket.disconnectFromServer();

    first.kill();
    first.waitForFinished(5000);
}

// On a display with a window manager: the main window sits centred by its
// frame; a second start brings the minimised wizard back, normal and
// active, and with the AP list open, the AP list in front of it.
TEST(TidewellProcess, ASecondStartBringsTheMinimisedWizardBack)
{
    kavo::test::XSession x;
    if (!x.ready())
        GTEST_SKIP() << x.whyNot();
    kavo::test::IsolatedEnv env;
    // The program folder: the wizard, and a stand-in discovery program that
    // finds one AP.
    const std::string folder = env.root() + "/app";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(kavo::test::binDir() + "/aptable_writer", folder + "/Beaconry");
    QProcessEnvironment penv = QProcessEnvironment::systemEnvironment();
    penv.insert("DISPLAY", QString::fromStdString(x.display()));
    penv.insert("QT_QPA_PLATFORM", "xcb");
    penv.insert("KAVO_TEST_APIPADDRESS", "10.0.0.2");
    penv.insert("KAVO_TEST_APVERSION", "1.3c");
    auto start = [&](QProcess& p) {
        p.setProcessEnvironment(penv);
        p.setWorkingDirectory(QString::fromStdString(folder));
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(tidewellPath(), {});
        return p.waitForStarted(10000);
    };
    auto secondStart = [&] {
        QProcess second;
        if (!start(second) || !second.waitForFinished(15000))
            return -1;
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    };
    QProcess first;
    ASSERT_TRUE(start(first));
    const unsigned long main = x.waitForWindow(tidewell::kMainCaption, 15000);
    ASSERT_NE(main, 0u);

    auto centred = [&] {
        const kavo::test::Rect f = x.frame(main), s = x.screen();
        return std::abs(2 * f.x + f.width - s.width) <= 1 && std::abs(2 * f.y + f.height - s.height) <= 1 &&
               f.height > 326;  // the frame is known: taller than the client area
    };
    EXPECT_TRUE(kavo::test::XSession::waitUntil(centred, 3000))
        << "frame at " << x.frame(main).x << "," << x.frame(main).y << " size " << x.frame(main).width << "x"
        << x.frame(main).height;

    x.iconify(main);
    ASSERT_TRUE(kavo::test::XSession::waitUntil([&] { return x.wmState(main) == 3; }, 3000));
    EXPECT_EQ(secondStart(), 0);
    EXPECT_TRUE(kavo::test::XSession::waitUntil(
        [&] { return x.wmState(main) == 1 && x.activeWindow() == main; }, 5000))
        << "state " << x.wmState(main) << ", active " << x.activeWindow() << ", main " << main;

    // Next on the first page opens the AP list.
    ASSERT_TRUE(x.key("alt+n"));
    const unsigned long list = x.waitForWindow("AP List", 10000);
    ASSERT_NE(list, 0u);
    x.iconify(main);
    ASSERT_TRUE(kavo::test::XSession::waitUntil([&] { return x.wmState(main) == 3; }, 3000));
    EXPECT_EQ(secondStart(), 0);
    EXPECT_TRUE(kavo::test::XSession::waitUntil(
        [&] {
            const auto order = x.stacking();
            const auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
            return x.wmState(main) == 1 && x.wmState(list) == 1 && x.activeWindow() == list && at(list) > at(main);
        },
        5000))
        << "main state " << x.wmState(main) << ", list state " << x.wmState(list) << ", active "
        << x.activeWindow() << ", list " << list;
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(5000);
}

}  // namespace
