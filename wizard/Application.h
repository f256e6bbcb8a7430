// Tidewell's application object: the standard report for errors that no
// handler of the wizard catches.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>

class QWidget;

// Errors escaping an event handler are reported and the message loop goes
// on, so the user can still go Back or Cancel.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

namespace tidewell {

// The application's title: the executable's file name without its
// extension (the wizard never sets a title of its own).
QString ApplicationTitle();

// The report's text: the error's message, with a "." appended when its
// last character sorts above ".".
QString ExceptionReportText(const QString& message);

// The standard exception report: the message above, the error icon, the
// application's title as caption, owned by `owner` (the active window when
// none is given).
void ShowReport(const QString& message, QWidget* owner = nullptr);
void ShowException(const std::exception& error);
void ShowUnknownException();

// Once the user has asked to leave, errors of calls that the leaving cut
// short are not reported any more.
void SetLeaving(bool leaving);
bool Leaving();

// Runs one handler that a signal, an event or the FTP client calls: an
// error escaping it is shown with the standard exception report and goes
// no further (never through Qt's own event code).
template <typename Handler>
void Guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        if (!Leaving())
            ShowException(error);
    } catch (...) {
        if (!Leaving())
            ShowUnknownException();
    }
}

}  // namespace tidewell
