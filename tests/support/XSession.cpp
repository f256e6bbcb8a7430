#include "XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kavo::test {

namespace {

bool onPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        if (::access((dirs.substr(start, end - start) + "/" + tool).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

std::vector<unsigned long> windowList(Display* dpy, Window w, const char* property)
{
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, property, False), 0, 65536, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
        auto* values = reinterpret_cast<unsigned long*>(data);
        out.assign(values, values + count);
        XFree(data);
    }
    return out;
}

std::string title(Display* dpy, Window w)
{
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string t;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        t.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return t;
}

void clientMessage(Display* dpy, Window w, const char* type, std::initializer_list<long> data)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy, type, False);
    e.xclient.format = 32;
    int i = 0;
    for (long d : data)
        e.xclient.data.l[i++] = d;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy);
}

}  // namespace

bool XSession::waitUntil(const std::function<bool()>& done, int ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

pid_t XSession::spawn(const std::vector<std::string>& argv, int passFd)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0)
            env.emplace_back(*e);
    if (!m_display.empty())
        env.push_back("DISPLAY=" + m_display);
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (passFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, passFd, 3);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool XSession::startServer()
{
    const std::vector<std::string> common = {"-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"};
    if (const char* range = std::getenv("KAVO_TEST_DISPLAYS")) {
        int first = 0, last = -1;
        if (std::sscanf(range, "%d-%d", &first, &last) == 1)
            last = first;
        for (int n = first; n <= last; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") || std::filesystem::exists(socket))
                continue;
            std::vector<std::string> argv = {"Xvfb", ":" + std::to_string(n)};
            argv.insert(argv.end(), common.begin(), common.end());
            m_server = spawn(argv);
            if (m_server < 0)
                return false;
            bool up = waitUntil(
                [&] { return std::filesystem::exists(socket) || ::waitpid(m_server, nullptr, WNOHANG) != 0; }, 5000);
            if (up && ::waitpid(m_server, nullptr, WNOHANG) == 0) {
                m_display = ":" + std::to_string(n);
                return true;
            }
            m_server = -1;  // that number was taken after all: the next one
        }
        return false;
    }
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "3"};
    argv.insert(argv.end(), common.begin(), common.end());
    m_server = spawn(argv, fds[1]);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (m_server > 0 && number.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
        char buf[16];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (number.empty() || number.find('\n') == std::string::npos)
        return false;
    m_display = ":" + number.substr(0, number.find('\n'));
    return true;
}

XSession::XSession()
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
        if (!onPath(tool)) {
            m_whyNot = std::string(tool) + " is not installed (scripts/setup installs it)";
            return;
        }
    }
    if (!startServer()) {
        m_whyNot = "no X display could be started";
        return;
    }
    Display* dpy = nullptr;
    waitUntil([&] { return (dpy = XOpenDisplay(m_display.c_str())) != nullptr; }, 5000);
    if (!dpy) {
        m_whyNot = "cannot open display " + m_display;
        return;
    }
    XSetErrorHandler(ignoreErrors);
    m_wm = spawn({"openbox", "--sm-disable"});
    const bool managed = waitUntil(
        [&] { return !windowList(dpy, DefaultRootWindow(dpy), "_NET_SUPPORTING_WM_CHECK").empty(); },
        10000);
    if (!managed) {
        XCloseDisplay(dpy);
        m_whyNot = "the window manager did not start";
        return;
    }
    m_dpy = dpy;
}

XSession::~XSession()
{
    if (m_dpy)
        XCloseDisplay(m_dpy);
    for (pid_t pid : {m_wm, m_server}) {
        if (pid <= 0)
            continue;
        ::kill(pid, SIGTERM);
        if (!waitUntil([&] { return ::waitpid(pid, nullptr, WNOHANG) != 0; }, 3000)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

unsigned long XSession::findWindow(const std::string& wanted)
{
    for (unsigned long w : windowList(m_dpy, DefaultRootWindow(m_dpy), "_NET_CLIENT_LIST"))
        if (title(m_dpy, w) == wanted)
            return w;
    return 0;
}

unsigned long XSession::waitForWindow(const std::string& wanted, int ms)
{
    unsigned long w = 0;
    waitUntil([&] { return (w = findWindow(wanted)) != 0; }, ms);
    return w;
}

int XSession::wmState(unsigned long window)
{
    std::vector<unsigned long> state = windowList(m_dpy, window, "WM_STATE");
    return state.empty() ? 0 : static_cast<int>(state[0]);
}

unsigned long XSession::activeWindow()
{
    std::vector<unsigned long> active = windowList(m_dpy, DefaultRootWindow(m_dpy), "_NET_ACTIVE_WINDOW");
    return active.empty() ? 0 : active[0];
}

std::vector<unsigned long> XSession::stacking()
{
    return windowList(m_dpy, DefaultRootWindow(m_dpy), "_NET_CLIENT_LIST_STACKING");
}

Rect XSession::frame(unsigned long window)
{
    XWindowAttributes a{};
    XGetWindowAttributes(m_dpy, window, &a);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(m_dpy, window, DefaultRootWindow(m_dpy), 0, 0, &x, &y, &child);
    std::vector<unsigned long> e = windowList(m_dpy, window, "_NET_FRAME_EXTENTS");  // left, right, top, bottom
    if (e.size() != 4)
        e = {0, 0, 0, 0};
    const int left = int(e[0]), right = int(e[1]), top = int(e[2]), bottom = int(e[3]);
    return {x - left, y - top, a.width + left + right, a.height + top + bottom};
}

Rect XSession::screen()
{
    return {0, 0, DisplayWidth(m_dpy, DefaultScreen(m_dpy)), DisplayHeight(m_dpy, DefaultScreen(m_dpy))};
}

void XSession::iconify(unsigned long window)
{
    XIconifyWindow(m_dpy, window, DefaultScreen(m_dpy));
    XFlush(m_dpy);
}

void XSession::close(unsigned long window)
{
    // As the close box does: the window manager asks the program to close it.
    clientMessage(m_dpy, window, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
}

bool XSession::key(const std::string& keys)
{
    pid_t pid = spawn({"xdotool", "key", "--clearmodifiers", keys});
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kavo::test
