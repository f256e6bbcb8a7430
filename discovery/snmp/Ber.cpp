#include "Ber.h"

#include <charconv>

namespace snmp::ber {

namespace {

// ---- encoding --------------------------------------------------------------

void putLength(std::vector<std::uint8_t>& out, std::size_t length)
{
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t bytes[sizeof(std::size_t)];
    int n = 0;
    for (std::size_t v = length; v != 0; v >>= 8)
        bytes[n++] = static_cast<std::uint8_t>(v & 0xFF);
    out.push_back(static_cast<std::uint8_t>(0x80 | n));
    while (n > 0)
        out.push_back(bytes[--n]);
}

void putTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::vector<std::uint8_t>& content)
{
    out.push_back(tag);
    putLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
}

void putTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::string& content)
{
    out.push_back(tag);
    putLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
}

void putInteger(std::vector<std::uint8_t>& out, std::int32_t value)
{
    // Two's complement, shortest form.
    std::vector<std::uint8_t> bytes;
    std::int64_t v = value;
    do {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(v & 0xFF));
        v >>= 8;
    } while (!((v == 0 && !(bytes.front() & 0x80)) || (v == -1 && (bytes.front() & 0x80))));
    putTlv(out, TagInteger, bytes);
}

bool putOid(std::vector<std::uint8_t>& out, const Oid& oid)
{
    if (oid.size() < 2 || oid[0] > 2 || (oid[0] < 2 && oid[1] > 39))
        return false;
    std::vector<std::uint8_t> content;
    auto arc = [&content](std::uint64_t v) {
        std::uint8_t groups[10];
        int n = 0;
        do {
            groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
            v >>= 7;
        } while (v != 0);
        while (n > 1)
            content.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
        content.push_back(groups[0]);
    };
    arc(std::uint64_t{oid[0]} * 40 + oid[1]);
    for (std::size_t i = 2; i < oid.size(); ++i)
        arc(oid[i]);
    putTlv(out, TagOid, content);
    return true;
}

// ---- decoding --------------------------------------------------------------

// A window on the datagram; every read checks the bytes that are left.
class Reader {
public:
    Reader(const std::uint8_t* p, const std::uint8_t* end) : m_p(p), m_end(end) {}

    bool atEnd() const { return m_p == m_end; }

    // One element: its tag and a reader over its content.
    bool element(std::uint8_t& tag, Reader& content)
    {
        if (m_end - m_p < 2)
            return false;
        tag = *m_p++;
        if ((tag & 0x1F) == 0x1F)  // high tag numbers do not occur in SNMP
            return false;
        std::size_t length = *m_p++;
        if (length & 0x80) {
            std::size_t n = length & 0x7F;
            if (n == 0 || n > 4 || static_cast<std::size_t>(m_end - m_p) < n)
                return false;  // indefinite form, or a length no datagram has
            length = 0;
            for (std::size_t i = 0; i < n; ++i)
                length = (length << 8) | *m_p++;
        }
        if (length > static_cast<std::size_t>(m_end - m_p))
            return false;
        content = Reader(m_p, m_p + length);
        m_p += length;
        return true;
    }

    bool expect(std::uint8_t wanted, Reader& content)
    {
        std::uint8_t tag = 0;
        return element(tag, content) && tag == wanted;
    }

    std::string rest() const { return std::string(reinterpret_cast<const char*>(m_p), m_end - m_p); }
    std::size_t size() const { return static_cast<std::size_t>(m_end - m_p); }
    const std::uint8_t* begin() const { return m_p; }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
};

bool signedValue(const std::string& c, std::int64_t& out)
{
    if (c.empty() || c.size() > 8)
        return false;
    std::uint64_t v = static_cast<std::uint8_t>(c[0]) & 0x80 ? ~std::uint64_t{0} : 0;
    for (unsigned char b : c)
        v = (v << 8) | b;
    out = static_cast<std::int64_t>(v);
    return true;
}

// Non-negative values of up to `bits` bits; a leading zero byte is allowed.
bool unsignedValue(const std::string& c, int bits, std::uint64_t& out)
{
    if (c.empty() || c.size() > static_cast<std::size_t>(bits / 8 + 1))
        return false;
    if (static_cast<std::uint8_t>(c[0]) & 0x80)
        return false;
    std::uint64_t v = 0;
    std::size_t start = 0;
    if (c.size() == static_cast<std::size_t>(bits / 8 + 1)) {
        if (c[0] != 0)
            return false;
        start = 1;
    }
    for (std::size_t i = start; i < c.size(); ++i)
        v = (v << 8) | static_cast<std::uint8_t>(c[i]);
    out = v;
    return true;
}

bool int32Value(Reader& r, std::int32_t& out)
{
    Reader c(nullptr, nullptr);
    std::int64_t v = 0;
    if (!r.expect(TagInteger, c) || !signedValue(c.rest(), v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool oidValue(const std::string& c, Oid& out)
{
    if (c.empty())
        return false;
    out.clear();
    std::uint64_t v = 0;
    bool first = true;
    for (std::size_t i = 0; i < c.size(); ++i) {
        auto b = static_cast<std::uint8_t>(c[i]);
        if (v == 0 && b == 0x80)
            return false;  // a padded arc
        v = (v << 7) | (b & 0x7F);
        if (v > UINT32_MAX + std::uint64_t{80})
            return false;
        if (b & 0x80)
            continue;
        if (first) {
            std::uint64_t a = v < 80 ? v / 40 : 2;
            out.push_back(static_cast<std::uint32_t>(a));
            if (v - a * 40 > UINT32_MAX)
                return false;
            out.push_back(static_cast<std::uint32_t>(v - a * 40));
            first = false;
        } else {
            if (v > UINT32_MAX)
                return false;
            out.push_back(static_cast<std::uint32_t>(v));
        }
        v = 0;
    }
    return !(static_cast<std::uint8_t>(c.back()) & 0x80);
}

// Whether the content of a value of a known type is well formed.
bool valueWellFormed(std::uint8_t tag, const std::string& c)
{
    std::int64_t s = 0;
    std::uint64_t u = 0;
    Oid oid;
    switch (tag) {
    case TagInteger:
        return signedValue(c, s) && s >= INT32_MIN && s <= INT32_MAX;
    case TagNull:
    case TagNoSuchObject:
    case TagNoSuchInstance:
    case TagEndOfMibView:
        return c.empty();
    case TagOid:
        return oidValue(c, oid);
    case TagIpAddress:
        return c.size() == 4;
    case TagCounter32:
    case TagGauge32:
    case TagTimeTicks:
        return unsignedValue(c, 32, u);
    case TagCounter64:
        return unsignedValue(c, 64, u);
    default:
        return true;  // octet strings and types without a text form
    }
}

bool bindings(Reader& r, std::vector<Binding>& out)
{
    Reader list(nullptr, nullptr);
    if (!r.expect(TagSequence, list))
        return false;
    while (!list.atEnd()) {
        Reader pair(nullptr, nullptr), name(nullptr, nullptr), value(nullptr, nullptr);
        Binding b;
        if (!list.expect(TagSequence, pair) || !pair.expect(TagOid, name) || !oidValue(name.rest(), b.name))
            return false;
        if (!pair.element(b.tag, value) || !pair.atEnd())
            return false;
        b.content = value.rest();
        if (!valueWellFormed(b.tag, b.content))
            return false;
        out.push_back(std::move(b));
    }
    return true;
}

std::string ipText(const std::string& c)
{
    std::string out;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (i)
            out += '.';
        out += std::to_string(static_cast<std::uint8_t>(c[i]));
    }
    return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encode(const Message& m)
{
    if (m.pduTag == PduTrapV1)
        return std::nullopt;
    std::vector<std::uint8_t> list;
    for (const auto& b : m.bindings) {
        std::vector<std::uint8_t> pair;
        if (!putOid(pair, b.name))
            return std::nullopt;
        putTlv(pair, b.tag, b.content);
        putTlv(list, TagSequence, pair);
    }
    std::vector<std::uint8_t> pdu;
    putInteger(pdu, m.requestId);
    putInteger(pdu, m.errorStatus);
    putInteger(pdu, m.errorIndex);
    putTlv(pdu, TagSequence, list);

    std::vector<std::uint8_t> body;
    putInteger(body, m.version);
    putTlv(body, TagOctetString, m.community);
    putTlv(body, m.pduTag, pdu);

    std::vector<std::uint8_t> out;
    putTlv(out, TagSequence, body);
    return out;
}

std::optional<Message> decode(const std::uint8_t* data, std::size_t size)
{
    if (!data)
        return std::nullopt;
    Reader datagram(data, data + size);
    Reader body(nullptr, nullptr), community(nullptr, nullptr), pdu(nullptr, nullptr);
    Message m;
    std::int32_t version = 0;
    if (!datagram.expect(TagSequence, body) || !datagram.atEnd())
        return std::nullopt;
    if (!int32Value(body, version) || (version != kVersion1 && version != kVersion2c))
        return std::nullopt;
    m.version = version;
    if (!body.expect(TagOctetString, community))
        return std::nullopt;
    m.community = community.rest();
    if (!body.element(m.pduTag, pdu) || !body.atEnd())
        return std::nullopt;

    switch (m.pduTag) {
    case PduTrapV1: {
        Reader enterprise(nullptr, nullptr), agent(nullptr, nullptr), stamp(nullptr, nullptr);
        std::uint64_t ticks = 0;
        if (version != kVersion1 || !pdu.expect(TagOid, enterprise) || !oidValue(enterprise.rest(), m.enterprise))
            return std::nullopt;
        if (!pdu.expect(TagIpAddress, agent) || agent.size() != 4)
            return std::nullopt;
        m.agentAddress = agent.rest();
        if (!int32Value(pdu, m.genericTrap) || !int32Value(pdu, m.specificTrap))
            return std::nullopt;
        if (!pdu.expect(TagTimeTicks, stamp) || !unsignedValue(stamp.rest(), 32, ticks))
            return std::nullopt;
        m.timeStamp = static_cast<std::uint32_t>(ticks);
        break;
    }
    case PduGetRequest:
    case PduGetNextRequest:
    case PduGetResponse:
    case PduSetRequest:
    case PduTrapV2:
        if (!int32Value(pdu, m.requestId) || !int32Value(pdu, m.errorStatus) || !int32Value(pdu, m.errorIndex))
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    if (!bindings(pdu, m.bindings) || !pdu.atEnd())
        return std::nullopt;
    return m;
}

std::string oidText(const Oid& oid)
{
    std::string out;
    for (std::size_t i = 0; i < oid.size(); ++i) {
        if (i)
            out += '.';
        out += std::to_string(oid[i]);
    }
    return out;
}

std::optional<Oid> parseOid(const std::string& text)
{
    Oid out;
    const char* p = text.data();
    const char* end = p + text.size();
    if (p != end && *p == '.')
        ++p;
    while (p != end) {
        std::uint32_t v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || next == p)
            return std::nullopt;
        out.push_back(v);
        p = next;
        if (p != end) {
            if (*p != '.' || p + 1 == end)
                return std::nullopt;
            ++p;
        }
    }
    if (out.size() < 2)
        return std::nullopt;
    return out;
}

std::optional<std::string> valueText(const Binding& b)
{
    std::int64_t s = 0;
    std::uint64_t u = 0;
    Oid oid;
    switch (b.tag) {
    case TagOctetString:
        return b.content;
    case TagInteger:
        if (!signedValue(b.content, s))
            return std::nullopt;
        return std::to_string(s);
    case TagCounter32:
    case TagGauge32:
    case TagTimeTicks:
        if (!unsignedValue(b.content, 32, u))
            return std::nullopt;
        return std::to_string(u);
    case TagCounter64:
        if (!unsignedValue(b.content, 64, u))
            return std::nullopt;
        return std::to_string(u);
    case TagOid:
        if (!oidValue(b.content, oid))
            return std::nullopt;
        return oidText(oid);
    case TagIpAddress:
        if (b.content.size() != 4)
            return std::nullopt;
        return ipText(b.content);
    default:
        return std::nullopt;
    }
}

}  // namespace snmp::ber
