// A private X display (Xvfb) with a window manager (openbox) for tests that
// need real windows: minimising, activation, window frames, the keyboard.
// The display number comes from KAVO_TEST_DISPLAYS ("80-83": the first one
// free), else Xvfb picks a free one itself.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

typedef struct _XDisplay Display;

namespace kavo::test {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Whether the display and the window manager run; why not when not.
    bool ready() const { return m_dpy != nullptr; }
    const std::string& whyNot() const { return m_whyNot; }
    const std::string& display() const { return m_display; }  // ":N"

    // The client window with exactly this title (0 when none), and waiting for one.
    unsigned long findWindow(const std::string& title);
    unsigned long waitForWindow(const std::string& title, int ms);

    // WM_STATE: 1 normal, 3 iconic, 0 none.
    int wmState(unsigned long window);
    unsigned long activeWindow();
    // The client windows from bottom to top.
    std::vector<unsigned long> stacking();
    // The window's frame as the window manager draws it, and the screen.
    Rect frame(unsigned long window);
    Rect screen();

    // Asks the window manager, as its buttons would.
    void iconify(unsigned long window);
    void close(unsigned long window);
    // Presses keys on the keyboard (xdotool's names, "Escape", "alt+n").
    bool key(const std::string& keys);

    // Polls `done` for up to `ms`.
    static bool waitUntil(const std::function<bool()>& done, int ms);

private:
    bool startServer();
    pid_t spawn(const std::vector<std::string>& argv, int passFd = -1);

    Display* m_dpy = nullptr;
    std::string m_display, m_whyNot;
    pid_t m_server = -1, m_wm = -1;
};

}  // namespace kavo::test
