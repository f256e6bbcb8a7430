// TFormMain: installing an update package and handing the firmware upgrade
// to Flashpost.
#include "Main.h"

#include "Application.h"
#include "Crc.h"
#include "FirmwareList.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "Unzip.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;
namespace ui = kavo::ui;
using kavo::platform::kSeparator;

// The path made absolute, with "." and ".." resolved and links followed
// as far as it exists, without a trailing separator; empty on failure.
fs::path Resolved(std::string path)
{
    while (path.size() > 1 && (path.back() == '/' || path.back() == kSeparator))
        path.pop_back();
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (!ec)
        p = fs::weakly_canonical(p, ec);
    return ec ? fs::path() : p;
}

// Whether `inner` is `outer` or lies below it.
bool Within(const fs::path& inner, const fs::path& outer)
{
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o)
            return false;
    return true;
}

// Whether `folder` names a folder directly below the temporary folder: not
// the temporary folder itself, nor anything above or beside it.
bool DirectlyBelowTemp(const std::string& folder)
{
    const std::string temp = kavo::platform::tempFolder();
    if (temp.empty())
        return false;
    const fs::path t = Resolved(temp), f = Resolved(folder);
    return !t.empty() && !f.empty() && f.parent_path() == t && f != t;
}

}  // namespace

namespace tidewell {

void ClearFolder(const std::string& folder)
{
    std::error_code ec;
    // A link in the folder's place is never followed.
    if (!DirectlyBelowTemp(folder) || !fs::is_directory(fs::symlink_status(folder, ec)))
        return;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        if (fs::is_directory(st))
            continue;
        if (fs::is_regular_file(st))
            fs::permissions(it->path(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove(it->path(), ec);
    }
}

std::string ExtractionFolder(const std::string& packagePath)
{
    const std::string temp = kavo::platform::tempFolder();
    const std::string name = FileNamePart(packagePath);
    const std::size_t dot = name.rfind('.');
    if (temp.empty() || dot == std::string::npos)
        return {};
    const std::string base = name.substr(0, dot);
    // Empty, ".", "..", or only dots and blanks (which Windows trims to one of those).
    if (base.find_first_not_of(". ") == std::string::npos)
        return {};
    const std::string folder = temp + base;
    if (!DirectlyBelowTemp(folder))
        return {};
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(folder, ec);
    if (fs::exists(st) && !fs::is_directory(st))
        return {};
    // A package inside its own extraction folder would be cleared away.
    const fs::path package = Resolved(packagePath), extracted = Resolved(folder);
    if (package.empty() || extracted.empty() || Within(package, extracted))
        return {};
    return folder;
}

}  // namespace tidewell

int TFormMain::ResultRow() const
{
    return Method() == tidewell::MethodInternet ? 5 : 2;
}

void TFormMain::StopAtResultRow()
{
    BitBtn1->setEnabled(true);
    imgDot->hide();
    CrossAtRow(ResultRow());
}

void TFormMain::WaitMinimisedFor(kavo::platform::ChildProcess& child)
{
    showMinimized();
    // Once, so that the window system has the window minimised before the
    // wizard stops answering it.
    QCoreApplication::processEvents();
    QGuiApplication::sync();
    kavo::platform::waitForProgram(child, -1);
    showNormal();
    raise();
    activateWindow();
}

void TFormMain::InstallPackage(const std::string& packagePath)
{
    using namespace tidewell;
    namespace platform = kavo::platform;

    // 1. The extraction folder.
    const std::string folder = ExtractionFolder(packagePath);
    if (folder.empty()) {
        ShowErrorInFile(this, packagePath);
        StopAtResultRow();
        return;
    }

    // 2. Emptied and made again; the results do not matter (it may be
    // missing, or still hold subfolders).
    std::error_code ec;
    ClearFolder(folder);
    fs::remove(folder, ec);
    fs::create_directory(folder, ec);

    // 3. Unpacking.
    if (!UnpackPackage(packagePath, folder)) {
        ui::MessageBox::show(this, QString::fromLatin1(kExtractErrorText), QString(), ui::Icon::Error);
        ClearFolder(folder);
        fs::remove(folder, ec);
        StopAtResultRow();
        return;
    }

    // 4. The utility update.
    if (FileInFolder(folder, kSetupName)) {
        auto setup = platform::startProgram(folder + kSeparator + kSetupName);
        if (!setup) {
            ui::MessageBox::show(this, QString::fromLatin1(kSetupFailedText), ApplicationTitle(), ui::Icon::None);
            StopAtResultRow();
            return;
        }
        WaitMinimisedFor(*setup);
    }

    // 5, 6. The list file and its check.
    if (!FileInFolder(folder, kavo::fwlist::kListFileName) || !CheckFirmwareList(this, folder)) {
        ShowErrorInFile(this, packagePath);
        StopAtResultRow();
        return;
    }

    // 7. Consent.
    const std::string temp = platform::tempFolder();
    const std::string listCopy = temp + kavo::fwlist::kListFileName;
    if (ui::MessageBox::question(this, QString::fromLatin1(kConsentText), QString::fromLatin1(kInformationCaption),
                                 ui::Icon::Information, ui::Buttons::YesNo,
                                 platform::Beep::Asterisk) == ui::Answer::Yes) {
        // 8. The list copy for Flashpost. An old copy goes first, so that
        // Flashpost never reads a list other than the one just checked.
        fs::remove(listCopy, ec);
        if (!platform::copyFile(folder + kSeparator + kavo::fwlist::kListFileName, listCopy, false))
            fs::remove(listCopy, ec);
        const std::string uploader = FileInFolderOrUpdate(AppDir, std::string(kUploaderName) + platform::kExeSuffix);
        auto child = platform::startProgram(uploader);
        if (!child) {
            ui::MessageBox::show(this, QString::fromLatin1(kUploaderFailedText), ApplicationTitle(), ui::Icon::None);
            StopAtResultRow();
            return;
        }
        WaitMinimisedFor(*child);
    }

    // 9. The outcome, the version, the clean-up.
    imgDot->hide();
    if (auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All,
                                           true)) {
        std::string lastUpdate;
        try {
            lastUpdate = key->readString(kavo::settings::kLastUpdate);
        } catch (const kavo::RegistryError&) {
            // Not a text: not a completed upgrade.
        }
        if (lastUpdate == "1") {
            TickRow(ResultRow());
            key->writeString(kavo::settings::kLastUpdateVersion, NewVersion);
        } else {
            TickImage(ResultRow())->hide();
            CrossAtRow(ResultRow());
        }
    } else {
        TickImage(ResultRow())->hide();
        CrossAtRow(ResultRow());
    }
    fs::remove(listCopy, ec);
    ClearFolder(folder);
    fs::remove(folder, ec);
    ShowFinished();
}
