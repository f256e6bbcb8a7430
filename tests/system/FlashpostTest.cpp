// Flashpost in network namespaces, with the real port 69 and the real
// timings: a PC uploads to ap-sim on an AP host across a bridge.
#include "NetLab.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <thread>

using namespace kavo::test;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kApAddress = "10.77.0.11";

// When `text` appears in the file (polled every 10 ms); nullopt on time-out.
std::optional<Clock::time_point> whenSeen(const std::string& file, const std::string& text, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (readFile(file).find(text) != std::string::npos)
            return Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// The line of ap-sim's output holding its report.
std::string reportLine(const std::string& out)
{
    auto at = out.find("{\"valid\"");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
}

class FlashpostSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (auto why = NetLab::skipReason(); !why.empty())
            GTEST_SKIP() << why;
        lab = std::make_unique<NetLab>();
        lab->addHost("pc", "10.77.0.1");
        lab->addHost("ap", kApAddress);
    }

    // The firmware file and list in the PC's temporary folder, the AP's address in the key.
    std::string prepare(std::size_t size)
    {
        std::mt19937 rng(static_cast<unsigned>(size));
        std::string bytes(size, '\0');
        for (auto& c : bytes)
            c = static_cast<char>(rng());
        env.writeFile("tmp/pkg/fw.bin", bytes);
        env.writeFile("tmp/APfirmware.txt", "pkg\\fw.bin $0\r\n");
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
        EXPECT_TRUE(key && key->writeString(kavo::settings::kIpAddress, kApAddress));
        return bytes;
    }

    int startSim(std::vector<std::string> options)
    {
        std::vector<std::string> cmd = {binDir() + "/ap-sim", "tftp", "--out", image()};
        cmd.insert(cmd.end(), options.begin(), options.end());
        int sim = lab->spawn("ap", cmd);
        EXPECT_TRUE(whenSeen(lab->logPath(sim) + ".out", "{\"listening\":69}", 10000))
            << readFile(lab->logPath(sim) + ".err");
        return sim;
    }

    int startFlashpost()
    {
        return lab->spawn("pc", {"env", "QT_QPA_PLATFORM=offscreen", "QT_LOGGING_RULES=kavo.flashpost.status=true",
                                 binDir() + "/Flashpost"});
    }

    std::string status(int fp) const { return readFile(lab->logPath(fp) + ".err"); }
    std::string image() const { return env.root() + "/received.bin"; }

    std::optional<kavo::RawValue> lastUpdate()
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        return key ? key->readRaw(kavo::settings::kLastUpdate) : std::nullopt;
    }

    IsolatedEnv env;
    std::unique_ptr<NetLab> lab;
};

TEST_F(FlashpostSystem, A70000ByteUploadCompletesSixSecondsAfterTheLastAck)
{
    const std::string bytes = prepare(70000);
    const int sim = startSim({});
    const int fp = startFlashpost();
    auto lastAck = whenSeen(lab->logPath(sim) + ".out", "{\"valid\"", 30000);
    ASSERT_TRUE(lastAck) << status(fp);
    EXPECT_FALSE(lastUpdate()) << "written before the flash wait";
    auto done = whenSeen(lab->logPath(fp) + ".err", "status [Transfer Completed]", 10000);
    ASSERT_TRUE(done) << status(fp);
    const double wait = seconds(*lastAck, *done);
    EXPECT_GT(wait, 5.8);
    EXPECT_LT(wait, 6.6);

    const std::string report = reportLine(readFile(lab->logPath(sim) + ".out"));
    EXPECT_NE(report.find("\"valid\":true"), std::string::npos) << report;
    EXPECT_NE(report.find("\"blocks\":137"), std::string::npos) << report;
    EXPECT_NE(report.find("\"requests\":1,"), std::string::npos) << report;
    EXPECT_TRUE(readFile(image()) == bytes);
    auto last = lastUpdate();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->data, (std::vector<std::uint8_t>{'1', 0, 0, 0}));
    const std::string shown = status(fp);
    EXPECT_LT(shown.find("status [ Please wait... ]"), shown.find("status [Transfer in progress]"));
    EXPECT_LT(shown.find("status [Flash Programming in progress ...  ]"), shown.find("status [Transfer Completed]"));
    lab->stop(fp);
}

TEST_F(FlashpostSystem, AnUploadWithATenthOfThePacketsLostEachWayStillCompletes)
{
    const std::string bytes = prepare(20000);
    const int sim = startSim({"--drop", "0.1", "--seed", "3"});
    const int fp = startFlashpost();
    ASSERT_TRUE(whenSeen(lab->logPath(fp) + ".err", "status [Transfer Completed]", 150000)) << status(fp);
    const std::string report = reportLine(readFile(lab->logPath(sim) + ".out"));
    EXPECT_NE(report.find("\"valid\":true"), std::string::npos) << report;
    EXPECT_TRUE(readFile(image()) == bytes);
    EXPECT_TRUE(lastUpdate());
    EXPECT_EQ(status(fp).find("Transfer failed"), std::string::npos) << status(fp);
    lab->stop(fp);
}

TEST_F(FlashpostSystem, ASilentApTimesOutTwentySecondsAfterTheFirstSend)
{
    prepare(5000);
    const int sim = startSim({"--silent"});
    const int fp = startFlashpost();
    auto first = whenSeen(lab->logPath(fp) + ".err", "status [ Please wait... ]", 10000);
    ASSERT_TRUE(first) << status(fp);
    auto timedOut = whenSeen(lab->logPath(fp) + ".err", "status [ Timed out... ]", 30000);
    ASSERT_TRUE(timedOut) << status(fp);
    const double after = seconds(*first, *timedOut);
    EXPECT_GT(after, 19.8);
    EXPECT_LT(after, 20.6);
    lab->stop(fp);
    lab->stop(sim);
    const std::string report = reportLine(readFile(lab->logPath(sim) + ".out"));
    EXPECT_NE(report.find("\"requests\":10,"), std::string::npos) << report;
    EXPECT_NE(report.find("\"request_ok\":true"), std::string::npos) << report;
    EXPECT_FALSE(lastUpdate());
}

// The real window on a display with a window manager: during the flash
// wait Esc and the close box do not end Flashpost (the completion is still
// recorded); once the result is shown, Esc ends it.
TEST_F(FlashpostSystem, EscAndTheCloseBoxWaitForTheResult)
{
    XSession x;
    if (!x.ready())
        GTEST_SKIP() << x.whyNot();
    prepare(20000);
    startSim({});
    const int fp = lab->spawn("pc", {"env", "QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.display(),
                                     "QT_LOGGING_RULES=kavo.flashpost.status=true", binDir() + "/Flashpost"});
    const unsigned long window = x.waitForWindow(" Upgrade AP firmware message", 15000);
    ASSERT_NE(window, 0u) << status(fp);
    ASSERT_TRUE(whenSeen(lab->logPath(fp) + ".err", "status [Flash Programming in progress ...  ]", 30000))
        << status(fp);
    ASSERT_TRUE(XSession::waitUntil([&] { return x.activeWindow() == window; }, 3000));
    EXPECT_TRUE(x.key("Escape"));
    x.close(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(lab->running(fp)) << "ended during the flash wait";
    EXPECT_FALSE(lastUpdate());

    ASSERT_TRUE(whenSeen(lab->logPath(fp) + ".err", "status [Transfer Completed]", 10000)) << status(fp);
    EXPECT_TRUE(lastUpdate());
    EXPECT_TRUE(x.key("Escape"));
    EXPECT_EQ(lab->wait(fp, 5000), 0) << "Esc with \"OK\" enabled ends the program";
}

}  // namespace
