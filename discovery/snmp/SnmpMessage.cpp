#include "SnmpMessage.h"

#include "SnmpEvents.h"

namespace snmp {

std::string SnmpVariable::Name() const
{
    return ber::oidText(m_binding.name);
}

void SnmpVariable::Name(const std::string& dotted)
{
    auto oid = ber::parseOid(dotted);
    if (!oid)
        throw SnmpError("not an object identifier: " + dotted);
    m_binding.name = *oid;
}

std::string SnmpVariable::Value() const
{
    auto text = ber::valueText(m_binding);
    if (!text)
        throw SnmpError("the value of " + Name() + " has no text form");
    return *text;
}

const SnmpVariable& SnmpVariables::Item(int index) const
{
    if (index < 1 || index > Count())
        throw SnmpError("no variable " + std::to_string(index));
    return m_items[static_cast<std::size_t>(index - 1)];
}

SnmpMessage::SnmpMessage(const ber::Message& d)
    : m_version(d.version),
      m_community(d.community),
      m_requestId(d.requestId),
      m_errorStatus(d.errorStatus),
      m_errorIndex(d.errorIndex),
      m_type(GetRequest + (d.pduTag & 0x1F))
{
    for (const auto& b : d.bindings)
        m_variables.Add(SnmpVariable(b));
}

void SnmpMessage::Clear()
{
    *this = SnmpMessage();
}

void SnmpMessage::Type(int type)
{
    if (type < GetRequest || type > Report)
        throw SnmpError("no message type " + std::to_string(type));
    m_type = type;
}

std::vector<std::uint8_t> SnmpMessage::encode() const
{
    ber::Message m;
    m.version = m_version;
    m.community = m_community;
    m.pduTag = static_cast<std::uint8_t>(0xA0 | (m_type - GetRequest));
    m.requestId = m_requestId;
    m.errorStatus = m_errorStatus;
    m.errorIndex = m_errorIndex;
    for (int i = 1; i <= m_variables.Count(); ++i)
        m.bindings.push_back(m_variables.Item(i).binding());
    auto bytes = ber::encode(m);
    if (!bytes)
        throw SnmpError("the message cannot be encoded");
    return *bytes;
}

}  // namespace snmp
