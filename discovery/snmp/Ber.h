// The SNMP message codec: BER encoding of SNMPv1 messages (get request and
// the other request kinds) and decoding of responses and traps (SNMPv1 and
// SNMPv2c). Decoding reads only inside the given bytes; anything malformed
// gives no message at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmp::ber {

using Oid = std::vector<std::uint32_t>;

// Universal and application tags of the values a binding may carry.
enum Tag : std::uint8_t {
    TagInteger = 0x02,
    TagOctetString = 0x04,
    TagNull = 0x05,
    TagOid = 0x06,
    TagSequence = 0x30,
    TagIpAddress = 0x40,
    TagCounter32 = 0x41,
    TagGauge32 = 0x42,
    TagTimeTicks = 0x43,
    TagOpaque = 0x44,
    TagCounter64 = 0x46,
    TagNoSuchObject = 0x80,
    TagNoSuchInstance = 0x81,
    TagEndOfMibView = 0x82,
};

// Context tags of the protocol data units.
enum PduTag : std::uint8_t {
    PduGetRequest = 0xA0,
    PduGetNextRequest = 0xA1,
    PduGetResponse = 0xA2,
    PduSetRequest = 0xA3,
    PduTrapV1 = 0xA4,
    PduGetBulkRequest = 0xA5,
    PduInformRequest = 0xA6,
    PduTrapV2 = 0xA7,
    PduReport = 0xA8,
};

inline constexpr int kVersion1 = 0;
inline constexpr int kVersion2c = 1;

// One variable binding: the name and the value as its tag and content bytes.
struct Binding {
    Oid name;
    std::uint8_t tag = TagNull;
    std::string content;
};

struct Message {
    int version = kVersion1;
    std::string community;
    std::uint8_t pduTag = PduGetRequest;
    // Request, response and SNMPv2 trap PDUs.
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    // The SNMPv1 trap PDU.
    Oid enterprise;
    std::string agentAddress;  // four bytes
    std::int32_t genericTrap = 0;
    std::int32_t specificTrap = 0;
    std::uint32_t timeStamp = 0;

    std::vector<Binding> bindings;
};

// Encodes a message with a request or response PDU (not the SNMPv1 trap).
// nullopt when a name has fewer than two arcs or its first arcs are out of
// range (first 0..2, second 0..39 below 2).
std::optional<std::vector<std::uint8_t>> encode(const Message& message);

// Decodes one datagram: SNMPv1 or SNMPv2c, a response or a trap of either
// version, or a request. nullopt for anything malformed or of another kind.
std::optional<Message> decode(const std::uint8_t* data, std::size_t size);

// Dotted text of an object identifier ("1.3.6.1.2.1.1.1.0"), and back. The
// parse accepts one leading dot and needs at least two arcs.
std::string oidText(const Oid& oid);
std::optional<Oid> parseOid(const std::string& text);

// The value of a binding as text: an octet string as its bytes, numbers in
// decimal, an object identifier and an IP address dotted. nullopt for null,
// the SNMPv2 exception values and types without a text form.
std::optional<std::string> valueText(const Binding& binding);

}  // namespace snmp::ber
