// The AP search with the real discovery program: Beaconry runs in the PC
// host of a small lab of network namespaces and finds the snmpd agents of
// two access points; the wizard reads its table and the user picks one.
// Needs root (network namespaces); skipped otherwise.
#include "ApSearch.h"
#include "AplistTestSupport.h"
#include "NetLab.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace kavo::test;
namespace fs = std::filesystem;

namespace {

TEST(ApSearchLab, FindsTheAgentsOfTheLabAndWritesTheChosenOne)
{
    if (auto why = NetLab::skipReason(); !why.empty())
        GTEST_SKIP() << why;
    IsolatedEnv env;
    NetLab lab;
    lab.addHost("pc", "10.77.0.1");
    const std::pair<const char*, const char*> aps[] = {
        {"10.77.0.11", "KAVO-AP-510 Ver:1.4.2b rev 3"},
        {"10.77.0.12", "KAVO-AP-510 Ver:1.3.0c"},
    };
    int n = 0;
    for (const auto& [address, description] : aps) {
        std::string host = "ap" + std::to_string(++n);
        lab.addHost(host, address);
        std::string conf = env.writeFile(host + ".conf",
                                         std::string("rocommunity public default\nsysDescr ") + description + "\n");
        std::string state = env.root() + "/state-" + host;
        fs::create_directories(state);
        lab.spawn(host, {"env", "SNMP_PERSISTENT_DIR=" + state, "MIBS=", "snmpd", "-f", "-Lo", "-C", "-c", conf,
                         "udp:161"});
        bool answers = false;
        for (int i = 0; i < 50 && !answers; ++i)
            answers = lab.run("pc", {"env", "SNMP_PERSISTENT_DIR=" + state, "MIBS=", "snmpget", "-v1", "-c",
                                     "public", "-r", "0", "-t", "0.2", address, "1.3.6.1.2.1.1.1.0"})
                          .exitCode == 0;
        ASSERT_TRUE(answers) << "snmpd on " << host;
    }

    // The wizard's program folder: "Beaconry" there runs the real one inside the PC host.
    std::string appDir = env.root() + "/app";
    std::string launcher = env.writeFile("app/Beaconry", "#!/bin/sh\nexec ip netns exec " + lab.ns("pc") + " " +
                                                             binDir() + "/Beaconry\n");
    ::chmod(launcher.c_str(), 0755);

    TFormAPList dialog;
    aplist_test::WhenShown pick(dialog, [](TFormAPList& d) {
        for (int i = 0; i < d.ListView1->topLevelItemCount(); ++i)
            if (d.ListView1->topLevelItem(i)->text(0) == "10.77.0.12")
                d.ListView1->setCurrentItem(d.ListView1->topLevelItem(i));
        QTest::mouseClick(d.bbtnOK, Qt::LeftButton);
    });
    std::string version = "0";
    EXPECT_TRUE(tidewell::SearchAccessPoints(nullptr, dialog, appDir, version));
    ASSERT_TRUE(pick.shown);

    std::set<std::pair<std::string, std::string>> rows;
    for (const auto& [caption, v] : pick.seen.rows)
        rows.emplace(caption, v.value_or("<none>"));
    EXPECT_EQ(rows, (std::set<std::pair<std::string, std::string>>{{"10.77.0.11", "1.4.2b"},
                                                                   {"10.77.0.12", "1.3.0c"}}));
    EXPECT_TRUE(pick.seen.automatic);
    EXPECT_EQ(aplist_test::storedValue(kavo::settings::kIpAddress), std::string("10.77.0.12\0", 11));
    EXPECT_EQ(version, "130c");
}

}  // namespace
