// Message boxes of the programs. Tests answer them ahead (setNextAnswer) and
// read what was shown (shown()); the real path shows exactly the recorded
// text, caption, icon and buttons.
#pragma once

#include "Platform.h"

#include <QString>

#include <deque>
#include <vector>

class QWidget;

namespace kavo::ui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

struct MessageRecord {
    QString text;
    QString caption;  // as asked for; empty means the system's default
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer answer = Answer::Ok;
    bool answeredAhead = false;  // a test had queued the answer
};

class MessageBox {
public:
    // Shows a modal message box owned by `owner`. An empty caption shows the
    // system's default caption, "Error", as the original platform did.
    static Answer show(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                       Buttons buttons = Buttons::Ok);

    // A Yes/No question, preceded by the system beep of the given kind.
    static Answer question(QWidget* owner, const QString& text, const QString& caption,
                           Icon icon = Icon::Question, Buttons buttons = Buttons::YesNo,
                           platform::Beep beep = platform::Beep::Question);

    // Tests: answers for the next boxes, in order. While test mode is on a
    // box with no queued answer is not shown: it gets its first button's
    // answer and is marked as not answered ahead.
    static void setNextAnswer(Answer answer);
    static void setTestMode(bool on);
    static bool testMode();
    static const std::vector<MessageRecord>& shown();
    static void clearShown();

    static QString defaultCaption() { return QStringLiteral("Error"); }
};

}  // namespace kavo::ui
