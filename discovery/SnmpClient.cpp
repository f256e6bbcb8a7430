#include "SnmpClient.h"

namespace marlin {

void CSnmpClient::Disconnect()
{
    if (!m_pConnPoint)
        return;
    snmp::SnmpSocket* point = m_pConnPoint;
    m_pConnPoint = nullptr;
    try {
        point->Unadvise(m_dwCookie);
    } catch (const snmp::SnmpError&) {
    }
    m_dwCookie = 0;
}

CSnmpClient::~CSnmpClient()
{
    Disconnect();
    m_pMib.reset();
    m_pSocket.reset();
}

void CSnmpClient::OnError(std::int32_t, std::int32_t) {}
void CSnmpClient::OnResponse() {}
void CSnmpClient::OnEvent4() {}
void CSnmpClient::OnTrap() {}

void CSnmpClient::AddRef()
{
    ++m_nRef;
}

void CSnmpClient::Release()
{
    if (--m_nRef == 0)
        m_pSocket.reset();
}

bool CSnmpClient::MakeSnmpObjects()
{
    try {
        m_pSocket = std::make_unique<snmp::SnmpSocket>();
        m_pConnPoint = m_pSocket.get();
        m_dwCookie = m_pConnPoint->Advise(this);
        m_pMib = std::make_unique<snmp::SnmpMib>();
    } catch (const std::exception&) {
        Disconnect();
        m_pSocket.reset();
        m_pMib.reset();
        return false;
    }
    return true;
}

}  // namespace marlin
