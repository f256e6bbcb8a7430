// Operating-system services the programs call, behind one small interface.
// Programs call the free functions; a test may install its own Services
// (see FakeServices.h) to choose the answers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kavo::platform {

#ifdef _WIN32
inline constexpr const char* kExeSuffix = ".exe";
inline constexpr char kSeparator = '\\';
#else
inline constexpr const char* kExeSuffix = "";
inline constexpr char kSeparator = '/';
#endif

// The operating system's version as Windows reports it. Elsewhere the
// platform is PlatformOther and the numbers are the kernel's.
struct OsVersion {
    enum Platform { PlatformWin32s = 0, PlatformWindows9x = 1, PlatformNT = 2, PlatformOther = -1 };
    int platformId = PlatformOther;
    int major = 0;
    int minor = 0;
};

// The system sounds of the message boxes' kinds.
enum class Beep { Default, Question, Asterisk, Warning, Error };

// A started program. Letting go of it never ends the program.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    virtual std::int64_t id() const = 0;
};

enum class WaitResult { Exited, TimedOut, Failed };

class Services {
public:
    virtual ~Services() = default;

    // Folders. tempFolder ends with a separator. On POSIX it is $TMPDIR,
    // else /tmp; when that folder is writable by others, a folder of this
    // user's own below it (see privateTempFolder). Empty when no safe
    // temporary folder can be had.
    virtual std::string tempFolder() = 0;
    virtual std::string systemFolder() = 0;
    virtual std::string currentDirectory() = 0;
    virtual std::string ownProgramFile() = 0;

    // Whether `file` lies directly in `folder`: the length of the found
    // path (0 when absent, or when it does not fit `bufferSize`).
    virtual std::size_t searchPath(const std::string& folder, const std::string& file,
                                   std::string* found, std::size_t bufferSize) = 0;

    // Starts a program as the shell's "open" would, with no parameters.
    // nullptr when it cannot be started.
    virtual std::unique_ptr<ChildProcess> startProgram(const std::string& path) = 0;
    // Waits for the program to end, at most timeoutMs (negative: no limit),
    // without processing events. The program goes on after a time-out.
    virtual WaitResult waitForProgram(ChildProcess& child, int timeoutMs, int* exitCode) = 0;
    // Starts a command line hidden, without waiting. False when it could not start.
    virtual bool startHidden(const std::string& commandLine) = 0;
    // Copies a file; refuses to overwrite when failIfExists.
    virtual bool copyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;

    // Whether a top-level window with exactly this title exists.
    virtual bool topLevelWindowExists(const std::string& title) = 0;

    virtual OsVersion osVersion() = 0;
    // The system default language identifier (0x0409 for en_US).
    virtual std::uint16_t systemDefaultLangId() = 0;
    virtual void beep(Beep kind) = 0;
};

// The real services of this operating system.
Services& nativeServices();
// The services in use: the native ones unless a test installed others.
Services& services();
// Installs `s` (nullptr: back to the native ones). The caller keeps ownership.
void setServices(Services* s);

inline std::string tempFolder() { return services().tempFolder(); }
inline std::string systemFolder() { return services().systemFolder(); }
inline std::string currentDirectory() { return services().currentDirectory(); }
inline std::string ownProgramFile() { return services().ownProgramFile(); }
inline std::size_t searchPath(const std::string& folder, const std::string& file,
                              std::string* found = nullptr, std::size_t bufferSize = 300)
{
    return services().searchPath(folder, file, found, bufferSize);
}
inline std::unique_ptr<ChildProcess> startProgram(const std::string& path)
{
    return services().startProgram(path);
}
inline WaitResult waitForProgram(ChildProcess& child, int timeoutMs, int* exitCode = nullptr)
{
    return services().waitForProgram(child, timeoutMs, exitCode);
}
inline bool startHidden(const std::string& commandLine) { return services().startHidden(commandLine); }
inline bool copyFile(const std::string& from, const std::string& to, bool failIfExists)
{
    return services().copyFile(from, to, failIfExists);
}
inline bool topLevelWindowExists(const std::string& title)
{
    return services().topLevelWindowExists(title);
}
inline OsVersion osVersion() { return services().osVersion(); }
inline std::uint16_t systemDefaultLangId() { return services().systemDefaultLangId(); }
inline void beep(Beep kind = Beep::Default) { services().beep(kind); }

#ifndef _WIN32
// The temporary folder for `base` (ending with '/'): `base` itself when no
// one else may write to it; otherwise base + "kavo-<uid>/", made with mode
// 0700 when missing, and refused (empty result) when it is a link, not a
// folder, or owned by someone else. A folder of ours that others may enter
// is made private again.
std::string privateTempFolder(const std::string& base);
#endif

// Language identifier for a POSIX locale name such as "de_DE.UTF-8".
std::uint16_t langIdFromLocale(const std::string& locale);

}  // namespace kavo::platform
