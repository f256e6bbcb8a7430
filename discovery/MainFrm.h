// The main frame window of Beaconry: it never shows itself; it holds the
// discovery. At its first activation it broadcasts one get request for
// sysDescr.0, collects the distinct agents that answer for the collection
// window, writes the AP table to the shared settings key and ends the
// program.
#pragma once

#include "DiscoveryConfig.h"
#include "FrameWnd.h"
#include "SnmpClient.h"

#include <array>
#include <cstdint>
#include <string>

namespace marlin {

class CTrapListener;

// One agent found: the text of the first binding of its reply, and its
// address in dotted form as the socket reports it.
struct ApEntry {
    std::string m_strDescription;
    std::string m_strAddress;
};

inline constexpr const char* kProgramName = "Beaconry";
inline constexpr const char* kMibFileName = "AT76C510.mib";
inline constexpr const char* kCommunity = "public";
inline constexpr const char* kRequestName = "sysDescr";
inline constexpr std::uintptr_t kDiscoveryTimerId = 1;
// The version text: six characters of the description from index 16.
inline constexpr std::size_t kVersionStart = 16;
inline constexpr std::size_t kVersionLength = 6;

class CMainFrame : public CFrameWnd, public CSnmpClient {
    Q_OBJECT
public:
    explicit CMainFrame(const DiscoveryConfig& config = {});
    ~CMainFrame() override;

    // Makes the socket (with its event connection) and the MIB object.
    bool CreateSnmpObjects();
    // Opens the main socket on any port; a socket that cannot be opened
    // throws ProcessExit{kExitSocket}.
    bool OpenSocket();
    // Loads the MIB file; throws SnmpError when it cannot be loaded.
    void LoadMib();
    void StartDiscovery();
    void EndDiscovery();

    void OnResponse() override;
    void OnError(std::int32_t code, std::int32_t detail) override;

    const DiscoveryConfig& config() const { return m_config; }
    const CStatusBar& statusBar() const { return m_wndStatusBar; }

    // Window members.
    std::uint8_t m_bFirstActivation = 0;
    CStatusBar m_wndStatusBar;
    std::uint8_t m_bTrapListenerMade = 0;
    std::string m_strProgramDir;  // ends with a separator

    // Discovery members.
    std::int32_t m_nRequestId = 0;
    CTrapListener* m_pTrapListener = nullptr;
    std::int32_t m_bDiscovering = 0;
    std::uint16_t m_nApCount = 0;
    std::array<ApEntry, 256> m_apTable;
    std::uint8_t m_bApOverflow = 0;
    std::uintptr_t m_nDiscoveryTimer = 0;
    std::string m_strMibPath;

protected:
    bool PreCreateWindow(CREATESTRUCT& cs) override;
    int OnCreate() override;
    bool OnCreateClient() override;
    void OnActivate(unsigned state) override;
    void OnTimer(std::uintptr_t id) override;
    void OnDestroy() override;

    // Starts the collection timer and sends one get request for sysDescr.0.
    // False only when the timer cannot be started; a request that cannot be
    // built or sent is abandoned without a word.
    bool SendRequest(const std::string& address, const std::string& community);
    void WriteResults();

private:
    DiscoveryConfig m_config;
};

// The AP table's two texts for the agents found.
struct ApTableTexts {
    std::string addresses;
    std::string versions;
};
ApTableTexts FormatApTable(const ApEntry* entries, std::size_t count, bool overflow);

// The frame of this run (the one frame a program makes).
extern CMainFrame* g_pMainFrame;

}  // namespace marlin
