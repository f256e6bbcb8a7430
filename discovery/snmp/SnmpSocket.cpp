#include "SnmpSocket.h"

#include <QNetworkDatagram>
#include <QVariant>
#include <QPointer>
#include <QUdpSocket>

#include <algorithm>

namespace snmp {

namespace {

// Room for a burst of replies from many agents at once.
constexpr int kReceiveBuffer = 1 << 20;

// Four decimal numbers of 0 to 255 joined by dots, nothing else.
QHostAddress ipv4(const std::string& dotted)
{
    quint32 value = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::size_t start = i;
        unsigned part = 0;
        while (i < dotted.size() && i - start < 3 && dotted[i] >= '0' && dotted[i] <= '9')
            part = part * 10 + static_cast<unsigned>(dotted[i++] - '0');
        if (i == start || part > 255)
            break;
        value = (value << 8) | part;
        ++parts;
        if (parts < 4 && (i >= dotted.size() || dotted[i++] != '.'))
            break;
    }
    if (parts != 4 || i != dotted.size())
        throw SnmpError("not an IPv4 address: " + dotted);
    return QHostAddress(value);
}

}  // namespace

SnmpSocket::SnmpSocket() = default;

SnmpSocket::~SnmpSocket()
{
    Close();
}

void SnmpSocket::Open(int port, const std::string& address)
{
    if (m_udp)
        throw SnmpError("the socket is open already");
    if (port < 0 || port > 65535)
        throw SnmpError("no port " + std::to_string(port));
    QHostAddress at = address.empty() ? QHostAddress(QHostAddress::AnyIPv4) : ipv4(address);
    auto* udp = new QUdpSocket(this);
    if (!udp->bind(at, static_cast<quint16>(port), QAbstractSocket::DontShareAddress)) {
        std::string why = udp->errorString().toStdString();
        delete udp;
        throw SnmpError("cannot open UDP port " + std::to_string(port) + ": " + why);
    }
    udp->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(kReceiveBuffer));
    connect(udp, &QUdpSocket::readyRead, this, &SnmpSocket::readPending);
    connect(udp, &QUdpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { fire(3, static_cast<std::int32_t>(e)); });
    m_udp = udp;
}

void SnmpSocket::Close()
{
    delete m_udp;
    m_udp = nullptr;
}

void SnmpSocket::Send()
{
    if (State() != StateReady)
        throw SnmpError("the socket is not open");
    if (m_remoteAddress.isNull())
        throw SnmpError("no remote address");
    std::vector<std::uint8_t> bytes = m_message.encode();
    qint64 sent = m_udp->writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<qint64>(bytes.size()), m_remoteAddress,
                                       static_cast<quint16>(m_remotePort));
    if (sent != static_cast<qint64>(bytes.size()))
        throw SnmpError("send failed: " + m_udp->errorString().toStdString());
}

std::string SnmpSocket::RemoteAddress() const
{
    return m_remoteAddress.isNull() ? std::string() : m_remoteAddress.toString().toStdString();
}

void SnmpSocket::RemoteAddress(const std::string& dotted)
{
    m_remoteAddress = ipv4(dotted);
}

void SnmpSocket::RemotePort(int port)
{
    if (port < 1 || port > 65535)
        throw SnmpError("no port " + std::to_string(port));
    m_remotePort = port;
}

void SnmpSocket::Timeout(int ms)
{
    if (ms < 0)
        throw SnmpError("negative time-out");
    m_timeout = ms;
}

int SnmpSocket::State() const
{
    return m_udp && m_udp->state() == QAbstractSocket::BoundState ? StateReady : StateClosed;
}

int SnmpSocket::LocalPort() const
{
    return m_udp ? m_udp->localPort() : 0;
}

std::uint32_t SnmpSocket::Advise(ISnmpEvents* sink)
{
    if (!sink)
        throw SnmpError("no sink");
    std::uint32_t cookie = m_nextCookie++;
    m_sinks.emplace_back(cookie, sink);
    sink->AddRef();
    return cookie;
}

void SnmpSocket::Unadvise(std::uint32_t cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->first == cookie) {
            ISnmpEvents* sink = it->second;
            m_sinks.erase(it);
            // Last: a sink whose count falls to zero may release this socket.
            sink->Release();
            return;
        }
    }
    throw SnmpError("no connection " + std::to_string(cookie));
}

void SnmpSocket::readPending()
{
    QPointer<SnmpSocket> alive(this);
    while (alive && m_udp && m_udp->hasPendingDatagrams()) {
        QNetworkDatagram datagram = m_udp->receiveDatagram();
        const QByteArray data = datagram.data();
        auto decoded = ber::decode(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                   static_cast<std::size_t>(data.size()));
        if (!decoded)
            continue;
        int event = 0;
        if (decoded->pduTag == ber::PduGetResponse)
            event = 1;
        else if (decoded->pduTag == ber::PduTrapV1 || decoded->pduTag == ber::PduTrapV2)
            event = 2;
        else
            continue;  // requests are not ours to answer
        QHostAddress sender = datagram.senderAddress();
        bool mapped = false;
        quint32 v4 = sender.toIPv4Address(&mapped);
        if (mapped)
            sender = QHostAddress(v4);
        m_message = SnmpMessage(*decoded);
        m_remoteAddress = sender;
        m_remotePort = datagram.senderPort() > 0 ? datagram.senderPort() : m_remotePort;
        fire(event);
    }
}

void SnmpSocket::fire(int event, std::int32_t code)
{
    QPointer<SnmpSocket> alive(this);
    auto sinks = m_sinks;
    for (const auto& entry : sinks) {
        // A sink disconnected by an earlier handler hears nothing more.
        if (!alive || std::find(m_sinks.begin(), m_sinks.end(), entry) == m_sinks.end())
            continue;
        ISnmpEvents* sink = entry.second;
        // A sink's failure stays with the sink, as a failed event call would.
        try {
            switch (event) {
            case 1: sink->OnResponse(); break;
            case 2: sink->OnTrap(); break;
            case 3: sink->OnError(code, 0); break;
            default: sink->OnEvent4(); break;
            }
        } catch (...) {
        }
    }
}

}  // namespace snmp
