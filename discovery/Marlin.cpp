#include "Marlin.h"

#include <QCoreApplication>

#include <cstdio>

namespace marlin {

CMarlinApp::CMarlinApp(const DiscoveryConfig& config) : m_config(config) {}

CMarlinApp::~CMarlinApp() = default;

bool CMarlinApp::InitInstance()
{
    // The framework's own settings (a recent-file list) are never used: no
    // document is ever opened, so there is nothing to load.
    // Without arguments the command line is File New: document and frame.
    if (!OnFileNew())
        return false;
    m_pMainWnd->ShowWindow(SW_HIDE);
    return true;
}

bool CMarlinApp::OnFileNew()
{
    m_pDocument = std::make_unique<CMarlinDoc>();
    bool made = m_pDocument->OnNewDocument();
    if (made) {
        m_pFrame = std::make_unique<CMainFrame>(m_config);
        made = m_pFrame->LoadFrame();
    }
    if (!made) {
        std::fprintf(stderr, "%s\n", kFailedToCreateDoc);
        m_pFrame.reset();
        m_pDocument.reset();
        return false;
    }
    m_pMainWnd = m_pFrame.get();
    QObject::connect(m_pFrame.get(), &CFrameWnd::windowDestroyed, QCoreApplication::instance(),
                     [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    // The framework shows and activates the new frame: the discovery starts.
    m_pFrame->ActivateFrame();
    return true;
}

int CMarlinApp::ExitInstance()
{
    m_pMainWnd = nullptr;
    m_pFrame.reset();
    m_pDocument.reset();
    return 0;
}

int CMarlinApp::Run()
{
    try {
        if (!InitInstance()) {
            ExitInstance();
            return kExitCreation;
        }
        QCoreApplication::exec();
        return ExitInstance();
    } catch (const ProcessExit& e) {
        ExitInstance();
        return e.code;
    }
}

}  // namespace marlin
