// POSIX services: folders, processes, the X11 window list, the locale.
#ifndef _WIN32
#include "Platform.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if KAVO_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

extern char** environ;

namespace kavo::platform {

namespace {

class PosixChild : public ChildProcess {
public:
    explicit PosixChild(pid_t pid) : m_pid(pid) {}
    ~PosixChild() override
    {
        // Never ends the program. One still running is collected when it
        // ends, by a thread that does nothing but wait for it, so that no
        // zombie stays behind for the rest of our run.
        if (!m_reaped && ::waitpid(m_pid, nullptr, WNOHANG) == 0)
            std::thread([pid = m_pid] {
                while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }).detach();
    }
    std::int64_t id() const override { return m_pid; }

    pid_t m_pid;
    bool m_reaped = false;
    int m_exitCode = 0;
};

#if KAVO_HAVE_X11
std::string windowTitle(Display* dpy, Window w)
{
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }
#endif

class PosixServices : public Services {
public:
    std::string tempFolder() override
    {
        const char* t = std::getenv("TMPDIR");
        std::string dir = t && *t ? t : "/tmp";
        if (dir.back() != '/')
            dir.push_back('/');
        return privateTempFolder(dir);
    }

    std::string systemFolder() override { return "/usr/lib"; }

    std::string currentDirectory() override
    {
        std::vector<char> buf(PATH_MAX + 1);
        if (!::getcwd(buf.data(), buf.size()))
            return {};
        return buf.data();
    }

    std::string ownProgramFile() override
    {
        std::vector<char> buf(PATH_MAX + 1);
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
        return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
    }

    std::size_t searchPath(const std::string& folder, const std::string& file, std::string* found,
                           std::size_t bufferSize) override
    {
        if (file.empty() || file.find('/') != std::string::npos)
            return 0;
        std::string path = folder;
        if (path.empty() || path.back() != '/')
            path.push_back('/');
        path += file;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return 0;
        if (path.size() + 1 > bufferSize)
            return 0;
        if (found)
            *found = path;
        return path.size();
    }

    std::unique_ptr<ChildProcess> startProgram(const std::string& path) override
    {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0)
            return nullptr;
        pid_t pid;
        std::vector<char> arg0(path.begin(), path.end());
        arg0.push_back('\0');
        char* argv[] = {arg0.data(), nullptr};
        if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0)
            return nullptr;
        return std::make_unique<PosixChild>(pid);
    }

    WaitResult waitForProgram(ChildProcess& child, int timeoutMs, int* exitCode) override
    {
        auto& c = static_cast<PosixChild&>(child);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto pause = std::chrono::microseconds(200);
        while (!c.m_reaped) {
            int status = 0;
            pid_t r = ::waitpid(c.m_pid, &status, WNOHANG);
            if (r == c.m_pid) {
                c.m_reaped = true;
                c.m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (r < 0 && errno != EINTR)
                return WaitResult::Failed;
            if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)
                return WaitResult::TimedOut;
            std::this_thread::sleep_for(pause);
            if (pause < std::chrono::milliseconds(5))
                pause *= 2;
        }
        if (exitCode)
            *exitCode = c.m_exitCode;
        return WaitResult::Exited;
    }

    bool startHidden(const std::string& commandLine) override
    {
        pid_t pid;
        std::string cmd = commandLine;
        char sh[] = "/bin/sh", dashC[] = "-c";
        char* argv[] = {sh, dashC, cmd.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }

    bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override
    {
        int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return false;
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
        int out = ::open(to.c_str(), flags, 0644);
        if (out < 0) {
            ::close(in);
            return false;
        }
        char buf[65536];
        bool ok = true;
        for (;;) {
            ssize_t n = ::read(in, buf, sizeof buf);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            for (ssize_t done = 0; done < n;) {
                ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0) {
                    ok = false;
                    break;
                }
                done += w;
            }
            if (!ok)
                break;
        }
        ::close(in);
        if (::close(out) != 0)
            ok = false;
        return ok;
    }

    bool topLevelWindowExists(const std::string& title) override
    {
#if KAVO_HAVE_X11
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return false;
        Display* dpy = XOpenDisplay(nullptr);
        if (!dpy)
            return false;
        auto oldHandler = XSetErrorHandler(ignoreXErrors);
        bool found = false;
        Window root = DefaultRootWindow(dpy);
        // The window manager's client list when there is one, else the
        // root's children and their children (frames hold the clients).
        Atom clientList = XInternAtom(dpy, "_NET_CLIENT_LIST", True);
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (clientList != None &&
            XGetWindowProperty(dpy, root, clientList, 0, 65536, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data && count > 0) {
            auto* windows = reinterpret_cast<Window*>(data);
            for (unsigned long i = 0; i < count && !found; ++i)
                found = windowTitle(dpy, windows[i]) == title;
            XFree(data);
        } else {
            if (data)
                XFree(data);
            Window r, parent, *children = nullptr;
            unsigned int n = 0;
            if (XQueryTree(dpy, root, &r, &parent, &children, &n)) {
                for (unsigned int i = 0; i < n && !found; ++i) {
                    XWindowAttributes attrs;
                    if (!XGetWindowAttributes(dpy, children[i], &attrs) ||
                        attrs.map_state != IsViewable)
                        continue;
                    found = windowTitle(dpy, children[i]) == title;
                    Window r2, p2, *inner = nullptr;
                    unsigned int m = 0;
                    if (!found && XQueryTree(dpy, children[i], &r2, &p2, &inner, &m)) {
                        for (unsigned int j = 0; j < m && !found; ++j)
                            found = windowTitle(dpy, inner[j]) == title;
                    }
                    if (inner)
                        XFree(inner);
                }
                if (children)
                    XFree(children);
            }
        }
        XSetErrorHandler(oldHandler);
        XCloseDisplay(dpy);
        return found;
#else
        (void)title;
        return false;
#endif
    }

    OsVersion osVersion() override
    {
        OsVersion v;
        struct utsname u;
        if (::uname(&u) == 0)
            std::sscanf(u.release, "%d.%d", &v.major, &v.minor);
        return v;
    }

    std::uint16_t systemDefaultLangId() override
    {
        for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(var);
            if (value && *value)
                return langIdFromLocale(value);
        }
        return 0x0409;
    }

    void beep(Beep) override
    {
        if (::isatty(2))
            (void)!::write(2, "\a", 1);
    }
};

}  // namespace

std::string privateTempFolder(const std::string& base)
{
    struct stat st;
    // A folder only this user (or root) may write to is used as it is.
    if (::stat(base.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
        (st.st_uid == ::geteuid() || st.st_uid == 0))
        return base;
    const uid_t uid = ::geteuid();
    const std::string own = base + "kavo-" + std::to_string(uid);
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Opened without following a link, then checked on the open folder.
    int fd = ::open(own.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
    if (ok && (st.st_mode & 077) != 0)
        ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok ? own + "/" : std::string();
}

Services& nativeServices()
{
    static PosixServices s;
    return s;
}

}  // namespace kavo::platform
#endif
