#include "Proxy.h"

#include "Application.h"
#include "Aplist.h"
#include "Controls.h"
#include "MessageBox.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <functional>

namespace {

namespace ui = kavo::ui;
namespace settings = kavo::settings;

constexpr const char* kWriteFailed = "Failed to set data for '%1'";

// An edit field that tells when the focus has moved on to another control
// of the dialog, after the field has handled the loss itself.
class ExitField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void()> onExit;

protected:
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        const Qt::FocusReason r = event->reason();
        if (onExit && r != Qt::ActiveWindowFocusReason && r != Qt::PopupFocusReason)
            onExit();
    }
};

// A label's text with its "&" mnemonic drawn underlined. The label is bound
// to no field: the dialog's own key handling moves the focus.
QString underlinedMnemonic(const QString& text)
{
    const qsizetype amp = text.indexOf(u'&');
    if (amp < 0 || amp + 1 >= text.size())
        return text.toHtmlEscaped();
    return text.left(amp).toHtmlEscaped() + "<u>" + text.mid(amp + 1, 1).toHtmlEscaped() + "</u>" +
           text.mid(amp + 2).toHtmlEscaped();
}

QLabel* mnemonicLabel(const char* name, const char* text, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::RichText);
    l->setText(underlinedMnemonic(QString::fromLatin1(text)));
    return l;
}

// Reads a port text as the dialog does: a decimal integer, -1 for a text
// that is not one.
int portValue(const QString& text)
{
    const std::optional<int> v = tidewell::StrToInt(text);
    return v ? *v : -1;
}

}  // namespace

TFormProxy::TFormProxy(QWidget* owner, std::string& proxy, int& proxyPort)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_proxy(proxy),
      m_proxyPort(proxyPort)
{
    setObjectName("FormProxy");
    setWindowTitle(kCaption);
    setFixedSize(kClientWidth, kClientHeight);
    if (owner)
        setFont(owner->font());

    Image1 = new TImage(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    Image1->setGeometry(8, 8, 32, 32);

    Label1 = new QLabel(QString::fromLatin1(kExplanation), this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(52, 8, 283, 44);

    GroupBox1 = new QGroupBox(" Proxy Server ", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(8, 56, 327, 116);

    CheckBox1 = new QCheckBox("Transfer via Proxy &Server", GroupBox1);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(14, 22, 250, 20);

    Label2 = mnemonicLabel("Label2", "&Address:", GroupBox1);
    Label2->setGeometry(32, 54, 60, 16);
    auto* addr = new ExitField(GroupBox1);
    edtAddr = addr;
    edtAddr->setObjectName("edtAddr");
    edtAddr->setGeometry(96, 51, 216, 21);

    Label3 = mnemonicLabel("Label3", "&Port:", GroupBox1);
    Label3->setGeometry(32, 84, 60, 16);
    auto* port = new ExitField(GroupBox1);
    edtPort = port;
    edtPort->setObjectName("edtPort");
    edtPort->setGeometry(96, 81, 64, 21);
    port->onExit = [this] { edtPortExit(); };

    BitBtn1 = new QPushButton("&OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setGeometry(170, 182, 80, 26);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("&Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtn2->setGeometry(255, 182, 80, 26);
    BitBtn2->setAutoDefault(false);

    setTabOrder(CheckBox1, edtAddr);
    setTabOrder(edtAddr, edtPort);
    setTabOrder(edtPort, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    // Keyboard preview: the dialog sees every key before the focused control.
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1, edtAddr, edtPort, BitBtn1, BitBtn2})
        w->installEventFilter(this);

    FormCreate();
}

TFormProxy::~TFormProxy() = default;

void TFormProxy::FormCreate()
{
    std::string enable, address, port;
    try {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, settings::kKeyPath, kavo::Access::All, true);
        if (key) {
            enable = key->readString(settings::kProxyEnable);
            if (enable == "1") {
                address = key->readString(settings::kProxyAddr);
                port = key->readString(settings::kProxyPort);
            }
        }
    } catch (const kavo::RegistryError& error) {
        // A value of another type than text: reported, and the dialog
        // opens as with no proxy.
        tidewell::ShowException(error);
        enable.clear();
    }

    // Setting the box runs CheckBox1Click, which sets the fields' state.
    const bool on = enable == "1";
    CheckBox1->setChecked(on);
    SetFieldsEnabled(on);
    edtAddr->setText(on ? QString::fromLocal8Bit(address) : QString());
    edtPort->setText(on ? QString::fromLocal8Bit(port) : QString());
}

void TFormProxy::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the main window.
    if (QWidget* owner = parentWidget()) {
        const QRect r = owner->window()->frameGeometry();
        move(r.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
}

void TFormProxy::SetFieldsEnabled(bool on)
{
    // The system's window colour for fields in use, its menu colour for
    // fields out of use.
    const QColor colour = on ? palette().color(QPalette::Active, QPalette::Base)
                             : palette().color(QPalette::Active, QPalette::Window);
    for (QLineEdit* field : {edtAddr, edtPort}) {
        field->setEnabled(on);
        QPalette p = field->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, QPalette::Base, colour);
        field->setPalette(p);
    }
}

void TFormProxy::CheckBox1Click()
{
    const bool on = CheckBox1->isChecked();
    SetFieldsEnabled(on);
    if (on && isVisible())
        edtAddr->setFocus(Qt::OtherFocusReason);
}

bool TFormProxy::FormKeyDown(QKeyEvent* event)
{
    if (event->modifiers() & Qt::AltModifier) {
        QLineEdit* target = event->key() == Qt::Key_A ? edtAddr : event->key() == Qt::Key_P ? edtPort : nullptr;
        if (!target)
            return false;
        if (target->isEnabled())
            target->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused button takes Enter itself; anywhere else Enter is OK.
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget()); button && button->isEnabled()) {
            button->click();
            return true;
        }
        BitBtn1->click();
        return true;
    case Qt::Key_Escape:
        BitBtn2->click();
        return true;
    default:
        return false;
    }
}

bool TFormProxy::edtPortKeyPress(QKeyEvent* event)
{
    const QString typed = event->text();
    if (typed.isEmpty() || event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false;  // not a character: cursor keys, Delete, the dialog's Tab
    const QChar c = typed[0];
    return !((c >= u'0' && c <= u'9') || c == u'\b');
}

void TFormProxy::edtPortExit()
{
    if (m_inExitWarning || !isVisible())
        return;
    for (QChar c : edtPort->text()) {
        if (c < u'0' || c > u'9') {
            m_inExitWarning = true;
            ui::MessageBox::show(this, kInvalidCharacters, QString(), ui::Icon::Error);
            edtPort->setFocus(Qt::OtherFocusReason);
            edtPort->selectAll();
            m_inExitWarning = false;
            return;
        }
    }
}

void TFormProxy::BitBtn1Click()
{
    const bool on = CheckBox1->isChecked();
    if (on && edtAddr->text().isEmpty()) {
        ui::MessageBox::show(this, kNoProxyText, QString(), ui::Icon::Error);
        edtAddr->setFocus(Qt::OtherFocusReason);
        return;
    }

    const std::string address = on ? edtAddr->text().toLocal8Bit().toStdString() : std::string();
    const int port = on ? portValue(edtPort->text()) : 0;
    const std::string portText = on && port != -1 ? edtPort->text().toLocal8Bit().toStdString() : std::string();

    // All three values are stored before the FTP client changes, so that a
    // store that fails leaves both as they were, and the dialog open.
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, settings::kKeyPath, kavo::Access::All, true);
    const std::pair<const char*, std::string> values[] = {
        {settings::kProxyEnable, on ? "1" : "0"}, {settings::kProxyAddr, address}, {settings::kProxyPort, portText}};
    for (const auto& [name, text] : values) {
        if (!key || !key->writeString(name, text)) {
            ui::MessageBox::show(this, tidewell::ExceptionReportText(QString(kWriteFailed).arg(name)),
                                 tidewell::ApplicationTitle(), ui::Icon::Error);
            return;
        }
    }
    key.reset();

    m_proxy = address;
    if (!on)
        m_proxyPort = 0;
    else if (port != -1)
        m_proxyPort = port;
    accept();
}

bool TFormProxy::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(key))
            return true;
        if (watched == edtPort)
            return edtPortKeyPress(key);
    }
    return QDialog::eventFilter(watched, event);
}
