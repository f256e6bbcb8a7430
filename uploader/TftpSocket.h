// The transfer socket: receives the AP's replies and answers them with the
// next DATA block. The file image, the packet buffer and the timers belong
// to the dialog (m_pDlg).
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <array>
#include <cstddef>
#include <cstdint>

class CFlashpostDlg;

// How a reply of at least 4 bytes reads: byte 1 is the opcode (byte 0 is not
// examined), bytes 2 and 3 the block number, byte 3 the error code's low byte.
struct TftpReply {
    enum Kind { Ack, Error, Other };
    Kind kind = Other;
    int block = 0;  // ACK
    int code = 0;   // ERROR, 0 to 255
};
TftpReply ParseReply(const std::uint8_t* data);

class CTftpSocket : public QObject {
    Q_OBJECT
public:
    static constexpr int kReceiveBufferSize = 1518;

    CFlashpostDlg* m_pDlg = nullptr;
    QString m_strHost;
    std::int32_t m_nAcked = 0;
    std::int32_t m_nRetry = 0;
    std::int32_t m_nPacketLen = 0;
    std::int32_t m_nBlock = 0;
    std::int32_t m_nLastLen = 0;
    std::int32_t m_nPhase = 0;  // 0 idle, 1 write request sent, 2 sending data

    // Binds a datagram socket to port 0 of `local`; `port` is the AP's.
    bool Create(const QHostAddress& local, quint16 port);
    // Takes m_strHost as a dotted IPv4 address, else resolves it as a host
    // name. Called when a transfer starts.
    void ResolveHost();
    // Sends to the AP's port; the result is not looked at.
    void SendTo(const std::uint8_t* buffer, int length);
    void OnReceive(int errorCode);
    void SendNextBlock();

    const QHostAddress& hostAddress() const { return m_hostAddress; }
    quint16 localPort() const { return m_udp.localPort(); }

private:
    void readPending();

    QUdpSocket m_udp;
    QHostAddress m_hostAddress;  // m_strHost resolved
    quint16 m_nPort = 69;
    std::array<std::uint8_t, kReceiveBufferSize> m_receiveBuffer{};
    QHostAddress m_sender;
    quint16 m_senderPort = 0;
};
