// Beaconry's application: a single-document application whose frame
// window runs one discovery and ends the program. No window is shown and
// no display is needed.
#pragma once

#include "DiscoveryConfig.h"
#include "MainFrm.h"
#include "MarlinDoc.h"

#include <memory>
#include <string>

namespace marlin {

// The application's texts.
inline constexpr const char* kAppTitle = "Marlin";
inline constexpr const char* kDocString = "Marlin\n\nMarlin\n\n\nMarlin.Document\nMarlin Document";
inline constexpr const char* kRegistryKey = "KAVO";
inline constexpr const char* kFailedToCreateDoc = "Failed to create empty document.";

// Exit codes: 0 after a run; 1 when a socket cannot be opened; 2 when the
// frame window cannot be created.
inline constexpr int kExitSocket = 1;
inline constexpr int kExitCreation = 2;

class CMarlinApp {
public:
    explicit CMarlinApp(const DiscoveryConfig& config = {});
    ~CMarlinApp();

    // Start-up: the document and the frame (whose activation starts the
    // discovery), then the frame is hidden. False when the frame cannot be
    // created; the reason is on standard error.
    bool InitInstance();
    int ExitInstance();
    // InitInstance, the event loop until the frame is destroyed, ExitInstance:
    // the process's exit code. Needs a QCoreApplication.
    int Run();
    void OnAppAbout();

    CMainFrame* m_pMainWnd = nullptr;
    std::string m_pszRegistryKey;

private:
    bool OnFileNew();

    DiscoveryConfig m_config;
    std::unique_ptr<CMarlinDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pFrame;
};

// The about box (dialog 100): its OK starts a discovery. Without a display
// it cannot be shown.
class CAboutDlg {
public:
    enum { IDD = 100 };
    static constexpr const char* kCaption = "About Marlin";
    static constexpr const char* kVersionText = "Marlin Version 1.0";
    static constexpr int IDOK = 1;

    int DoModal();
    void OnOK();
    int result() const { return m_nResult; }

private:
    int m_nResult = 0;
};

}  // namespace marlin
