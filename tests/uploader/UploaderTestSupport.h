// What the uploader's tests share: a private environment with the list
// file, the firmware file and the shared key; a dialog under test that
// records every status it shows; ap-sim as a child process on loopback; and
// a scripted AP (a socket the test answers from by hand).
#pragma once

#include "FlashpostDlg.h"
#include "Registry.h"
#include "TestEnv.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace uptest {

// The status texts the tests wait for, as the dialog shows them.
inline const QString kWait = " Please wait... ";
inline const QString kInProgress = "Transfer in progress";
inline const QString kFlashing = "Flash Programming in progress ...  ";
inline const QString kCompleted = "Transfer Completed";

// Runs the event loop until `done` holds or `ms` pass; whether it holds.
// (The loop sleeps in the platform's wait, so sockets are served at once.)
bool waitUntil(const std::function<bool()>& done, int ms);
// Runs the event loop for `ms`.
void spin(int ms);

// Bytes 0..n-1 of a fixed pseudo-random pattern.
std::string pattern(std::size_t n, unsigned seed = 7);

// Short timings for loopback; the real counts.
TftpParams fastParams(quint16 port);

class Scene {
public:
    kavo::test::IsolatedEnv env;
    // A firmware file below the temporary folder, and the list naming it.
    std::string writeFirmware(const std::string& relative, const std::string& bytes) const;
    void writeList(const std::string& content) const;
    void setAddress(const std::string& address) const;  // creates the key
    void createKey() const;
    std::optional<kavo::RawValue> lastUpdate() const;
    bool keyExists() const;
};

struct Shown {
    QString text;
    bool icon;       // the error icon is visible
    bool okEnabled;  // the "OK" button
};

// The dialog under test with the trail of statuses it showed, each with its look.
class Dialog {
public:
    explicit Dialog(const TftpParams& params);
    ~Dialog();
    CFlashpostDlg& dlg() { return *m_dlg; }
    CFlashpostDlg* operator->() { return m_dlg.get(); }
    void init();  // OnInitDialog, then shown
    const std::vector<Shown>& trail() const;
    QStringList texts() const;
    bool waitForStatus(const QString& text, int ms);
    bool iconShown() const;
    bool okEnabled() const;
    bool okHasFocus() const;

private:
    void settleLook() const;
    std::unique_ptr<CFlashpostDlg> m_dlg;
    mutable std::vector<Shown> m_trail;
};

// ap-sim tftp on 127.0.0.1, any free port.
class ApSim {
public:
    explicit ApSim(const QStringList& options = {});
    ~ApSim();
    quint16 port() const { return m_port; }
    // The report: waits for it while events run; ends ap-sim first when asked.
    QJsonObject report(bool terminate, int ms = 10000);
    std::string image() const { return kavo::test::readFile(m_out); }

private:
    QProcess m_p;
    QByteArray m_stdout;
    quint16 m_port = 0;
    QTemporaryDir m_dir;
    std::string m_out;
};

// An AP the test scripts: records what arrives, answers when told (or
// acknowledges everything on its own with autoAck).
class ScriptedAp : public QObject {
public:
    ScriptedAp();
    quint16 port() const { return m_sock.localPort(); }
    bool autoAck = true;
    std::function<void(const QByteArray&)> onDatagram;
    std::vector<QByteArray> received;
    int dataCount() const;
    void ack(int block, QUdpSocket* via = nullptr);
    void error(int code, QUdpSocket* via = nullptr);
    void sendRaw(const QByteArray& d, QUdpSocket* via = nullptr);
    bool waitForCount(std::size_t n, int ms);

private:
    QUdpSocket m_sock;
    QHostAddress m_peer;
    quint16 m_peerPort = 0;
};

}  // namespace uptest
