// The SNMP socket component over one UDP socket: `Open` binds it, `Send`
// sends its `Message` to `RemoteAddress`:`RemotePort` (broadcast allowed),
// and every datagram that arrives and decodes as a response or a trap
// becomes the socket's `Message` and `RemoteAddress` and an event to the
// connected sinks. Datagrams that do not decode are dropped without an
// event. Failed calls throw SnmpError.
#pragma once

#include "SnmpEvents.h"
#include "SnmpMessage.h"

#include <QHostAddress>
#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

class QUdpSocket;

namespace snmp {

class SnmpSocket : public QObject {
    Q_OBJECT
public:
    // `State` values.
    enum { StateReady = 0, StateClosed = 1 };

    SnmpSocket();
    ~SnmpSocket() override;

    // Binds UDP `port` (0: any) on `address` ("": all local addresses). The
    // port is not shared: a port another socket holds makes Open fail.
    void Open(int port, const std::string& address);
    void Close();
    // Sends the message as one datagram; returns at once.
    void Send();

    SnmpMessage& Message() { return m_message; }

    // The destination of the next send; inside an event, the sender of the
    // datagram that arrived. Put throws for text that is not a dotted IPv4
    // address.
    std::string RemoteAddress() const;
    void RemoteAddress(const std::string& dotted);
    int RemotePort() const { return m_remotePort; }
    void RemotePort(int port);
    // Milliseconds; kept for the callers, no call here waits.
    int Timeout() const { return m_timeout; }
    void Timeout(int ms);
    // StateClosed (1) while no request may be sent.
    int State() const;
    int LocalPort() const;

    // Connects a sink to the events; the cookie disconnects it again.
    std::uint32_t Advise(ISnmpEvents* sink);
    void Unadvise(std::uint32_t cookie);

private:
    void readPending();
    void fire(int event, std::int32_t code = 0);

    QUdpSocket* m_udp = nullptr;
    SnmpMessage m_message;
    QHostAddress m_remoteAddress;
    int m_remotePort = 161;
    int m_timeout = 0;
    std::uint32_t m_nextCookie = 1;
    std::vector<std::pair<std::uint32_t, ISnmpEvents*>> m_sinks;
};

}  // namespace snmp
