// The transfer engine against an AP the test answers by hand: block
// splitting, the reply rules and the order of the outcomes.
#include "UploaderTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

using namespace uptest;

struct Data {
    int block;
    QByteArray bytes;
};

std::vector<Data> dataPackets(const ScriptedAp& ap)
{
    std::vector<Data> out;
    for (const auto& d : ap.received)
        if (d.size() >= 4 && d[1] == 3)
            out.push_back({quint8(d[2]) * 256 + quint8(d[3]), d.mid(4)});
    return out;
}

class Engine : public ::testing::Test {
protected:
    // A loaded firmware file of `size` bytes and the address 127.0.0.1.
    void prepare(std::size_t size)
    {
        file = pattern(size);
        s.writeFirmware("pkg/fw.bin", file);
        s.writeList("pkg\\fw.bin $0\n");
        s.setAddress("127.0.0.1");
    }
    Dialog& start(TftpParams p)
    {
        d = std::make_unique<Dialog>(p);
        d->init();
        return *d;
    }
    Scene s;
    ScriptedAp ap;
    std::string file;
    std::unique_ptr<Dialog> d;
};

TEST_F(Engine, FilesAreSplitInto512ByteBlocksEndingWithAShortOne)
{
    struct Case {
        std::size_t size;
        std::vector<int> lengths;  // empty: 368 full blocks and an empty one
    };
    const Case cases[] = {{1024, {512, 512, 0}}, {700, {512, 188}}, {1, {1}}, {188416, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Scene setup;
        ScriptedAp peer;
        const std::string bytes = pattern(c.size, unsigned(c.size));
        setup.writeFirmware("pkg/fw.bin", bytes);
        setup.writeList("pkg\\fw.bin $0\n");
        setup.setAddress("127.0.0.1");
        Dialog dlg(fastParams(peer.port()));
        dlg.init();
        ASSERT_TRUE(dlg.waitForStatus(kCompleted, 20000)) << dlg.texts().join('|').toStdString();

        std::vector<int> expected = c.lengths;
        if (expected.empty()) {
            expected.assign(368, 512);
            expected.push_back(0);
        }
        const auto packets = dataPackets(peer);
        ASSERT_EQ(packets.size(), expected.size());
        QByteArray joined;
        for (std::size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].block, int(i) + 1);
            EXPECT_EQ(packets[i].bytes.size(), expected[i]) << "block " << i + 1;
            joined += packets[i].bytes;
        }
        EXPECT_EQ(joined.toStdString(), bytes);
        EXPECT_EQ(peer.received.front().size(), 30);  // one write request, first
        EXPECT_EQ(peer.received.size(), packets.size() + 1);
        EXPECT_EQ(dlg.texts(), (QStringList{kWait, kInProgress, kFlashing, kCompleted}));
        auto last = setup.lastUpdate();
        ASSERT_TRUE(last);
        EXPECT_EQ(last->type, kavo::RegSz);
        EXPECT_EQ(last->data, (std::vector<std::uint8_t>{'1', 0, 0, 0}));
    }
}

TEST_F(Engine, AcksOfOtherBlocksAreIgnoredAndCauseNoSecondSend)
{
    prepare(1024);
    ap.autoAck = false;
    TftpParams p = fastParams(ap.port());
    p.blockPeriodMs = p.requestPeriodMs = 1500;  // no retransmission within the test's waits
    start(p);
    ASSERT_TRUE(ap.waitForCount(1, 3000));
    ap.ack(0);
    ASSERT_TRUE(ap.waitForCount(2, 3000));  // block 1
    ap.ack(0);                              // a second ACK of the request
    ap.ack(7);                              // a block never sent
    ap.ack(2);                              // ahead of the transfer
    spin(200);
    EXPECT_EQ(ap.received.size(), 2u);
    EXPECT_EQ(d->dlg().statusText(), kInProgress);
    ap.ack(1);
    ASSERT_TRUE(ap.waitForCount(3, 3000));
    spin(100);
    EXPECT_EQ(ap.received.size(), 3u);
    EXPECT_EQ(dataPackets(ap).back().block, 2);
}

TEST_F(Engine, ARepeatedAckOfTheLastBlockStartsTheFlashWaitOver)
{
    prepare(700);
    TftpParams p = fastParams(ap.port());
    p.flashWaitMs = 1000;
    start(p);
    ASSERT_TRUE(d->waitForStatus(kFlashing, 5000));
    QElapsedTimer t;
    t.start();
    spin(400);
    ap.ack(2);
    spin(int(qMax<qint64>(0, 1200 - t.elapsed())));
    EXPECT_EQ(d->dlg().statusText(), kFlashing);
    EXPECT_FALSE(s.lastUpdate());
    ASSERT_TRUE(d->waitForStatus(kCompleted, 3000));
    EXPECT_GE(t.elapsed(), 1300);
    EXPECT_TRUE(s.lastUpdate());
}

TEST_F(Engine, AnErrorPacketEndsTheTransferInEveryPhase)
{
    struct Case {
        const char* when;
        int code;
        QString text;
    };
    const Case cases[] = {
        {"data", 0x0102, "Transfer failed: Error - 2"},
        {"flash wait", 7, "Transfer failed: Error - 7"},
        {"idle", 1, "Transfer failed: Error - 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        Scene setup;
        ScriptedAp peer;
        setup.writeFirmware("pkg/fw.bin", pattern(2000));
        setup.writeList("pkg\\fw.bin $0\n");
        setup.setAddress("127.0.0.1");
        const std::string when = c.when;
        if (when == "data") {
            peer.onDatagram = [&peer](const QByteArray& dg) {
                if (dg[1] == 2)
                    peer.ack(0);
                else if (dg[3] == 2)
                    peer.error(0x0102);
                else
                    peer.ack(quint8(dg[3]));
            };
        }
        TftpParams p = fastParams(peer.port());
        Dialog dlg(p);
        dlg.init();
        if (when == "flash wait") {
            ASSERT_TRUE(dlg.waitForStatus(kFlashing, 5000));
            peer.error(c.code);
        } else if (when == "idle") {
            ASSERT_TRUE(dlg.waitForStatus(kCompleted, 5000));
            peer.error(c.code);
        }
        ASSERT_TRUE(dlg.waitForStatus(c.text, 5000)) << dlg.texts().join('|').toStdString();
        const std::size_t count = peer.received.size();
        spin(p.flashWaitMs + 300);  // past the flash wait and a retransmission period
        EXPECT_EQ(dlg->statusText(), c.text);
        EXPECT_EQ(peer.received.size(), count);
        EXPECT_TRUE(dlg.iconShown());
        EXPECT_TRUE(dlg.okEnabled());
        EXPECT_TRUE(dlg.okHasFocus());
        EXPECT_EQ(dlg->m_nStatus, 2);
        EXPECT_EQ(dlg->m_socket.m_nPhase, 0);
        // A failure is never followed by "Transfer Completed" nor recorded.
        EXPECT_EQ(bool(setup.lastUpdate()), when == "idle");
        if (when != "idle") {
            EXPECT_FALSE(dlg.texts().contains(kCompleted));
        }
        if (when == "data") {
            EXPECT_EQ(dataPackets(peer).size(), 2u);
        }
    }
}

TEST_F(Engine, AnAckWithTheExpectedNumberWhileIdleShowsErrorState)
{
    prepare(700);
    start(fastParams(ap.port()));
    ASSERT_TRUE(d->waitForStatus(kCompleted, 5000));
    ap.ack(2);
    ASSERT_TRUE(d->waitForStatus("error state", 3000));
    EXPECT_TRUE(d->iconShown());
    EXPECT_TRUE(d->okEnabled());
    EXPECT_TRUE(d->okHasFocus());
    EXPECT_TRUE(s.lastUpdate());
}

TEST_F(Engine, AnAckOfTheRequestAfterTheTimeOutStillStartsTheData)
{
    prepare(700);
    ap.autoAck = false;
    start(fastParams(ap.port()));
    ASSERT_TRUE(d->waitForStatus(" Timed out... ", 5000));
    EXPECT_EQ(ap.received.size(), 10u);
    EXPECT_EQ(d->dlg().m_socket.m_nPhase, 1);
    ap.ack(0);
    ASSERT_TRUE(d->waitForStatus(kInProgress, 3000));
    ASSERT_TRUE(ap.waitForCount(11, 3000));
    EXPECT_EQ(dataPackets(ap).front().block, 1);
    // The late transfer reaches its flash wait with the status ready, so a
    // new upload may start: the old flash wait must not complete it.
    ap.ack(1);
    ASSERT_TRUE(ap.waitForCount(12, 3000));
    ap.ack(2);
    ASSERT_TRUE(d->waitForStatus(kFlashing, 3000));
    d->dlg().OnDownloadImage();
    ASSERT_TRUE(ap.waitForCount(13, 3000));
    EXPECT_EQ(ap.received.back().size(), 30);  // a new write request
    spin(d->dlg().params().flashWaitMs + 200);
    EXPECT_FALSE(d->texts().contains(kCompleted)) << d->texts().join('|').toStdString();
    EXPECT_FALSE(s.lastUpdate());
    EXPECT_EQ(d->dlg().m_socket.m_nPhase, 1);
}

TEST_F(Engine, ShortAndOverlongDatagramsAreDroppedWithoutAReport)
{
    prepare(700);
    ap.autoAck = false;
    TftpParams p = fastParams(ap.port());
    p.requestPeriodMs = 1500;
    start(p);
    ASSERT_TRUE(ap.waitForCount(1, 3000));
    ap.sendRaw(QByteArray("\x00\x04\x00", 3));
    QByteArray huge(2000, '\0');
    huge[1] = 4;
    ap.sendRaw(huge);
    spin(200);
    EXPECT_EQ(d->texts(), QStringList{kWait});
    EXPECT_EQ(ap.received.size(), 1u);
    ap.ack(0);
    ASSERT_TRUE(d->waitForStatus(kInProgress, 3000));
}

}  // namespace
