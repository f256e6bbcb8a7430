#include "ApSearch.h"

#include "Aplist.h"
#include "Application.h"
#include "Main.h"
#include "MessageBox.h"
#include "Platform.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <QRadioButton>

namespace tidewell {

namespace {

constexpr std::size_t kPathBuffer = 256;  // the path and its terminating zero

// Shows the dialog over the main window; true when it ended with OK.
bool ShowApList(QWidget* owner, TFormAPList& dialog, std::string& curApVersion)
{
    if (owner && owner->isVisible()) {
        // The dialog's frame centred on the owner's frame. Before its first
        // showing the dialog's frame is not known yet: it is taken to be as
        // thick as the owner's.
        const QRect ownerFrame = owner->frameGeometry();
        QSize frame = dialog.frameGeometry().size();
        if (frame == dialog.size())
            frame = dialog.size() + (ownerFrame.size() - owner->size());
        dialog.move(ownerFrame.x() + (ownerFrame.width() - frame.width()) / 2,
                    ownerFrame.y() + (ownerFrame.height() - frame.height()) / 2);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    curApVersion = dialog.CurApVersion();
    return true;
}

bool NotFound(QWidget* owner, TFormAPList& dialog, std::string& curApVersion)
{
    dialog.ClearList();
    dialog.AddNotFoundEntry();
    return ShowApList(owner, dialog, curApVersion);
}

}  // namespace

ApTable ParseApTable(std::string a, std::string v)
{
    ApTable table;
    while (!a.empty()) {
        const std::size_t p = a.find(',');
        const std::size_t q = v.find(',');
        bool added = false;
        if (p != std::string::npos) {
            table.rows.push_back({a.substr(0, p), std::nullopt});
            a.erase(0, p + 1);
            added = true;
        } else {
            if (!v.empty()) {
                table.rows.push_back({a, std::nullopt});
                added = true;
            } else if (const std::size_t gt = a.find('>'); gt != std::string::npos) {
                const std::optional<int> n = StrToInt(QString::fromLocal8Bit(a.substr(gt + 1)));
                table.overflow = n ? *n : 256;
            }
            a.clear();
        }
        if (q != std::string::npos) {
            if (added)
                table.rows.back().version = v.substr(0, q);
            v.erase(0, q + 1);
        } else {
            if (added && !v.empty())
                table.rows.back().version = v;
            v.clear();
        }
    }
    return table;
}

std::optional<std::string> SearchProgramPath(const std::string& appDir)
{
    std::string path = FileInFolderOrUpdate(appDir, std::string("Beaconry") + kavo::platform::kExeSuffix);
    if (path.size() + 1 > kPathBuffer)
        return std::nullopt;
    return path;
}

bool SearchAccessPoints(QWidget* owner, TFormAPList& dialog, const std::string& appDir,
                        std::string& curApVersion, const ApSearchTiming& timing)
{
    using kavo::ui::Icon;
    using kavo::ui::MessageBox;

    const std::optional<std::string> path = SearchProgramPath(appDir);
    if (!path) {
        const std::string tooLong = appDir + kavo::platform::kSeparator + "Beaconry" + kavo::platform::kExeSuffix;
        MessageBox::show(owner, QString(kSearchPathTooLong).arg(QString::fromLocal8Bit(tooLong)), QString(),
                         Icon::Error);
        return false;
    }

    {
        std::unique_ptr<kavo::platform::ChildProcess> child = kavo::platform::startProgram(*path);
        if (!child) {
            MessageBox::show(owner, kCouldNotRunSearch, ApplicationTitle(), Icon::None);
            return false;
        }
        // Not processing events meanwhile; a program still running goes on.
        if (kavo::platform::waitForProgram(*child, timing.beaconryWaitMs) != kavo::platform::WaitResult::Exited)
            return NotFound(owner, dialog, curApVersion);
    }

    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
    if (!key || key->readString(kavo::settings::kApIpAddress).empty()) {
        key.reset();
        return NotFound(owner, dialog, curApVersion);
    }
    const std::string addresses = key->readString(kavo::settings::kApIpAddress);
    const std::string versions = key->readString(kavo::settings::kApVersion);
    key.reset();

    if (addresses.find("Error") != std::string::npos) {
        MessageBox::show(owner, QString::fromLocal8Bit(addresses), QString(), Icon::Error);
        return false;
    }

    dialog.ClearList();
    dialog.RadioButton1->setEnabled(true);
    const ApTable table = ParseApTable(addresses, versions);
    if (table.overflow)
        MessageBox::show(owner, QString(kOverflowWarning).arg(*table.overflow), QString(), Icon::Warning);
    // A table that gives no row at all is taken as no AP found.
    if (table.rows.empty())
        return NotFound(owner, dialog, curApVersion);
    for (const ApTableRow& row : table.rows)
        dialog.AddRow(row.address, row.version);
    dialog.RadioButton1->setChecked(true);
    return ShowApList(owner, dialog, curApVersion);
}

}  // namespace tidewell
