// The firmware upgrade dialog (template 102): reads the AP's address and the
// firmware list, loads the file and uploads it at once, showing every
// outcome in its one-line status field. It also holds the transfer's file
// image, packet buffer and timers; the socket drives the exchange.
#pragma once

#include "TftpParams.h"
#include "TftpSocket.h"

#include <QDialog>
#include <QIcon>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class CFlashpostDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxFileLen = 188416;       // 184 KiB
    static constexpr std::size_t kPacketSize = 516;          // 4-byte header, 512 data bytes
    static constexpr std::int32_t kMaxSettingsLen = 16384;
    static constexpr int kIdAboutBox = 16;                   // the system menu item's command
    static constexpr int kRequestLen = 30;

    explicit CFlashpostDlg(const TftpParams& params = TftpParams(), QWidget* parent = nullptr);
    ~CFlashpostDlg() override;

    // Initialises (OnInitDialog) and runs the dialog modally. Returns at once
    // when the initialisation ended the program (firmware file not opened).
    int DoModal();

    void OnInitDialog();
    void OnLoadFirmwareFile();
    void OnDownloadImage();
    void OnDownloadSettings();
    void OnSysCommand(int id);

    // Transfer (the socket calls these through m_pDlg).
    void StartTransfer();
    void SendWriteRequest();
    void OnTimer(int id);
    void SetTimer(int id);
    void KillTimer(int id);
    void ShowStatus(const QString& text);
    void ErrorLook();   // icon shown, "OK" enabled
    void BusyLook();    // icon hidden, "OK" disabled
    void FocusOk();

    static std::uint16_t FileChecksum(const std::uint8_t* data, std::int32_t length);
    // The 30-byte write request for `fileKind` (1 image, 2 settings).
    static void BuildWriteRequest(std::uint8_t* out, int fileKind, const std::uint8_t* data,
                                  std::int32_t length);
    static const char* RemoteName(int fileKind);

    // The initialisation ended the program (exit code 0).
    bool programEnded() const { return m_bEndProgram; }
    const TftpParams& params() const { return m_params; }
    QString statusText() const;
    static QIcon ProgramIcon();  // icon 128
    static QIcon ErrorIcon();    // icon 143

    CTftpSocket m_socket;
    std::int32_t m_nStatus = 0;  // 0 no socket, 1 socket created, 2 ready, 3 transferring
    std::int32_t m_nFileKind = 1;
    std::array<std::uint8_t, kMaxFileLen> m_fileData{};
    std::array<std::uint8_t, kPacketSize> m_dataPacket{};
    char m_szFilePath[100] = {};
    std::int32_t m_nFileLen = 0;

    // Controls, in the order of the dialog's data exchange.
    QPushButton* m_btnCancel = nullptr;  // IDCANCEL, "OK"
    QLabel* m_icoError = nullptr;        // 1007
    QPushButton* m_btnSettings = nullptr;  // 1004
    QPushButton* m_btnImage = nullptr;     // IDOK
    QLineEdit* m_edtStatus = nullptr;      // 1002
    QLineEdit* m_edtAddress = nullptr;     // 1001
    QLineEdit* m_edtFile = nullptr;        // 1000
    QPushButton* m_btnLoad = nullptr;      // 1003

    QString m_strFile;
    QString m_strAddress;
    QIcon m_hIcon;

    // Esc, the close box and "OK" end the dialog; while "OK" is disabled
    // (the busy look of a transfer) Esc and the close box only beep.
    void reject() override;

signals:
    // Every status shown, also the same text twice in a row.
    void statusShown(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void buildControls();
    void UpdateData(bool save);
    void refuseFile();  // the message box, then the program ends
    bool readFirmwareFile(const std::string& path);

    TftpParams m_params;
    QTimer m_timer101, m_timer102, m_timer103;
    std::uint8_t m_request[kRequestLen] = {};
    bool m_bEndProgram = false;
    bool m_bFileTooLarge = false;
};
