// Win32 services (built on Windows only).
#ifdef _WIN32
#include "Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace kavo::platform {

namespace {

// The path calls give the length written, or the size needed when the
// buffer is too small: a result of 0 or at or above the buffer's size is
// a failure, never a length to read.
bool fits(unsigned long n, std::size_t size) { return n > 0 && n < size; }

class Win32Child : public ChildProcess {
public:
    explicit Win32Child(HANDLE h) : m_handle(h) {}
    ~Win32Child() override { CloseHandle(m_handle); }  // closing never ends the program
    std::int64_t id() const override { return static_cast<std::int64_t>(GetProcessId(m_handle)); }
    HANDLE m_handle;
};

class Win32Services : public Services {
public:
    std::string tempFolder() override
    {
        char buf[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof buf, buf);
        return fits(n, sizeof buf) ? std::string(buf, n) : std::string("C:\\");
    }
    std::string systemFolder() override
    {
        char buf[256];
        UINT n = GetSystemDirectoryA(buf, sizeof buf);
        return fits(n, sizeof buf) ? std::string(buf, n) : std::string();
    }
    std::string currentDirectory() override
    {
        char buf[MAX_PATH + 1];
        DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
        return fits(n, sizeof buf) ? std::string(buf, n) : std::string();
    }
    std::string ownProgramFile() override
    {
        char buf[MAX_PATH + 1];
        DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
        return fits(n, sizeof buf) ? std::string(buf, n) : std::string();
    }
    std::size_t searchPath(const std::string& folder, const std::string& file, std::string* found,
                           std::size_t bufferSize) override
    {
        std::vector<char> buf(bufferSize);
        char* part = nullptr;
        DWORD n = SearchPathA(folder.c_str(), file.c_str(), nullptr, static_cast<DWORD>(buf.size()),
                              buf.data(), &part);
        if (n == 0 || n >= buf.size())
            return 0;
        if (found)
            *found = std::string(buf.data(), n);
        return n;
    }
    std::unique_ptr<ChildProcess> startProgram(const std::string& path) override
    {
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = "open";
        info.lpFile = path.c_str();
        info.nShow = SW_SHOWDEFAULT;
        if (!ShellExecuteExA(&info) || !info.hProcess)
            return nullptr;
        return std::make_unique<Win32Child>(info.hProcess);
    }
    WaitResult waitForProgram(ChildProcess& child, int timeoutMs, int* exitCode) override
    {
        auto& c = static_cast<Win32Child&>(child);
        DWORD r = WaitForSingleObject(c.m_handle, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (r == WAIT_TIMEOUT)
            return WaitResult::TimedOut;
        if (r != WAIT_OBJECT_0)
            return WaitResult::Failed;
        DWORD code = 0;
        GetExitCodeProcess(c.m_handle, &code);
        if (exitCode)
            *exitCode = static_cast<int>(code);
        return WaitResult::Exited;
    }
    bool startHidden(const std::string& commandLine) override
    {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION pi{};
        std::string cmd = commandLine;
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    }
    bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override
    {
        return CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != 0;
    }
    bool topLevelWindowExists(const std::string& title) override
    {
        return FindWindowA(nullptr, title.c_str()) != nullptr;
    }
    OsVersion osVersion() override
    {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
        GetVersionExA(&info);
        OsVersion v;
        v.platformId = static_cast<int>(info.dwPlatformId);
        v.major = static_cast<int>(info.dwMajorVersion);
        v.minor = static_cast<int>(info.dwMinorVersion);
        return v;
    }
    std::uint16_t systemDefaultLangId() override { return GetSystemDefaultLangID(); }
    void beep(Beep kind) override
    {
        MessageBeep(kind == Beep::Question ? MB_ICONQUESTION
                    : kind == Beep::Asterisk ? MB_ICONASTERISK
                    : kind == Beep::Warning ? MB_ICONWARNING
                    : kind == Beep::Error   ? MB_ICONHAND
                                            : MB_OK);
    }
};

}  // namespace

Services& nativeServices()
{
    static Win32Services s;
    return s;
}

}  // namespace kavo::platform
#endif
