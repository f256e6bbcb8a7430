#include "NetLab.h"

#include <QProcess>
#include <QStringList>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace kavo::test {

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_labs{0};

RunResult ip(const std::vector<std::string>& args)
{
    return runProgram("ip", args, 20000);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

// Removes what labs of processes that no longer run left behind.
void sweepDeadLabs()
{
    for (const auto& line : lines(ip({"netns", "list"}).out)) {
        std::string name = line.substr(0, line.find(' '));
        // kvl<pid>x<n>-...
        if (name.rfind("kvl", 0) != 0)
            continue;
        int pid = std::atoi(name.c_str() + 3);
        if (pid > 0 && ::kill(pid, 0) != 0) {
            ip({"netns", "del", name});
            std::error_code ec;
            fs::remove_all("/etc/netns/" + name, ec);
        }
    }
}

}  // namespace

std::string NetLab::skipReason()
{
    if (::geteuid() != 0)
        return "system tests need root (network namespaces); run as root to include them";
    RunResult r = ip({"netns", "list"});
    if (r.exitCode != 0)
        return "\"ip netns\" is not available: " + r.err;
    return {};
}

NetLab::NetLab()
{
    if (!skipReason().empty())
        throw std::runtime_error("NetLab: " + skipReason());
    sweepDeadLabs();
    m_prefix = "kvl" + std::to_string(::getpid()) + "x" + std::to_string(g_labs++);
    m_switch = m_prefix + "-sw";
    m_logDir = (fs::temp_directory_path() / (m_prefix + "-logs")).string();
    fs::create_directories(m_logDir);
    sh({"ip", "netns", "add", m_switch});
    sh({"ip", "-n", m_switch, "link", "add", "br0", "type", "bridge"});
    sh({"ip", "-n", m_switch, "link", "set", "br0", "up"});
    sh({"ip", "-n", m_switch, "link", "set", "lo", "up"});
}

NetLab::~NetLab()
{
    for (std::size_t i = 0; i < m_processes.size(); ++i)
        stop(static_cast<int>(i));
    for (const auto& [host, name] : m_hosts)
        ip({"netns", "del", name});
    ip({"netns", "del", m_switch});
    std::error_code ec;
    for (const auto& folder : m_hostsFiles)
        fs::remove_all(folder, ec);
    fs::remove_all(m_logDir, ec);
}

void NetLab::sh(const std::vector<std::string>& command)
{
    std::vector<std::string> args(command.begin() + 1, command.end());
    RunResult r = runProgram(command[0], args, 20000);
    if (r.exitCode != 0) {
        std::string all;
        for (const auto& c : command)
            all += c + " ";
        throw std::runtime_error("NetLab: '" + all + "' failed: " + r.err);
    }
}

std::string NetLab::addHost(const std::string& host, const std::string& address)
{
    std::string name = m_prefix + "-" + host;
    sh({"ip", "netns", "add", name});
    m_hosts[host] = name;
    m_addresses[host] = address;
    // Link names are short: "k<pid><n>a" / "...b", renamed on arrival.
    std::string base = "k" + std::to_string(::getpid() % 1000000) + "n" + std::to_string(m_links++);
    std::string inHost = base + "a", inSwitch = base + "b";
    sh({"ip", "link", "add", inHost, "netns", name, "type", "veth", "peer", "name", inSwitch,
        "netns", m_switch});
    sh({"ip", "-n", name, "link", "set", inHost, "name", "eth0"});
    sh({"ip", "-n", m_switch, "link", "set", inSwitch, "master", "br0"});
    sh({"ip", "-n", m_switch, "link", "set", inSwitch, "up"});
    sh({"ip", "-n", name, "link", "set", "lo", "up"});
    sh({"ip", "-n", name, "link", "set", "eth0", "up"});
    sh({"ip", "-n", name, "addr", "add", address + "/24", "dev", "eth0"});
    sh({"ip", "-n", name, "route", "add", "default", "dev", "eth0"});
    return name;
}

void NetLab::addAddress(const std::string& host, const std::string& address)
{
    sh({"ip", "-n", ns(host), "addr", "add", address + "/24", "dev", "eth0"});
}

void NetLab::writeHosts(const std::string& host, const std::string& content)
{
    std::string folder = "/etc/netns/" + ns(host);
    fs::create_directories(folder);
    std::ofstream(folder + "/hosts") << content;
    m_hostsFiles.push_back(folder);
}

std::string NetLab::ns(const std::string& host) const
{
    auto it = m_hosts.find(host);
    if (it == m_hosts.end())
        throw std::runtime_error("NetLab: no host " + host);
    return it->second;
}

std::string NetLab::address(const std::string& host) const
{
    return m_addresses.at(host);
}

RunResult NetLab::run(const std::string& host, const std::vector<std::string>& command, int timeoutMs)
{
    std::vector<std::string> args = {"netns", "exec", ns(host)};
    args.insert(args.end(), command.begin(), command.end());
    return runProgram("ip", args, timeoutMs);
}

int NetLab::spawn(const std::string& host, const std::vector<std::string>& command)
{
    auto p = std::make_unique<QProcess>();
    int index = static_cast<int>(m_processes.size());
    p->setStandardOutputFile(QString::fromStdString(logPath(index) + ".out"));
    p->setStandardErrorFile(QString::fromStdString(logPath(index) + ".err"));
    QStringList args = {"netns", "exec", QString::fromStdString(ns(host))};
    for (const auto& c : command)
        args << QString::fromStdString(c);
    p->start("ip", args);
    if (!p->waitForStarted(10000))
        throw std::runtime_error("NetLab: could not start " + command[0]);
    m_processes.push_back(std::move(p));
    return index;
}

std::string NetLab::logPath(int index) const
{
    return m_logDir + "/" + std::to_string(index);
}

void NetLab::stop(int index)
{
    QProcess* p = m_processes.at(static_cast<std::size_t>(index)).get();
    if (p->state() == QProcess::NotRunning)
        return;
    p->terminate();
    if (!p->waitForFinished(3000)) {
        p->kill();
        p->waitForFinished(3000);
    }
}

bool NetLab::running(int index)
{
    QProcess* p = m_processes.at(static_cast<std::size_t>(index)).get();
    // Without an event loop the state changes only inside a wait.
    if (p->state() != QProcess::NotRunning)
        p->waitForFinished(0);
    return p->state() != QProcess::NotRunning;
}

long NetLab::pid(int index)
{
    return static_cast<long>(m_processes.at(static_cast<std::size_t>(index))->processId());
}

int NetLab::wait(int index, int timeoutMs)
{
    QProcess* p = m_processes.at(static_cast<std::size_t>(index)).get();
    if (p->state() != QProcess::NotRunning && !p->waitForFinished(timeoutMs))
        return -1;
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
}

std::vector<std::string> NetLab::leftovers(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& line : lines(ip({"netns", "list"}).out))
        if (line.rfind(prefix, 0) == 0)
            out.push_back("netns " + line);
    std::string linkPrefix = prefix;  // root links would carry "k<pid>n"
    for (const auto& line : lines(ip({"-o", "link", "show"}).out))
        if (line.find(": " + prefix) != std::string::npos)
            out.push_back("link " + line);
    if (fs::exists("/etc/netns"))
        for (const auto& e : fs::directory_iterator("/etc/netns"))
            if (e.path().filename().string().rfind(prefix, 0) == 0)
                out.push_back("file " + e.path().string());
    return out;
}

}  // namespace kavo::test
