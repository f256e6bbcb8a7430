// Services for tests: every answer can be chosen; what is not chosen comes
// from the native services. Install with ScopedServices.
#pragma once

#include "Platform.h"

#include <functional>
#include <optional>
#include <vector>

namespace kavo::platform {

class FakeServices : public Services {
public:
    std::optional<std::string> temp, system, current, program;
    std::optional<OsVersion> version;
    std::optional<std::uint16_t> langId;
    std::vector<std::string> windowTitles;  // the top-level windows that "exist"
    bool useRealWindows = false;            // ask the real window list instead

    // Recorded calls.
    std::vector<std::string> started;        // startProgram paths
    std::vector<std::string> hiddenCommands;  // startHidden command lines
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<Beep> beeps;

    // Optional replacements for the process calls.
    std::function<std::unique_ptr<ChildProcess>(const std::string&)> onStartProgram;
    std::function<bool(const std::string&)> onStartHidden;
    std::function<bool(const std::string&, const std::string&, bool)> onCopyFile;
    // Called just before a wait for a program begins.
    std::function<void(int timeoutMs)> beforeWait;

    Services& real = nativeServices();

    std::string tempFolder() override { return temp ? *temp : real.tempFolder(); }
    std::string systemFolder() override { return system ? *system : real.systemFolder(); }
    std::string currentDirectory() override { return current ? *current : real.currentDirectory(); }
    std::string ownProgramFile() override { return program ? *program : real.ownProgramFile(); }
    std::size_t searchPath(const std::string& folder, const std::string& file, std::string* found,
                           std::size_t bufferSize) override
    {
        return real.searchPath(folder, file, found, bufferSize);
    }
    std::unique_ptr<ChildProcess> startProgram(const std::string& path) override
    {
        started.push_back(path);
        return onStartProgram ? onStartProgram(path) : real.startProgram(path);
    }
    WaitResult waitForProgram(ChildProcess& child, int timeoutMs, int* exitCode) override
    {
        if (beforeWait)
            beforeWait(timeoutMs);
        return real.waitForProgram(child, timeoutMs, exitCode);
    }
    bool startHidden(const std::string& commandLine) override
    {
        hiddenCommands.push_back(commandLine);
        return onStartHidden ? onStartHidden(commandLine) : true;
    }
    bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override
    {
        copies.emplace_back(from, to);
        return onCopyFile ? onCopyFile(from, to, failIfExists) : real.copyFile(from, to, failIfExists);
    }
    bool topLevelWindowExists(const std::string& title) override
    {
        if (useRealWindows)
            return real.topLevelWindowExists(title);
        for (const auto& t : windowTitles)
            if (t == title)
                return true;
        return false;
    }
    OsVersion osVersion() override { return version ? *version : real.osVersion(); }
    std::uint16_t systemDefaultLangId() override { return langId ? *langId : real.systemDefaultLangId(); }
    void beep(Beep kind) override { beeps.push_back(kind); }
};

class ScopedServices {
public:
    explicit ScopedServices(Services& s) { setServices(&s); }
    ~ScopedServices() { setServices(nullptr); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;
};

}  // namespace kavo::platform
