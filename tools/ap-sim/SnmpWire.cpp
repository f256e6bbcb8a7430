#include "SnmpWire.h"

namespace apsim::wire {

namespace {

// sysDescr.0, 1.3.6.1.2.1.1.1.0, as it is encoded.
const QByteArray kSysDescr0("\x2B\x06\x01\x02\x01\x01\x01\x00", 8);

constexpr char kNoSuchName = 2;

QByteArray tlv(char tag, const QByteArray& content)
{
    QByteArray out(1, tag);
    int n = content.size();
    if (n < 0x80) {
        out += char(n);
    } else if (n < 0x100) {
        out += char(0x81);
        out += char(n);
    } else {
        out += char(0x82);
        out += char(n >> 8);
        out += char(n & 0xFF);
    }
    return out + content;
}

QByteArray integer(qint32 v)
{
    QByteArray bytes;
    for (int shift = 24; shift > 0; shift -= 8) {
        // Drop leading bytes that only repeat the sign.
        char b = char(v >> shift);
        char next = char(v >> (shift - 8));
        if (bytes.isEmpty() && ((b == 0 && !(next & 0x80)) || (b == char(0xFF) && (next & 0x80))))
            continue;
        bytes += b;
    }
    bytes += char(v & 0xFF);
    return tlv(0x02, bytes);
}

// Reads one element at `pos` of `in`: its tag and content; false past the end.
bool element(const QByteArray& in, int& pos, char& tag, QByteArray& content)
{
    if (pos + 2 > in.size())
        return false;
    tag = in[pos++];
    int length = quint8(in[pos++]);
    if (length & 0x80) {
        int n = length & 0x7F;
        if (n < 1 || n > 2 || pos + n > in.size())
            return false;
        length = 0;
        while (n--)
            length = (length << 8) | quint8(in[pos++]);
    }
    if (length > in.size() - pos)
        return false;
    content = in.mid(pos, length);
    pos += length;
    return true;
}

bool integerValue(const QByteArray& in, int& pos, qint32& out)
{
    char tag = 0;
    QByteArray c;
    if (!element(in, pos, tag, c) || tag != 0x02 || c.isEmpty() || c.size() > 4)
        return false;
    qint32 v = (c[0] & 0x80) ? -1 : 0;
    for (char b : c)
        v = qint32(quint32(v) << 8 | quint8(b));
    out = v;
    return true;
}

}  // namespace

std::optional<GetRequest> parseGetRequest(const QByteArray& datagram)
{
    int pos = 0;
    char tag = 0;
    QByteArray message, pdu, list;
    if (!element(datagram, pos, tag, message) || tag != 0x30)
        return std::nullopt;
    pos = 0;
    qint32 version = -1, status = 0, index = 0;
    GetRequest r;
    if (!integerValue(message, pos, version) || version != 0)
        return std::nullopt;
    if (!element(message, pos, tag, r.community) || tag != 0x04)
        return std::nullopt;
    if (!element(message, pos, tag, pdu) || tag != char(0xA0))
        return std::nullopt;
    pos = 0;
    if (!integerValue(pdu, pos, r.requestId) || !integerValue(pdu, pos, status) || !integerValue(pdu, pos, index))
        return std::nullopt;
    if (!element(pdu, pos, tag, list) || tag != 0x30)
        return std::nullopt;
    for (pos = 0; pos < list.size();) {
        QByteArray binding, name, value;
        int at = 0;
        if (!element(list, pos, tag, binding) || tag != 0x30)
            return std::nullopt;
        if (!element(binding, at, tag, name) || tag != 0x06 || !element(binding, at, tag, value))
            return std::nullopt;
        r.names.append(name);
    }
    return r;
}

QByteArray response(const GetRequest& request, int errorStatus, const QByteArray& description)
{
    int index = errorStatus ? 1 : 0;
    for (int i = 0; errorStatus == 0 && i < request.names.size(); ++i) {
        if (request.names[i] != kSysDescr0) {
            errorStatus = kNoSuchName;
            index = i + 1;
        }
    }
    QByteArray list;
    for (const QByteArray& name : request.names) {
        QByteArray value = errorStatus == 0 ? tlv(0x04, description) : tlv(0x05, {});
        list += tlv(0x30, tlv(0x06, name) + value);
    }
    QByteArray pdu = integer(request.requestId) + integer(errorStatus) + integer(index) + tlv(0x30, list);
    return tlv(0x30, integer(0) + tlv(0x04, request.community) + tlv(char(0xA2), pdu));
}

}  // namespace apsim::wire
