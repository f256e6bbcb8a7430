// The bytes on the wire: the write request, its checksum and how replies read.
#include "FlashpostDlg.h"
#include "TftpSocket.h"
#include "UploaderTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An independent reference: the 16-bit one's complement sum, carries folded
// at the end.
std::uint16_t referenceChecksum(const Bytes& d)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 1 < d.size(); i += 2)
        sum += d[i] | d[i + 1] << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

Bytes request(int kind, const Bytes& file)
{
    Bytes out(30, 0xEE);
    CFlashpostDlg::BuildWriteRequest(out.data(), kind, file.data(), static_cast<std::int32_t>(file.size()));
    return out;
}

TEST(WriteRequest, FixedFieldsStandWhereTheApReadsThem)
{
    const Bytes r = request(1, bytesOf("abc"));
    const std::string head(r.begin(), r.begin() + 22);
    EXPECT_EQ(head, std::string("\x00\x02" "atbrfirm.bin" "\x00\x01" "octet" "\x00", 22));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request(2, {}).data()) + 2, 12), "atoemset.cfg");
}

TEST(WriteRequest, LengthAndChecksumFieldsForFilesOfEachSize)
{
    struct Case {
        std::size_t size;
        std::array<std::uint8_t, 2> len16;
        std::array<std::uint8_t, 4> len32;
    };
    const Case cases[] = {
        {0, {0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}},
        {1, {0x01, 0x00}, {0x01, 0x00, 0x00, 0x00}},
        {700, {0xBC, 0x02}, {0xBC, 0x02, 0x00, 0x00}},
        {70000, {0x70, 0x11}, {0x70, 0x11, 0x01, 0x00}},
        {188416, {0x00, 0xE0}, {0x00, 0xE0, 0x02, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes file = bytesOf(uptest::pattern(c.size));
        const Bytes r = request(1, file);
        EXPECT_EQ(r[22], c.len16[0]);
        EXPECT_EQ(r[23], c.len16[1]);
        const std::uint16_t sum = referenceChecksum(file);
        EXPECT_EQ(r[24], sum & 0xFF);
        EXPECT_EQ(r[25], sum >> 8);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(r[26 + i], c.len32[i]) << "offset " << 26 + i;
    }
    // Files of 0 and 1 bytes have no whole word: the checksum is 0xFF 0xFF.
    for (std::size_t n : {0u, 1u}) {
        const Bytes r = request(1, bytesOf(std::string(n, 'z')));
        EXPECT_EQ(r[24], 0xFF);
        EXPECT_EQ(r[25], 0xFF);
    }
}

TEST(FileChecksum, InternetChecksumOverLittleEndianWords)
{
    struct Case {
        Bytes data;
        std::uint16_t sum;
    };
    const Case cases[] = {
        {bytesOf("abc"), 0x9D9E},            // 0x9E 0x9D on the wire
        {{}, 0xFFFF},
        {{0x42}, 0xFFFF},                     // an odd last byte is left out
        {{0xFF, 0xFF}, 0x0000},               // a sum of exactly 0xFFFF stays
        {{0xFF, 0xFF, 0x01, 0x00}, 0xFFFE},   // the carry goes round
        {{0x34, 0x12, 0x78, 0x56, 0x99}, static_cast<std::uint16_t>(~(0x1234 + 0x5678))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFlashpostDlg::FileChecksum(c.data.data(), static_cast<std::int32_t>(c.data.size())), c.sum);
    const Bytes big = bytesOf(uptest::pattern(188416, 3));
    EXPECT_EQ(CFlashpostDlg::FileChecksum(big.data(), 188416), referenceChecksum(big));
}

TEST(Reply, AckAndErrorAreReadFromBytesOneToThree)
{
    struct Case {
        std::array<std::uint8_t, 4> d;
        TftpReply::Kind kind;
        int block, code;
    };
    const Case cases[] = {
        {{0x00, 0x04, 0x01, 0x02}, TftpReply::Ack, 258, 0},
        {{0xFF, 0x04, 0x00, 0x07}, TftpReply::Ack, 7, 0},      // byte 0 is not examined
        {{0x00, 0x05, 0x01, 0x02}, TftpReply::Error, 0, 2},     // the code's low byte only
        {{0x00, 0x05, 0x00, 0xFF}, TftpReply::Error, 0, 255},
        {{0x00, 0x03, 0x00, 0x01}, TftpReply::Other, 0, 0},     // DATA
        {{0x00, 0x06, 0x00, 0x00}, TftpReply::Other, 0, 0},
        {{0x04, 0x00, 0x00, 0x01}, TftpReply::Other, 0, 0},
    };
    for (const Case& c : cases) {
        const TftpReply r = ParseReply(c.d.data());
        EXPECT_EQ(r.kind, c.kind);
        if (c.kind == TftpReply::Ack) {
            EXPECT_EQ(r.block, c.block);
        }
        if (c.kind == TftpReply::Error) {
            EXPECT_EQ(r.code, c.code);
        }
    }
}

}  // namespace
