// The trap listener: a second SNMP socket on the trap port for as long as
// the frame window lives. Traps are accepted and dropped.
#pragma once

#include "SnmpClient.h"

namespace marlin {

class CMainFrame;

class CTrapListener : public CSnmpClient {
public:
    // Makes and opens the socket on the trap port and loads the owner's MIB
    // file. A port that cannot be bound throws ProcessExit{kExitSocket}; any other
    // failure throws SnmpError.
    explicit CTrapListener(CMainFrame* pOwner);

    void OnTrap() override;
    void OnError(std::int32_t code, std::int32_t detail) override;

    CMainFrame* m_pOwner;
};

}  // namespace marlin
