// Beaconry itself, with its real timing, in network namespaces: real snmpd
// agents, ap-sim agents that answer oddly, traps, a busy trap port and 300
// agents at once. Each run broadcasts inside its lab only.
#include "NetLab.h"
#include "TestEnv.h"

#include "Registry.h"
#include "SettingsKey.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace kavo::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ','))
        out.push_back(item);
    if (!text.empty() && text.back() == ',')
        out.emplace_back();
    return out;
}

// A lab with a PC that runs Beaconry, and its settings store.
class BeaconryLab {
public:
    NetLab& lab() { return *m_lab; }
    IsolatedEnv& env() { return m_env; }

    explicit BeaconryLab(const std::string& pcAddress)
    {
        m_lab = std::make_unique<NetLab>();
        m_lab->addHost("pc", pcAddress);
    }

    // snmpd with a configuration of its own; waits until it answers the PC.
    void startSnmpd(const std::string& host, const std::string& address, const std::string& description)
    {
        m_lab->addHost(host, address);
        std::string conf = m_env.writeFile("snmpd-" + host + ".conf",
                                           "rocommunity public default\nsysDescr " + description + "\n");
        std::string persist = m_env.root() + "/snmp-" + host;
        fs::create_directories(persist);
        m_lab->spawn(host, {"env", "SNMP_PERSISTENT_DIR=" + persist, "MIBS=", "snmpd", "-f", "-Lo", "-C", "-c",
                            conf, "udp:161"});
        for (int i = 0; i < 50; ++i) {
            RunResult r = m_lab->run("pc", {"env", "MIBS=", clientDir(), "snmpget", "-v1", "-c", "public", "-r", "0", "-t",
                                            "0.2", address, "1.3.6.1.2.1.1.1.0"});
            if (r.exitCode == 0)
                return;
        }
        FAIL() << "snmpd on " << host << " does not answer";
    }

    // ap-sim's agent with the given options; waits until it listens.
    int startApSim(const std::string& host, const std::vector<std::string>& options)
    {
        std::vector<std::string> command = {binDir() + "/ap-sim", "snmp"};
        command.insert(command.end(), options.begin(), options.end());
        int index = m_lab->spawn(host, command);
        EXPECT_TRUE(waitForText(m_lab->logPath(index) + ".out", "READY", 5000)) << readFile(m_lab->logPath(index) + ".err");
        return index;
    }

    RunResult beaconry(const std::string& program = binDir() + "/Beaconry")
    {
        return m_lab->run("pc", {program}, 15000);
    }

    // The net-snmp tools keep their state here, not in the system's folder.
    std::string clientDir()
    {
        std::string dir = m_env.root() + "/snmp-client";
        fs::create_directories(dir);
        return "SNMP_PERSISTENT_DIR=" + dir;
    }

    std::optional<kavo::RawValue> value(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        return key ? key->readRaw(name) : std::nullopt;
    }
    std::string text(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        return key ? key->readString(name) : std::string();
    }
    void clearTable()
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
        key->deleteValue(kavo::settings::kApIpAddress);
        key->deleteValue(kavo::settings::kApVersion);
    }

    // The table as address -> version, checking that the lists pair up.
    std::map<std::string, std::string> table()
    {
        auto addresses = split(text(kavo::settings::kApIpAddress));
        auto versions = split(text(kavo::settings::kApVersion));
        EXPECT_EQ(addresses.size(), versions.size());
        std::map<std::string, std::string> out;
        for (std::size_t i = 0; i < addresses.size() && i < versions.size(); ++i)
            out[addresses[i]] = versions[i];
        EXPECT_EQ(out.size(), addresses.size()) << "an address twice";
        return out;
    }

private:
    IsolatedEnv m_env;  // made first, gone last: the lab's logs live in it
    std::unique_ptr<NetLab> m_lab;
};

#define SKIP_WITHOUT_LAB()                              \
    do {                                                \
        if (auto why = NetLab::skipReason(); !why.empty()) \
            GTEST_SKIP() << why;                        \
    } while (0)

TEST(BeaconrySystem, FindsThreeSnmpdAgentsAndTrapsChangeNothing)
{
    SKIP_WITHOUT_LAB();
    BeaconryLab b("10.77.4.1");
    b.startSnmpd("ap1", "10.77.4.11", "KAVO WLAN AP v. 1.4.07 (AT76C510)");
    b.startSnmpd("ap2", "10.77.4.12", "Short AP");  // no version item
    b.startSnmpd("ap3", "10.77.4.13", "KAVO WLAN AP v. 2.1.13 rev B");
    b.lab().addHost("quiet", "10.77.4.14");  // a host without an agent

    int run = b.lab().spawn("pc", {binDir() + "/Beaconry"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Traps to the PC during the run, from the host without an agent and from an agent.
    auto t1 = b.lab().run("quiet", {"env", "MIBS=", b.clientDir(), "snmptrap", "-v1", "-c", "public", "10.77.4.1",
                                    "1.3.6.1.4.1.41130", "10.77.4.14", "6", "1", "0", "1.3.6.1.2.1.1.1.0", "s",
                                    "KAVO WLAN AP v. 6.6.66 trap"});
    auto t2 = b.lab().run("ap1", {"env", "MIBS=", b.clientDir(), "snmptrap", "-v2c", "-c", "public", "10.77.4.1", "0",
                                  "1.3.6.1.4.1.41130.0.1", "1.3.6.1.2.1.1.1.0", "s", "KAVO WLAN AP v. 7.7.77 trap"});
    EXPECT_EQ(t1.exitCode, 0) << t1.err;
    EXPECT_EQ(t2.exitCode, 0) << t2.err;
    EXPECT_EQ(b.lab().wait(run, 10000), 0);
    EXPECT_EQ(readFile(b.lab().logPath(run) + ".err"), "");
    EXPECT_EQ(readFile(b.lab().logPath(run) + ".out"), "");

    std::map<std::string, std::string> expected = {
        {"10.77.4.11", "1.4.07"}, {"10.77.4.12", ""}, {"10.77.4.13", "2.1.13"}};
    EXPECT_EQ(b.table(), expected) << b.text(kavo::settings::kApIpAddress) << " / " << b.text(kavo::settings::kApVersion);
    auto raw = b.value(kavo::settings::kApVersion);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, kavo::RegSz);
    EXPECT_EQ(raw->data.back(), 0);
}

TEST(BeaconrySystem, OddRepliesNoAgentsABusyTrapPortAndAMisnamedProgram)
{
    SKIP_WITHOUT_LAB();
    BeaconryLab b("10.77.5.1");
    b.lab().addHost("err", "10.77.5.21");
    b.lab().addHost("twice", "10.77.5.22");
    b.lab().addHost("late", "10.77.5.23");
    int e = b.startApSim("err", {"--description", "KAVO WLAN AP v. 5.5.55 good", "--error-status", "5", "--twice",
                                 "--gap", "200", "--log"});
    int t = b.startApSim("twice", {"--description", "KAVO WLAN AP v. 1.1.11 first", "--second-description",
                                   "KAVO WLAN AP v. 2.2.22 second", "--gap", "100", "--log"});
    int l = b.startApSim("late", {"--description", "KAVO WLAN AP v. 9.9.99 late", "--delay", "1700", "--log"});

    // An error first and a good reply later: the later one counts. Two
    // replies: the first counts. A reply after the window: not recorded.
    RunResult r = b.beaconry();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> expected = {{"10.77.5.21", "5.5.55"}, {"10.77.5.22", "1.1.11"}};
    EXPECT_EQ(b.table(), expected);
    for (int agent : {e, t, l})
        EXPECT_TRUE(waitForText(b.lab().logPath(agent) + ".out", "REQUEST from 10.77.5.1 id 0", 3000));
    for (int agent : {e, t, l})
        b.lab().stop(agent);

    // No agent at all, and a second copy started meanwhile: the second
    // cannot bind port 162 and ends at once with exit code 1.
    b.clearTable();
    int first = b.lab().spawn("pc", {binDir() + "/Beaconry"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RunResult second = b.beaconry();
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(b.lab().wait(first, 10000), 0);
    for (const char* name : {kavo::settings::kApIpAddress, kavo::settings::kApVersion}) {
        auto v = b.value(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->data, std::vector<std::uint8_t>{0}) << name;
    }

    // Port 162 held by another program: exit code 1, nothing written.
    b.clearTable();
    int holder = b.lab().spawn("pc", {binDir() + "/udp-probe", "listen", "162", "20000"});
    ASSERT_TRUE(waitForText(b.lab().logPath(holder) + ".out", "READY", 5000));
    auto start = std::chrono::steady_clock::now();
    r = b.beaconry();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_LT(took, std::chrono::milliseconds(1000));  // at once, not after the window
    EXPECT_FALSE(b.value(kavo::settings::kApIpAddress));
    EXPECT_FALSE(b.value(kavo::settings::kApVersion));
    b.lab().stop(holder);

    // The program under another name does not find its folder, so not its
    // MIB file: the frame cannot be made.
    std::string renamed = b.env().root() + "/renamed/";
    fs::create_directories(renamed);
    fs::copy_file(binDir() + "/Beaconry", renamed + "Other");
    fs::copy_file(binDir() + "/AT76C510.mib", renamed + "AT76C510.mib");
    r = b.beaconry(renamed + "Other");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Failed to create empty document.\n");
    EXPECT_FALSE(b.value(kavo::settings::kApIpAddress));
}

TEST(BeaconrySystem, ThreeHundredAgentsFillTheTableAndMarkTheOverflow)
{
    SKIP_WITHOUT_LAB();
    BeaconryLab b("10.77.6.1");
    b.lab().addHost("aps", "10.77.6.2");
    // 300 addresses from 10.77.7.1 upwards, passing over .0 and .255, as ap-sim counts them.
    std::map<std::string, int> number;
    std::string batch;
    for (int n = 1, a = 7 * 256 + 1; n <= 300; ++a) {
        if (a % 256 == 0 || a % 256 == 255)
            continue;
        std::string address = "10.77." + std::to_string(a / 256) + "." + std::to_string(a % 256);
        number[address] = n++;
        batch += "addr add " + address + "/24 dev eth0\n";
    }
    std::string batchFile = b.env().writeFile("addresses.batch", batch);
    RunResult added = b.lab().run("aps", {"ip", "-batch", batchFile});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    b.startApSim("aps", {"--source-first", "10.77.7.1", "--source-count", "300", "--description",
                         "KAVO WLAN AP v. N{n}"});

    RunResult r = b.beaconry();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto addresses = split(b.text(kavo::settings::kApIpAddress));
    auto versions = split(b.text(kavo::settings::kApVersion));
    ASSERT_EQ(addresses.size(), 257u);
    EXPECT_EQ(addresses.back(), ">256");
    ASSERT_EQ(versions.size(), 256u);
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < 256; ++i) {
        ASSERT_TRUE(number.count(addresses[i])) << addresses[i];
        EXPECT_EQ(versions[i], "N" + std::to_string(number[addresses[i]])) << addresses[i];
        distinct.insert(addresses[i]);
    }
    EXPECT_EQ(distinct.size(), 256u);
}

}  // namespace
