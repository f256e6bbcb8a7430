// TFormMain: the two Internet methods' transfer from the update server.
// Connect, find the update directory, list it, choose the newest package
// above the AP's version, download it into the temporary folder with
// progress and Stop, disconnect, then install it (update method) or save a
// copy where the user chooses (download method).
#include "Main.h"

#include "Application.h"
#include "BitBtn.h"
#include "Controls.h"
#include "FileDialog.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "NMFTP.h"
#include "RemoteListing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>

namespace ui = kavo::ui;
using tidewell::Guarded;

namespace {

QString text(const char* s) { return QString::fromLatin1(s); }
// Texts from the server are shown as they came, decoded as UTF-8.
QString fromServer(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The raw name of a listed entry (the caption is only its display form).
constexpr int kRawNameRole = Qt::UserRole;

}  // namespace

int tidewell::ChoosePackage(const std::vector<std::string>& names, const std::string& curApVersion,
                            std::string& newVersion)
{
    newVersion = "0";
    int choice = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        // A name that could not be a file of ours directly in the temporary
        // folder is never fetched.
        if (name.find('a') == std::string::npos || !PlainFileName(name))
            continue;
        const std::string v = VersionText(name);
        if (CompareVersionText(v, curApVersion) > 0 && CompareVersionText(v, newVersion) > 0) {
            choice = static_cast<int>(i);
            newVersion = v;
        }
    }
    return choice;
}

void TFormMain::BuildFtpClient()
{
    NMFTP1 = new TNMFTP(this);
    NMFTP1->setObjectName(QStringLiteral("NMFTP1"));
    NMFTP1->Port = tidewell::kUpdatePort;
    NMFTP1->TimeOut = 20000;
    NMFTP1->ParseList = false;
    NMFTP1->Passive = false;
    NMFTP1->FirewallType = TNMFTP::FTUser;
    NMFTP1->FWAuthenticate = false;
    NMFTP1->ReportLevel = 0;
    // Every event runs through the one catching wrapper: an error of a
    // handler is reported there and never reaches the client's own code.
    NMFTP1->OnHostResolved = [this] { Guarded([this] { NMFTP1HostResolved(); }); };
    NMFTP1->OnConnect = [this] { Guarded([this] { NMFTP1Connect(); }); };
    NMFTP1->OnConnectionFailed = [this] { Guarded([this] { NMFTP1ConnectionFailed(); }); };
    NMFTP1->OnError = [this](const std::string& m) { Guarded([&] { NMFTP1Error(m); }); };
    NMFTP1->OnListItem = [this](const std::string& line) { Guarded([&] { NMFTP1ListItem(line); }); };
    NMFTP1->OnTransactionStart = [this] { Guarded([this] { NMFTP1TransactionStart(); }); };
    NMFTP1->OnTransactionStop = [this] { Guarded([this] { NMFTP1TransactionStop(); }); };
    NMFTP1->OnPacketRecvd = [this](qint64 r, qint64 t) { Guarded([&] { NMFTP1PacketRecvd(r, t); }); };
    NMFTP1->OnSuccess = [this](TCmdType kind) { Guarded([&] { NMFTP1Success(kind); }); };
    NMFTP1->OnFailure = [this](bool& handled, TCmdType kind) { Guarded([&] { NMFTP1Failure(handled, kind); }); };
    NMFTP1->OnDisconnect = [this] { Guarded([this] { NMFTP1Disconnect(); }); };
}

void TFormMain::WaitMs(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    while (clock.elapsed() <= milliseconds)
        loop.processEvents(QEventLoop::AllEvents, 10);
}

// ---- Connection start ----

void TFormMain::ConnectToUpdateServer()
{
    if (NMFTP1->Connected())
        NMFTP1->Disconnect();
    if (m_ending)
        return;
    NMFTP1->Host = UpdateHost;
    NMFTP1->Port = UpdatePort;
    NMFTP1->UserID = tidewell::kUpdateUser;
    NMFTP1->Password.clear();
    Busy = true;
    SetPointer(Pointer::HourGlass);
    try {
        NMFTP1->Connect();
    } catch (const ESockError& error) {
        if (m_ending)
            return;
        ui::MessageBox::show(this, QStringLiteral("Error: ") + fromServer(error.what()) + text(tidewell::kConnectFailedText),
                             QString(), ui::Icon::Error);
        CrossAtMarker();
        BitBtn1->setEnabled(true);
        Busy = false;
        SetPointer(Pointer::Default);
        return;
    }
    // A refusal by the server (EProtocolError) goes on to the standard report.
    if (m_ending)
        return;
    btnDownloadClick();
}

void TFormMain::DisconnectFromServer()
{
    // A call still waiting (the window closes while connecting) ends too.
    if (NMFTP1 && (NMFTP1->Connected() || NMFTP1->Waiting()))
        NMFTP1->Disconnect();
}

// ---- Listing, choice and download ----

void TFormMain::btnDownloadClick()
{
    NewVersion = "0";
    MarkerToRow(2);
    TickRow(1);

    std::string RemoteDir;
    try {
        NMFTP1->ChangeDir(tidewell::kRemoteDir);
        RemoteDir = tidewell::kRemoteDir;
    } catch (const std::exception&) {
        if (m_ending)
            return;
        // An error of the second directory is not caught here.
        NMFTP1->ChangeDir(tidewell::kRemoteDirFallback);
        RemoteDir = tidewell::kRemoteDirFallback;
    }
    if (m_ending)
        return;

    try {
        NMFTP1->List();
    } catch (const std::exception&) {
        if (m_ending)
            return;
        ui::MessageBox::show(this, text(tidewell::kListFailedText), QString(), ui::Icon::Error);
        CrossAtMarker();
        BitBtn1->setEnabled(true);
        Busy = false;
        SetPointer(Pointer::Default);
        return;
    }
    if (m_ending)
        return;
    Busy = false;
    SetPointer(Pointer::Default);

    std::vector<std::string> names;
    for (int i = 0; i < ListViewRemote->count(); ++i)
        names.push_back(ListViewRemote->item(i)->data(kRawNameRole).toByteArray().toStdString());
    const int choice = tidewell::ChoosePackage(names, CurApVersion, NewVersion);
    TickRow(2);

    if (choice < 0) {
        if (ui::MessageBox::question(this, text(tidewell::kMostRecentText), text(tidewell::kInformationCaption),
                                     ui::Icon::Information, ui::Buttons::YesNo) == ui::Answer::Yes) {
            close();
            return;
        }
        if (m_ending)
            return;
        imgDot->hide();
        DisconnectFromServer();
        BitBtn1->setEnabled(true);
        return;
    }

    MarkerToRow(3);
    const std::string& name = names[static_cast<std::size_t>(choice)];
    LocalFile = kavo::platform::tempFolder() + name;
    NMFTP1->Download(RemoteDir + name, LocalFile);
}

void TFormMain::bbtnStopClick()
{
    bbtnStop->setEnabled(false);
    NMFTP1->Abort();
}

// ---- Events of the client ----

void TFormMain::NMFTP1HostResolved()
{
    if (m_ending)
        return;
    BitBtn1->setEnabled(false);
    BitBtn2->setEnabled(false);
}

void TFormMain::NMFTP1Connect()
{
    if (m_ending)
        return;
    WaitMs(ConnectPauseMs);
}

void TFormMain::NMFTP1ConnectionFailed()
{
    if (m_ending)
        return;
    CrossAtRow(1);
    BitBtn1->setEnabled(true);
    Busy = false;
    SetPointer(Pointer::Default);
}

void TFormMain::NMFTP1Error(const std::string&)
{
    if (m_ending)
        return;
    BitBtn1->setEnabled(true);
    BitBtn2->setEnabled(false);
    CrossAtMarker();
    Busy = false;
    SetPointer(Pointer::Default);
}

void TFormMain::NMFTP1ListItem(const std::string& line)
{
    if (m_ending)
        return;
    std::optional<std::string> name = tidewell::ListingEntryName(line);
    if (!name)
        return;
    auto* item = new QListWidgetItem(fromServer(*name), ListViewRemote);
    item->setData(kRawNameRole, QByteArray::fromStdString(*name));
}

void TFormMain::NMFTP1TransactionStart()
{
    if (m_ending)
        return;
    bbtnStop->setEnabled(true);
}

void TFormMain::NMFTP1TransactionStop()
{
    bbtnStop->setEnabled(false);
}

void TFormMain::NMFTP1PacketRecvd(qint64 received, qint64 total)
{
    if (m_ending)
        return;
    // Without an announced size the bar stays where it is.
    if (total > 0)
        ProgressBar1->setValue(static_cast<int>(received * 100 / total));
    labProgress->setText(QString::number(received) + text(tidewell::kBytesOfText) + QString::number(total) +
                         text(tidewell::kReceivedText));
}

void TFormMain::NMFTP1Success(int kind)
{
    if (m_ending || kind != cmdDownload)
        return;
    Downloaded = true;
    MarkerToRow(4);
    TickRow(3);
    DisconnectFromServer();
}

void TFormMain::NMFTP1Failure(bool&, int kind)
{
    // The failure stays unhandled: the client raises its error afterwards.
    if (m_ending)
        return;
    BitBtn1->setEnabled(true);
    BitBtn2->setEnabled(false);
    CrossAtMarker();
    if (kind == cmdDownload)
        CrossAtRow(3);
    Busy = false;
    SetPointer(Pointer::Default);
}

void TFormMain::NMFTP1Disconnect()
{
    if (m_ending)
        return;
    if (!imgT3->isHidden()) {
        MarkerToRow(5);
        TickRow(4);
    }
    if (!Downloaded)
        return;
    if (Method() == tidewell::MethodInternet) {
        InstallPackage(LocalFile);
        return;
    }
    if (Method() == tidewell::MethodDownload)
        SaveDownloadedPackage();
}

void TFormMain::SaveDownloadedPackage()
{
    namespace fs = std::filesystem;
    const std::string exeFolder = fs::path(kavo::platform::ownProgramFile()).parent_path().string();
    const std::string proposed = tidewell::FileNamePart(LocalFile);
    SaveDialog1->Title = text(tidewell::kSaveDialogTitle);
    const QString chosen = ui::FileDialog::getSaveFileName(
        this, SaveDialog1->Title,
        QString::fromStdString(exeFolder + kavo::platform::kSeparator + proposed),
        tidewell::QtFileFilter(text(tidewell::kZipFilter)));
    if (m_ending)
        return;
    if (chosen.isEmpty()) {
        imgDot->hide();
        CrossAtRow(5);
        BitBtn1->setEnabled(true);
        return;
    }

    // Saving onto the downloaded file itself would empty it: it is there already.
    const std::string target = chosen.toStdString();
    std::error_code ec;
    const bool sameFile = fs::equivalent(LocalFile, target, ec) && !ec;
    if (!sameFile && !kavo::platform::copyFile(LocalFile, target, false)) {
        ui::MessageBox::show(this, text(tidewell::kSaveFailedText), QString(), ui::Icon::Error);
        BitBtn1->setEnabled(true);
        return;
    }
    TickRow(5);
    imgDot->hide();
    kavo::platform::beep(kavo::platform::Beep::Default);
    if (ui::MessageBox::show(this, text(tidewell::kDownloadedText), text(tidewell::kInformationCaption),
                             ui::Icon::Information, ui::Buttons::YesNo) == ui::Answer::Yes) {
        close();
        return;
    }
    if (m_ending)
        return;
    DisconnectFromServer();
    ShowFinished();
}
