// Beaconry's application: a single-document application whose frame
// window runs one discovery and ends the program. No window is shown and
// no display is needed.
#pragma once

#include "DiscoveryConfig.h"
#include "MainFrm.h"
#include "MarlinDoc.h"

#include <memory>

namespace marlin {

inline constexpr const char* kFailedToCreateDoc = "Failed to create empty document.";

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

    CMainFrame* m_pMainWnd = nullptr;

private:
    bool OnFileNew();

    DiscoveryConfig m_config;
    std::unique_ptr<CMarlinDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pFrame;
};

}  // namespace marlin
