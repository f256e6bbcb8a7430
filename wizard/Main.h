// Unit Main: Tidewell's main window TFormMain, a two-page wizard, and the
// wizard state that the main window's parts share.
#pragma once

#include "ApSearch.h"
#include "Platform.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class TAnimatedImage;
class TBitBtn;
class TFormAPList;
class TLngINISupp;
class TMsgINISupp;
class TOpenDialog;
class TSaveDialog;
class TNMFTP;

// ---------------------------------------------------------------------------
// Wizard state (module-level, as the parts of the wizard share it).

// The start-up directory: the current directory when the main window was
// created. Beaconry, Flashpost and the SNMP component files are looked up in
// it and in its "Update" subfolder.
extern std::string AppDir;
// A package download finished in the current run of the procedure.
extern bool Downloaded;
// The wizard is contacting the update server (hourglass over page 2).
extern bool Busy;
// Full local path of the downloaded package.
extern std::string LocalFile;
// Four-character version text of the package being fetched or installed.
extern std::string NewVersion;

// ---------------------------------------------------------------------------
// Texts and names of the main window.

namespace tidewell {

inline constexpr const char* kMainCaption = "KAVO WLAN Tidewell";
inline constexpr const char* kMarlinTitle = "KAVO Marlin";
inline constexpr const char* kUpdateFolder = "Update";

inline constexpr const char* kRefuseOsText =
    "Please run it only on Win98/Win ME/Win NT/Win 2000/Win XP, thank you!";
inline constexpr const char* kCloseMarlinText =
    "Please close KAVO Marlin program before running the Tidewell.";
inline constexpr const char* kInvalidUpdateFileText = "The update file is invalid.";
inline constexpr const char* kContinueUpdateText =
    "You already have the most recent files.\n\nContinue update?";
inline constexpr const char* kOpenDialogTitle = "Open Updating File";
inline constexpr const char* kZipFilter = "ZIP Files (*.ZIP)|*.zip;";
// The update server: its host name is a build setting, its port 21.
#ifndef TIDEWELL_UPDATE_HOST
#define TIDEWELL_UPDATE_HOST "ftp.kavo.example"
#endif
inline constexpr const char* kUpdateHost = TIDEWELL_UPDATE_HOST;
inline constexpr int kUpdatePort = 21;
inline constexpr const char* kUpdateUser = "anonymous";
// The update directory, and the one used when the server refuses it.
inline constexpr const char* kRemoteDir = "/pub/KAVO/Wireless/AP/";
inline constexpr const char* kRemoteDirFallback = "/Wireless/AP/";

inline constexpr const char* kConnectFailedText =
    "\n\nAn error occurred while trying to connect to a Tidewell server. Please check your Internet connection.";
inline constexpr const char* kListFailedText =
    "An error occurred while trying to get a list of files and directories from the remote host.";
inline constexpr const char* kMostRecentText = "You already have the most recent files.\n\nExit Tidewell Program?";
inline constexpr const char* kSaveDialogTitle = "Save Updating File";
inline constexpr const char* kSaveFailedText = "Save File Failed!";
inline constexpr const char* kDownloadedText = "Download Successfully!\n\nExit Tidewell Program?";
inline constexpr const char* kBytesOfText = " bytes of ";
inline constexpr const char* kReceivedText = " received";

// The caption of an information message dialog.
inline constexpr const char* kInformationCaption = "Information";

// Package installation.
inline constexpr const char* kExtractErrorText = "Error in Extract; Fatal DLL Exception in Main";
inline constexpr const char* kSetupFailedText = "Could not run the utility update program";
inline constexpr const char* kUploaderFailedText = "Could not run firmware update program";
inline constexpr const char* kConsentText =
    "Now it will perform the firmware upgrade process. It is highly recommended that you close all "
    "applications. If an error occurs during the upgrade process, damage to the AP can occur. Continue update?";
inline constexpr const char* kSetupName = "Setup.exe";
inline constexpr const char* kUploaderName = "Flashpost";  // with the platform's executable suffix

inline constexpr const char* kMethodItems[3] = {
    "Update Firmware from the Internet",
    "Update Firmware from the Disk",
    "Download Firmware from the Internet",
};
enum Method { MethodInternet = 0, MethodDisk = 1, MethodDownload = 2 };

// The two SNMP component files Beaconry needs on Windows, in copy order.
inline constexpr const char* kSnmpComponentFiles[2] = {"dartsock.dll", "dartSnmp.dll"};

// ---------------------------------------------------------------------------
// Helpers of the start-up and of the version rules.

// Whether `name` lies directly in `folder`: the length of the path found, 0
// when absent (the system's path search, a 300-character result buffer).
std::size_t FileInFolder(const std::string& folder, const std::string& name);

// `folder` + separator + `name`, and the same in the "Update" subfolder
// when FileInFolder does not find it in `folder` itself.
std::string FileInFolderOrUpdate(const std::string& folder, const std::string& name);

// The Windows classification: 0 Me, 1 98, 2 95, 3 NT 4, 4 NT 5 or later,
// 5 anything else.
int ComputeOsKind(const kavo::platform::OsVersion& version);
// Whether the system is a Windows one (other systems have no Windows
// version to refuse).
bool IsWindowsPlatform(const kavo::platform::OsVersion& version);
// Whether the wizard refuses to run: OsKind 2 or 5 on Windows.
bool OsRefused(int osKind, const kavo::platform::OsVersion& version);

// Copies the SNMP component files into `systemFolder` (never overwriting)
// and starts their hidden registration commands without waiting.
void PrepareSnmpComponents(const std::string& appDir, const std::string& systemFolder);

// The version text of a package name: its 4 characters from the second one
// (fewer when it is shorter).
std::string VersionText(const std::string& fileName);
// Compares version texts as text, case-insensitively, character by
// character by code after upper-casing letters: <0, 0 or >0.
int CompareVersionText(const std::string& a, const std::string& b);

// The package to fetch from the names of a listing, in list order: the
// entry whose version text is the greatest above both `curApVersion` and
// "0" (the first of equal ones), among the plain file names holding an
// "a". -1 when there is none; `newVersion` gets the chosen version text
// ("0" without a choice).
int ChoosePackage(const std::vector<std::string>& names, const std::string& curApVersion, std::string& newVersion);

// The file name part of a path (after its last separator).
std::string FileNamePart(const std::string& path);

// Deletes every file directly inside `folder` (read-only ones too); its
// subfolders stay, failures are passed over. Refuses (does nothing) unless
// `folder` is a folder of its own directly below the temporary folder.
void ClearFolder(const std::string& folder);

// The extraction folder of a package: the temporary folder followed by the
// package's file name cut before its last ".". Empty when that would not be
// a folder of its own below the temporary folder (no "." or an empty, "."
// or ".." name, no safe temporary folder), when the package lies inside it,
// or when something other than a folder already has its name.
std::string ExtractionFolder(const std::string& packagePath);

// A dialog filter written "Description|pattern;pattern|..." in the form
// Qt's file dialogs take.
QString QtFileFilter(const QString& filter);

}  // namespace tidewell

// ---------------------------------------------------------------------------

class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The controls, named as on the form.
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // Back
    TBitBtn* BitBtn2 = nullptr;      // Next
    QPushButton* BitBtn3 = nullptr;  // Cancel
    TBitBtn* BitBtn4 = nullptr;      // Finish
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QWidget* Panel2 = nullptr;
    // Page 1
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* cbMethod = nullptr;
    QPushButton* btnProxy = nullptr;
    QPushButton* btnDownload = nullptr;
    QLabel* Image3 = nullptr;
    // Page 2
    QLabel* Label2 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* imgT1 = nullptr;
    QLabel* imgT2 = nullptr;
    QLabel* imgT3 = nullptr;
    QLabel* imgT4 = nullptr;
    QLabel* imgT5 = nullptr;
    QLabel* imgErr = nullptr;
    TAnimatedImage* imgDot = nullptr;
    QLabel* labT1_1 = nullptr;
    QLabel* labT1_2 = nullptr;
    QLabel* labT2_1 = nullptr;
    QLabel* labT2_2 = nullptr;
    QLabel* labT3 = nullptr;
    QLabel* labT4 = nullptr;
    QLabel* labT5_1 = nullptr;
    QLabel* labT5_2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* labProgress = nullptr;
    QPushButton* bbtnStop = nullptr;
    QListWidget* ListViewRemote = nullptr;
    // The file dialogs (their titles) and the caption file components.
    TOpenDialog* OpenDialog1 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;
    TLngINISupp* LngINISupp1 = nullptr;
    TMsgINISupp* MsgINISupp1 = nullptr;

    // The selected AP version: the version key of the chosen AP ("0" when
    // its version is not available).
    std::string CurApVersion;
    // The Windows classification of FormCreate.
    int OsKind = 5;
    // FormCreate refused the system: the process is to end with exit code 1.
    bool Refused() const { return m_refused; }

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void BitBtn1Click();  // Back
    void BitBtn2Click();  // Next
    void BitBtn3Click();  // Cancel and Finish
    void btnProxyClick();
    void btnDownloadClick();
    void bbtnStopClick();
    void BitBtn3MouseMove();
    void TabSheet2MouseMove();

    // The update server's FTP client and its events.
    TNMFTP* NMFTP1 = nullptr;
    void NMFTP1HostResolved();
    void NMFTP1Connect();
    void NMFTP1ConnectionFailed();
    void NMFTP1Error(const std::string& message);
    void NMFTP1ListItem(const std::string& line);
    void NMFTP1TransactionStart();
    void NMFTP1TransactionStop();
    void NMFTP1PacketRecvd(qint64 received, qint64 total);
    void NMFTP1Success(int kind);
    void NMFTP1Failure(bool& handled, int kind);
    void NMFTP1Disconnect();
    // Processes events until more than `milliseconds` have passed.
    static void WaitMs(int milliseconds);

    // The update server; tests point it at a server of their own. The
    // pause after logging in is the connect event's WaitMs.
    std::string UpdateHost = tidewell::kUpdateHost;
    int UpdatePort = tidewell::kUpdatePort;
    int ConnectPauseMs = 1000;

    // The user has asked to leave (Cancel, Finish, Esc, the close box, a Yes
    // to leave): the window's destruction steps have run and a call still
    // pending goes on into no further step, question or installation.
    bool Ending() const { return m_ending; }

    // Operations.
    void ShowMethodPage();
    void StartProcedure();
    void SearchAccessPoints();
    // Brings the window back from a minimised state to the front, with the
    // AP list and proxy dialogs when they are open (a second start asks).
    void RestoreAndRaise();

    // The step indicators of page 2 (rows 1 to 5).
    void MarkerToRow(int row);
    void TickRow(int row);
    void CrossAtRow(int row);
    void CrossAtMarker();
    QLabel* TickImage(int row) const;
    static int RowLabelTop(int row);
    static int RowTickTop(int row);

    // The application-wide pointer, which overrides every control's own.
    enum class Pointer { Default, Arrow, HourGlass };
    static void SetPointer(Pointer pointer);

    // The AP search that Next runs: the discovery program and the AP list.
    // True when the user chose an AP (IpAddress and CurApVersion are set).
    virtual bool RunApSearch();

    // ---- Hooks that later parts of the wizard fill ----
    // Package installation and hand-off to Flashpost.
    virtual void InstallPackage(const std::string& packagePath);
    // Internet methods: the connection start to the update server and the
    // transfer that follows it.
    virtual void ConnectToUpdateServer();
    // Closes the connection to the update server when it is open.
    virtual void DisconnectFromServer();
    // The language selection, run when the main window is first shown.
    virtual void SelectLanguage();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Package installation: the step row it drives, the failure ending
    // (cross at that row, Back), and the minimised wait for a child program.
    int ResultRow() const;
    void StopAtResultRow();
    void WaitMinimisedFor(kavo::platform::ChildProcess& child);

    void BuildForm();
    void BuildPage1();
    void BuildPage2();
    void BuildFtpClient();
    void SaveDownloadedPackage();
    // Runs FormDestroy once, while the window is still whole.
    void EndRun();
    void ShowFinished();
    void KeepFocusOffChangingControls();
    int Method() const;

    bool m_refused = false;
    bool m_created = false;
    bool m_shownOnce = false;
    bool m_destroyed = false;
    bool m_ending = false;
};

extern TFormMain* FormMain;
