// The caption file components of the main window: TLngINISupp completes a
// language file with the forms' texts and sets the forms' captions from it;
// TMsgINISupp holds the file's message texts (section "Messages").
//
// A language file has one section per form, named like the form object,
// and in it one key per control, named like the control; the value is the
// control's text in the file's code page.
#pragma once

#include "IniFile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// The caption of a control of a translated kind (button, label, check box,
// radio button, group box, panel, tab sheet, static text: the caption; open
// and save dialog: the title); nullopt for any other object.
std::optional<QString> CaptionOf(const QObject* control);
// Sets it; a label keeps its place and wraps or grows within its parent so
// that the whole text shows. False for an object of another kind.
bool SetCaption(QObject* control, const QString& caption);

}  // namespace tidewell

class TLngINISupp : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    std::string FileName;
    // The code page of the file's texts.
    std::string CodePage = "CP1252";
    // The forms whose controls the file translates; a section is named like
    // the form's object.
    std::vector<QPointer<QWidget>> Forms;

    // Completion, then application; nothing is ever reported.
    //  - Completion: for each control of a translated kind without a key in
    //    its form's section (key names compared without regard to case), its
    //    current text is written, unless the file is read-only.
    //  - Application: each key of each section sets the caption of the
    //    control whose form and own name equal the section and key names
    //    exactly.
    void Open();
    // Forgets the file; the captions stay.
    void Close() { FileName.clear(); }

private:
    std::vector<QObject*> TranslatedControls(QWidget* form) const;
};

class TMsgINISupp : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    std::string FileName;
    std::string CodePage = "CP1252";

    // Reads the file's messages.
    void Open();
    void Close();
    // The message text of key `id` in section "Messages"; `fallback` when
    // the file has none.
    QString GetMsg(const QString& id, const QString& fallback) const;

private:
    std::optional<tidewell::TIniFile> m_file;
};
