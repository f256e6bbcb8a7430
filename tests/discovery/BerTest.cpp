// The message codec against datagrams captured from net-snmp, and against
// datagrams that are broken in the ways a network or a fuzzer breaks them.
#include "Loopback.h"
#include "Vectors.h"

#include "snmp/Ber.h"
#include "snmp/SnmpEvents.h"
#include "snmp/SnmpMessage.h"

#include <gtest/gtest.h>

#include <climits>

using namespace snmp;
using vectors::hex;

namespace {

std::optional<ber::Message> decodeHex(const std::string& text)
{
    auto bytes = hex(text);
    return ber::decode(bytes.data(), bytes.size());
}

std::optional<ber::Message> decodeBytes(const std::vector<std::uint8_t>& bytes)
{
    return ber::decode(bytes.data(), bytes.size());
}

TEST(Ber, OurGetRequestIsTheOneNetSnmpSends)
{
    SnmpMessage m;
    loopback::getSysDescr(m, vectors::kGetSysDescrId);
    EXPECT_EQ(m.encode(), hex(vectors::kGetSysDescr));
}

TEST(Ber, SnmpdResponsesDecode)
{
    auto r = decodeHex(vectors::kSysDescrResponse);
    ASSERT_TRUE(r);
    SnmpMessage m(*r);
    EXPECT_EQ(m.Type(), SnmpMessage::GetResponse);
    EXPECT_EQ(m.Version(), 0);
    EXPECT_EQ(m.Community(), "public");
    EXPECT_EQ(m.RequestId(), vectors::kGetSysDescrId);
    EXPECT_EQ(m.ErrorStatus(), 0);
    ASSERT_EQ(m.Variables().Count(), 1);
    EXPECT_EQ(m.Variables().Item(1).Name(), "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(m.Variables().Item(1).Value(), vectors::kDescription);
    EXPECT_THROW(m.Variables().Item(2), SnmpError);
    EXPECT_THROW(m.Variables().Item(0), SnmpError);

    auto three = decodeHex(vectors::kThreeBindingResponse);
    ASSERT_TRUE(three);
    SnmpMessage t(*three);
    ASSERT_EQ(t.Variables().Count(), 3);
    EXPECT_EQ(t.Variables().Item(1).Value(), vectors::kDescription);
    EXPECT_EQ(t.Variables().Item(2).Name(), "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(t.Variables().Item(2).Value(), "561");  // TimeTicks
    EXPECT_EQ(t.Variables().Item(3).Value(), "1.3.6.1.4.1.8072.3.2.10");

    // An error answer carries the request's null values: no text to read.
    auto error = decodeHex(vectors::kNoSuchNameResponse);
    ASSERT_TRUE(error);
    SnmpMessage e(*error);
    EXPECT_EQ(e.ErrorStatus(), 2);
    EXPECT_EQ(e.ErrorIndex(), 1);
    EXPECT_THROW(e.Variables().Item(1).Value(), SnmpError);
}

TEST(Ber, TrapsOfBothVersionsDecode)
{
    auto v1 = decodeHex(vectors::kTrapV1);
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->pduTag, ber::PduTrapV1);
    EXPECT_EQ(ber::oidText(v1->enterprise), "1.3.6.1.4.1.99999");
    EXPECT_EQ(v1->agentAddress, std::string("\x0A\x4D\x00\x0B", 4));
    EXPECT_EQ(v1->genericTrap, 6);
    EXPECT_EQ(v1->specificTrap, 17);
    EXPECT_EQ(v1->timeStamp, 1234u);
    ASSERT_EQ(v1->bindings.size(), 1u);
    EXPECT_EQ(ber::valueText(v1->bindings[0]), "hello");
    EXPECT_EQ(SnmpMessage(*v1).Type(), SnmpMessage::Trap);

    auto v2 = decodeHex(vectors::kTrapV2c);
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->version, 1);
    EXPECT_EQ(SnmpMessage(*v2).Type(), SnmpMessage::TrapV2);
    ASSERT_EQ(v2->bindings.size(), 3u);
    EXPECT_EQ(ber::valueText(v2->bindings[1]), "1.3.6.1.4.1.99999.0.1");
}

TEST(Ber, IntegersAndLongLengthsSurviveTheRoundTrip)
{
    for (std::int32_t id : {0, 1, -1, 127, 128, -128, -129, 255, 256, 0x7FFF, 0x8000, 0x4ECD2F5C, INT32_MAX, INT32_MIN}) {
        for (std::size_t communityLength : {0u, 127u, 128u, 255u, 256u, 1000u}) {
            ber::Message m;
            m.pduTag = ber::PduGetResponse;
            m.requestId = id;
            m.errorStatus = id;
            m.community = std::string(communityLength, 'c');
            m.bindings.push_back({{1, 3, 6, 1, 4294967295u, 0}, ber::TagOctetString, "x"});
            auto bytes = ber::encode(m);
            ASSERT_TRUE(bytes);
            auto back = decodeBytes(*bytes);
            ASSERT_TRUE(back) << id << " " << communityLength;
            EXPECT_EQ(back->requestId, id);
            EXPECT_EQ(back->errorStatus, id);
            EXPECT_EQ(back->community.size(), communityLength);
            EXPECT_EQ(back->bindings.at(0).name, m.bindings[0].name);
        }
    }
}

TEST(Ber, ObjectIdentifierText)
{
    struct Case {
        const char* text;
        bool good;
    } cases[] = {
        {"1.3.6.1.2.1.1.1.0", true}, {".1.3.6", true}, {"0.0", true}, {"2.999.1", true},
        {"1.3.6.4294967295", true},  {"", false},      {"1", false},  {".", false},
        {"1..3", false},             {"1.3.", false},  {"1.a", false}, {"1.3.4294967296", false},
        {"-1.3", false},             {"1.3 ", false},
    };
    for (const auto& c : cases) {
        auto oid = ber::parseOid(c.text);
        EXPECT_EQ(oid.has_value(), c.good) << c.text;
        if (oid && c.text[0] != '.') {
            EXPECT_EQ(ber::oidText(*oid), c.text);
        }
    }
    SnmpVariable v;
    EXPECT_THROW(v.Name("sysDescr.0"), SnmpError);
    // Names the encoding cannot carry are refused when the message is made.
    SnmpMessage m;
    v.Name("3.1");
    m.Variables().Add(v);
    EXPECT_THROW(m.encode(), SnmpError);
}

TEST(Ber, MalformedDatagramsAreDropped)
{
    const std::string good = vectors::kSysDescrResponse;
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"one byte", "30"},
        {"not a sequence", "31 03 02 01 00"},
        {"outer length past the end", "30 47" + good.substr(5)},
        {"outer length short", "30 45" + good.substr(5)},
        {"bytes after the message", good + " 00"},
        {"indefinite length", "30 80 02 01 00 04 06 70 75 62 6C 69 63 A2 00 00 00"},
        {"huge length", "30 84 FF FF FF FF 02 01 00"},
        {"five length bytes", "30 85 00 00 00 00 05 02 01 00 04 00"},
        {"long length cut short", "30 82 00"},
        {"high tag number", "30 12 02 01 00 04 00 BF 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"version 3", "30 12 02 01 03 04 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"version not an integer", "30 12 04 01 00 04 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"empty version", "30 11 02 00 04 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"community not a string", "30 12 02 01 00 05 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"unknown PDU", "30 12 02 01 00 04 00 AF 0B 02 01 00 02 01 00 02 01 00 30 00"},
        {"PDU without bindings", "30 10 02 01 00 04 00 A2 09 02 01 00 02 01 00 02 01 00"},
        {"request id of 9 bytes", "30 1A 02 01 00 04 00 A2 13 02 09 01 00 00 00 00 00 00 00 00 02 01 00 02 01 00 30 00"},
        {"request id beyond 32 bits", "30 16 02 01 00 04 00 A2 0F 02 05 01 00 00 00 00 02 01 00 02 01 00 30 00"},
        {"binding not a sequence", "30 19 02 01 00 04 00 A2 12 02 01 00 02 01 00 02 01 00 30 07 31 05 06 01 2B 05 00"},
        {"binding name not an identifier", "30 19 02 01 00 04 00 A2 12 02 01 00 02 01 00 02 01 00 30 07 30 05 04 01 2B 05 00"},
        {"binding without a value", "30 17 02 01 00 04 00 A2 10 02 01 00 02 01 00 02 01 00 30 05 30 03 06 01 2B"},
        {"binding with two values", "30 1B 02 01 00 04 00 A2 14 02 01 00 02 01 00 02 01 00 30 09 30 07 06 01 2B 05 00 05 00"},
        {"identifier ends inside an arc", "30 1A 02 01 00 04 00 A2 13 02 01 00 02 01 00 02 01 00 30 08 30 06 06 02 2B 86 05 00"},
        {"empty identifier", "30 18 02 01 00 04 00 A2 11 02 01 00 02 01 00 02 01 00 30 06 30 04 06 00 05 00"},
        {"padded arc", "30 1A 02 01 00 04 00 A2 13 02 01 00 02 01 00 02 01 00 30 08 30 06 06 02 80 01 05 00"},
        {"arc beyond 32 bits", "30 1E 02 01 00 04 00 A2 17 02 01 00 02 01 00 02 01 00 30 0C 30 0A 06 06 2B 90 80 80 80 00 05 00"},
        {"null with content", "30 1A 02 01 00 04 00 A2 13 02 01 00 02 01 00 02 01 00 30 08 30 06 06 01 2B 05 01 00"},
        {"empty integer value", "30 19 02 01 00 04 00 A2 12 02 01 00 02 01 00 02 01 00 30 07 30 05 06 01 2B 02 00"},
        {"IP address of 3 bytes", "30 1C 02 01 00 04 00 A2 15 02 01 00 02 01 00 02 01 00 30 0A 30 08 06 01 2B 40 03 0A 00 01"},
        {"negative counter", "30 1A 02 01 00 04 00 A2 13 02 01 00 02 01 00 02 01 00 30 08 30 06 06 01 2B 41 01 80"},
        {"value length past the binding", "30 1A 02 01 00 04 00 A2 13 02 01 00 02 01 00 02 01 00 30 08 30 06 06 01 2B 04 05 41"},
        {"SNMPv2c version on a v1 trap", "30 1B 02 01 01 04 00 A4 14 06 01 2B 40 04 0A 00 00 01 02 01 06 02 01 00 43 01 00 30 00"},
        {"trap agent address of 5 bytes", "30 1C 02 01 00 04 00 A4 15 06 01 2B 40 05 0A 00 00 01 00 02 01 06 02 01 00 43 01 00 30 00"},
    };
    // The cases are this message with one fault each.
    ASSERT_TRUE(decodeHex("30 12 02 01 00 04 00 A2 0B 02 01 00 02 01 00 02 01 00 30 00"));
    ASSERT_TRUE(decodeHex("30 19 02 01 00 04 00 A2 12 02 01 00 02 01 00 02 01 00 30 07 30 05 06 01 2B 05 00"));
    ASSERT_TRUE(decodeHex("30 1B 02 01 00 04 00 A4 14 06 01 2B 40 04 0A 00 00 01 02 01 06 02 01 00 43 01 00 30 00"));
    for (const auto& c : cases)
        EXPECT_FALSE(decodeHex(c.bytes)) << c.what;

    // Every cut of a good datagram is dropped.
    for (const std::string& text : {vectors::kSysDescrResponse, vectors::kThreeBindingResponse, vectors::kTrapV1,
                                    vectors::kTrapV2c}) {
        auto bytes = hex(text);
        ASSERT_TRUE(decodeBytes(bytes));
        for (std::size_t n = 0; n < bytes.size(); ++n)
            EXPECT_FALSE(ber::decode(bytes.data(), n)) << "cut at " << n;
    }
    EXPECT_FALSE(ber::decode(nullptr, 10));
}

// A datagram cut short anywhere is dropped, never read past its end (each
// cut is a heap copy of exactly its size, for the sanitizers). Arbitrary
// changes are the fuzz target's work.
TEST(Ber, EveryCutOfAResponseIsDropped)
{
    const auto bytes = hex(vectors::kThreeBindingResponse);
    auto whole = decodeBytes(bytes);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->bindings.size(), 3u);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(decodeBytes(cut)) << "cut at " << n;
    }
}

}  // namespace
