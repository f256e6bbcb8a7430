#include "FileDialog.h"

#include "MessageBox.h"

#include <QFileDialog>

#include <deque>
#include <optional>

namespace kavo::ui {

namespace {

// A filter shows its description alone, "ZIP Files (*.ZIP)", and not the
// patterns that follow it.
constexpr QFileDialog::Options kOptions = QFileDialog::HideNameFilterDetails;

std::deque<QString>& queued()
{
    static std::deque<QString> q;
    return q;
}
std::vector<FileDialogRecord>& records()
{
    static std::vector<FileDialogRecord> r;
    return r;
}

// A queued name, or in test mode the empty name (cancelled); nullopt when
// the real dialog is to be shown.
std::optional<QString> answerAhead(FileDialogRecord rec)
{
    records().push_back(rec);
    if (!queued().empty()) {
        QString name = queued().front();
        queued().pop_front();
        return name;
    }
    if (MessageBox::testMode())
        return QString();
    return std::nullopt;
}

}  // namespace

QString FileDialog::getOpenFileName(QWidget* owner, const QString& caption, const QString& folder,
                                    const QString& filter)
{
    if (auto name = answerAhead({FileDialogRecord::Open, caption, folder, filter}))
        return *name;
    return QFileDialog::getOpenFileName(owner, caption, folder, filter, nullptr, kOptions);
}

QString FileDialog::getSaveFileName(QWidget* owner, const QString& caption, const QString& folder,
                                    const QString& filter)
{
    if (auto name = answerAhead({FileDialogRecord::Save, caption, folder, filter}))
        return *name;
    return QFileDialog::getSaveFileName(owner, caption, folder, filter, nullptr, kOptions);
}

QString FileDialog::getExistingDirectory(QWidget* owner, const QString& caption, const QString& folder)
{
    if (auto name = answerAhead({FileDialogRecord::Folder, caption, folder, {}}))
        return *name;
    return QFileDialog::getExistingDirectory(owner, caption, folder);
}

void FileDialog::setNextFileName(const QString& name) { queued().push_back(name); }
const std::vector<FileDialogRecord>& FileDialog::shown() { return records(); }
void FileDialog::clearShown()
{
    records().clear();
    queued().clear();
}

}  // namespace kavo::ui
