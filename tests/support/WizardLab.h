// The wizard in the PC host of a lab of network namespaces, with the real
// Beaconry and Flashpost beside it and ap-sim as the access point.
//
// One test runs twice: on this machine it builds the lab and starts the
// peers, then runs itself again (the same test binary and filter) inside the
// PC namespace under "ip netns exec"; there WizardLab::inPc() is true and
// the test drives the wizard through its widgets. The run inside inherits
// this run's environment (so the same private registry and temporary
// folder: create IsolatedEnv before runInPc, and never inside), and starts
// in the folder of the built programs, so the wizard finds Beaconry and
// Flashpost there. While it runs, a watcher closes each Flashpost once its
// status line shows a result (Flashpost waits for its user).
//
//   TEST(MyLab, Something) {
//       if (WizardLab::inPc()) { /* drive TFormMain; EXPECT_... */ return; }
//       if (auto why = NetLab::skipReason(); !why.empty()) GTEST_SKIP() << why;
//       IsolatedEnv env;
//       WizardLab lab;                 // hosts "pc" and "ap"
//       lab.startAp("KAVO-AP-510 Ver:1.3.0c");
//       auto run = lab.runInPc();      // the body above, inside the PC host
//       EXPECT_EQ(run.exitCode, 0) << run.err;
//       EXPECT_EQ(readFile(lab.image()), firmware);
//   }
//
// More hosts (an update server with vsftpd, say) go on lab.net() before
// runInPc; lab.net().writeHosts("pc", ...) maps names inside the PC host.
#pragma once

#include "NetLab.h"

#include <functional>
#include <string>
#include <vector>

namespace kavo::test {

class WizardLab {
public:
    static constexpr const char* kPcAddress = "10.77.0.1";
    static constexpr const char* kApAddress = "10.77.0.11";

    // Whether this process is the run inside the PC host.
    static bool inPc();

    WizardLab();  // hosts "pc" and "ap"; needs root (check NetLab::skipReason first)
    ~WizardLab();

    NetLab& net() { return m_net; }

    // ap-sim on the AP host: the SNMP side answering with `description` and
    // the TFTP side storing what it receives in image(), with these extra
    // options. Waits until both listen.
    void startAp(const std::string& description, const std::vector<std::string>& tftpOptions = {});
    std::string image() const { return m_image; }
    // ap-sim's TFTP output (its report line is the JSON one with "valid").
    std::string apReport() const;

    struct PcRun {
        int exitCode = -1;  // the test binary's; -1 when it did not end in time
        std::string out, err;
        std::vector<std::string> flashpostResults;  // the result each closed Flashpost showed
    };
    // Runs the current test again inside the PC host and waits for it.
    // `environment` adds NAME=VALUE pairs (QT_QPA_PLATFORM=xcb, DISPLAY=...).
    PcRun runInPc(int timeoutMs = 180000, const std::vector<std::string>& environment = {});

    // Called with Flashpost's process id and its result text just before the
    // watcher closes it (a test may take a picture of the screen here).
    std::function<void(long pid, const std::string& result)> beforeClosingFlashpost;
    // How long a Flashpost may run without showing a result before it is closed.
    int flashpostLimitMs = 90000;

private:
    NetLab m_net;
    std::string m_image;
    int m_tftp = -1;
};

// A picture of the whole screen, KAVO_SCREENSHOT_DIR/<name>.png, when that
// variable names a folder and DISPLAY a display (import from imagemagick);
// whether one was taken.
bool screenshot(const std::string& name);

// The status texts Flashpost shows while an upload is still on its way;
// any other status is its result.
bool flashpostStillWorking(const std::string& status);

}  // namespace kavo::test
