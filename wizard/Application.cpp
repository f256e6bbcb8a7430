#include "Application.h"

#include "MessageBox.h"

#include <QFileInfo>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        tidewell::ShowException(error);
    } catch (...) {
        tidewell::ShowUnknownException();
    }
    return false;
}

namespace tidewell {

namespace {
constexpr const char* kUnknownError = "An unknown error occurred";
bool g_leaving = false;
}  // namespace

void SetLeaving(bool leaving) { g_leaving = leaving; }
bool Leaving() { return g_leaving; }

QString ApplicationTitle()
{
    QString file = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return QFileInfo(file).completeBaseName();
}

QString ExceptionReportText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void ShowReport(const QString& message, QWidget* owner)
{
    kavo::ui::MessageBox::show(owner ? owner : QApplication::activeWindow(), ExceptionReportText(message),
                               ApplicationTitle(), kavo::ui::Icon::Error, kavo::ui::Buttons::Ok);
}

void ShowException(const std::exception& error) { ShowReport(QString::fromLocal8Bit(error.what())); }

void ShowUnknownException() { ShowReport(QString::fromLatin1(kUnknownError)); }

}  // namespace tidewell
