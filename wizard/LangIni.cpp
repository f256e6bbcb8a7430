#include "LangIni.h"

#include "CodePage.h"
#include "Controls.h"
#include "IniFile.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <map>

namespace tidewell {

namespace {

// The order in which each form lists its controls; missing keys are added
// in this order. Controls the lists do not name come after, in the order
// the form holds them.
const std::map<QString, std::vector<const char*>>& controlOrder()
{
    static const std::map<QString, std::vector<const char*>> order = {
        {QStringLiteral("FormMain"),
         {"TabSheet1", "Label1",  "Label5",  "Label6",     "Label7",    "btnProxy",    "btnDownload",
          "TabSheet2", "Label2",  "labT1_1", "labT2_2",    "labT3",     "labT4",       "labT5_1",
          "labT1_2",   "labT2_1", "labT5_2", "GroupBox1",  "Label3",    "Label4",      "labProgress",
          "bbtnStop",  "BitBtn1", "BitBtn3", "Panel2",     "BitBtn4",   "BitBtn2",     "Panel1",
          "SaveDialog1", "OpenDialog1"}},
        {QStringLiteral("FormAPList"),
         {"Label2", "GroupBox1", "Label1", "StaticText1", "RadioButton1", "RadioButton2", "bbtnOK",
          "bbtnCancel"}},
    };
    return order;
}

// A label shows its whole text where it stands: a label that wraps grows
// downwards; one that does not grows to the right, and wraps within its
// parent's width when the line would not fit there.
void fitLabel(QLabel* label)
{
    QWidget* parent = label->parentWidget();
    if (!label->wordWrap()) {
        const QSize hint = label->sizeHint();
        const int room = parent ? parent->width() - label->x() - 8 : hint.width();
        if (hint.width() <= room || room <= 0) {
            label->resize(std::max(label->width(), hint.width()), std::max(label->height(), hint.height()));
            return;
        }
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->resize(room, label->height());
    }
    const int needed = label->heightForWidth(label->width());
    if (needed > label->height())
        label->resize(label->width(), needed);
}

// A push button whose caption does not fit grows to the right, up to the
// next control beside it or its parent's edge.
void fitButton(QPushButton* button)
{
    const int needed = button->sizeHint().width();
    QWidget* parent = button->parentWidget();
    if (needed <= button->width() || !parent)
        return;
    const QRect g = button->geometry();
    int limit = parent->width() - 4;
    for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect s = sibling->geometry();
        if (sibling != button && s.left() >= g.right() && s.top() <= g.bottom() && s.bottom() >= g.top())
            limit = std::min(limit, s.left() - 4);
    }
    button->resize(std::max(g.width(), std::min(needed, limit - g.left())), g.height());
}

// The form a control lies on: the window of its nearest widget.
const QWidget* formOf(const QObject* control)
{
    for (const QObject* o = control; o; o = o->parent())
        if (o->isWidgetType())
            return static_cast<const QWidget*>(o)->window();
    return nullptr;
}

}  // namespace

std::optional<QString> CaptionOf(const QObject* control)
{
    if (auto* b = qobject_cast<const QAbstractButton*>(control))
        return b->text();
    if (auto* l = qobject_cast<const QLabel*>(control); l && !qobject_cast<const TImage*>(control))
        return l->text();
    if (auto* g = qobject_cast<const QGroupBox*>(control))
        return g->title();
    if (auto* p = qobject_cast<const TPanel*>(control))
        return p->Caption();
    if (auto* t = qobject_cast<const TTabSheet*>(control))
        return t->Caption();
    if (auto* d = qobject_cast<const TOpenDialog*>(control))
        return d->Title;
    if (auto* d = qobject_cast<const TSaveDialog*>(control))
        return d->Title;
    return std::nullopt;
}

bool SetCaption(QObject* control, const QString& caption)
{
    if (!CaptionOf(control))
        return false;
    if (auto* b = qobject_cast<QAbstractButton*>(control)) {
        b->setText(caption);
        if (auto* push = qobject_cast<QPushButton*>(b))
            fitButton(push);
    } else if (auto* l = qobject_cast<QLabel*>(control)) {
        l->setText(caption);
        fitLabel(l);
    } else if (auto* g = qobject_cast<QGroupBox*>(control)) {
        g->setTitle(caption);
    } else if (auto* p = qobject_cast<TPanel*>(control)) {
        p->SetCaption(caption);
    } else if (auto* t = qobject_cast<TTabSheet*>(control)) {
        t->SetCaption(caption);
    } else if (auto* d = qobject_cast<TOpenDialog*>(control)) {
        d->Title = caption;
    } else if (auto* d = qobject_cast<TSaveDialog*>(control)) {
        d->Title = caption;
    }
    return true;
}

}  // namespace tidewell

using namespace tidewell;

std::vector<QObject*> TLngINISupp::TranslatedControls(QWidget* form) const
{
    std::vector<QObject*> controls;
    // A dialog owned by the form is a form of its own, with its own controls.
    for (QObject* o : form->findChildren<QObject*>())
        if (!o->objectName().isEmpty() && formOf(o) == form && CaptionOf(o))
            controls.push_back(o);
    const auto it = controlOrder().find(form->objectName());
    if (it == controlOrder().end())
        return controls;
    const std::vector<const char*>& order = it->second;
    auto rank = [&order](const QObject* o) {
        const QByteArray name = o->objectName().toLatin1();
        const auto at = std::find_if(order.begin(), order.end(), [&](const char* n) { return name == n; });
        return at - order.begin();
    };
    std::stable_sort(controls.begin(), controls.end(),
                     [&](const QObject* a, const QObject* b) { return rank(a) < rank(b); });
    return controls;
}

void TLngINISupp::Open()
{
    std::optional<TIniFile> file = TIniFile::Load(FileName);
    if (!file)
        return;

    if (!FileIsReadOnly(FileName)) {
        bool added = false;
        for (const QPointer<QWidget>& form : Forms) {
            if (!form)
                continue;
            const std::string section = form->objectName().toStdString();
            for (QObject* control : TranslatedControls(form)) {
                const std::string key = control->objectName().toStdString();
                if (file->ValueExists(section, key))
                    continue;
                file->WriteString(section, key, EncodeCodePage(*CaptionOf(control), CodePage.c_str()));
                added = true;
            }
        }
        // A file that cannot be written keeps what it had; nothing is said.
        if (added)
            file->Save(FileName);
    }

    for (const std::string& section : file->ReadSections()) {
        QWidget* form = nullptr;
        for (const QPointer<QWidget>& f : Forms)
            if (f && f->objectName().toStdString() == section)
                form = f;
        if (!form)
            continue;
        for (const std::string& key : file->ReadSection(section)) {
            QObject* control = nullptr;
            for (QObject* o : form->findChildren<QObject*>(QString::fromStdString(key)))
                if (formOf(o) == form && CaptionOf(o)) {
                    control = o;
                    break;
                }
            if (!control)
                continue;
            SetCaption(control, DecodeCodePage(file->ReadString(section, key).value_or(std::string()),
                                               CodePage.c_str()));
        }
    }
}

void TMsgINISupp::Open() { m_file = TIniFile::Load(FileName); }

void TMsgINISupp::Close()
{
    FileName.clear();
    m_file.reset();
}

QString TMsgINISupp::GetMsg(const QString& id, const QString& fallback) const
{
    if (!m_file)
        return fallback;
    const auto text = m_file->ReadString("Messages", id.toStdString());
    return text ? DecodeCodePage(*text, CodePage.c_str()) : fallback;
}
