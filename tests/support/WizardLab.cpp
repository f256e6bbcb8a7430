#include "WizardLab.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace kavo::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kRoleVariable = "KAVO_WIZARD_LAB";

// The status texts of Flashpost's log lines ("... status [TEXT]"), in order.
std::vector<std::string> statusLines(const std::string& log)
{
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        auto at = line.find("status [");
        if (at == std::string::npos || line.empty() || line.back() != ']')
            continue;
        out.push_back(line.substr(at + 8, line.size() - at - 9));
    }
    return out;
}

// Processes whose parent is `parent` and whose name is `name`.
std::vector<long> childrenNamed(long parent, const std::string& name)
{
    std::vector<long> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string id = e.path().filename().string();
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(e.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // pid (comm) state ppid ...
        auto open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && text.substr(open + 1, close - open - 1) == name.substr(0, 15) && state != "Z")
            out.push_back(std::stol(id));
    }
    return out;
}

}  // namespace

bool flashpostStillWorking(const std::string& status)
{
    return status == " Please wait... " || status == "Transfer in progress" ||
           status == "Flash Programming in progress ...  ";
}

bool screenshot(const std::string& name)
{
    const char* dir = std::getenv("KAVO_SCREENSHOT_DIR");
    const char* display = std::getenv("DISPLAY");
    if (!dir || !*dir || !display || !*display)
        return false;
    return runProgram("import", {"-window", "root", std::string(dir) + "/" + name + ".png"}, 20000).exitCode == 0;
}

bool WizardLab::inPc()
{
    const char* role = std::getenv(kRoleVariable);
    return role && std::string(role) == "pc";
}

WizardLab::WizardLab()
{
    m_net.addHost("pc", kPcAddress);
    m_net.addHost("ap", kApAddress);
    m_image = (fs::temp_directory_path() / (m_net.prefix() + "-image.bin")).string();
}

WizardLab::~WizardLab()
{
    std::error_code ec;
    fs::remove(m_image, ec);
}

void WizardLab::startAp(const std::string& description, const std::vector<std::string>& tftpOptions)
{
    const int snmp = m_net.spawn("ap", {binDir() + "/ap-sim", "snmp", "--description", description});
    std::vector<std::string> tftp = {binDir() + "/ap-sim", "tftp", "--out", m_image};
    tftp.insert(tftp.end(), tftpOptions.begin(), tftpOptions.end());
    m_tftp = m_net.spawn("ap", tftp);
    if (!waitForText(m_net.logPath(snmp) + ".out", "READY", 10000))
        throw std::runtime_error("ap-sim snmp did not start: " + readFile(m_net.logPath(snmp) + ".err"));
    if (!waitForText(m_net.logPath(m_tftp) + ".out", "{\"listening\":69}", 10000))
        throw std::runtime_error("ap-sim tftp did not start: " + readFile(m_net.logPath(m_tftp) + ".err"));
    // Beaconry asks once: the path from the PC must carry traffic before it runs.
    const std::string state = (fs::temp_directory_path() / (m_net.prefix() + "-snmp")).string();
    fs::create_directories(state);
    bool answers = false;
    for (int i = 0; i < 50 && !answers; ++i)
        answers = m_net.run("pc", {"env", "SNMP_PERSISTENT_DIR=" + state, "MIBS=", "snmpget", "-v1", "-c", "public", "-r",
                                   "0", "-t", "0.2", kApAddress, "1.3.6.1.2.1.1.1.0"})
                      .exitCode == 0;
    std::error_code ec;
    fs::remove_all(state, ec);
    if (!answers)
        throw std::runtime_error("ap-sim does not answer the PC");
}

std::string WizardLab::apReport() const
{
    return m_tftp < 0 ? std::string() : readFile(m_net.logPath(m_tftp) + ".out");
}

WizardLab::PcRun WizardLab::runInPc(int timeoutMs, const std::vector<std::string>& environment)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test)
        throw std::runtime_error("WizardLab::runInPc outside a test");
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::vector<std::string> command = {"env", "-C", binDir(), std::string(kRoleVariable) + "=pc",
                                        "QT_LOGGING_RULES=kavo.flashpost.status=true"};
    command.insert(command.end(), environment.begin(), environment.end());
    command.push_back(fs::read_symlink("/proc/self/exe").string());
    command.push_back("--gtest_filter=" + filter);
    const int index = m_net.spawn("pc", command);
    const long pid = m_net.pid(index);
    const std::string errLog = m_net.logPath(index) + ".err";

    PcRun run;
    std::map<long, Clock::time_point> firstSeen;  // Flashpost processes, when first seen
    std::size_t resultsSeen = 0, statusesRead = 0;
    std::vector<std::string> pendingResults;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_net.running(index) && Clock::now() < end) {
        const std::vector<std::string> statuses = statusLines(readFile(errLog));
        for (; statusesRead < statuses.size(); ++statusesRead)
            if (!flashpostStillWorking(statuses[statusesRead]))
                pendingResults.push_back(statuses[statusesRead]);
        for (long fp : childrenNamed(pid, "Flashpost")) {
            auto it = firstSeen.emplace(fp, Clock::now()).first;
            const bool overdue = Clock::now() - it->second > std::chrono::milliseconds(flashpostLimitMs);
            if (resultsSeen < pendingResults.size() || overdue) {
                std::string result = resultsSeen < pendingResults.size() ? pendingResults[resultsSeen++]
                                                                         : std::string("<no result>");
                if (beforeClosingFlashpost)
                    beforeClosingFlashpost(fp, result);
                ::kill(static_cast<pid_t>(fp), SIGTERM);
                run.flashpostResults.push_back(result);
                firstSeen.erase(it);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (m_net.running(index))
        m_net.stop(index);
    run.exitCode = m_net.wait(index, 5000);
    run.out = readFile(m_net.logPath(index) + ".out");
    run.err = readFile(errLog);
    return run;
}

}  // namespace kavo::test
