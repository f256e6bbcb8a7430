// Helpers of the loopback tests: waiting in the event loop, free ports,
// sending raw datagrams, and a sink that counts a socket's events.
#pragma once

#include "snmp/SnmpSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QThread>
#include <QUdpSocket>

#include <functional>
#include <string>
#include <vector>

namespace loopback {

// Makes `m` the get request for sysDescr.0 with the community "public".
inline void getSysDescr(snmp::SnmpMessage& m, std::int32_t requestId)
{
    m.Clear();
    m.Community("public");
    snmp::SnmpVariable v;
    v.Name("1.3.6.1.2.1.1.1.0");
    m.Variables().Add(v);
    m.Type(snmp::SnmpMessage::GetRequest);
    m.RequestId(requestId);
}

// Runs the event loop until `done` holds or `ms` have passed.
inline bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    return true;
}

inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// A UDP port that was free a moment ago.
inline int freePort()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

inline void sendRaw(const std::vector<std::uint8_t>& bytes, int port, const char* from = "127.0.0.1")
{
    QUdpSocket s;
    s.bind(QHostAddress(QString::fromLatin1(from)), 0);
    s.writeDatagram(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()),
                    QHostAddress::LocalHost, static_cast<quint16>(port));
}

struct Sink : snmp::ISnmpEvents {
    explicit Sink(snmp::SnmpSocket* s = nullptr) : socket(s) {}
    snmp::SnmpSocket* socket;
    int refs = 0, responses = 0, traps = 0, errors = 0, others = 0;
    std::vector<std::string> senders;
    snmp::SnmpMessage last;

    void AddRef() override { ++refs; }
    void Release() override { --refs; }
    void OnResponse() override
    {
        ++responses;
        senders.push_back(socket->RemoteAddress());
        last = socket->Message();
    }
    void OnTrap() override
    {
        ++traps;
        senders.push_back(socket->RemoteAddress());
        last = socket->Message();
    }
    void OnError(std::int32_t, std::int32_t) override { ++errors; }
    void OnEvent4() override { ++others; }
};

}  // namespace loopback
