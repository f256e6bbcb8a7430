#include "MessageBox.h"

#include "Platform.h"

#include <QMessageBox>

namespace kavo::ui {

namespace {

std::deque<Answer>& queued()
{
    static std::deque<Answer> q;
    return q;
}
std::vector<MessageRecord>& records()
{
    static std::vector<MessageRecord> r;
    return r;
}
bool g_testMode = false;

Answer firstAnswer(Buttons b)
{
    switch (b) {
    case Buttons::Ok:
    case Buttons::OkCancel: return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
    case Buttons::AbortRetryIgnore: return Answer::Abort;
    }
    return Answer::Ok;
}

QMessageBox::StandardButtons standardButtons(Buttons b)
{
    switch (b) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case Buttons::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

Answer toAnswer(int button)
{
    switch (button) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Ignore: return Answer::Ignore;
    default: return Answer::Cancel;
    }
}

QMessageBox::Icon qtIcon(Icon i)
{
    switch (i) {
    case Icon::None: return QMessageBox::NoIcon;
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer MessageBox::show(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                        Buttons buttons)
{
    MessageRecord rec{text, caption, icon, buttons, firstAnswer(buttons), false};
    if (!queued().empty()) {
        rec.answer = queued().front();
        rec.answeredAhead = true;
        queued().pop_front();
    } else if (!g_testMode) {
        QMessageBox box(qtIcon(icon), caption.isEmpty() ? defaultCaption() : caption, text,
                        standardButtons(buttons), owner);
        // Texts may come from files and the network: never rich text.
        box.setTextFormat(Qt::PlainText);
        rec.answer = toAnswer(box.exec());
    }
    records().push_back(rec);
    return rec.answer;
}

Answer MessageBox::question(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                            Buttons buttons, platform::Beep beep)
{
    platform::beep(beep);
    return show(owner, text, caption, icon, buttons);
}

void MessageBox::setNextAnswer(Answer answer) { queued().push_back(answer); }
void MessageBox::setTestMode(bool on) { g_testMode = on; }
bool MessageBox::testMode() { return g_testMode; }
const std::vector<MessageRecord>& MessageBox::shown() { return records(); }
void MessageBox::clearShown()
{
    records().clear();
    queued().clear();
}

}  // namespace kavo::ui
