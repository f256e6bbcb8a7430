// Datagrams captured from net-snmp 5.9.3 (snmpget -d, snmptrap -d) against
// snmpd configured with sysDescr "KAVO AP-2000 Ver 1.4.07 build".
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace vectors {

inline std::vector<std::uint8_t> hex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    std::istringstream in(text);
    for (std::string byte; in >> byte;)
        out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

inline std::string ascii(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

inline const std::string kDescription = "KAVO AP-2000 Ver 1.4.07 build";

// snmpget -v1 -c public ... 1.3.6.1.2.1.1.1.0, request id 0x4ECD2F5C.
inline const std::string kGetSysDescr =
    "30 29 02 01 00 04 06 70 75 62 6C 69 63 A0 1C 02 04 4E CD 2F 5C 02 01 00 02 01 00 30 0E 30 0C "
    "06 08 2B 06 01 02 01 01 01 00 05 00";
inline const std::int32_t kGetSysDescrId = 0x4ECD2F5C;

// snmpd's answer to it.
inline const std::string kSysDescrResponse =
    "30 46 02 01 00 04 06 70 75 62 6C 69 63 A2 39 02 04 4E CD 2F 5C 02 01 00 02 01 00 30 2B 30 29 "
    "06 08 2B 06 01 02 01 01 01 00 04 1D " + ascii(kDescription);

// snmpd's answer to a get of 1.3.6.1.2.1.1.99.0: noSuchName (2), index 1.
inline const std::string kNoSuchNameResponse =
    "30 29 02 01 00 04 06 70 75 62 6C 69 63 A2 1C 02 04 6D 68 62 B9 02 01 02 02 01 01 30 0E 30 0C "
    "06 08 2B 06 01 02 01 01 63 00 05 00";

// snmpd's answer to a get of sysDescr.0, sysUpTime.0 and sysObjectID.0.
inline const std::string kThreeBindingResponse =
    "30 6E 02 01 00 04 06 70 75 62 6C 69 63 A2 61 02 04 3F E3 FC AE 02 01 00 02 01 00 30 53 30 29 "
    "06 08 2B 06 01 02 01 01 01 00 04 1D " + ascii(kDescription) +
    "30 0E 06 08 2B 06 01 02 01 01 03 00 43 02 02 31 30 16 06 08 2B 06 01 02 01 01 02 00 06 0A 2B 06 "
    "01 04 01 BF 08 03 02 0A";

// snmptrap -v1 -c public ... 1.3.6.1.4.1.99999 10.77.0.11 6 17 1234 sysDescr.0 s hello
inline const std::string kTrapV1 =
    "30 3C 02 01 00 04 06 70 75 62 6C 69 63 A4 2F 06 08 2B 06 01 04 01 86 8D 1F 40 04 0A 4D 00 0B "
    "02 01 06 02 01 11 43 02 04 D2 30 13 30 11 06 08 2B 06 01 02 01 01 01 00 04 05 68 65 6C 6C 6F";

// snmptrap -v2c -c public ... 1234 1.3.6.1.4.1.99999.0.1 sysDescr.0 s hello
inline const std::string kTrapV2c =
    "30 58 02 01 01 04 06 70 75 62 6C 69 63 A7 4B 02 04 4C B2 4E EE 02 01 00 02 01 00 30 3D 30 0E "
    "06 08 2B 06 01 02 01 01 03 00 43 02 04 D2 30 18 06 0A 2B 06 01 06 03 01 01 04 01 00 06 0A 2B 06 "
    "01 04 01 86 8D 1F 00 01 30 11 06 08 2B 06 01 02 01 01 01 00 04 05 68 65 6C 6C 6F";

}  // namespace vectors
