// The dialog's transfer members: starting a transfer, the write request and
// its checksum, the three timers and the completion record.
#include "FlashpostDlg.h"

#include "Registry.h"
#include "SettingsKey.h"

#include <QLabel>
#include <QPushButton>

#include <cstring>

namespace {

constexpr const char* kImageName = "atbrfirm.bin";
constexpr const char* kSettingsName = "atoemset.cfg";
constexpr const char* kTimedOut = " Timed out... ";
constexpr const char* kBlockFailed = "Transfer failed ... ";
constexpr const char* kCompleted = "Transfer Completed";

}  // namespace

const char* CFlashpostDlg::RemoteName(int fileKind)
{
    return fileKind == 2 ? kSettingsName : kImageName;
}

std::uint16_t CFlashpostDlg::FileChecksum(const std::uint8_t* data, std::int32_t length)
{
    std::uint32_t sum = 0;
    for (std::int32_t i = 0; i + 1 < length; i += 2) {
        sum += static_cast<std::uint32_t>(data[i]) + 256u * data[i + 1];
        if (sum > 0xFFFF)
            sum -= 0xFFFF;
    }
    return static_cast<std::uint16_t>(~sum);
}

void CFlashpostDlg::BuildWriteRequest(std::uint8_t* out, int fileKind, const std::uint8_t* data,
                                      std::int32_t length)
{
    const auto len = static_cast<std::uint32_t>(length);
    const std::uint16_t sum = FileChecksum(data, length);
    out[0] = 0x00;
    out[1] = 0x02;
    std::memcpy(out + 2, RemoteName(fileKind), 12);
    out[14] = 0x00;
    out[15] = 0x01;
    std::memcpy(out + 16, "octet", 5);
    out[21] = 0x00;
    out[22] = static_cast<std::uint8_t>(len);
    out[23] = static_cast<std::uint8_t>(len >> 8);
    out[24] = static_cast<std::uint8_t>(sum);
    out[25] = static_cast<std::uint8_t>(sum >> 8);
    for (int i = 0; i < 4; ++i)
        out[26 + i] = static_cast<std::uint8_t>(len >> (8 * i));
}

void CFlashpostDlg::StartTransfer()
{
    if (m_nStatus != 2)
        return;
    m_nStatus = 3;
    // A transfer that went on after its time-out (a late ACK of the request)
    // may still have timers armed: none of them belongs to this transfer.
    KillTimer(101);
    KillTimer(102);
    KillTimer(103);
    m_socket.m_nRetry = 0;
    m_socket.m_nAcked = 0;
    m_socket.m_nBlock = 0;
    m_socket.m_nPhase = 0;
    m_socket.ResolveHost();
    SendWriteRequest();
}

void CFlashpostDlg::SendWriteRequest()
{
    BuildWriteRequest(m_request, m_nFileKind, m_fileData.data(), m_nFileLen);
    m_socket.SendTo(m_request, kRequestLen);
    SetTimer(101);
    m_socket.m_nPhase = 1;
    ++m_socket.m_nRetry;
}

void CFlashpostDlg::SetTimer(int id)
{
    switch (id) {
    case 101: m_timer101.start(m_params.requestPeriodMs); break;
    case 102: m_timer102.start(m_params.blockPeriodMs); break;
    case 103: m_timer103.start(m_params.flashWaitMs); break;
    default: break;
    }
}

void CFlashpostDlg::KillTimer(int id)
{
    switch (id) {
    case 101: m_timer101.stop(); break;
    case 102: m_timer102.stop(); break;
    case 103: m_timer103.stop(); break;
    default: break;
    }
}

void CFlashpostDlg::OnTimer(int id)
{
    switch (id) {
    case 101:
        KillTimer(101);
        if (m_socket.m_nRetry < m_params.maxSends) {
            SendWriteRequest();
        } else {
            ShowStatus(QString::fromLatin1(kTimedOut));
            ErrorLook();
            m_nStatus = 2;
            FocusOk();
        }
        break;
    case 102:
        KillTimer(102);
        ++m_socket.m_nRetry;
        if (m_socket.m_nRetry < m_params.maxSends) {
            m_socket.SendTo(m_dataPacket.data(), m_socket.m_nPacketLen);
            SetTimer(102);
        } else {
            ShowStatus(QString::fromLatin1(kBlockFailed));
            ErrorLook();
            m_nStatus = 2;
            m_socket.m_nPhase = 0;
            FocusOk();
        }
        break;
    case 103:
        KillTimer(103);
        // Into an existing key only: a missing key means no wizard is waiting.
        if (auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath,
                                               kavo::Access::Write, false))
            key->writeString(kavo::settings::kLastUpdate, "1", 4);
        ShowStatus(QString::fromLatin1(kCompleted));
        m_icoError->hide();
        m_btnCancel->setEnabled(true);
        m_nStatus = 2;
        m_socket.m_nPhase = 0;
        FocusOk();
        break;
    default:
        break;
    }
}
