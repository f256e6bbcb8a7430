// Fuzz target of the SNMP message decoder: any datagram decodes or is
// dropped without a read outside it, every value of a decoded message can
// be asked for its text, and a decoded request or response encodes to a
// datagram that decodes to the same message.
#include "Ber.h"
#include "SnmpEvents.h"
#include "SnmpMessage.h"

#include <cstdlib>

namespace {

bool same(const snmp::ber::Message& a, const snmp::ber::Message& b)
{
    if (a.version != b.version || a.community != b.community || a.pduTag != b.pduTag ||
        a.requestId != b.requestId || a.errorStatus != b.errorStatus || a.errorIndex != b.errorIndex ||
        a.bindings.size() != b.bindings.size())
        return false;
    for (std::size_t i = 0; i < a.bindings.size(); ++i)
        if (a.bindings[i].name != b.bindings[i].name || a.bindings[i].tag != b.bindings[i].tag ||
            a.bindings[i].content != b.bindings[i].content)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto decoded = snmp::ber::decode(data, size);
    if (!decoded)
        return 0;
    snmp::SnmpMessage message(*decoded);
    for (int i = 1; i <= message.Variables().Count(); ++i) {
        try {
            (void)message.Variables().Item(i).Value();
            (void)message.Variables().Item(i).Name();
        } catch (const snmp::SnmpError&) {
        }
    }
    if (decoded->pduTag != snmp::ber::PduTrapV1) {
        auto bytes = snmp::ber::encode(*decoded);
        if (!bytes)
            std::abort();
        auto again = snmp::ber::decode(bytes->data(), bytes->size());
        if (!again || !same(*decoded, *again))
            std::abort();
    }
    return 0;
}
