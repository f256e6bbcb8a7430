// The little of a frame window that a program without a display keeps: its
// creation steps (PreCreateWindow, WM_CREATE, client creation), activation,
// numbered timers, posted commands and destruction, each as a virtual
// handler called in the order a window gets them.
#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace marlin {

// Activation states of WM_ACTIVATE.
inline constexpr unsigned WA_ACTIVE = 1;

// Window styles and show commands used here.
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
inline constexpr std::uint32_t FWS_ADDTOTITLE = 0x00008000;
inline constexpr std::uint32_t CBRS_BOTTOM = 0x2000;
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Command and resource identifiers.
inline constexpr unsigned ID_APP_EXIT = 57665;
inline constexpr unsigned AFX_IDW_STATUS_BAR = 59393;
inline constexpr unsigned ID_SEPARATOR = 0;
inline constexpr unsigned ID_INDICATOR_CAPS = 59137;
inline constexpr unsigned ID_INDICATOR_NUM = 59138;
inline constexpr unsigned ID_INDICATOR_SCRL = 59139;

struct CREATESTRUCT {
    std::uint32_t style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE;
};

class CFrameWnd;

// A status bar: its identifier, style and the texts of its panes.
class CStatusBar {
public:
    bool Create(CFrameWnd* parent, std::uint32_t style, unsigned id);
    bool SetIndicators(const unsigned* ids, int count);
    const std::vector<std::string>& paneTexts() const { return m_panes; }
    unsigned id() const { return m_id; }
    std::uint32_t style() const { return m_style; }

private:
    CFrameWnd* m_parent = nullptr;
    unsigned m_id = 0;
    std::uint32_t m_style = 0;
    std::vector<std::string> m_panes;
};

class CFrameWnd : public QObject {
    Q_OBJECT
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the window: PreCreateWindow, then WM_CREATE; a creation that
    // fails is destroyed again (WM_DESTROY) and gives false. Then the client
    // area.
    bool LoadFrame();
    // Shows and activates the window (WM_ACTIVATE with WA_ACTIVE).
    void ActivateFrame();
    void ShowWindow(int command);
    bool IsWindowVisible() const { return m_visible; }
    bool IsWindow() const { return m_created; }
    // WM_DESTROY once; then `destroyed` tells the application.
    void DestroyWindow();
    // Posts a command to the window (WM_COMMAND); it is handled from the event loop.
    void PostCommand(unsigned id);

    // A window timer: gives `id`, or 0 when it cannot be started. The same
    // id again restarts it.
    std::uintptr_t SetTimer(std::uintptr_t id, int elapseMs);
    bool KillTimer(std::uintptr_t id);

    std::uint32_t style() const { return m_style; }

signals:
    void windowDestroyed();

protected:
    virtual bool PreCreateWindow(CREATESTRUCT& cs);
    virtual int OnCreate();
    virtual bool OnCreateClient();
    virtual void OnActivate(unsigned state);
    virtual void OnTimer(std::uintptr_t id);
    virtual void OnDestroy();
    virtual void OnCommand(unsigned id);
    virtual void OnClose();

    void timerEvent(QTimerEvent* event) override;

private:
    bool m_created = false;
    bool m_visible = false;
    std::uint32_t m_style = 0;
    std::map<std::uintptr_t, int> m_timers;  // window timer id -> Qt timer id
};

}  // namespace marlin
