// The socket component on loopback: opening, what arrives and what is
// dropped, the event connection, and one exchange with a real snmpd.
#include "Loopback.h"
#include "TestEnv.h"
#include "Vectors.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace snmp;
using namespace loopback;
using vectors::hex;

namespace {

TEST(SnmpSocket, OpensOncePerPortAndRefusesBadCalls)
{
    SnmpSocket a;
    EXPECT_EQ(a.State(), SnmpSocket::StateClosed);
    EXPECT_EQ(a.LocalPort(), 0);
    EXPECT_THROW(a.Send(), SnmpError);  // not open
    a.Open(0, "");
    EXPECT_EQ(a.State(), SnmpSocket::StateReady);
    EXPECT_NE(a.LocalPort(), 0);
    EXPECT_THROW(a.Open(0, ""), SnmpError);

    // The port is not shared, not even with another socket of ours.
    SnmpSocket b;
    EXPECT_THROW(b.Open(a.LocalPort(), ""), SnmpError);
    EXPECT_THROW(b.Open(a.LocalPort(), "127.0.0.1"), SnmpError);
    EXPECT_EQ(b.State(), SnmpSocket::StateClosed);
    // Nor with another program's socket.
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    EXPECT_THROW(b.Open(other.localPort(), ""), SnmpError);

    EXPECT_THROW(b.Open(0, "not an address"), SnmpError);
    EXPECT_THROW(b.Open(70000, ""), SnmpError);
    for (const char* bad : {"10.0.0", "10.0.0.1.2", "256.0.0.1", "10.0.0.1 ", "10..0.1", "1000.0.0.1", "", "a.b.c.d"})
        EXPECT_THROW(b.RemoteAddress(bad), SnmpError) << bad;
    b.RemoteAddress("010.000.0.1");  // leading zeros are decimal
    EXPECT_EQ(b.RemoteAddress(), "10.0.0.1");
    EXPECT_THROW(b.RemoteAddress("::1"), SnmpError);
    EXPECT_THROW(b.RemotePort(0), SnmpError);
    EXPECT_THROW(b.Timeout(-1), SnmpError);
    EXPECT_THROW(b.Message().Type(12), SnmpError);
    b.Open(0, "127.0.0.1");
    EXPECT_THROW(b.Send(), SnmpError);  // no destination yet
}

TEST(SnmpSocket, ResponsesAndTrapsBecomeEventsAndEverythingElseIsDropped)
{
    SnmpSocket s;
    Sink sink(&s);
    std::uint32_t cookie = s.Advise(&sink);
    EXPECT_EQ(sink.refs, 1);
    s.Open(0, "127.0.0.1");

    // Dropped: garbage, a cut response, a request, an empty datagram.
    sendRaw(hex("DE AD BE EF"), s.LocalPort());
    auto cut = hex(vectors::kSysDescrResponse);
    cut.pop_back();
    sendRaw(cut, s.LocalPort());
    sendRaw(hex(vectors::kGetSysDescr), s.LocalPort());
    sendRaw({}, s.LocalPort());
    sendRaw(hex(vectors::kSysDescrResponse), s.LocalPort(), "127.0.0.7");
    ASSERT_TRUE(waitUntil([&] { return sink.responses == 1; }, 3000));
    EXPECT_EQ(sink.traps, 0);
    EXPECT_EQ(sink.senders, std::vector<std::string>{"127.0.0.7"});
    EXPECT_EQ(sink.last.Variables().Item(1).Value(), vectors::kDescription);
    EXPECT_EQ(s.Message().RequestId(), vectors::kGetSysDescrId);

    sendRaw(hex(vectors::kTrapV1), s.LocalPort(), "127.0.0.8");
    sendRaw(hex(vectors::kTrapV2c), s.LocalPort(), "127.0.0.9");
    ASSERT_TRUE(waitUntil([&] { return sink.traps == 2; }, 3000));
    EXPECT_EQ(sink.responses, 1);
    EXPECT_EQ(sink.senders, (std::vector<std::string>{"127.0.0.7", "127.0.0.8", "127.0.0.9"}));

    // Disconnected, the sink hears nothing more and its count is back.
    s.Unadvise(cookie);
    EXPECT_EQ(sink.refs, 0);
    EXPECT_THROW(s.Unadvise(cookie), SnmpError);
    sendRaw(hex(vectors::kSysDescrResponse), s.LocalPort());
    spin(100);
    EXPECT_EQ(sink.responses, 1);
}

TEST(SnmpSocket, SendsTheRequestAsOneDatagram)
{
    QUdpSocket agent;
    ASSERT_TRUE(agent.bind(QHostAddress::LocalHost, 0));
    SnmpSocket s;
    s.Open(0, "");
    s.RemoteAddress("127.0.0.1");
    s.RemotePort(agent.localPort());
    getSysDescr(s.Message(), vectors::kGetSysDescrId);
    s.Send();
    ASSERT_TRUE(waitUntil([&] { return agent.hasPendingDatagrams(); }, 3000));
    QNetworkDatagram d = agent.receiveDatagram();
    auto expected = hex(vectors::kGetSysDescr);
    EXPECT_EQ(d.data(), QByteArray(reinterpret_cast<const char*>(expected.data()), expected.size()));
    EXPECT_EQ(d.senderPort(), s.LocalPort());
}

// A real agent: snmpd on a loopback port with a configuration of our own.
class Snmpd {
public:
    explicit Snmpd(const kavo::test::IsolatedEnv& env, const std::string& description)
    {
        m_port = freePort();
        std::string conf = env.writeFile("snmpd.conf", "rocommunity public 127.0.0.1\nsysDescr " + description + "\n");
        env.writeFile("snmp/.keep", "");
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("SNMP_PERSISTENT_DIR", QString::fromStdString(env.root() + "/snmp"));
        e.insert("MIBS", "");
        m_process.setProcessEnvironment(e);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("snmpd", {"-f", "-Lo", "-C", "-c", QString::fromStdString(conf),
                                  QString("udp:127.0.0.1:%1").arg(m_port)});
        m_started = m_process.waitForStarted(5000);
    }
    ~Snmpd()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    bool started() const { return m_started; }
    int port() const { return m_port; }
    std::string output() { return m_process.readAll().toStdString(); }

private:
    QProcess m_process;
    int m_port = 0;
    bool m_started = false;
};

TEST(SnmpSocket, SnmpdAnswersOurRequestAndItsAnswerDecodes)
{
    if (QStandardPaths::findExecutable("snmpd").isEmpty())
        GTEST_SKIP() << "snmpd (net-snmp) is not installed";
    kavo::test::IsolatedEnv env;
    const std::string description = "KAVO WLAN AP v. 1.4.07 (AT76C510)";
    Snmpd agent(env, description);
    ASSERT_TRUE(agent.started());

    SnmpSocket s;
    Sink sink(&s);
    s.Advise(&sink);
    s.Open(0, "");
    // snmpd takes a moment to listen: ask until it answers.
    for (int attempt = 0; attempt < 50 && sink.responses == 0; ++attempt) {
        s.RemoteAddress("127.0.0.1");
        s.RemotePort(agent.port());
        getSysDescr(s.Message(), 1000 + attempt);
        s.Send();
        waitUntil([&] { return sink.responses > 0; }, 200);
    }
    ASSERT_GE(sink.responses, 1) << agent.output();
    EXPECT_EQ(sink.senders[0], "127.0.0.1");
    EXPECT_EQ(sink.last.Type(), SnmpMessage::GetResponse);
    EXPECT_EQ(sink.last.ErrorStatus(), 0);
    EXPECT_GE(sink.last.RequestId(), 1000);
    EXPECT_EQ(sink.last.Variables().Item(1).Name(), "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(sink.last.Variables().Item(1).Value(), description);
}

}  // namespace
