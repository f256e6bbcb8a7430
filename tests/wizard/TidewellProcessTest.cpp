// The Tidewell program as a process: one wizard per user.
#include "Main.h"
#include "ProcessRunner.h"
#include "SingleInstance.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

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

}  // namespace
