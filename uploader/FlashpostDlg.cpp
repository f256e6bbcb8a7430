// The upgrade dialog as a window: its controls, the initialisation, reading
// the firmware list and loading the file, and the two upload commands.
#include "FlashpostDlg.h"

#include "AboutDlg.h"
#include "DialogUnits.h"
#include "FirmwareList.h"
#include "MessageBox.h"
#include "Platform.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "WholeFile.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Off unless asked for (QT_LOGGING_RULES="kavo.flashpost.status=true"):
// every status text on stderr, for tests that watch the program from outside.
Q_LOGGING_CATEGORY(lcStatus, "kavo.flashpost.status", QtWarningMsg)

namespace {

constexpr const char* kCaption = " Upgrade AP firmware message";
constexpr const char* kAboutItem = "&About Flashpost...";  // string 101
constexpr const char* kNoSocket = "Unable to create a socket ...";
constexpr const char* kPleaseWait = " Please wait... ";
constexpr const char* kNoFiles = "Error - No specify files to upgrade";
constexpr const char* kTooLarge = "Error - Firmware file too large";
constexpr const char* kInvalidIp = "Error - Invalid IP address";
constexpr const char* kSettingsInvalidIp = "Invalid IP address!";
constexpr const char* kSettingsInvalidFile = "Invalid filename";
constexpr const char* kCannotOpen = "Error: cannot open firmware file";
constexpr const char* kCannotOpenCaption = "Error";

// IpAddress is read into a buffer of this many bytes, whatever its type.
constexpr std::size_t kAddressBuffer = 520;

QString localText(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

}  // namespace

CFlashpostDlg::CFlashpostDlg(const TftpParams& params, QWidget* parent)
    : QDialog(parent), m_params(params)
{
    m_hIcon = ProgramIcon();
    for (QTimer* t : {&m_timer101, &m_timer102, &m_timer103})
        t->setTimerType(Qt::PreciseTimer);
    connect(&m_timer101, &QTimer::timeout, this, [this] { OnTimer(101); });
    connect(&m_timer102, &QTimer::timeout, this, [this] { OnTimer(102); });
    connect(&m_timer103, &QTimer::timeout, this, [this] { OnTimer(103); });
    buildControls();
}

CFlashpostDlg::~CFlashpostDlg() = default;

void CFlashpostDlg::buildControls()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(9);
    setFont(font);
    DialogUnits du(font);
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(Qt::Window | Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(du.size(236, 63));

    auto button = [&](const char* name, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(r);
        return b;
    };
    auto edit = [&](const char* name, QRect r) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(r);
        return e;
    };
    // In the template's order, which is also the tab order.
    m_btnCancel = button("IDCANCEL", "OK", du.rect(86, 37, 65, 16));
    m_btnImage = button("IDOK", "Download image", du.rect(4, 30, 65, 16));
    m_btnSettings = button("1004", "Download settings", du.rect(4, 43, 65, 16));
    m_edtFile = edit("1000", du.rect(159, 44, 52, 14));
    m_edtAddress = edit("1001", du.rect(158, 37, 52, 14));
    m_btnLoad = button("1003", "...", du.rect(213, 40, 14, 15));
    m_edtStatus = edit("1002", du.rect(33, 16, 193, 12));
    m_icoError = new QLabel(this);
    m_icoError->setObjectName(QStringLiteral("1007"));
    // A static icon control takes the icon's own size.
    m_icoError->setGeometry(du.x(6), du.y(11), 32, 32);
    m_icoError->setPixmap(ErrorIcon().pixmap(32, 32));

    for (QWidget* w : {static_cast<QWidget*>(m_btnImage), static_cast<QWidget*>(m_btnSettings),
                       static_cast<QWidget*>(m_edtFile), static_cast<QWidget*>(m_edtAddress),
                       static_cast<QWidget*>(m_btnLoad), static_cast<QWidget*>(m_icoError)})
        w->hide();
    for (QPushButton* b : {m_btnCancel, m_btnImage, m_btnSettings, m_btnLoad})
        b->setAutoDefault(false);
    m_btnCancel->setAutoDefault(true);

    // The status line: read-only, no border, the dialog's background.
    m_edtStatus->setReadOnly(true);
    m_edtStatus->setFrame(false);
    QPalette pal = m_edtStatus->palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    m_edtStatus->setPalette(pal);
    m_edtStatus->setAutoFillBackground(false);

    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnImage, &QPushButton::clicked, this, &CFlashpostDlg::OnDownloadImage);
    connect(m_btnSettings, &QPushButton::clicked, this, &CFlashpostDlg::OnDownloadSettings);
    connect(m_btnLoad, &QPushButton::clicked, this, &CFlashpostDlg::OnLoadFirmwareFile);
}

int CFlashpostDlg::DoModal()
{
    OnInitDialog();
    if (m_bEndProgram)
        return Rejected;
    return exec();
}

void CFlashpostDlg::OnInitDialog()
{
    m_socket.m_pDlg = this;
    if (m_socket.Create(m_params.localAddress, m_params.port)) {
        m_nStatus = 1;
    } else {
        ShowStatus(QString::fromLatin1(kNoSocket));
        ErrorLook();
        m_nStatus = 0;
    }
    m_nFileLen = 0;

    // The about item: in the system menu where the platform has one, in the
    // dialog's context menu elsewhere.
#ifdef Q_OS_WIN
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, kIdAboutBox, kAboutItem);
    }
#else
    auto* about = new QAction(QString::fromLatin1(kAboutItem), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kIdAboutBox); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
#endif
    setWindowIcon(m_hIcon);

    if (auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath,
                                           kavo::Access::Read, false)) {
        QString address;
        if (auto raw = key->readRaw(kavo::settings::kIpAddress); raw && raw->data.size() <= kAddressBuffer) {
            std::size_t n = 0;
            while (n < raw->data.size() && raw->data[n] != 0)
                ++n;
            address = QString::fromLatin1(reinterpret_cast<const char*>(raw->data.data()), qsizetype(n));
        }
        m_edtAddress->setText(address);
    }

    OnLoadFirmwareFile();
    if (m_bEndProgram)
        return;
    ShowStatus(QString::fromLatin1(kPleaseWait));
    m_btnCancel->setEnabled(false);
    OnDownloadImage();
}

void CFlashpostDlg::refuseFile()
{
    kavo::ui::MessageBox::show(this, QString::fromLatin1(kCannotOpen),
                               QString::fromLatin1(kCannotOpenCaption), kavo::ui::Icon::Error);
    m_bEndProgram = true;
}

// Reads the whole file into the fixed array; a file that does not fit is
// refused without writing past it. False when it cannot be opened or read.
bool CFlashpostDlg::readFirmwareFile(const std::string& path)
{
    std::vector<unsigned char> data;
    const kavo::WholeFile read = kavo::readWholeFile(path, data, m_fileData.size());
    if (read == kavo::WholeFile::CannotRead)
        return false;
    m_bFileTooLarge = read == kavo::WholeFile::TooLarge;
    std::copy(data.begin(), data.end(), m_fileData.begin());
    m_nFileLen = static_cast<std::int32_t>(data.size());
    return true;
}

void CFlashpostDlg::OnLoadFirmwareFile()
{
    if (m_nStatus == 0)
        return;
    m_nStatus = 2;
    const std::string temp = kavo::platform::tempFolder();  // ends with a separator
    // No safe temporary folder: no list.
    std::FILE* list = temp.empty() ? nullptr : std::fopen((temp + kavo::fwlist::kListFileName).c_str(), "r");
    if (!list)
        return;
    // Every line gives a path; the last line decides. No line: no path.
    kavo::fwlist::FirmwarePath chosen{kavo::fwlist::PathStatus::NoName, {}};
    for (std::string line; kavo::fwlist::readLine(list, line);)
        chosen = kavo::fwlist::uploaderFirmwarePath(temp, line);
    // A list that opens but cannot be read (a folder of that name, a read
    // error) is treated like a missing one: no file.
    const bool unreadable = std::ferror(list) != 0;
    std::fclose(list);
    if (unreadable)
        return;
    const std::string path = chosen.status == kavo::fwlist::PathStatus::Ok ? chosen.path : std::string();

    // The hidden commands follow the file's kind.
    const std::string tail = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    bool image = true, settings = true;
    if (tail == "cfg" || tail == "CFG")
        image = false;
    else if (tail == "rom" || tail == "ROM" || tail == "all" || tail == "ALL")
        settings = false;
    m_btnImage->setEnabled(image);
    m_btnSettings->setEnabled(settings);

    m_edtFile->setText(localText(path));
    std::snprintf(m_szFilePath, sizeof m_szFilePath, "%s", path.c_str());

    // A path that was refused (too long, no name, outside the temporary
    // folder) is treated like a file that cannot be opened.
    m_bFileTooLarge = false;
    if (path.empty() || !readFirmwareFile(path)) {
        m_nFileLen = 0;
        refuseFile();
    }
}

void CFlashpostDlg::UpdateData(bool save)
{
    if (save) {
        m_strFile = m_edtFile->text();
        m_strAddress = m_edtAddress->text();
    } else {
        m_edtFile->setText(m_strFile);
        m_edtAddress->setText(m_strAddress);
    }
}

void CFlashpostDlg::OnDownloadImage()
{
    UpdateData(true);
    if (m_nFileLen == 0) {
        ShowStatus(QString::fromLatin1(m_bFileTooLarge ? kTooLarge : kNoFiles));
        ErrorLook();
        return;
    }
    if (m_strAddress.isEmpty()) {
        ShowStatus(QString::fromLatin1(kInvalidIp));
        ErrorLook();
        return;
    }
    m_socket.m_strHost = m_edtAddress->text();
    m_nFileKind = 1;
    UpdateData(false);
    StartTransfer();
}

void CFlashpostDlg::OnDownloadSettings()
{
    UpdateData(true);
    if (m_strAddress.isEmpty()) {
        ShowStatus(QString::fromLatin1(kSettingsInvalidIp));
        ErrorLook();
        return;
    }
    if (m_nFileLen > kMaxSettingsLen || m_nFileLen == 0) {
        ShowStatus(QString::fromLatin1(kSettingsInvalidFile));
        ErrorLook();
        return;
    }
    m_socket.m_strHost = m_strAddress;
    m_nFileKind = 2;
    UpdateData(false);
    StartTransfer();
}

void CFlashpostDlg::OnSysCommand(int id)
{
    if ((id & 0xFFF0) == kIdAboutBox) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CFlashpostDlg::ShowStatus(const QString& text)
{
    m_edtStatus->setText(text);
    m_edtStatus->setCursorPosition(0);
    qCInfo(lcStatus).noquote() << "status [" + text + "]";
    emit statusShown(text);
}

QString CFlashpostDlg::statusText() const { return m_edtStatus->text(); }

void CFlashpostDlg::ErrorLook()
{
    m_icoError->show();
    m_btnCancel->setEnabled(true);
}

void CFlashpostDlg::BusyLook()
{
    m_icoError->hide();
    m_btnCancel->setEnabled(false);
}

void CFlashpostDlg::FocusOk() { m_btnCancel->setFocus(); }

void CFlashpostDlg::reject()
{
    // The dialog's cancel command is the "OK" button's: not while it is
    // disabled, so that a transfer and its completion record are never cut off.
    if (!m_btnCancel->isEnabled()) {
        kavo::platform::beep();
        return;
    }
    QDialog::reject();
}

// IDOK is the dialog's default command: Enter starts an image upload unless
// a push button has the focus (which then takes Enter itself).
void CFlashpostDlg::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
        !qobject_cast<QPushButton*>(focusWidget())) {
        if (m_btnImage->isEnabled())
            OnDownloadImage();
        return;
    }
    QDialog::keyPressEvent(event);
}

#ifdef Q_OS_WIN
bool CFlashpostDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    auto* msg = static_cast<MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kIdAboutBox) {
        OnSysCommand(static_cast<int>(msg->wParam));
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif
