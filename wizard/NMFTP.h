// TNMFTP: the wizard's FTP client component. Anonymous log-in, change of
// directory, raw listing and download over active data connections (the
// client announces its port with "PORT"), abort, and QUIT.
//
// Its calls block the caller but process events while they wait (a local
// event loop), so buttons and the client's own events run in the middle of
// them. The events are std::function members, called in this order:
//
//   Connect:    OnHostResolved, then OnConnect once logged in. A socket
//               error (resolution, refused or timed-out connection) calls
//               OnError and raises ESockError; a server that refuses the
//               greeting or the log-in calls OnConnectionFailed and raises
//               EProtocolError with the server's reply.
//   ChangeDir:  OnSuccess(cmdChangeDir) or OnFailure(cmdChangeDir).
//   List:       OnTransactionStart, OnListItem per line, OnTransactionStop,
//               OnSuccess(cmdList) or OnFailure(cmdList).
//   Download:   OnTransactionStart, OnPacketRecvd per received block,
//               OnTransactionStop, OnSuccess(cmdDownload) or OnFailure.
//   Disconnect: OnDisconnect.
//
// After OnFailure the call raises EFtpError unless the handler set its
// `handled` argument. The inactivity time-out (TimeOut) runs only while a
// reply or data is awaited, never while an event handler runs.
#pragma once

#include "FtpReply.h"

#include <QFile>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;

// The operation that an outcome event reports.
enum TCmdType { cmdChangeDir, cmdList, cmdDownload };

// Errors of the client, carrying its message.
class EFtpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Resolution, connection or time-out failures of the control connection.
class ESockError : public EFtpError {
public:
    using EFtpError::EFtpError;
};
// The server refused the greeting or the log-in: the message is its reply.
class EProtocolError : public EFtpError {
public:
    using EFtpError::EFtpError;
};

class TNMFTP : public QObject {
    Q_OBJECT
public:
    explicit TNMFTP(QObject* owner = nullptr);
    ~TNMFTP() override;

    // The texts of the client's own errors.
    static constexpr const char* kAbortedText = "Socket send aborted";

    // Settings.
    std::string Host;
    int Port = 21;
    std::string UserID;
    std::string Password;
    int TimeOut = 20000;      // ms without traffic while a reply or data is awaited
    bool ParseList = false;   // raw lines only
    bool Passive = false;     // active data connections only
    std::string Proxy;        // empty: no proxy
    int ProxyPort = 0;
    enum TFirewallType { FTUser } FirewallType = FTUser;  // log in at the proxy as UserID@Host
    bool FWAuthenticate = false;
    int ReportLevel = 0;
    // The most listing lines one listing may have.
    static constexpr int kMaxListLines = 10000;

    // Events.
    std::function<void()> OnHostResolved;
    std::function<void()> OnConnect;
    std::function<void()> OnConnectionFailed;
    std::function<void(const std::string& message)> OnError;
    std::function<void(const std::string& line)> OnListItem;
    std::function<void()> OnTransactionStart;
    std::function<void()> OnTransactionStop;
    std::function<void(qint64 received, qint64 total)> OnPacketRecvd;
    std::function<void(TCmdType kind)> OnSuccess;
    std::function<void(bool& handled, TCmdType kind)> OnFailure;
    std::function<void()> OnDisconnect;

    void Connect();
    void ChangeDir(const std::string& dir);
    void List();
    // Downloads `remote` into the file `local`, replacing it.
    void Download(const std::string& remote, const std::string& local);
    // Aborts the running data transfer; the pending List or Download fails
    // with kAbortedText.
    void Abort();
    bool Connected() const;
    // Whether a call is waiting for the server.
    bool Waiting() const { return m_waiting; }
    // Sends QUIT and closes. A call that is still waiting ends at once as a
    // failure; then nothing is waited for.
    void Disconnect();

    // The last reply the server sent (tests, error texts).
    const ftp::Reply& LastReply() const { return m_lastReply; }

private:
    enum class State {
        Disconnected,
        Resolving,
        Connecting,
        Greeting,
        User,
        Pass,
        Ready,
        ChangingDir,
        SettingType,
        Porting,
        Transfer,   // LIST or RETR sent: the data and the completion reply awaited
        Aborting,   // ABOR sent: its reply awaited
        Quitting,
    };
    enum class Outcome { Pending, Done, Failed };
    enum class ErrorKind { Socket, Refused, Command };

    void await();
    void finish();
    void fail(const std::string& message, ErrorKind kind = ErrorKind::Command);
    std::string notConnectedText() const;
    void send(const std::string& command);
    void touch();
    void closeControl(bool graceful = false);
    void closeData();
    void startTransfer(TCmdType kind);
    void sendPort();
    void checkTransferDone();
    void runTransfer(TCmdType kind);
    // The success event, or the failure event and then the error unless
    // the handler marked it handled.
    void reportOutcome(TCmdType kind);
    void deliverListLines(const std::vector<std::string>& lines);

    void onReply(const ftp::Reply& reply);
    void onControlReadyRead();
    void onControlError();
    void onNewDataConnection();
    void onDataReadyRead();
    void readDownloadBlock();
    void onDataClosed();
    void onTimeOut();

    std::unique_ptr<QTcpSocket> m_control;
    std::unique_ptr<QTcpServer> m_listener;
    QTcpSocket* m_data = nullptr;
    QTimer m_timer;
    ftp::ReplyParser m_parser;
    ftp::Reply m_lastReply;
    State m_state = State::Disconnected;
    Outcome m_outcome = Outcome::Done;
    ErrorKind m_errorKind = ErrorKind::Command;
    std::string m_error;
    std::string m_lostBecause;  // the last error, named when a later command finds no connection
    bool m_waiting = false;
    bool m_loggedIn = false;
    std::string m_loginUser;

    // The running transfer.
    TCmdType m_kind = cmdList;
    std::string m_remote;
    QFile m_file;
    bool m_started = false;     // OnTransactionStart was called
    bool m_dataSeen = false;    // a data connection was accepted
    bool m_dataDone = false;    // and the server closed it
    bool m_finalOk = false;     // the positive completion reply came
    bool m_aborted = false;
    qint64 m_total = 0;
    qint64 m_received = 0;
    int m_lines = 0;
    ftp::LineSplitter m_splitter;
    static constexpr qint64 kBufferBytes = 1 << 20;
    static constexpr int kReceiveBufferBytes = 4 << 20;
    QByteArray m_buffer;
};

namespace ftp {
// The size in a RETR's preliminary reply, "... (1234 bytes)"; 0 when none.
qint64 AnnouncedSize(const std::string& replyText);
}  // namespace ftp
