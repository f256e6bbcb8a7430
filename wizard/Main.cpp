// TFormMain: creation, showing and destruction of the main window, and the
// start-up checks and preparations.
#include "Main.h"

#include "Aplist.h"
#include "Application.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "SettingsKey.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>

std::string AppDir;
bool Downloaded = false;
bool Busy = false;
std::string LocalFile;
std::string NewVersion;

TFormMain* FormMain = nullptr;

namespace tidewell {

using kavo::platform::OsVersion;
using kavo::platform::kSeparator;

std::size_t FileInFolder(const std::string& folder, const std::string& name)
{
    return kavo::platform::searchPath(folder, name, nullptr, 300);
}

std::string FileInFolderOrUpdate(const std::string& folder, const std::string& name)
{
    if (FileInFolder(folder, name))
        return folder + kSeparator + name;
    return folder + kSeparator + kUpdateFolder + kSeparator + name;
}

int ComputeOsKind(const OsVersion& v)
{
    if (v.platformId == OsVersion::PlatformWindows9x) {
        switch (v.minor) {
        case 90: return 0;
        case 10: return 1;
        case 0: return 2;
        default: return 5;
        }
    }
    if (v.platformId == OsVersion::PlatformNT) {
        if (v.major == 4)
            return 3;
        if (v.major >= 5)
            return 4;
    }
    return 5;
}

bool IsWindowsPlatform(const OsVersion& v)
{
    return v.platformId == OsVersion::PlatformWin32s || v.platformId == OsVersion::PlatformWindows9x ||
           v.platformId == OsVersion::PlatformNT;
}

bool OsRefused(int osKind, const OsVersion& v)
{
    return (osKind == 5 || osKind == 2) && IsWindowsPlatform(v);
}

void PrepareSnmpComponents(const std::string& appDir, const std::string& systemFolder)
{
    for (const char* name : kSnmpComponentFiles) {
        std::string source = FileInFolderOrUpdate(appDir, name);
        // A file already in the system folder stays; a failed copy is not
        // reported, and the registration runs all the same.
        kavo::platform::copyFile(source, systemFolder + kSeparator + name, true);
        kavo::platform::startHidden(std::string("regsvr32.exe /s ") + name);
    }
}

std::string VersionText(const std::string& fileName)
{
    return fileName.size() > 1 ? fileName.substr(1, 4) : std::string();
}

int CompareVersionText(const std::string& a, const std::string& b)
{
    auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int d = upper(static_cast<unsigned char>(a[i])) - upper(static_cast<unsigned char>(b[i]));
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string FileNamePart(const std::string& path)
{
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tidewell

TFormMain::TFormMain(QWidget* parent) : QWidget(parent)
{
    // Each main window starts a fresh run of the wizard.
    AppDir.clear();
    LocalFile.clear();
    NewVersion.clear();
    tidewell::SetLeaving(false);
    BuildForm();
    BuildFtpClient();
    FormCreate();
}

TFormMain::~TFormMain()
{
    // A refused start ends at once: nothing of the run is undone. A window
    // that was closed has run its destruction steps already.
    if (m_created && !m_destroyed) {
        m_destroyed = true;
        FormDestroy();
    }
}

void TFormMain::FormCreate()
{
    namespace p = kavo::platform;
    AppDir = p::currentDirectory();

    p::OsVersion version = p::osVersion();
    OsKind = tidewell::ComputeOsKind(version);
    if (tidewell::OsRefused(OsKind, version)) {
        kavo::ui::MessageBox::show(this, tidewell::kRefuseOsText, QString(), kavo::ui::Icon::Warning,
                                   kavo::ui::Buttons::Ok);
        m_refused = true;
        return;
    }

    // The SNMP component files exist only for Windows.
    if (tidewell::IsWindowsPlatform(version))
        tidewell::PrepareSnmpComponents(AppDir, p::systemFolder());

    Downloaded = false;
    Busy = false;
    cbMethod->setCurrentIndex(tidewell::MethodInternet);
    imgDot->setAnimate(true);
    m_created = true;
}

void TFormMain::FormShow()
{
    SelectLanguage();
}

void TFormMain::FormDestroy()
{
    DisconnectFromServer();
    kavo::settings::deleteRunValues();
}

// Closing the window ends the wizard: a running transfer is stopped first,
// then the destruction steps run while the window is still whole.
void TFormMain::closeEvent(QCloseEvent* event)
{
    if (bbtnStop->isEnabled())
        bbtnStopClick();
    EndRun();
    QWidget::closeEvent(event);
}

void TFormMain::EndRun()
{
    m_ending = true;
    tidewell::SetLeaving(true);
    if (m_created && !m_destroyed) {
        m_destroyed = true;
        FormDestroy();
    }
}

void TFormMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce && m_created) {
        m_shownOnce = true;
        FormShow();
    }
}

void TFormMain::RestoreAndRaise()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const char* cls = w->metaObject()->className();
        if ((qstrcmp(cls, "TFormAPList") == 0 || qstrcmp(cls, "TFormProxy") == 0) && w->isVisible()) {
            w->raise();
            w->activateWindow();
        }
    }
}
