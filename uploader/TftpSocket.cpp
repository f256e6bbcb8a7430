// The socket side of the transfer: reading the AP's replies and sending the
// next DATA block from the dialog's file image.
#include "TftpSocket.h"

#include "FlashpostDlg.h"

#include <QHostInfo>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kInvalidPacket = "Invalid Packet";
constexpr const char* kInProgress = "Transfer in progress";
constexpr const char* kFlashing = "Flash Programming in progress ...  ";
constexpr const char* kErrorState = "error state";
constexpr const char* kErrorFormat = "Transfer failed: Error - %d";

constexpr int kBlockSize = 512;
// Datagrams read in one notification at most; the rest raise another.
constexpr int kReadsPerNotification = 64;

}  // namespace

TftpReply ParseReply(const std::uint8_t* data)
{
    TftpReply r;
    if (data[1] == 4) {
        r.kind = TftpReply::Ack;
        r.block = data[2] * 256 + data[3];
    } else if (data[1] == 5) {
        r.kind = TftpReply::Error;
        r.code = data[3];
    }
    return r;
}

bool CTftpSocket::Create(const QHostAddress& local, quint16 port)
{
    m_nPort = port;
    if (!m_udp.bind(local, 0))
        return false;
    connect(&m_udp, &QUdpSocket::readyRead, this, &CTftpSocket::readPending, Qt::UniqueConnection);
    return true;
}

void CTftpSocket::ResolveHost()
{
    m_hostAddress = QHostAddress();
    QHostAddress a;
    if (a.setAddress(m_strHost) && a.protocol() == QAbstractSocket::IPv4Protocol) {
        m_hostAddress = a;
        return;
    }
    const QHostInfo info = QHostInfo::fromName(m_strHost);
    for (const QHostAddress& candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            m_hostAddress = candidate;
            return;
        }
    }
}

void CTftpSocket::SendTo(const std::uint8_t* buffer, int length)
{
    if (m_hostAddress.isNull())
        return;  // like any lost datagram, made good (or given up) by the timers
    m_udp.writeDatagram(reinterpret_cast<const char*>(buffer), length, m_hostAddress, m_nPort);
}

void CTftpSocket::readPending()
{
    for (int i = 0; i < kReadsPerNotification && m_udp.hasPendingDatagrams(); ++i)
        OnReceive(0);
}

void CTftpSocket::OnReceive(int /*errorCode*/)
{
    const qint64 pending = m_udp.pendingDatagramSize();
    const qint64 n = m_udp.readDatagram(reinterpret_cast<char*>(m_receiveBuffer.data()),
                                        kReceiveBufferSize, &m_sender, &m_senderPort);
    // A failed receive, a datagram too long for the buffer and one too short
    // to hold an opcode and a block number are dropped without a report.
    if (n < 4 || pending > kReceiveBufferSize)
        return;

    // The sender is compared with the AP's address as resolved at the start,
    // not as text: an address written another way, or a host name, in
    // IpAddress still matches the AP's replies.
    const bool fromHost = !m_hostAddress.isNull() &&
                          m_sender.isEqual(m_hostAddress, QHostAddress::TolerantConversion);
    if (!fromHost || m_senderPort != m_nPort) {
        m_pDlg->ShowStatus(QString::fromLatin1(kInvalidPacket));
        m_pDlg->ErrorLook();
        // From another address it must not drive the transfer; from the AP's
        // address but another port it is processed all the same.
        if (!fromHost)
            return;
    }

    const TftpReply reply = ParseReply(m_receiveBuffer.data());
    if (reply.kind == TftpReply::Ack) {
        if (reply.block != m_nBlock)
            return;
        if (m_nPhase == 2) {
            m_nAcked += m_nLastLen;
            if (m_nLastLen == kBlockSize) {
                m_pDlg->KillTimer(102);
                SendNextBlock();
            } else {
                m_pDlg->ShowStatus(QString::fromLatin1(kFlashing));
                m_pDlg->BusyLook();
                m_pDlg->SetTimer(103);
                m_pDlg->KillTimer(102);
            }
        } else if (m_nPhase == 1) {
            m_pDlg->KillTimer(101);
            m_nPhase = 2;
            m_pDlg->ShowStatus(QString::fromLatin1(kInProgress));
            m_pDlg->BusyLook();
            SendNextBlock();
        } else {
            m_pDlg->ShowStatus(QString::fromLatin1(kErrorState));
            m_pDlg->ErrorLook();
            m_pDlg->FocusOk();
        }
    } else if (reply.kind == TftpReply::Error) {
        if (m_nPhase == 2) {
            m_pDlg->KillTimer(102);
            // A failure during the flash wait must not end as completed.
            m_pDlg->KillTimer(103);
        } else if (m_nPhase == 1) {
            m_pDlg->KillTimer(101);
        }
        m_pDlg->m_nStatus = 2;
        m_pDlg->ShowStatus(QString::asprintf(kErrorFormat, reply.code));
        m_pDlg->ErrorLook();
        m_pDlg->FocusOk();
        m_nPhase = 0;
    }
}

void CTftpSocket::SendNextBlock()
{
    m_nPhase = 2;
    const std::int32_t n = std::clamp(m_pDlg->m_nFileLen - m_nAcked, 0, kBlockSize);
    m_nLastLen = n;
    m_nPacketLen = n + 4;
    ++m_nBlock;
    std::uint8_t* packet = m_pDlg->m_dataPacket.data();
    packet[0] = 0x00;
    packet[1] = 0x03;
    packet[2] = static_cast<std::uint8_t>(m_nBlock >> 8);
    packet[3] = static_cast<std::uint8_t>(m_nBlock);
    if (n > 0)
        std::memcpy(packet + 4, m_pDlg->m_fileData.data() + m_nAcked, static_cast<std::size_t>(n));
    SendTo(packet, m_nPacketLen);
    m_pDlg->SetTimer(102);
    m_nRetry = 0;
}
