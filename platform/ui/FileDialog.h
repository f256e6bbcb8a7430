// File dialogs of the programs. Tests give the chosen name ahead
// (setNextFileName; an empty name is a cancelled dialog).
#pragma once

#include <QString>

#include <vector>

class QWidget;

namespace kavo::ui {

struct FileDialogRecord {
    enum Kind { Open, Save, Folder } kind = Open;
    QString caption, folder, filter;
};

class FileDialog {
public:
    static QString getOpenFileName(QWidget* owner, const QString& caption, const QString& folder,
                                   const QString& filter);
    static QString getSaveFileName(QWidget* owner, const QString& caption, const QString& folder,
                                   const QString& filter);
    static QString getExistingDirectory(QWidget* owner, const QString& caption, const QString& folder);

    static void setNextFileName(const QString& name);
    static const std::vector<FileDialogRecord>& shown();
    static void clearShown();
};

}  // namespace kavo::ui
