#include "FlashpostApp.h"

#include "FlashpostDlg.h"

CFlashpostApp::CFlashpostApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Flashpost"));
    // The dialog is the only window; closing it ends the program.
    setQuitOnLastWindowClosed(false);
}

int CFlashpostApp::InitInstance()
{
    // Sockets need no start-up step here: Qt's network layer is ready.
    CFlashpostDlg dlg;
    dlg.DoModal();
    return 0;
}
