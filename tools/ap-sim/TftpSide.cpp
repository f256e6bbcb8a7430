// The TFTP side of the simulated access point: receives one extended write
// transfer (a 30-byte write request with the file's length and checksum,
// then 512-byte DATA blocks, stop and wait), checks every field, stores the
// image and prints a one-line JSON report. Faults can be switched on to
// test the uploader's error paths.
#include "ApSim.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <memory>
#include <random>

#ifndef _WIN32
#include <csignal>
#include <unistd.h>
#endif

namespace apsim {

namespace {

constexpr int kBlockSize = 512;
constexpr int kRequestLen = 30;

struct Options {
    QHostAddress address{QHostAddress::AnyIPv4};
    quint16 port = 69;
    QString out;
    double drop = 0.0;
    quint32 seed = 1;
    int silentFrom = -1;       // no reply to this block or later (0: the request)
    int errorOn = -1;          // answer this block (0: the request) with ERROR
    int errorCode = 0;
    bool onceFromPort = false;  // one reply from another port ...
    QHostAddress onceFromAddress;  // ... or from another address
    int onceAt = 0;            // ... the reply to this block (0: the request)
    bool dupAcks = false;
    int dupDelayMs = 0;
    int delayMs = 0;
    int timeoutMs = 0;         // end without a finished transfer after this long
    int exitAfterMs = -1;      // end this long after the transfer ended; -1: when told
};

// RFC 1071 sum over the 16-bit little-endian words, an odd last byte left out.
quint16 checksum(const QByteArray& d)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i + 1 < d.size(); i += 2) {
        sum += quint8(d[i]) + 256u * quint8(d[i + 1]);
        if (sum > 0xFFFF)
            sum -= 0xFFFF;
    }
    return quint16(~sum);
}

QString jsonString(const QString& s)
{
    QString out = "\"";
    for (QChar c : s) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (c.unicode() < 0x20)
            out += QString::asprintf("\\u%04x", c.unicode());
        else
            out += c;
    }
    return out + "\"";
}

#ifndef _WIN32
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}
#endif

class TftpSim : public QObject {
public:
    explicit TftpSim(const Options& o) : m_o(o), m_inRng(o.seed), m_outRng(o.seed * 2654435761u + 1) {}

    bool start()
    {
        if (!m_socket.bind(m_o.address, m_o.port)) {
            std::fprintf(stderr, "ap-sim: cannot bind %s:%u: %s\n", qPrintable(m_o.address.toString()),
                         m_o.port, qPrintable(m_socket.errorString()));
            return false;
        }
        if (m_o.onceFromPort || !m_o.onceFromAddress.isNull()) {
            QHostAddress a = m_o.onceFromAddress.isNull() ? m_o.address : m_o.onceFromAddress;
            if (!m_stray.bind(a, 0)) {
                std::fprintf(stderr, "ap-sim: cannot bind %s: %s\n", qPrintable(a.toString()),
                             qPrintable(m_stray.errorString()));
                return false;
            }
        }
        connect(&m_socket, &QUdpSocket::readyRead, this, &TftpSim::readPending);
        std::printf("{\"listening\":%u}\n", m_socket.localPort());
        std::fflush(stdout);
        if (m_o.timeoutMs > 0)
            QTimer::singleShot(m_o.timeoutMs, this, [this] { finish("timeout"); });
        return true;
    }

    // Prints the report once; ends the program now or after --exit-after.
    void finish(const char* how)
    {
        report(how);
        if (std::string(how) == "terminated" || std::string(how) == "timeout")
            QCoreApplication::exit(m_valid ? 0 : 1);
        else if (m_o.exitAfterMs >= 0)
            QTimer::singleShot(m_o.exitAfterMs, this, [this] { QCoreApplication::exit(m_valid ? 0 : 1); });
    }

private:
    bool dropped(std::mt19937& rng)
    {
        if (m_o.drop <= 0.0)
            return false;
        return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < m_o.drop;
    }

    void readPending()
    {
        while (m_socket.hasPendingDatagrams()) {
            QByteArray d(int(qMax<qint64>(m_socket.pendingDatagramSize(), 0)), '\0');
            QHostAddress from;
            quint16 port = 0;
            qint64 n = m_socket.readDatagram(d.data(), d.size(), &from, &port);
            if (n < 0)
                break;
            d.truncate(n);
            if (dropped(m_inRng))
                continue;
            handle(d, from, port);
        }
    }

    void problem(const QString& p)
    {
        if (!m_problems.contains(p))
            m_problems << p;
    }

    void handle(const QByteArray& d, const QHostAddress& from, quint16 port)
    {
        if (d.size() < 2)
            return problem("a datagram shorter than an opcode");
        const int op = quint8(d[0]) * 256 + quint8(d[1]);
        if (op == 2)
            return onRequest(d, from, port);
        if (op == 3)
            return onData(d, from, port);
        problem(QString("opcode %1 received").arg(op));
    }

    void onRequest(const QByteArray& d, const QHostAddress& from, quint16 port)
    {
        ++m_requests;
        if (m_requests == 1) {
            m_clock.start();
            m_client = from;
            m_clientPort = port;
            checkRequest(d);
        } else if (d != m_request) {
            problem("a repeated write request differs from the first");
        }
        if (m_ended || m_expected > 1)
            return;  // late copy: the data phase has begun
        reply(0, from, port);
    }

    void checkRequest(const QByteArray& d)
    {
        m_request = d;
        if (d.size() != kRequestLen) {
            problem(QString("write request of %1 bytes, not 30").arg(d.size()));
            return;
        }
        auto b = [&d](int i) { return quint8(d[i]); };
        m_name = QString::fromLatin1(d.mid(2, 12));
        if (m_name != "atbrfirm.bin" && m_name != "atoemset.cfg")
            problem("unknown remote name");
        if (b(14) != 0x00)
            problem("byte 14 is not 0x00");
        if (b(15) != 0x01)
            problem("byte 15 is not 0x01");
        if (d.mid(16, 5) != "octet")
            problem("mode is not \"octet\"");
        if (b(21) != 0x00)
            problem("byte 21 is not 0x00");
        m_statedLength = qint64(b(26)) | qint64(b(27)) << 8 | qint64(b(28)) << 16 | qint64(b(29)) << 24;
        m_statedChecksum = quint16(b(24) | b(25) << 8);
        if ((b(22) | b(23) << 8) != (m_statedLength & 0xFFFF))
            problem("the 16-bit and 32-bit lengths disagree");
        m_requestOk = m_problems.isEmpty();
    }

    void onData(const QByteArray& d, const QHostAddress& from, quint16 port)
    {
        ++m_dataPackets;
        if (m_requests == 0)
            return problem("DATA before a write request");
        if (from != m_client || port != m_clientPort)
            return problem("DATA from another address or port than the request");
        if (d.size() < 4)
            return problem("DATA shorter than its header");
        const int block = quint8(d[2]) * 256 + quint8(d[3]);
        const QByteArray data = d.mid(4);
        if (data.size() > kBlockSize)
            problem("DATA with more than 512 bytes");
        if (block == m_expected && !m_ended && block == m_o.errorOn) {
            reply(block, from, port);  // refused: the ERROR ends the transfer
        } else if (block == m_expected && !m_ended) {
            m_image += data;
            ++m_blocks;
            ++m_expected;
            const bool last = data.size() < kBlockSize;
            reply(block, from, port);
            if (last) {
                m_ended = true;
                m_elapsedMs = m_clock.nsecsElapsed() / 1e6;
                finish("complete");
            }
        } else if (block == m_expected - 1 && block > 0) {
            ++m_duplicates;  // our ACK was lost or late: answer again
            reply(block, from, port);
        } else {
            problem(QString("DATA block %1 while %2 was expected").arg(block).arg(m_expected));
        }
    }

    // The answer to the request (block 0) or to a DATA block.
    void reply(int block, const QHostAddress& to, quint16 port)
    {
        if (m_o.silentFrom >= 0 && block >= m_o.silentFrom)
            return;
        QByteArray packet(4, '\0');
        bool error = block == m_o.errorOn;
        if (error) {
            packet[1] = 5;
            packet[2] = char(m_o.errorCode >> 8);
            packet[3] = char(m_o.errorCode);
            packet += "simulated error";
            packet += '\0';
            if (!m_ended) {
                m_ended = true;
                m_elapsedMs = m_clock.nsecsElapsed() / 1e6;
                QTimer::singleShot(0, this, [this] { finish("error_sent"); });
            }
        } else {
            packet[1] = 4;
            packet[2] = char(block >> 8);
            packet[3] = char(block);
        }
        QUdpSocket* via = &m_socket;
        if (!m_strayUsed && block == m_o.onceAt && m_stray.state() == QAbstractSocket::BoundState) {
            m_strayUsed = true;
            via = &m_stray;
        }
        send(via, packet, to, port, m_o.delayMs);
        if (m_o.dupAcks && !error)
            send(&m_socket, packet, to, port, m_o.delayMs + m_o.dupDelayMs);
    }

    void send(QUdpSocket* via, const QByteArray& packet, const QHostAddress& to, quint16 port, int delayMs)
    {
        if (dropped(m_outRng))
            return;
        if (delayMs <= 0) {
            via->writeDatagram(packet, to, port);
            return;
        }
        QTimer::singleShot(delayMs, this, [via, packet, to, port] { via->writeDatagram(packet, to, port); });
    }

    void report(const char* how)
    {
        if (m_reported)
            return;
        m_reported = true;
        const bool complete = std::string(how) == "complete";
        const bool lengthMatch = m_requestOk && m_image.size() == m_statedLength;
        const bool checksumMatch = m_requestOk && checksum(m_image) == m_statedChecksum;
        m_valid = m_requestOk && complete && lengthMatch && checksumMatch && m_problems.isEmpty();
        if (!m_o.out.isEmpty()) {
            QFile f(m_o.out);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(m_image) != m_image.size())
                problem("cannot write " + m_o.out), m_valid = false;
        }
        QStringList problems;
        for (const QString& p : m_problems)
            problems << jsonString(p);
        const QString line =
            QString("{\"valid\":%1,\"ended\":\"%2\",\"request_ok\":%3,\"name\":%4,\"stated_length\":%5,"
                    "\"length\":%6,\"length_match\":%7,\"blocks\":%8,\"checksum_match\":%9,"
                    "\"sha256\":\"%10\",\"requests\":%11,\"data_packets\":%12,\"duplicates\":%13,"
                    "\"elapsed_ms\":%14,\"problems\":[%15]}")
                .arg(m_valid ? "true" : "false", how, m_requestOk ? "true" : "false", jsonString(m_name))
                .arg(m_statedLength)
                .arg(m_image.size())
                .arg(lengthMatch ? "true" : "false")
                .arg(m_blocks)
                .arg(checksumMatch ? "true" : "false",
                     QString::fromLatin1(QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex()))
                .arg(m_requests)
                .arg(m_dataPackets)
                .arg(m_duplicates)
                .arg(m_elapsedMs, 0, 'f', 3)
                .arg(problems.join(','));
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

    Options m_o;
    QUdpSocket m_socket, m_stray;
    bool m_strayUsed = false;
    std::mt19937 m_inRng, m_outRng;
    QElapsedTimer m_clock;
    QHostAddress m_client;
    quint16 m_clientPort = 0;
    QByteArray m_request, m_image;
    QString m_name;
    qint64 m_statedLength = 0;
    quint16 m_statedChecksum = 0;
    bool m_requestOk = false, m_ended = false, m_reported = false, m_valid = false;
    int m_expected = 1, m_blocks = 0, m_requests = 0, m_dataPackets = 0, m_duplicates = 0;
    double m_elapsedMs = 0;
    QStringList m_problems;
};

bool parseBlock(const QString& text, int* out)
{
    if (text.compare("wrq", Qt::CaseInsensitive) == 0) {
        *out = 0;
        return true;
    }
    bool ok = false;
    *out = text.toInt(&ok);
    return ok && *out >= 0 && *out <= 65535;
}

}  // namespace

int runTftp(QCoreApplication& app, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        "The TFTP side of the simulated access point: receives one extended write transfer,\n"
        "prints {\"listening\":PORT} first and a one-line JSON report when the transfer ends\n"
        "(or at --timeout, or when terminated). Exit code 0 for a valid transfer, 1 otherwise.");
    p.addHelpOption();
    p.addOptions({
        {"port", "UDP port to listen on (0: any free port).", "port", "69"},
        {"address", "Address to listen on.", "address", "0.0.0.0"},
        {"out", "Store the received image in this file.", "file"},
        {"drop", "Drop this fraction (0 to 1) of the packets each way.", "fraction", "0"},
        {"seed", "Seed of the drop decisions.", "seed", "1"},
        {"silent", "Never answer."},
        {"silent-from", "Answer nothing from this block on (wrq or a number).", "block"},
        {"error-on", "Answer the request (wrq) or block N with ERROR.", "block"},
        {"error-code", "The ERROR packet's code.", "code", "0"},
        {"once-from-port", "Send one reply from another port."},
        {"once-from-address", "Send one reply from this (local) address.", "address"},
        {"once-at", "The reply that goes astray: to the request (wrq) or block N.", "block", "wrq"},
        {"dup-acks", "Send every ACK twice."},
        {"dup-delay", "Send the second ACK this many ms later.", "ms", "0"},
        {"delay", "Delay every reply by this many ms.", "ms", "0"},
        {"timeout", "End after this many ms when no transfer has ended.", "ms", "0"},
        {"exit-after", "End this many ms after the transfer ended (default: when terminated).", "ms"},
    });
    QStringList all = args;
    all.prepend("ap-sim tftp");
    if (!p.parse(all)) {
        std::fprintf(stderr, "ap-sim tftp: %s\n", qPrintable(p.errorText()));
        return 2;
    }
    if (p.isSet("help")) {
        std::printf("%s", qPrintable(p.helpText()));
        return 0;
    }
    Options o;
    bool ok = true;
    auto number = [&](const char* name) {
        bool good = false;
        int v = p.value(name).toInt(&good);
        if (!good || v < 0) {
            std::fprintf(stderr, "ap-sim tftp: bad --%s\n", name);
            ok = false;
        }
        return v;
    };
    if (!o.address.setAddress(p.value("address"))) {
        std::fprintf(stderr, "ap-sim tftp: bad --address\n");
        return 2;
    }
    int port = number("port");
    o.port = quint16(port);
    ok = ok && port <= 65535;
    o.out = p.value("out");
    bool dropOk = false;
    o.drop = p.value("drop").toDouble(&dropOk);
    ok = ok && dropOk && o.drop >= 0.0 && o.drop <= 1.0;
    o.seed = quint32(number("seed"));
    o.errorCode = number("error-code");
    o.dupDelayMs = number("dup-delay");
    o.delayMs = number("delay");
    o.timeoutMs = number("timeout");
    if (p.isSet("exit-after"))
        o.exitAfterMs = number("exit-after");
    if (p.isSet("silent"))
        o.silentFrom = 0;
    if (p.isSet("silent-from") && !parseBlock(p.value("silent-from"), &o.silentFrom))
        ok = false;
    if (p.isSet("error-on") && !parseBlock(p.value("error-on"), &o.errorOn))
        ok = false;
    if (!parseBlock(p.value("once-at"), &o.onceAt))
        ok = false;
    o.onceFromPort = p.isSet("once-from-port");
    o.dupAcks = p.isSet("dup-acks");
    if (p.isSet("once-from-address") && !o.onceFromAddress.setAddress(p.value("once-from-address")))
        ok = false;
    if (!ok || o.errorCode > 65535) {
        std::fprintf(stderr, "ap-sim tftp: bad options (see --help)\n");
        return 2;
    }

    TftpSim sim(o);
    if (!sim.start())
        return 2;
#ifndef _WIN32
    std::unique_ptr<QSocketNotifier> notifier;
    if (::pipe(g_signalPipe) == 0) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &sim, [&sim] {
            char c;
            (void)!::read(g_signalPipe[0], &c, 1);
            sim.finish("terminated");
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
#endif
    return app.exec();
}

}  // namespace apsim
