// What the SNMP components share: the failure every failed call throws and
// the event interface a socket calls on its connected sinks.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace snmp {

// A failed component call.
class SnmpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The socket's event interface. The event numbers are those of the
// components' dispatch identifiers: 1 a response arrived, 2 a trap arrived,
// 3 an error, 4 an event that carries nothing for us. A socket holds a
// reference on each connected sink (AddRef when advised, Release when
// unadvised).
class ISnmpEvents {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;

    virtual void OnResponse() = 0;                                  // 1
    virtual void OnTrap() = 0;                                      // 2
    virtual void OnError(std::int32_t code, std::int32_t detail) = 0;  // 3
    virtual void OnEvent4() = 0;                                    // 4

protected:
    ~ISnmpEvents() = default;
};

}  // namespace snmp
