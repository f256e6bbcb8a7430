#include "NetLab.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace kavo::test;

namespace {

TEST(NetLab, ABroadcastFromThePcReachesEveryApAndNothingIsLeftBehind)
{
    if (auto why = NetLab::skipReason(); !why.empty())
        GTEST_SKIP() << why;
    std::string prefix;
    {
        NetLab lab;
        prefix = lab.prefix();
        lab.addHost("pc", "10.77.0.1");
        lab.addHost("ap1", "10.77.0.11");
        lab.addHost("ap2", "10.77.0.12");
        lab.writeHosts("pc", "10.77.0.11 ap1\n10.77.0.12 ap2\n");
        std::string probe = binDir() + "/udp-probe";
        int l1 = lab.spawn("ap1", {probe, "listen", "9161", "5000"});
        int l2 = lab.spawn("ap2", {probe, "listen", "9161", "5000"});
        ASSERT_TRUE(waitForText(lab.logPath(l1) + ".out", "READY", 5000));
        ASSERT_TRUE(waitForText(lab.logPath(l2) + ".out", "READY", 5000));

        auto sent = lab.run("pc", {probe, "send", "255.255.255.255", "9161", "hello-aps"});
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
        EXPECT_TRUE(waitForText(lab.logPath(l1) + ".out", "FROM 10.77.0.1 hello-aps", 3000));
        EXPECT_TRUE(waitForText(lab.logPath(l2) + ".out", "FROM 10.77.0.1 hello-aps", 3000));

        // The hosts file is the namespace's own.
        auto hosts = lab.run("pc", {"getent", "hosts", "ap2"});
        EXPECT_NE(hosts.out.find("10.77.0.12"), std::string::npos) << hosts.out << hosts.err;
        EXPECT_FALSE(NetLab::leftovers(prefix).empty());
    }
    EXPECT_EQ(NetLab::leftovers(prefix), std::vector<std::string>{});
    auto links = runProgram("ip", {"-o", "link", "show"});
    EXPECT_EQ(links.out.find(prefix), std::string::npos);
}

}  // namespace
