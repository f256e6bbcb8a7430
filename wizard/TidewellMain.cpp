// Tidewell's process entry: one instance per user, the application, the
// main window and the AP list dialog, the message loop.
#include "Application.h"
#include "Aplist.h"
#include "Main.h"
#include "SingleInstance.h"

#include <memory>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);

    // A second start only brings the running wizard forward.
    kavo::platform::SingleInstance instance(QString::fromLatin1(tidewell::kMainCaption));
    if (instance.signalRunning())
        return 0;
    // Listen at once; requests wait in the channel until the loop runs.
    instance.listen();

    try {
        auto form = std::make_unique<TFormMain>();
        FormMain = form.get();
        if (form->Refused())
            return 1;
        FormAPList = new TFormAPList(form.get());
        QObject::connect(&instance, &kavo::platform::SingleInstance::raiseRequested, form.get(),
                         [f = form.get()] { f->RestoreAndRaise(); });
        form->show();
        int rc = app.exec();
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
        FormMain = nullptr;
        return rc;
    } catch (const std::exception& error) {
        tidewell::ShowException(error);
    } catch (...) {
        tidewell::ShowUnknownException();
    }
    return 0;
}
