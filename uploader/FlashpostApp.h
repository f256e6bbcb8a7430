// The uploader's application: shows the upgrade dialog once and ends.
#pragma once

#include <QApplication>

class CFlashpostApp : public QApplication {
    Q_OBJECT
public:
    CFlashpostApp(int& argc, char** argv);
    // Runs the dialog; the program's exit code.
    int InitInstance();
};
