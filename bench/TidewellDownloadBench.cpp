// The wizard's download method in this process against an FTP server:
// Next on page 1 with "Download Firmware from the Internet", the save
// dialog and the last question answered ahead. Prints the time of the
// package's transfer (RETR sent to the last byte stored) and the longest
// pause of the event loop while it ran, measured by a 1 ms timer.
//   tidewell-download-bench HOST PORT SAVE-PATH
#include "Aplist.h"
#include "Application.h"
#include "BitBtn.h"
#include "FileDialog.h"
#include "Main.h"
#include "MessageBox.h"
#include "NMFTP.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QComboBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s HOST PORT SAVE-PATH\n", argv[0]);
        return 2;
    }
    TApplication app(argc, argv);
    kavo::ui::MessageBox::setTestMode(true);
    TFormMain form;
    FormMain = &form;
    FormAPList = new TFormAPList(&form);
    form.UpdateHost = argv[1];
    form.UpdatePort = std::atoi(argv[2]);
    form.ConnectPauseMs = 0;
    form.cbMethod->setCurrentIndex(tidewell::MethodDownload);
    kavo::ui::FileDialog::setNextFileName(QString::fromLocal8Bit(argv[3]));
    kavo::ui::MessageBox::setNextAnswer(kavo::ui::Answer::No);

    // The last transaction is the download.
    QElapsedTimer clock;
    qint64 started = -1, stopped = -1, bytes = 0;
    bool transferring = false;
    auto start = form.NMFTP1->OnTransactionStart;
    form.NMFTP1->OnTransactionStart = [&, start] {
        start();
        started = clock.nsecsElapsed();
        transferring = true;
    };
    auto stop = form.NMFTP1->OnTransactionStop;
    form.NMFTP1->OnTransactionStop = [&, stop] {
        stopped = clock.nsecsElapsed();
        transferring = false;
        stop();
    };
    auto packet = form.NMFTP1->OnPacketRecvd;
    form.NMFTP1->OnPacketRecvd = [&, packet](qint64 r, qint64 t) {
        bytes = r;
        packet(r, t);
    };
    qint64 lastTick = -1, longestPause = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (transferring && lastTick >= 0 && now - lastTick > longestPause)
            longestPause = now - lastTick;
        lastTick = transferring ? now : -1;
    });
    ticker.start(1);
    clock.start();
    // The click runs the whole method; leave once it returns.
    QTimer::singleShot(0, &form, [&] {
        form.BitBtn2->click();
        QCoreApplication::quit();
    });
    form.show();
    app.exec();

    const bool ok = Downloaded && started >= 0 && stopped > started;
    std::printf("ok=%d bytes=%lld transfer_ms=%.1f longest_pause_ms=%.1f\n", ok ? 1 : 0,
                static_cast<long long>(bytes), (stopped - started) / 1e6, longestPause / 1e6);
    if (!ok)
        for (const auto& m : kavo::ui::MessageBox::shown())
            std::fprintf(stderr, "message: %s\n", m.text.toLocal8Bit().constData());
    delete FormAPList;
    FormAPList = nullptr;
    FormMain = nullptr;
    return ok ? 0 : 1;
}
