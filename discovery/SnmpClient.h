// The base that couples an object to one SNMP socket and one MIB object:
// it is the socket's event sink. The handlers do nothing here; the frame
// and the trap listener override the ones they need.
#pragma once

#include "snmp/SnmpEvents.h"
#include "snmp/SnmpMib.h"
#include "snmp/SnmpSocket.h"

#include <cstdint>
#include <memory>

namespace marlin {

// Exit codes: 0 after a run; 1 when a socket cannot be opened; 2 when the
// frame window cannot be created.
inline constexpr int kExitSocket = 1;
inline constexpr int kExitCreation = 2;

// Ends the process at once with `code`, past every handler (the sockets
// that cannot be opened). Deliberately not a std::exception.
struct ProcessExit {
    int code;
};

class CSnmpClient : public snmp::ISnmpEvents {
public:
    CSnmpClient() = default;
    CSnmpClient(const CSnmpClient&) = delete;
    CSnmpClient& operator=(const CSnmpClient&) = delete;

    // Ends the event connection and lets go of the connection point.
    virtual void Disconnect();
    virtual ~CSnmpClient();

    void OnError(std::int32_t code, std::int32_t detail) override;
    void OnResponse() override;
    void OnEvent4() override;
    void OnTrap() override;

    // The sink's count: the socket holds it while connected. The sink lives
    // in its owner and is never deleted through it; at zero it releases the
    // socket.
    void AddRef() override;
    void Release() override;

    snmp::SnmpSocket* socket() const { return m_pSocket.get(); }
    snmp::SnmpMib* mib() const { return m_pMib.get(); }

protected:
    // Makes the socket with its event connection, then the MIB object.
    // False when either cannot be made; nothing is kept then.
    bool MakeSnmpObjects();

    std::uint32_t m_dwCookie = 0;
    snmp::SnmpSocket* m_pConnPoint = nullptr;
    std::int32_t m_nRef = 0;
    std::unique_ptr<snmp::SnmpSocket> m_pSocket;
    std::unique_ptr<snmp::SnmpMib> m_pMib;
};

}  // namespace marlin
