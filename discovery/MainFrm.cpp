#include "MainFrm.h"

#include "TrapListener.h"

#include "Platform.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <cstdio>

namespace marlin {

CMainFrame* g_pMainFrame = nullptr;

namespace {

constexpr std::size_t kPathBuffer = 500;

const unsigned kIndicators[] = {
    ID_SEPARATOR,  // the message pane
    ID_INDICATOR_CAPS,
    ID_INDICATOR_NUM,
    ID_INDICATOR_SCRL,
};

}  // namespace

CMainFrame::CMainFrame(const DiscoveryConfig& config) : m_config(config)
{
    // The program's folder is where the program file of this name lies;
    // under another name it is not found and the MIB path stays empty.
    m_bTrapListenerMade = 0;
    std::string name = std::string(kProgramName) + kavo::platform::kExeSuffix;
    std::string own = kavo::platform::ownProgramFile();
    std::string folder = own.substr(0, own.find_last_of(kavo::platform::kSeparator) + 1);
    std::string found;
    std::size_t length = folder.empty() ? 0 : kavo::platform::searchPath(folder, name, &found, kPathBuffer);
    if (length > 0 && length < kPathBuffer) {
        m_strProgramDir = found.substr(0, found.size() - name.size());
        m_strMibPath = m_strProgramDir + kMibFileName;
    }
    g_pMainFrame = this;
}

CMainFrame::~CMainFrame()
{
    DestroyWindow();
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
}

bool CMainFrame::PreCreateWindow(CREATESTRUCT& cs)
{
    if (!CFrameWnd::PreCreateWindow(cs))
        return false;
    // Every style bit but WS_VISIBLE: the frame is never meant to be seen.
    cs.style = 0xEFFFFFFF;
    return true;
}

int CMainFrame::OnCreate()
{
    if (CFrameWnd::OnCreate() == -1)
        return -1;
    if (!CreateSnmpObjects())
        return -1;
    try {
        m_pTrapListener = new CTrapListener(this);
    } catch (const std::exception&) {
        return -1;
    }
    m_bTrapListenerMade = 1;
    if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(kIndicators, 4))
        return -1;

    m_nRequestId = 0;
    m_bDiscovering = 0;
    m_nApCount = 0;
    m_nDiscoveryTimer = 0;
    m_bApOverflow = 0;
    m_bFirstActivation = 1;

    OpenSocket();
    try {
        LoadMib();
    } catch (const snmp::SnmpError&) {
        return -1;
    }
    return 0;
}

bool CMainFrame::OnCreateClient()
{
    return true;  // no view, no splitter, no toolbar
}

bool CMainFrame::CreateSnmpObjects()
{
    return MakeSnmpObjects();
}

bool CMainFrame::OpenSocket()
{
    try {
        if (!m_pSocket)
            throw snmp::SnmpError("no socket");
        if (m_pSocket->LocalPort() != 0)
            return true;
        m_pSocket->Timeout(m_config.socketTimeoutMs);
        m_pSocket->Open(0, "");
    } catch (const snmp::SnmpError&) {
        throw ProcessExit{kExitSocket};
    }
    return true;
}

void CMainFrame::LoadMib()
{
    m_pMib->Load(m_strMibPath);
}

void CMainFrame::OnActivate(unsigned state)
{
    CFrameWnd::OnActivate(state);
    if (state == WA_ACTIVE && m_bFirstActivation) {
        m_bFirstActivation = 0;
        StartDiscovery();
    }
}

void CMainFrame::StartDiscovery()
{
    m_bDiscovering = 1;
    m_nApCount = 0;
    if (!SendRequest(m_config.requestAddress, kCommunity)) {
        // Without its timer the run would never end: it ends now, with
        // what it has (nothing), and so does the program.
        m_bDiscovering = 0;
        WriteResults();
        PostCommand(ID_APP_EXIT);
    }
}

bool CMainFrame::SendRequest(const std::string& address, const std::string& community)
{
    m_nDiscoveryTimer = SetTimer(kDiscoveryTimerId, m_config.collectionWindowMs);
    if (m_nDiscoveryTimer == 0)
        return false;
    try {
        if (!m_pSocket || m_pSocket->State() == snmp::SnmpSocket::StateClosed)
            return true;
        snmp::SnmpVariable variable;
        variable.Name(m_pMib->NameToOid(kRequestName) + ".0");
        m_pSocket->Timeout(m_config.socketTimeoutMs);
        m_pSocket->RemoteAddress(address);
        m_pSocket->RemotePort(m_config.agentPort);
        snmp::SnmpMessage& message = m_pSocket->Message();
        message.Clear();
        message.Community(community);
        message.Variables().Add(variable);
        message.Type(snmp::SnmpMessage::GetRequest);
        message.RequestId(m_nRequestId);
        ++m_nRequestId;
        m_pSocket->Send();
    } catch (const snmp::SnmpError&) {
        // The request is abandoned; the timer still ends the run.
    }
    return true;
}

void CMainFrame::OnResponse()
{
    if (!m_bDiscovering || !m_pSocket)
        return;
    const snmp::SnmpMessage& message = m_pSocket->Message();
    if (message.ErrorStatus() != 0)
        return;

    std::string address = m_pSocket->RemoteAddress();
    for (std::uint16_t i = 0; i < m_nApCount; ++i)
        if (m_apTable[i].m_strAddress == address)
            return;  // the first reply of an agent is the one kept
    // A full table only counts the agent: its reply is not read.
    if (m_nApCount == m_apTable.size()) {
        m_bApOverflow = 1;
        return;
    }
    // A reply without a first binding, or with a value that has no text, is
    // not an agent we can record.
    std::string description;
    try {
        description = message.Variables().Item(1).Value();
    } catch (const snmp::SnmpError&) {
        return;
    }
    // The description is text: it ends at its first zero byte.
    description.resize(std::min(description.size(), description.find('\0')));
    m_apTable[m_nApCount].m_strAddress = address;
    m_apTable[m_nApCount].m_strDescription = description;
    ++m_nApCount;
}

void CMainFrame::OnError(std::int32_t, std::int32_t) {}

void CMainFrame::OnTimer(std::uintptr_t id)
{
    if (id == m_nDiscoveryTimer && m_bDiscovering) {
        EndDiscovery();
        PostCommand(ID_APP_EXIT);
    }
    CFrameWnd::OnTimer(id);
}

void CMainFrame::EndDiscovery()
{
    KillTimer(m_nDiscoveryTimer);
    m_nDiscoveryTimer = 0;
    m_bDiscovering = 0;
    WriteResults();
}

ApTableTexts FormatApTable(const ApEntry* entries, std::size_t count, bool overflow)
{
    ApTableTexts t;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& d = entries[i].m_strDescription;
        std::string version = d.size() > kVersionStart ? d.substr(kVersionStart, kVersionLength) : std::string();
        // A "," would split the item and pair every later version with the
        // wrong address: such a version is not available.
        if (version.find(',') != std::string::npos)
            version.clear();
        if (i) {
            t.addresses += ',';
            t.versions += ',';
        }
        t.addresses += entries[i].m_strAddress;
        t.versions += version;
    }
    if (overflow) {
        char marker[16];
        std::snprintf(marker, sizeof marker, kavo::settings::kOverflowFormat, kavo::settings::kApTableSize);
        t.addresses += marker;
    }
    return t;
}

void CMainFrame::WriteResults()
{
    ApTableTexts t = FormatApTable(m_apTable.data(), m_nApCount, m_bApOverflow != 0);
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath,
                                       kavo::Access::All, true);
    if (!key)
        return;
    key->writeString(kavo::settings::kApIpAddress, t.addresses);
    key->writeString(kavo::settings::kApVersion, t.versions);
}

void CMainFrame::OnDestroy()
{
    CFrameWnd::OnDestroy();
    if (m_nDiscoveryTimer) {
        KillTimer(m_nDiscoveryTimer);
        m_nDiscoveryTimer = 0;
    }
    if (m_bTrapListenerMade && m_pTrapListener) {
        delete m_pTrapListener;
        m_pTrapListener = nullptr;
    }
}

}  // namespace marlin
