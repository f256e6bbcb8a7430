// FTP servers for the wizard's tests, both on the loopback interface:
//
// - Vsftpd: the real vsftpd, anonymous, active mode only, serving a folder
//   the test fills. The peer the client must work with.
// - ScriptedFtpServer: a small server of the tests' own, in this thread,
//   for what vsftpd never does: short data, no completion reply, huge
//   lines, names that are not file names, silence, ASCII conversion, a
//   data connection from another address.
#pragma once

#include "TestEnv.h"

#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace ftptest {

// A port that was free a moment ago.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Why the real vsftpd cannot run here; empty when it can.
inline std::string vsftpdSkipReason()
{
    if (::geteuid() != 0)
        return "vsftpd needs root to shut anonymous users into their folder";
    if (QStandardPaths::findExecutable("vsftpd").isEmpty() &&
        !std::filesystem::exists("/usr/sbin/vsftpd"))
        return "vsftpd is not installed (scripts/setup installs it)";
    return {};
}

// The real vsftpd on 127.0.0.1 with `root` as the anonymous root.
class Vsftpd {
public:
    explicit Vsftpd(const std::string& root, bool anonymous = true) : m_root(root)
    {
        namespace fs = std::filesystem;
        m_dir = root + ".vsftpd";
        fs::create_directories(m_dir + "/empty");
        fs::create_directories(root);
        // vsftpd serves anonymous users as the unprivileged ftp user, shut
        // into the root (it needs root to start): files must be open to all.
        fs::permissions(root, fs::perms(0755));
        for (int attempt = 0; attempt < 5 && !m_running; ++attempt) {
            m_port = freePort();
            std::ofstream(m_dir + "/vsftpd.conf")
                << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << m_port
                << "\nbackground=NO\nanonymous_enable=" << (anonymous ? "YES" : "NO")
                << "\nlocal_enable=" << (anonymous ? "NO" : "YES") << "\nanon_root=" << root
                << "\nno_anon_password=YES\nport_enable=YES\nconnect_from_port_20=NO\npasv_enable=NO\n"
                   "secure_chroot_dir="
                << m_dir << "/empty\nrun_as_launching_user=NO\nseccomp_sandbox=NO\nxferlog_enable=NO\n"
                << "write_enable=NO\ndirmessage_enable=NO\n";
            m_process.setProcessChannelMode(QProcess::MergedChannels);
            m_process.start(QStandardPaths::findExecutable("vsftpd", {"/usr/sbin", "/usr/bin"}), {QString::fromStdString(m_dir + "/vsftpd.conf")});
            if (!m_process.waitForStarted(5000))
                return;
            for (int i = 0; i < 100 && !m_running; ++i) {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, m_port);
                m_running = probe.waitForConnected(100) && probe.waitForReadyRead(1000);
                if (!m_running && m_process.state() == QProcess::NotRunning)
                    break;
            }
            if (!m_running) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }
    ~Vsftpd()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    bool running() const { return m_running; }
    quint16 port() const { return m_port; }
    std::string output() { return m_process.readAll().toStdString(); }

private:
    std::string m_root, m_dir;
    quint16 m_port = 0;
    QProcess m_process;
    bool m_running = false;
};

// Writes a file below `root`, folders made.
inline std::string putFile(const std::string& root, const std::string& relative, const std::string& content)
{
    std::filesystem::path p = std::filesystem::path(root) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
}

// Bytes that an ASCII transfer would change (LF, CR LF, lone CR, NUL, high bytes).
inline std::string binaryContent(std::size_t size, unsigned seed = 7)
{
    std::string s(size, '\0');
    unsigned x = seed;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>((x >> 16) & 0xFF);
        if (i % 97 == 0)
            s[i] = '\n';
        if (i % 89 == 0)
            s[i] = '\r';
    }
    return s;
}

// A scripted FTP server in the test's own thread.
class ScriptedFtpServer : public QObject {
public:
    // What the server serves and how it misbehaves.
    std::string greeting = "220 Scripted server ready";
    std::map<std::string, std::string> files;  // RETR argument -> content
    std::vector<std::string> listing;          // LIST lines, each sent with CR LF
    std::string rawListing;                    // when set, sent as it is instead
    // A reply for a command line (the whole line, e.g. "CWD /pub/KAVO/Wireless/AP/"
    // or just the verb, e.g. "LIST"), in place of the normal answer. "" means
    // the server stays silent.
    std::map<std::string, std::string> replies;
    qint64 announce = -1;           // size in the 150 reply: -1 the real one, 0 none
    qint64 sendLimit = -1;          // send at most this many bytes of a file
    std::string completion = "226 Transfer complete.";  // "" for none (the control stays open)
    bool asciiDefault = true;       // without TYPE I, LF goes out as CR LF
    int paceBytes = 0;              // when set, data goes out in chunks of this size ...
    int paceMs = 10;                // ... every paceMs
    QHostAddress dataFrom;          // bind the data connection to this address when set

    std::vector<std::string> commands;  // every command line received
    int connections = 0;

    ScriptedFtpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                ++connections;
                m_control = s;
                m_binary = false;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onRead(s); });
                if (!greeting.empty())
                    say(greeting);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    bool saw(const std::string& line) const
    {
        for (const auto& c : commands)
            if (c == line)
                return true;
        return false;
    }

private:
    void say(const std::string& line)
    {
        if (m_control && m_control->state() == QAbstractSocket::ConnectedState) {
            m_control->write(QByteArray::fromStdString(line + "\r\n"));
            m_control->flush();
        }
    }
    void onRead(QTcpSocket* s)
    {
        m_in += s->readAll().toStdString();
        for (std::size_t nl; (nl = m_in.find("\r\n")) != std::string::npos;) {
            std::string line = m_in.substr(0, nl);
            m_in.erase(0, nl + 2);
            commands.push_back(line);
            handle(line);
        }
    }
    void handle(const std::string& line)
    {
        const std::string verb = line.substr(0, line.find(' '));
        const std::string arg = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : "";
        for (const std::string& key : {line, verb}) {
            auto it = replies.find(key);
            if (it != replies.end()) {
                if (!it->second.empty())
                    say(it->second);
                return;
            }
        }
        if (verb == "USER")
            say("331 Please specify the password.");
        else if (verb == "PASS")
            say("230 Login successful.");
        else if (verb == "CWD")
            say("250 Directory successfully changed.");
        else if (verb == "TYPE") {
            m_binary = arg == "I";
            say("200 Type set.");
        } else if (verb == "PORT") {
            int h[6] = {};
            if (std::sscanf(arg.c_str(), "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) != 6) {
                say("501 Illegal PORT command.");
                return;
            }
            m_dataAddress = QHostAddress(quint32((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]));
            m_dataPort = static_cast<quint16>(h[4] * 256 + h[5]);
            say("200 PORT command successful.");
        } else if (verb == "LIST") {
            std::string body = rawListing;
            if (body.empty())
                for (const auto& l : listing)
                    body += l + "\r\n";
            sendData(body, "150 Here comes the directory listing.", "226 Directory send OK.");
        } else if (verb == "RETR") {
            auto it = files.find(arg);
            if (it == files.end()) {
                say("550 Failed to open file.");
                return;
            }
            std::string body = it->second;
            if (!m_binary && asciiDefault) {
                std::string converted;
                for (char c : body) {
                    if (c == '\n')
                        converted += '\r';
                    converted += c;
                }
                body = converted;
            }
            qint64 size = announce < 0 ? static_cast<qint64>(body.size()) : announce;
            if (sendLimit >= 0 && sendLimit < static_cast<qint64>(body.size()))
                body.resize(static_cast<std::size_t>(sendLimit));
            std::string opening = "150 Opening BINARY mode data connection for " + arg;
            if (size > 0)
                opening += " (" + std::to_string(size) + " bytes).";
            sendData(body, opening, completion);
        } else if (verb == "ABOR") {
            m_pacer.reset();
            if (m_data)
                m_data->abort();
            say("426 Failure writing network stream.");
            say("226 ABOR successful.");
        } else if (verb == "QUIT") {
            say("221 Goodbye.");
            m_control->disconnectFromHost();
        } else {
            say("502 Command not implemented.");
        }
    }
    void sendData(const std::string& body, const std::string& opening, const std::string& done)
    {
        m_data = new QTcpSocket(this);
        if (!dataFrom.isNull())
            m_data->bind(dataFrom);
        m_data->connectToHost(m_dataAddress, m_dataPort);
        if (!m_data->waitForConnected(3000)) {
            say("425 Failed to establish connection.");
            return;
        }
        say(opening);
        QTcpSocket* data = m_data;
        auto closeAndReply = [this, data, done] {
            connect(data, &QTcpSocket::disconnected, this, [this, done] {
                if (!done.empty())
                    say(done);
            });
            data->disconnectFromHost();
        };
        if (paceBytes <= 0) {
            data->write(QByteArray::fromStdString(body));
            closeAndReply();
            return;
        }
        auto offset = std::make_shared<std::size_t>(0);
        m_pacer = std::make_unique<QTimer>();
        connect(m_pacer.get(), &QTimer::timeout, this, [this, data, body, offset, closeAndReply] {
            if (*offset >= body.size()) {
                m_pacer.release()->deleteLater();
                closeAndReply();
                return;
            }
            std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(paceBytes), body.size() - *offset);
            data->write(body.data() + *offset, static_cast<qint64>(n));
            *offset += n;
        });
        m_pacer->start(paceMs);
    }

    QTcpServer m_server;
    QTcpSocket* m_control = nullptr;
    QTcpSocket* m_data = nullptr;
    std::unique_ptr<QTimer> m_pacer;
    std::string m_in;
    bool m_binary = false;
    QHostAddress m_dataAddress;
    quint16 m_dataPort = 0;
};

}  // namespace ftptest
