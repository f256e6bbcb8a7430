#include "TrapListener.h"

#include "MainFrm.h"

namespace marlin {

CTrapListener::CTrapListener(CMainFrame* pOwner) : m_pOwner(pOwner)
{
    MakeSnmpObjects();
    if (!m_pSocket || !m_pMib)
        throw snmp::SnmpError("the trap listener's objects were not made");
    if (m_pSocket->LocalPort() == 0) {
        try {
            m_pSocket->Timeout(m_pOwner->config().socketTimeoutMs);
            m_pSocket->Open(m_pOwner->config().trapPort, "");
        } catch (const snmp::SnmpError&) {
            throw ProcessExit{kExitSocket};
        }
    }
    m_pMib->Load(m_pOwner->m_strMibPath);
}

void CTrapListener::OnTrap()
{
    // The sender is read and the trap goes no further.
    if (m_pSocket)
        (void)m_pSocket->RemoteAddress();
}

void CTrapListener::OnError(std::int32_t, std::int32_t) {}

}  // namespace marlin
