// The SNMP agent side of the simulated access point: answers SNMPv1 get
// requests for sysDescr.0 (unicast and broadcast) with a given description,
// from its one address or from each of N local addresses, optionally
// twice, late, or first with a non-zero error status. Other names get the
// error noSuchName, other communities and datagrams no answer.
#include "ApSim.h"
#include "SnmpWire.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <memory>
#include <vector>

namespace apsim {

namespace {

struct SnmpOptions {
    quint16 port = 161;
    QByteArray community = "public";
    QString description = "ap-sim";
    QString secondDescription;
    bool twice = false;
    int delayMs = 0;
    int gapMs = 0;
    int errorStatus = 0;
    bool log = false;
};

// One address to answer from: its socket and its number (from 1).
struct Source {
    std::unique_ptr<QUdpSocket> socket;
    int index = 0;
};

class Agent : public QObject {
public:
    Agent(SnmpOptions options) : m_options(std::move(options)) {}

    bool listen(const std::vector<QHostAddress>& sources)
    {
        const auto share = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
        // The socket on all addresses hears the broadcasts.
        m_any = std::make_unique<QUdpSocket>();
        if (!m_any->bind(QHostAddress::AnyIPv4, m_options.port, share)) {
            std::fprintf(stderr, "ap-sim snmp: cannot bind port %u: %s\n", m_options.port,
                         qPrintable(m_any->errorString()));
            return false;
        }
        connect(m_any.get(), &QUdpSocket::readyRead, this, [this] { readFrom(m_any.get()); });
        for (std::size_t i = 0; i < sources.size(); ++i) {
            Source s;
            s.index = static_cast<int>(i) + 1;
            s.socket = std::make_unique<QUdpSocket>();
            if (!s.socket->bind(sources[i], m_options.port, share)) {
                std::fprintf(stderr, "ap-sim snmp: cannot bind %s:%u: %s\n", qPrintable(sources[i].toString()),
                             m_options.port, qPrintable(s.socket->errorString()));
                return false;
            }
            QUdpSocket* raw = s.socket.get();
            connect(raw, &QUdpSocket::readyRead, this, [this, raw] { readFrom(raw); });
            m_sources.push_back(std::move(s));
        }
        return true;
    }

private:
    void readFrom(QUdpSocket* socket)
    {
        while (socket->hasPendingDatagrams()) {
            QNetworkDatagram d = socket->receiveDatagram();
            auto request = wire::parseGetRequest(d.data());
            if (!request || request->community != m_options.community)
                continue;
            if (m_options.log)
                std::printf("REQUEST from %s id %d\n", qPrintable(d.senderAddress().toString()), request->requestId);
            std::fflush(stdout);
            QHostAddress to = d.senderAddress();
            quint16 port = static_cast<quint16>(d.senderPort());
            // A request to one of our addresses is answered from it alone; a
            // broadcast from every address we have.
            std::vector<Source*> from;
            bool everyone = socket == m_any.get() && isBroadcast(d.destinationAddress());
            for (auto& s : m_sources)
                if (everyone || s.socket.get() == socket)
                    from.push_back(&s);
            auto answer = [this, request = *request, to, port, from](bool first) {
                int status = first ? m_options.errorStatus : 0;
                for (Source* s : from)
                    send(s->socket.get(), request, status, first, s->index, to, port);
                if (from.empty())
                    send(m_any.get(), request, status, first, 1, to, port);
            };
            QTimer::singleShot(m_options.delayMs, this, [this, answer] {
                answer(true);
                if (m_options.twice)
                    QTimer::singleShot(m_options.gapMs, this, [answer] { answer(false); });
            });
        }
    }

    static bool isBroadcast(const QHostAddress& destination)
    {
        // The limited broadcast, or a subnet's (the lab's subnets are /24).
        return destination.isBroadcast() || (destination.toIPv4Address() & 0xFF) == 0xFF;
    }

    void send(QUdpSocket* socket, const wire::GetRequest& request, int status, bool first, int index,
              const QHostAddress& to, quint16 port)
    {
        QString text = first || m_options.secondDescription.isEmpty() ? m_options.description
                                                                     : m_options.secondDescription;
        text.replace("{n}", QString::number(index));
        QByteArray reply = wire::response(request, status, text.toLatin1());
        socket->writeDatagram(reply, to, port);
    }

    SnmpOptions m_options;
    std::unique_ptr<QUdpSocket> m_any;
    std::vector<Source> m_sources;
};

// `count` addresses from `first` upwards, passing over those that end in
// .0 or .255.
std::vector<QHostAddress> addressRange(const QHostAddress& first, int count)
{
    std::vector<QHostAddress> out;
    quint32 a = first.toIPv4Address();
    while (static_cast<int>(out.size()) < count) {
        quint32 last = a & 0xFF;
        if (last != 0 && last != 255)
            out.emplace_back(a);
        ++a;
    }
    return out;
}

}  // namespace

int runSnmp(QCoreApplication& app, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        "ap-sim snmp: answers SNMPv1 get requests for sysDescr.0. In the description, {n} stands for "
        "the number of the address that answers (from 1). Prints READY when it listens.");
    p.addHelpOption();
    p.addOptions({
        {"port", "UDP port to listen on (161).", "port", "161"},
        {"community", "The community to answer (public).", "text", "public"},
        {"description", "The sysDescr value.", "text", "ap-sim"},
        {"source-first", "Answer from each of --source-count local addresses from this one upwards "
                         "(addresses ending in .0 or .255 are passed over).", "address"},
        {"source-count", "How many addresses to answer from (1).", "n", "1"},
        {"twice", "Answer each request twice."},
        {"second-description", "The description of the second answer.", "text"},
        {"gap", "Milliseconds between the two answers (0).", "ms", "0"},
        {"delay", "Milliseconds to wait before answering (0).", "ms", "0"},
        {"error-status", "Error status of the first answer (0); a second answer has 0.", "n", "0"},
        {"log", "Print a line for each request."},
    });
    QStringList all = args;
    all.prepend("ap-sim snmp");
    if (!p.parse(all)) {
        std::fprintf(stderr, "ap-sim snmp: %s\n", qPrintable(p.errorText()));
        return 2;
    }
    if (p.isSet("help")) {
        std::printf("%s", qPrintable(p.helpText()));
        return 0;
    }
    SnmpOptions o;
    bool ok = true;
    auto number = [&p, &ok](const char* name, int low, int high) {
        bool good = false;
        int v = p.value(name).toInt(&good);
        if (!good || v < low || v > high) {
            std::fprintf(stderr, "ap-sim snmp: bad --%s\n", name);
            ok = false;
        }
        return v;
    };
    o.port = static_cast<quint16>(number("port", 1, 65535));
    o.community = p.value("community").toLatin1();
    o.description = p.value("description");
    o.secondDescription = p.value("second-description");
    o.twice = p.isSet("twice") || p.isSet("second-description");
    o.gapMs = number("gap", 0, 600000);
    o.delayMs = number("delay", 0, 600000);
    o.errorStatus = number("error-status", 0, 18);
    o.log = p.isSet("log");
    int count = number("source-count", 1, 60000);
    std::vector<QHostAddress> sources;
    if (p.isSet("source-first")) {
        QHostAddress first(p.value("source-first"));
        if (first.protocol() != QAbstractSocket::IPv4Protocol) {
            std::fprintf(stderr, "ap-sim snmp: bad --source-first\n");
            return 2;
        }
        sources = addressRange(first, count);
    }
    if (!ok)
        return 2;

    Agent agent(o);
    if (!agent.listen(sources))
        return 1;
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}

}  // namespace apsim
