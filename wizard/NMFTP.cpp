#include "NMFTP.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace ftp {

qint64 AnnouncedSize(const std::string& replyText)
{
    // The last "(<digits> bytes" of the reply's first line.
    std::string first = replyText.substr(0, replyText.find('\n'));
    qint64 size = 0;
    for (std::size_t open = first.find('('); open != std::string::npos; open = first.find('(', open + 1)) {
        std::size_t i = open + 1, digits = 0;
        qint64 value = 0;
        while (i < first.size() && first[i] >= '0' && first[i] <= '9' && digits < 18) {
            value = value * 10 + (first[i] - '0');
            ++i;
            ++digits;
        }
        if (digits > 0 && first.compare(i, 6, " bytes") == 0)
            size = value;
    }
    return size;
}

}  // namespace ftp

namespace {

std::string socketMessage(const QTcpSocket& socket, const std::string& host, int port)
{
    switch (socket.error()) {
    case QAbstractSocket::HostNotFoundError:
        return "Host not found: " + host;
    case QAbstractSocket::ConnectionRefusedError:
        return "Connection refused by " + host + ":" + std::to_string(port);
    case QAbstractSocket::RemoteHostClosedError:
        return "The server closed the connection";
    default:
        return socket.errorString().toStdString();
    }
}

}  // namespace

TNMFTP::TNMFTP(QObject* owner) : QObject(owner)
{
    m_timer.setSingleShot(true);
    // Never early: a coarse timer may fire up to 5% before its time.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TNMFTP::onTimeOut);
}

TNMFTP::~TNMFTP()
{
    closeData();
    if (m_control) {
        m_control->disconnect(this);
        m_control->abort();
    }
}

bool TNMFTP::Connected() const
{
    return m_loggedIn && m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

// ---- Waiting ----

void TNMFTP::await()
{
    if (m_waiting)
        throw EFtpError("The FTP client is busy with another command");
    m_waiting = true;
    m_timer.start(TimeOut);
    QEventLoop loop;
    while (m_outcome == Outcome::Pending)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    m_timer.stop();
    m_waiting = false;
}

// Traffic while waiting restarts the inactivity time-out.
void TNMFTP::touch()
{
    if (m_waiting)
        m_timer.start(TimeOut);
}

void TNMFTP::finish()
{
    if (m_outcome == Outcome::Pending)
        m_outcome = Outcome::Done;
}

// Why a command cannot go out: the connection is closed, and why it closed
// when an error closed it.
std::string TNMFTP::notConnectedText() const
{
    return m_lostBecause.empty() ? std::string("Not connected to the server")
                                 : "Not connected to the server (" + m_lostBecause + ")";
}

void TNMFTP::fail(const std::string& message, ErrorKind kind)
{
    if (m_outcome != Outcome::Pending)
        return;
    m_outcome = Outcome::Failed;
    m_error = message;
    m_errorKind = kind;
    closeData();
}

void TNMFTP::onTimeOut()
{
    bool connecting = m_state == State::Resolving || m_state == State::Connecting || m_state == State::Greeting ||
                      m_state == State::User || m_state == State::Pass;
    m_lostBecause = "Timed out: the server sent nothing for " + std::to_string(TimeOut) + " ms";
    fail(m_lostBecause, connecting ? ErrorKind::Socket : ErrorKind::Command);
    // What the server may still send belongs to no command: start afresh.
    closeControl();
}

void TNMFTP::send(const std::string& command)
{
    if (!m_control || m_control->state() != QAbstractSocket::ConnectedState) {
        fail(notConnectedText(), ErrorKind::Socket);
        return;
    }
    m_control->write(command.data(), static_cast<qint64>(command.size()));
    m_control->write("\r\n", 2);
}

// ---- Control connection ----

void TNMFTP::closeControl(bool graceful)
{
    m_loggedIn = false;
    m_state = State::Disconnected;
    if (m_control) {
        m_control->disconnect(this);
        // Gracefully: what was written still goes out before the close,
        // and the socket goes once it is closed.
        if (graceful && m_control->state() == QAbstractSocket::ConnectedState) {
            QTcpSocket* socket = m_control.release();
            socket->flush();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            return;
        }
        m_control->abort();
        m_control.release()->deleteLater();
    }
}

void TNMFTP::Connect()
{
    if (m_waiting)
        throw EFtpError("The FTP client is busy with another command");
    closeData();
    closeControl();
    m_parser = ftp::ReplyParser();
    m_lostBecause.clear();
    m_control = std::make_unique<QTcpSocket>();
    connect(m_control.get(), &QTcpSocket::hostFound, this, [this] {
        if (m_state != State::Resolving)
            return;
        m_state = State::Connecting;
        touch();
        if (OnHostResolved)
            OnHostResolved();
    });
    connect(m_control.get(), &QTcpSocket::connected, this, [this] {
        m_state = State::Greeting;
        touch();
    });
    connect(m_control.get(), &QTcpSocket::readyRead, this, &TNMFTP::onControlReadyRead);
    connect(m_control.get(), &QTcpSocket::errorOccurred, this, &TNMFTP::onControlError);

    // Through a proxy the client logs in at the proxy as user@host.
    const bool proxy = !Proxy.empty();
    const std::string host = proxy ? Proxy : Host;
    const int port = proxy ? ProxyPort : Port;
    m_loginUser = proxy ? UserID + "@" + Host : UserID;

    m_state = State::Resolving;
    m_outcome = Outcome::Pending;
    // A port outside 1 to 65535 (a proxy port as the user typed it) is no
    // TCP port: the connection fails, and is never made to the port's low
    // 16 bits instead.
    if (port < 1 || port > 65535) {
        fail("Invalid port " + std::to_string(port) + " for " + host, ErrorKind::Socket);
    } else {
        m_control->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
        await();
    }

    if (m_outcome == Outcome::Done) {
        m_loggedIn = true;
        m_state = State::Ready;
        if (OnConnect)
            OnConnect();
        return;
    }
    const std::string error = m_error;
    const ErrorKind kind = m_errorKind;
    closeControl();
    if (kind == ErrorKind::Refused) {
        if (OnConnectionFailed)
            OnConnectionFailed();
        throw EProtocolError(error);
    }
    if (OnError)
        OnError(error);
    throw ESockError(error);
}

void TNMFTP::onControlError()
{
    if (!m_control)
        return;
    const bool connecting = m_state == State::Resolving || m_state == State::Connecting ||
                            m_state == State::Greeting || m_state == State::User || m_state == State::Pass;
    if (m_state == State::Quitting) {
        finish();
    } else if (m_outcome == Outcome::Pending) {
        const std::string host = Proxy.empty() ? Host : Proxy;
        const int port = Proxy.empty() ? Port : ProxyPort;
        fail(socketMessage(*m_control, host, port), connecting ? ErrorKind::Socket : ErrorKind::Command);
    }
    // The connection is gone: nothing more is sent or read on it.
    if (m_control->state() != QAbstractSocket::ConnectedState)
        m_lostBecause = socketMessage(*m_control, Proxy.empty() ? Host : Proxy, Proxy.empty() ? Port : ProxyPort);
    m_loggedIn = false;
    if (m_control->state() != QAbstractSocket::ConnectedState)
        m_state = State::Disconnected;
}

void TNMFTP::onControlReadyRead()
{
    const QByteArray bytes = m_control->readAll();
    touch();
    std::vector<ftp::Reply> replies;
    ftp::ReplyParser::Status status = m_parser.feed(bytes.constData(), static_cast<std::size_t>(bytes.size()), replies);
    for (const ftp::Reply& reply : replies) {
        m_lastReply = reply;
        onReply(reply);
    }
    if (status != ftp::ReplyParser::Status::Ok) {
        const bool connecting = m_state == State::Greeting || m_state == State::User || m_state == State::Pass;
        m_lostBecause = ftp::describe(status);
        fail(m_lostBecause, connecting ? ErrorKind::Refused : ErrorKind::Command);
        // A stream we cannot read any further is closed.
        closeControl();
    }
}

// One complete reply, read in the light of the state the session is in.
void TNMFTP::onReply(const ftp::Reply& reply)
{
    switch (m_state) {
    case State::Greeting:
        if (reply.preliminary())
            return;  // "120 ready in a moment": the greeting follows
        if (reply.code == 220) {
            m_state = State::User;
            send("USER " + m_loginUser);
        } else {
            fail(reply.text, ErrorKind::Refused);
        }
        return;
    case State::User:
        if (reply.code == 230) {
            finish();
        } else if (reply.code == 331) {
            m_state = State::Pass;
            send("PASS " + Password);
        } else {
            fail(reply.text, ErrorKind::Refused);
        }
        return;
    case State::Pass:
        if (reply.code == 230 || reply.code == 202)
            finish();
        else
            fail(reply.text, ErrorKind::Refused);
        return;
    case State::ChangingDir:
        if (reply.positive())
            finish();
        else
            fail(reply.text);
        m_state = State::Ready;
        return;
    case State::SettingType:
        if (!reply.positive()) {
            fail(reply.text);
            m_state = State::Ready;
            return;
        }
        sendPort();
        return;
    case State::Porting:
        if (!reply.positive()) {
            fail(reply.text);
            m_state = State::Ready;
            return;
        }
        m_state = State::Transfer;
        send(m_kind == cmdList ? std::string("LIST") : "RETR " + m_remote);
        m_started = true;
        if (OnTransactionStart)
            OnTransactionStart();
        return;
    case State::Transfer:
        if (reply.preliminary()) {
            if (m_kind == cmdDownload)
                m_total = ftp::AnnouncedSize(reply.text);
            return;
        }
        if (reply.positive()) {
            m_finalOk = true;
            m_state = State::Ready;
            checkTransferDone();
            return;
        }
        m_state = State::Ready;
        fail(reply.text);
        return;
    case State::Aborting:
        // The transfer's own "426" may come first; ABOR's positive reply ends it.
        if (reply.positive() || reply.intermediate()) {
            m_state = State::Ready;
            fail(kAbortedText);
        }
        return;
    case State::Quitting:
        finish();
        return;
    case State::Disconnected:
    case State::Resolving:
    case State::Connecting:
    case State::Ready:
        // A reply no command asked for (a stray line after an abort): passed over.
        return;
    }
}

// ---- Commands ----

void TNMFTP::ChangeDir(const std::string& dir)
{
    if (m_waiting)
        throw EFtpError("The FTP client is busy with another command");
    m_outcome = Outcome::Pending;
    m_state = State::ChangingDir;
    send("CWD " + dir);
    if (m_outcome == Outcome::Pending)
        await();
    reportOutcome(cmdChangeDir);
}

void TNMFTP::List()
{
    runTransfer(cmdList);
}

void TNMFTP::Download(const std::string& remote, const std::string& local)
{
    m_remote = remote;
    m_file.close();
    m_file.setFileName(QString::fromStdString(local));
    runTransfer(cmdDownload);
}

void TNMFTP::runTransfer(TCmdType kind)
{
    if (m_waiting)
        throw EFtpError("The FTP client is busy with another command");
    m_kind = kind;
    m_started = m_dataSeen = m_dataDone = m_finalOk = m_aborted = false;
    m_total = m_received = 0;
    m_lines = 0;
    m_splitter = ftp::LineSplitter();
    m_outcome = Outcome::Pending;
    startTransfer(kind);
    if (m_outcome == Outcome::Pending)
        await();
    closeData();
    m_file.close();

    if (m_started && OnTransactionStop)
        OnTransactionStop();
    reportOutcome(kind);
}

void TNMFTP::reportOutcome(TCmdType kind)
{
    if (m_outcome == Outcome::Done) {
        if (OnSuccess)
            OnSuccess(kind);
        return;
    }
    bool handled = false;
    const std::string error = m_error;
    if (OnFailure)
        OnFailure(handled, kind);
    if (!handled)
        throw EFtpError(error);
}

void TNMFTP::startTransfer(TCmdType kind)
{
    if (!Connected()) {
        fail(notConnectedText(), ErrorKind::Socket);
        return;
    }
    if (kind == cmdDownload && !m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail("Cannot write the file " + m_file.fileName().toStdString() + ": " + m_file.errorString().toStdString());
        return;
    }
    // The data connection comes to a port on the control connection's own address.
    m_listener = std::make_unique<QTcpServer>();
    connect(m_listener.get(), &QTcpServer::newConnection, this, &TNMFTP::onNewDataConnection);
    if (!m_listener->listen(m_control->localAddress(), 0)) {
        fail("Cannot open a port for the data connection: " + m_listener->errorString().toStdString());
        return;
    }
    if (kind == cmdDownload) {
        // Byte for byte: the image type, whatever the server's default.
        m_state = State::SettingType;
        send("TYPE I");
    } else {
        sendPort();
    }
}

void TNMFTP::sendPort()
{
    m_state = State::Porting;
    bool isV4 = false;
    const quint32 v4 = m_listener->serverAddress().toIPv4Address(&isV4);
    const quint16 port = m_listener->serverPort();
    if (isV4) {
        send("PORT " + std::to_string(v4 >> 24) + "," + std::to_string((v4 >> 16) & 0xFF) + "," +
             std::to_string((v4 >> 8) & 0xFF) + "," + std::to_string(v4 & 0xFF) + "," + std::to_string(port >> 8) +
             "," + std::to_string(port & 0xFF));
    } else {
        QHostAddress address = m_listener->serverAddress();
        address.setScopeId(QString());
        send("EPRT |2|" + address.toString().toStdString() + "|" + std::to_string(port) + "|");
    }
}

void TNMFTP::Abort()
{
    // Only a transfer whose command has gone out can be aborted.
    if (!m_waiting || m_outcome != Outcome::Pending || m_aborted || !m_started)
        return;
    if (m_state != State::Transfer && m_state != State::Ready)
        return;
    m_aborted = true;
    closeData();
    if (m_state == State::Transfer) {
        // The server still owes the transfer's reply: ask it to stop and
        // wait for its answer, so the session stays in step.
        m_state = State::Aborting;
        send("ABOR");
        touch();
    } else {
        fail(kAbortedText);
    }
}

void TNMFTP::Disconnect()
{
    if (!m_control)
        return;
    if (m_waiting) {
        // A call is still waiting (the window is closing under it): end it
        // now and leave without waiting for anything.
        fail("Disconnected", ErrorKind::Command);
        if (m_control->state() == QAbstractSocket::ConnectedState) {
            send("QUIT");
        }
        closeData();
        closeControl(true);
    } else {
        m_outcome = Outcome::Pending;
        m_state = State::Quitting;
        send("QUIT");
        if (m_outcome == Outcome::Pending)
            await();
        closeData();
        closeControl(true);
    }
    m_outcome = Outcome::Done;
    if (OnDisconnect)
        OnDisconnect();
}

// ---- Data connection ----

void TNMFTP::closeData()
{
    if (m_data) {
        m_data->disconnect(this);
        m_data->abort();
        m_data->deleteLater();
        m_data = nullptr;
    }
    if (m_listener) {
        m_listener->disconnect(this);
        m_listener->close();
        m_listener.release()->deleteLater();
    }
}

void TNMFTP::onNewDataConnection()
{
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        // Only the server we talk to may send the data, and only once.
        const bool fromServer = m_control && socket->peerAddress().isEqual(m_control->peerAddress(),
                                                                           QHostAddress::TolerantConversion);
        if (m_data || !fromServer) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_data = socket;
        m_dataSeen = true;
        // A roomy receive buffer (as far as the system allows): the server
        // keeps sending while a block is written and shown, and the blocks
        // come in fewer, larger pieces.
        m_data->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
        connect(m_data, &QTcpSocket::readyRead, this, &TNMFTP::onDataReadyRead);
        connect(m_data, &QTcpSocket::disconnected, this, &TNMFTP::onDataClosed);
        touch();
        // The server may have sent everything and closed before we looked.
        if (m_data->bytesAvailable() > 0)
            onDataReadyRead();
        if (m_data && m_data->state() != QAbstractSocket::ConnectedState)
            onDataClosed();
    }
}

void TNMFTP::onDataReadyRead()
{
    if (!m_data || m_outcome != Outcome::Pending)
        return;
    if (m_kind == cmdDownload) {
        readDownloadBlock();
        return;
    }
    const QByteArray bytes = m_data->readAll();
    if (bytes.isEmpty())
        return;
    touch();
    std::vector<std::string> lines;
    if (!m_splitter.feed(bytes.constData(), static_cast<std::size_t>(bytes.size()), lines)) {
        fail("A line of the listing is longer than 8192 bytes");
        return;
    }
    deliverListLines(lines);
}

// The list-item event for each complete line, up to the entry limit.
void TNMFTP::deliverListLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        if (++m_lines > kMaxListLines) {
            fail("The listing has more than 10000 entries");
            return;
        }
        if (OnListItem)
            OnListItem(line);
        if (m_outcome != Outcome::Pending)
            return;
    }
}

// One block of a download: what has arrived, read into one buffer that is
// kept for the whole transfer, written to the file, then the packet event.
void TNMFTP::readDownloadBlock()
{
    qint64 block = 0;
    m_buffer.resize(kBufferBytes);
    for (;;) {
        const qint64 n = m_data->read(m_buffer.data(), kBufferBytes);
        if (n <= 0)
            break;
        if (m_file.write(m_buffer.data(), n) != n) {
            fail("Cannot write the file " + m_file.fileName().toStdString() + ": " +
                 m_file.errorString().toStdString());
            return;
        }
        block += n;
    }
    if (block == 0)
        return;
    touch();
    m_received += block;
    if (m_total > 0 && m_received > m_total) {
        fail("The server sent more than the " + std::to_string(m_total) + " bytes it announced");
        return;
    }
    if (OnPacketRecvd)
        OnPacketRecvd(m_received, m_total);
}

void TNMFTP::onDataClosed()
{
    if (!m_data)
        return;
    if (m_data->bytesAvailable() > 0)
        onDataReadyRead();
    if (m_outcome != Outcome::Pending)
        return;
    if (m_kind == cmdList) {
        std::vector<std::string> lines;
        if (!m_splitter.finish(lines)) {
            fail("A line of the listing is longer than 8192 bytes");
            return;
        }
        deliverListLines(lines);
        if (m_outcome != Outcome::Pending)
            return;
    }
    m_dataDone = true;
    m_data->disconnect(this);
    m_data->deleteLater();
    m_data = nullptr;
    checkTransferDone();
}

// A transfer succeeds with its positive completion reply, the data
// connection closed by the server, and every announced byte received.
void TNMFTP::checkTransferDone()
{
    if (!m_finalOk || m_outcome != Outcome::Pending || m_aborted)
        return;
    // The server connected before its reply, but our side may not have
    // taken the connection yet: take it now if it is waiting.
    if (!m_dataSeen && m_listener && (m_listener->hasPendingConnections() || m_listener->waitForNewConnection(0)))
        onNewDataConnection();
    if (m_dataSeen && !m_dataDone)
        return;  // the rest of the data is still on its way
    if (m_kind == cmdDownload && m_total > 0 && m_received != m_total) {
        fail("Download incomplete: " + std::to_string(m_received) + " of " + std::to_string(m_total) +
             " bytes received");
        return;
    }
    if (m_kind == cmdDownload && !m_file.flush()) {
        fail("Cannot write the file " + m_file.fileName().toStdString() + ": " + m_file.errorString().toStdString());
        return;
    }
    finish();
}
