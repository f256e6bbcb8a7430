// The transfer's timing constants and the AP's port, in one place, so that
// tests on loopback can point the engine at a simulated AP on a port of its
// own and shorten the waits. The program itself always uses these values.
#pragma once

#include <QHostAddress>

struct TftpParams {
    quint16 port = 69;              // destination of every datagram, sender of every reply
    int requestPeriodMs = 2000;     // timer 101: resend the write request
    int blockPeriodMs = 2000;       // timer 102: resend the current DATA packet
    int maxSends = 10;              // sends of the request, or of one block, before giving up
    int flashWaitMs = 6000;         // timer 103: the AP programs its flash
    // The socket binds port 0 of this address (any interface).
    QHostAddress localAddress = QHostAddress(QHostAddress::AnyIPv4);
};
