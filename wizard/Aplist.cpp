#include "Aplist.h"

#include "Application.h"
#include "MessageBox.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>

#include <climits>
#include <functional>

TFormAPList* FormAPList = nullptr;

namespace tidewell {

std::optional<int> StrToInt(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i].unicode() - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return static_cast<int>(value);
}

int ClampOctet(int index, int value)
{
    const int low = index == 0 ? 1 : 0;
    const int high = index == 0 ? 223 : 255;
    return value < low ? low : value > high ? high : value;
}

}  // namespace tidewell

namespace {

int g_dpiOverride = 0;

// An octet field that tells when the focus has left it, after the field
// itself has handled the loss (so that a handler may take the focus back).
class OctetField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void(Qt::FocusReason)> onExit;

protected:
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        if (onExit)
            onExit(event->reason());
    }
};

// Roles of a row's data: the registry bytes of its address and version.
constexpr int kAddressRole = Qt::UserRole;
constexpr int kVersionRole = Qt::UserRole + 1;

// The dialog's fonts, with their nearest look-alikes where they are missing.
QFont dialogFont(const char* family)
{
    QFont f;
    f.setFamilies({family, "Microsoft Sans Serif", "Arial", "Liberation Sans", "Nimbus Sans", "Helvetica"});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

QString dotsText(bool large)
{
    const QString group = QString(large ? 10 : 11, ' ') + '.';
    return group + group + group;
}

// Paints a widget's background roles in `colour`, whatever its state.
void paintBackground(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, colour);
        p.setColor(group, QPalette::Window, colour);
    }
    w->setPalette(p);
}

}  // namespace

TFormAPList::TFormAPList(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_dpi(g_dpiOverride)
{
    // Named like the form object: the section of its captions in a language file.
    setObjectName("FormAPList");
    setWindowTitle("AP List");
    setFixedSize(315, 284);
    setFont(dialogFont("MS Sans Serif"));

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(name);
        return w;
    };

    bbtnOK = static_cast<QPushButton*>(named(new QPushButton("&OK", this), "bbtnOK"));
    bbtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    bbtnOK->setDefault(true);
    bbtnOK->setGeometry(70, 251, 80, 26);
    bbtnCancel = static_cast<QPushButton*>(named(new QPushButton("&Cancel", this), "bbtnCancel"));
    bbtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    bbtnCancel->setGeometry(165, 251, 80, 26);

    GroupBox1 = static_cast<QGroupBox*>(named(new QGroupBox(this), "GroupBox1"));
    GroupBox1->setGeometry(8, 2, 299, 206);

    RadioButton1 = static_cast<QRadioButton*>(
        named(new QRadioButton("&Automatically Find AP's IP Address", GroupBox1), "RadioButton1"));
    RadioButton1->setGeometry(10, 10, 280, 20);
    Label1 = static_cast<QLabel*>(
        named(new QLabel("Please select one Access Point to upgrade.", GroupBox1), "Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(28, 30, 262, 16);

    ListView1 = static_cast<QTreeWidget*>(named(new QTreeWidget(GroupBox1), "ListView1"));
    ListView1->setGeometry(28, 48, 258, 94);
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels({"IP Address", "Version"});
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setColumnWidth(0, 120);
    ListView1->setColumnWidth(1, 120);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setAllColumnsShowFocus(true);
    {
        // The selection stays visible while the list does not have the focus.
        QPalette p = ListView1->palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        ListView1->setPalette(p);
    }

    RadioButton2 = static_cast<QRadioButton*>(
        named(new QRadioButton("&Manually Assign AP's IP Address", GroupBox1), "RadioButton2"));
    RadioButton2->setGeometry(10, 148, 280, 20);

    StaticText1 = static_cast<QLabel*>(named(new QLabel(GroupBox1), "StaticText1"));
    StaticText1->setTextFormat(Qt::PlainText);
    StaticText1->setFrameStyle(QFrame::Box | QFrame::Plain);
    StaticText1->setLineWidth(1);
    StaticText1->setMargin(0);
    StaticText1->setIndent(0);
    StaticText1->setAutoFillBackground(true);
    QFont dotsFont = dialogFont("Arial");
    dotsFont.setBold(true);
    StaticText1->setFont(dotsFont);
    StaticText1->setText(dotsText(false));

    QFont octetFont = dialogFont("MS Sans Serif");
    octetFont.setPixelSize(13);
    octetFont.setBold(true);
    const char* memoNames[] = {"Memo1", "Memo2", "Memo3", "Memo4"};
    QLineEdit** memos[] = {&Memo1, &Memo2, &Memo3, &Memo4};
    for (int i = 0; i < 4; ++i) {
        auto* m = static_cast<OctetField*>(named(new OctetField(GroupBox1), memoNames[i]));
        m->setFrame(false);
        m->setMaxLength(3);
        m->setAlignment(Qt::AlignCenter);
        m->setFont(octetFont);
        m->setTextMargins(0, 0, 0, 0);
        m->setContextMenuPolicy(Qt::DefaultContextMenu);
        *memos[i] = m;
        connect(m, &QLineEdit::textChanged, this, [this, i] { MemoChange(i); });
        // Only a move to another control of the dialog leaves a field.
        m->onExit = [this, i](Qt::FocusReason reason) {
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                MemoExit(i);
        };
    }

    Label2 = static_cast<QLabel*>(named(
        new QLabel("Note: If you select manual assignment, the AP's version could not be verified.", this),
        "Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setGeometry(10, 212, 295, 34);

    setTabOrder(bbtnOK, bbtnCancel);
    setTabOrder(bbtnCancel, RadioButton1);
    setTabOrder(RadioButton1, ListView1);
    setTabOrder(ListView1, RadioButton2);
    setTabOrder(RadioButton2, Memo1);
    setTabOrder(Memo1, Memo2);
    setTabOrder(Memo2, Memo3);
    setTabOrder(Memo3, Memo4);

    connect(bbtnOK, &QPushButton::clicked, this, &TFormAPList::bbtnOKClick);
    connect(bbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QRadioButton* r : {RadioButton1, RadioButton2})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                RadioButton1Click();
        });
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TFormAPList::ListView1SelectItem);

    // Keyboard preview: the dialog sees every key before the focused control.
    for (QWidget* w : std::initializer_list<QWidget*>{bbtnOK, bbtnCancel, RadioButton1, ListView1, RadioButton2,
                                                      Memo1, Memo2, Memo3, Memo4})
        w->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);

    FormCreate();
    PlaceOctetFields();
}

TFormAPList::~TFormAPList() = default;

void TFormAPList::setScreenDpiOverride(int dpi) { g_dpiOverride = dpi; }

bool TFormAPList::largeFonts() const
{
    int dpi = m_dpi;
    if (dpi <= 0) {
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        dpi = s ? qRound(s->logicalDotsPerInchY()) : 96;
    }
    return dpi >= 120;
}

QLineEdit* TFormAPList::memo(int index) const
{
    QLineEdit* const memos[] = {Memo1, Memo2, Memo3, Memo4};
    return index >= 0 && index < 4 ? memos[index] : nullptr;
}

int TFormAPList::memoIndex(const QObject* o) const
{
    for (int i = 0; i < 4; ++i)
        if (memo(i) == o)
            return i;
    return -1;
}

void TFormAPList::ClearList() { ListView1->clear(); }

void TFormAPList::AddRow(const std::string& address, const std::optional<std::string>& version)
{
    auto* item = new QTreeWidgetItem(ListView1);
    item->setText(0, QString::fromLocal8Bit(address));
    item->setData(0, kAddressRole, QByteArray::fromStdString(address));
    if (version) {
        item->setText(1, QString::fromLocal8Bit(*version));
        item->setData(1, kVersionRole, QByteArray::fromStdString(*version));
    }
}

void TFormAPList::AddNotFoundEntry()
{
    auto* item = new QTreeWidgetItem(ListView1);
    item->setText(0, kNotFound);
    item->setData(0, kAddressRole, QByteArray(kNotFound));
    item->setFirstColumnSpanned(true);  // it has no version: let its caption use the row
}

// --- form events ---------------------------------------------------------

void TFormAPList::FormCreate()
{
    if (largeFonts()) {
        for (int i = 0; i < 4; ++i) {
            QFont f = memo(i)->font();
            f.setBold(false);
            memo(i)->setFont(f);
        }
        SetDotsText(true);
    }
}

void TFormAPList::FormShow() { SetDotsText(largeFonts()); }

void TFormAPList::SetDotsText(bool large)
{
    StaticText1->setText(dotsText(large));
    PlaceOctetFields();
}

// The four fields sit in the gaps between the dots of StaticText1, so
// that the frame reads as one address field.
void TFormAPList::PlaceOctetFields()
{
    const QString text = StaticText1->text();
    const QFontMetrics fm(StaticText1->font());
    const int frame = StaticText1->frameWidth();
    const int gap = fm.horizontalAdvance(text.left(text.indexOf('.')));
    const int height = qMax(fm.height(), QFontMetrics(Memo1->font()).height()) + 6;
    const int left = 28, top = 174;
    StaticText1->setGeometry(left, top, 2 * frame + fm.horizontalAdvance(text) + gap, height + 2 * frame);
    int from = 0;  // start of the current gap, in text coordinates
    for (int i = 0; i < 4; ++i) {
        int dot = text.indexOf('.', from);
        int end = i < 3 ? fm.horizontalAdvance(text.left(dot)) : fm.horizontalAdvance(text) + gap;
        int start = i == 0 ? 0 : fm.horizontalAdvance(text.left(from));
        memo(i)->setGeometry(left + frame + start, top + frame, end - start, height);
        memo(i)->raise();
        from = dot + 1;
    }
}

void TFormAPList::SetOctetColours(bool editable)
{
    const QPalette& p = palette();
    const QColor colour = editable ? p.color(QPalette::Active, QPalette::Base)
                                   : p.color(QPalette::Active, QPalette::Window);
    for (int i = 0; i < 4; ++i)
        paintBackground(memo(i), colour);
    paintBackground(StaticText1, colour);
}

void TFormAPList::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_closing = false;
        FormShow();
        FormActivate();
    }
}

void TFormAPList::done(int result)
{
    m_closing = true;
    QDialog::done(result);
}

void TFormAPList::FormActivate()
{
    QTreeWidgetItem* first = ListView1->topLevelItem(0);
    if (!first || first->text(0).compare(kNotFound, Qt::CaseInsensitive) == 0) {
        RadioButton1->setEnabled(false);
        RadioButton2->setChecked(true);
    } else {
        RadioButton1->setEnabled(true);
        RadioButton1->setChecked(true);
    }
    RadioButton1Click();
}

void TFormAPList::RadioButton1Click()
{
    const QPalette& p = palette();
    if (RadioButton1->isChecked()) {
        ListView1->setEnabled(true);
        paintBackground(ListView1->viewport(), p.color(QPalette::Active, QPalette::Base));
        for (int i = 0; i < 4; ++i)
            memo(i)->setEnabled(false);
        SetOctetColours(false);
        if (QTreeWidgetItem* first = ListView1->topLevelItem(0))
            ListView1->setCurrentItem(first);
        bbtnOK->setEnabled(!ListView1->selectedItems().isEmpty());
        // No focus step here: only the manual mode moves the focus.
    } else {
        ListView1->clearSelection();
        ListView1->setEnabled(false);
        paintBackground(ListView1->viewport(), p.color(QPalette::Active, QPalette::Window));
        for (int i = 0; i < 4; ++i)
            memo(i)->setEnabled(true);
        SetOctetColours(true);
        UpdateOkFromFields();
        FocusMemo(0);
    }
}

bool TFormAPList::FormKeyDown(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused button takes Enter itself; anywhere else Enter is OK.
        if (qobject_cast<QPushButton*>(QApplication::focusWidget()))
            return false;
        if (bbtnOK->isEnabled())
            bbtnOKClick();
        return true;
    default:
        return false;
    }
}

// --- the list ------------------------------------------------------------

void TFormAPList::ListView1Click() { bbtnOK->setEnabled(!ListView1->selectedItems().isEmpty()); }
void TFormAPList::ListView1KeyDown() { bbtnOK->setEnabled(!ListView1->selectedItems().isEmpty()); }
void TFormAPList::ListView1SelectItem() { bbtnOK->setEnabled(!ListView1->selectedItems().isEmpty()); }

// --- the octet fields ----------------------------------------------------

void TFormAPList::FocusMemo(int index)
{
    memo(index)->setFocus(Qt::TabFocusReason);
    memo(index)->selectAll();
}

void TFormAPList::UpdateOkFromFields()
{
    bool full = true;
    for (int i = 0; i < 4; ++i)
        full = full && !memo(i)->text().isEmpty();
    bbtnOK->setEnabled(full);
}

bool TFormAPList::MemoKeyPress(int index, QKeyEvent* event)
{
    const QString typed = event->text();
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        return false;  // dialog navigation and editing keys, not characters
    default:
        break;
    }
    if (typed.isEmpty())
        return false;  // not a character: cursor keys and the like
    const QChar c = typed[0];
    QLineEdit* field = memo(index);
    const bool digit = c >= '0' && c <= '9';
    if (index == 3)
        return !digit;
    if (c == ' ' || c == '.') {
        if (!field->text().isEmpty())
            FocusMemo(index + 1);
        return true;
    }
    if (!digit)
        return true;
    const qsizetype length = field->text().size();
    const qsizetype selected = field->selectedText().size();
    if ((length == 3 && selected == 1) || (length >= 2 && selected == 0)) {
        field->insert(c);  // the digit still goes into this field, within its limit
        FocusMemo(index + 1);
        return true;
    }
    return false;
}

void TFormAPList::MemoChange(int index)
{
    QLineEdit* field = memo(index);
    const QString text = field->text();
    if (!text.isEmpty()) {
        const std::optional<int> value = tidewell::StrToInt(text);
        if (!value) {
            // Only a paste gets here: reported as the application reports an
            // error no handler catches; the field is left as it is.
            tidewell::ShowReport(QString(kNotAnInteger).arg(text), this);
            return;
        }
        const int clamped = tidewell::ClampOctet(index, *value);
        if (clamped != *value)
            field->setText(QString::number(clamped));
    }
    UpdateOkFromFields();
}

std::optional<int> TFormAPList::FirstNonDigitField() const
{
    for (int i = 0; i < 4; ++i)
        for (QChar c : memo(i)->text())
            if (c < '0' || c > '9')
                return i;
    return std::nullopt;
}

void TFormAPList::MemoExit(int index)
{
    if (m_inExitWarning || m_closing || !isVisible())
        return;
    for (QChar c : memo(index)->text()) {
        if (c < '0' || c > '9') {
            m_inExitWarning = true;
            kavo::ui::MessageBox::show(this, kInvalidCharacters, QString(), kavo::ui::Icon::Warning);
            FocusMemo(index);
            m_inExitWarning = false;
            return;
        }
    }
}

bool TFormAPList::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(key))
            return true;
        if (watched == ListView1) {
            ListView1KeyDown();
            return false;
        }
        const int index = memoIndex(watched);
        return index >= 0 && MemoKeyPress(index, key);
    }
    if (watched == ListView1->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            // A click on empty space in the list clears the selection.
            if (!ListView1->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
                ListView1->clearSelection();
        } else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick) {
            ListView1Click();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- OK --------------------------------------------------------------------

void TFormAPList::bbtnOKClick()
{
    std::string address, version = "0";
    if (RadioButton1->isChecked()) {
        const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
        if (selected.isEmpty())
            return;
        address = selected.front()->data(0, kAddressRole).toByteArray().toStdString();
        const QVariant v = selected.front()->data(1, kVersionRole);
        if (v.isValid())
            version = v.toByteArray().toStdString();
    } else {
        // A pasted non-digit is refused here too, never written as an address.
        if (const std::optional<int> bad = FirstNonDigitField()) {
            kavo::ui::MessageBox::show(this, kInvalidCharacters, QString(), kavo::ui::Icon::Warning);
            FocusMemo(*bad);
            return;
        }
        for (int i = 0; i < 4; ++i) {
            if (memo(i)->text().isEmpty())
                return;
            if (i)
                address += '.';
            address += memo(i)->text().toStdString();
        }
    }

    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
    if (!key || !key->writeString(kavo::settings::kIpAddress, address)) {
        tidewell::ShowReport(QString(kWriteFailed).arg(kavo::settings::kIpAddress), this);
        return;
    }
    key.reset();

    std::erase(version, '.');
    m_curApVersion = version;
    accept();
}
