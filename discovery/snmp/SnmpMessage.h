// One SNMP message as the components present it: community, request
// identifier, error status, type and the variable bindings.
#pragma once

#include "Ber.h"

#include <cstdint>
#include <string>
#include <vector>

namespace snmp {

// One variable binding: `Name` the dotted object identifier, `Value` the
// value as text.
class SnmpVariable {
public:
    SnmpVariable() = default;
    explicit SnmpVariable(ber::Binding binding) : m_binding(std::move(binding)) {}

    std::string Name() const;
    // Throws SnmpError for text that is not a dotted object identifier.
    void Name(const std::string& dotted);
    // Throws SnmpError when the value has no text form (null, an exception
    // value such as noSuchObject, an opaque value).
    std::string Value() const;

    const ber::Binding& binding() const { return m_binding; }

private:
    ber::Binding m_binding;  // a null value until one arrives
};

class SnmpVariables {
public:
    void Add(const SnmpVariable& variable) { m_items.push_back(variable); }
    // The binding at `index`, counted from 1. Throws SnmpError out of range.
    const SnmpVariable& Item(int index) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    void Clear() { m_items.clear(); }

private:
    std::vector<SnmpVariable> m_items;
};

class SnmpMessage {
public:
    // The `Type` numbers: 32 plus the number of the protocol data unit.
    enum Type : int {
        GetRequest = 32,
        GetNextRequest = 33,
        GetResponse = 34,
        SetRequest = 35,
        Trap = 36,
        GetBulkRequest = 37,
        InformRequest = 38,
        TrapV2 = 39,
        Report = 40,
    };

    SnmpMessage() = default;
    // The message of a decoded datagram.
    explicit SnmpMessage(const ber::Message& decoded);

    // Empties the message: no bindings, no community, identifier and status 0,
    // a get request of SNMPv1.
    void Clear();

    std::string Community() const { return m_community; }
    void Community(const std::string& community) { m_community = community; }
    std::int32_t ErrorStatus() const { return m_errorStatus; }
    void ErrorStatus(std::int32_t status) { m_errorStatus = status; }
    std::int32_t ErrorIndex() const { return m_errorIndex; }
    std::int32_t RequestId() const { return m_requestId; }
    void RequestId(std::int32_t id) { m_requestId = id; }
    int Type() const { return m_type; }
    // Throws SnmpError for a number that names no message type.
    void Type(int type);
    int Version() const { return m_version; }
    SnmpVariables& Variables() { return m_variables; }
    const SnmpVariables& Variables() const { return m_variables; }

    // The datagram for this message. Throws SnmpError for a message that
    // cannot be sent (an SNMPv1 trap, a name that cannot be encoded).
    std::vector<std::uint8_t> encode() const;

private:
    int m_version = ber::kVersion1;
    std::string m_community;
    std::int32_t m_requestId = 0;
    std::int32_t m_errorStatus = 0;
    std::int32_t m_errorIndex = 0;
    int m_type = GetRequest;
    SnmpVariables m_variables;
};

}  // namespace snmp
