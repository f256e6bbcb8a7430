// A small network of network namespaces for system tests: hosts joined by
// veth pairs to a bridge that lives in a namespace of its own, so nothing
// is added to this machine's own network. Everything is taken down when the
// lab goes, on failure too.
//
//   NetLab lab;                           // GTEST_SKIP when lab.skipReason() is set
//   lab.addHost("pc", "10.77.0.1");
//   lab.addHost("ap1", "10.77.0.11");
//   lab.run("pc", {"ping", "-c1", "10.77.0.11"});
//   auto pid = lab.spawn("ap1", {KAVO_BIN_DIR "/ap-sim", ...});
#pragma once

#include "ProcessRunner.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace kavo::test {

class NetLab {
public:
    NetLab();
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // Why system tests cannot run here (not root, no "ip netns"); empty when they can.
    static std::string skipReason();

    // Adds a host namespace with one interface "eth0" on the bridge, the
    // address (prefix length 24) and a default route through that interface
    // (so the limited broadcast leaves by it). Gives the namespace's name.
    std::string addHost(const std::string& host, const std::string& address);
    // More addresses on a host's eth0.
    void addAddress(const std::string& host, const std::string& address);
    // /etc/netns/<namespace>/hosts for the host.
    void writeHosts(const std::string& host, const std::string& content);

    std::string ns(const std::string& host) const;
    std::string address(const std::string& host) const;

    // Runs a command inside a host to its end.
    RunResult run(const std::string& host, const std::vector<std::string>& command,
                  int timeoutMs = 30000);
    // Starts a command inside a host in the background; the lab ends it (and
    // only it) when it goes. Output goes to the files returned by logPath.
    int spawn(const std::string& host, const std::vector<std::string>& command);
    std::string logPath(int index) const;  // index is what spawn returned
    void stop(int index);                   // ends one background command
    bool running(int index);
    // The process id of a background command (the command itself: "ip netns
    // exec" becomes it); 0 when it is not running.
    long pid(int index);
    // Waits for a background command to end; its exit code, -1 on time-out.
    int wait(int index, int timeoutMs);

    // The lab's name prefix (every namespace and link name starts with it).
    const std::string& prefix() const { return m_prefix; }

    // Namespaces and root links that carry this prefix, for leak checks.
    static std::vector<std::string> leftovers(const std::string& prefix);

private:
    void sh(const std::vector<std::string>& command);
    std::string m_prefix;
    std::string m_switch;
    std::string m_logDir;
    std::map<std::string, std::string> m_hosts;  // host -> namespace
    std::map<std::string, std::string> m_addresses;
    std::vector<std::string> m_hostsFiles;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    int m_links = 0;
};

}  // namespace kavo::test
