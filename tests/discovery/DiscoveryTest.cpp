// The whole discovery in this process, on loopback: the application made
// with a short collection window, scripted agents that answer from
// addresses of their own (127.0.0.x), and the AP table it leaves in a
// private settings store.
#include "Loopback.h"
#include "TestEnv.h"
#include "Vectors.h"

#include "FakeServices.h"
#include "Marlin.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TrapListener.h"
#include "snmp/Ber.h"

#include <QNetworkDatagram>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

using namespace marlin;
using namespace loopback;
namespace fs = std::filesystem;
namespace ber = snmp::ber;

namespace {

// One scripted reply to the request.
struct Reply {
    std::string from;         // the agent's address
    std::string description;  // sysDescr.0
    int delayMs = 0;
    int errorStatus = 0;
    enum Shape { Good, NoBinding, NullValue, Garbage } shape = Good;
};

// Answers the discovery's request with the scripted replies.
class Agents {
public:
    explicit Agents(std::vector<Reply> replies) : m_replies(std::move(replies))
    {
        m_listener.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&m_listener, &QUdpSocket::readyRead, [this] { answer(); });
        for (const auto& r : m_replies) {
            if (m_sockets.count(r.from))
                continue;
            auto s = std::make_unique<QUdpSocket>();
            EXPECT_TRUE(s->bind(QHostAddress(QString::fromStdString(r.from)), 0)) << r.from;
            m_sockets[r.from] = std::move(s);
        }
    }
    int port() const { return m_listener.localPort(); }
    int requests = 0;
    ber::Message lastRequest;

private:
    void answer()
    {
        while (m_listener.hasPendingDatagrams()) {
            QNetworkDatagram d = m_listener.receiveDatagram();
            auto request = ber::decode(reinterpret_cast<const std::uint8_t*>(d.data().constData()), d.data().size());
            if (!request)
                continue;
            ++requests;
            lastRequest = *request;
            for (const auto& r : m_replies) {
                QByteArray bytes = reply(r, *request);
                QUdpSocket* from = m_sockets[r.from].get();
                QHostAddress to = d.senderAddress();
                quint16 port = d.senderPort();
                QTimer::singleShot(r.delayMs, from, [from, bytes, to, port] { from->writeDatagram(bytes, to, port); });
            }
        }
    }

    static QByteArray reply(const Reply& r, const ber::Message& request)
    {
        if (r.shape == Reply::Garbage)
            return QByteArray("\x30\x05\x02\x01", 4);
        ber::Message m;
        m.community = "public";
        m.pduTag = ber::PduGetResponse;
        m.requestId = request.requestId;
        m.errorStatus = r.errorStatus;
        m.errorIndex = r.errorStatus ? 1 : 0;
        if (r.shape != Reply::NoBinding) {
            ber::Binding b{{1, 3, 6, 1, 2, 1, 1, 1, 0}, ber::TagOctetString, r.description};
            if (r.shape == Reply::NullValue || r.errorStatus)
                b = {{1, 3, 6, 1, 2, 1, 1, 1, 0}, ber::TagNull, ""};
            m.bindings.push_back(b);
        }
        auto bytes = ber::encode(m);
        return QByteArray(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    }

    std::vector<Reply> m_replies;
    QUdpSocket m_listener;
    std::map<std::string, std::unique_ptr<QUdpSocket>> m_sockets;
};

class Discovery : public ::testing::Test {
public:
    void SetUp() override
    {
        m_programDir = m_env.root() + "/program/";
        installProgram(m_programDir, "Beaconry");
        m_fake.program = m_programDir + "Beaconry";
        m_config.collectionWindowMs = 300;
        m_config.trapPort = 0;  // any free port
        m_config.requestAddress = "127.0.0.1";
    }

    void installProgram(const std::string& dir, const std::string& name)
    {
        fs::create_directories(dir);
        m_env.writeFile(fs::relative(dir + name, m_env.root()).string(), "");
        fs::copy_file(kavo::test::binDir() + "/AT76C510.mib", dir + "AT76C510.mib",
                      fs::copy_options::overwrite_existing);
    }

    int run(Agents* agents = nullptr)
    {
        if (agents)
            m_config.agentPort = agents->port();
        CMarlinApp app(m_config);
        return app.Run();
    }

    std::optional<kavo::RawValue> value(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        return key ? key->readRaw(name) : std::nullopt;
    }
    std::string text(const char* name)
    {
        auto v = value(name);
        return v ? std::string(v->data.begin(), v->data.end()) : "<absent>";
    }

    kavo::test::IsolatedEnv m_env;
    kavo::platform::FakeServices m_fake;
    kavo::platform::ScopedServices m_scoped{m_fake};
    std::string m_programDir;
    DiscoveryConfig m_config;
};

// Connected to a socket after its owner, so it sees each event once the
// owner has handled it: `seen` once a response from `from` came.
class LastReplyWatch : public snmp::ISnmpEvents {
public:
    LastReplyWatch(snmp::SnmpSocket& socket, std::string from) : m_socket(socket), m_from(std::move(from))
    {
        m_cookie = m_socket.Advise(this);
    }
    ~LastReplyWatch() { m_socket.Unadvise(m_cookie); }
    bool seen = false;

    void AddRef() override {}
    void Release() override {}
    void OnResponse() override { seen = seen || m_socket.RemoteAddress() == m_from; }
    void OnTrap() override {}
    void OnError(std::int32_t, std::int32_t) override {}
    void OnEvent4() override {}

private:
    snmp::SnmpSocket& m_socket;
    std::string m_from;
    std::uint32_t m_cookie = 0;
};

// A stored text: its characters and the terminating zero.
std::string z(const std::string& text)
{
    return text + '\0';
}

const std::string kLong = "KAVO WLAN AP v. 1.4.07 (AT76C510)";

TEST_F(Discovery, RecordsTheFirstGoodReplyOfEachAgentInArrivalOrder)
{
    // The replies are a few milliseconds apart, so that they arrive in this order.
    Agents agents({
        {"127.0.0.11", kLong, 0},
        {"127.0.0.12", "Short AP descr", 3},                   // 14 characters: no version
        {"127.0.0.13", "", 6, 5},                              // an error first ...
        {"127.0.0.13", "KAVO WLAN AP v. 2.0.01-late", 60},     // ... then a good reply
        {"127.0.0.14", "KAVO WLAN AP v. 3.1.00 first", 9},
        {"127.0.0.14", "KAVO WLAN AP v. 9.9.99 again", 40},    // a second reply: not kept
        {"127.0.0.15", "", 12, 0, Reply::NoBinding},
        {"127.0.0.16", "", 15, 0, Reply::NullValue},
        {"127.0.0.17", "", 18, 0, Reply::Garbage},
        {"127.0.0.18", "KAVO WLAN AP v. 1,4,07", 21},          // a comma would split the list
        {"127.0.0.19", std::string("KAVO WLAN AP v. 1.5\0zz", 22), 24},
        {"127.0.0.20", "0123456789abcdef", 27},                // exactly 16: no version
        {"127.0.0.21", "0123456789abcdefX", 30},               // 17: one character
        {"127.0.0.22", "KAVO WLAN AP v. 9.9.99 late", 420},    // after the window: not kept
    });
    // A trap to the listener during the run changes nothing.
    QTimer::singleShot(50, [] {
        ASSERT_TRUE(g_pMainFrame && g_pMainFrame->m_pTrapListener);
        sendRaw(vectors::hex(vectors::kTrapV1), g_pMainFrame->m_pTrapListener->socket()->LocalPort(), "127.0.0.30");
    });
    EXPECT_EQ(run(&agents), 0);

    EXPECT_EQ(agents.requests, 1);
    EXPECT_EQ(agents.lastRequest.community, "public");
    EXPECT_EQ(agents.lastRequest.requestId, 0);
    ASSERT_EQ(agents.lastRequest.bindings.size(), 1u);
    EXPECT_EQ(ber::oidText(agents.lastRequest.bindings[0].name), "1.3.6.1.2.1.1.1.0");

    EXPECT_EQ(text(kavo::settings::kApIpAddress),
              z("127.0.0.11,127.0.0.12,127.0.0.14,127.0.0.18,127.0.0.19,127.0.0.20,127.0.0.21,127.0.0.13"));
    EXPECT_EQ(text(kavo::settings::kApVersion), z("1.4.07,,3.1.00,,1.5,,X,2.0.01"));
    EXPECT_EQ(value(kavo::settings::kApVersion)->type, kavo::RegSz);
}

TEST_F(Discovery, NoAgentLeavesBothValuesPresentAndEmpty)
{
    Agents none({});
    EXPECT_EQ(run(&none), 0);
    EXPECT_EQ(none.requests, 1);
    for (const char* name : {kavo::settings::kApIpAddress, kavo::settings::kApVersion}) {
        auto v = value(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, kavo::RegSz);
        EXPECT_EQ(v->data, std::vector<std::uint8_t>{0}) << name;
    }
}

TEST_F(Discovery, A257thAgentSetsTheOverflowMarker)
{
    std::vector<Reply> replies;
    for (int i = 0; i < 257; ++i)
        replies.push_back({"127.0." + std::to_string(1 + i / 200) + "." + std::to_string(1 + i % 200),
                           "KAVO WLAN AP v. " + std::to_string(100000 + i)});
    Agents agents(replies);
    m_config.collectionWindowMs = 600;
    EXPECT_EQ(run(&agents), 0);
    std::string addresses = text(kavo::settings::kApIpAddress);
    std::string versions = text(kavo::settings::kApVersion);
    ASSERT_FALSE(addresses.empty());
    addresses.pop_back();
    versions.pop_back();
    EXPECT_TRUE(addresses.ends_with(",>256"));
    // The replies come at once, so in any order: each address with its own version.
    auto items = [](const std::string& text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
            out.push_back(text.substr(start, comma - start));
        out.push_back(text.substr(start));
        return out;
    };
    auto a = items(addresses.substr(0, addresses.size() - 5));
    auto v = items(versions);
    ASSERT_EQ(a.size(), 256u);
    ASSERT_EQ(v.size(), 256u);
    std::set<std::string> distinct(a.begin(), a.end());
    EXPECT_EQ(distinct.size(), 256u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        int n = std::stoi(v[i]) - 100000;
        EXPECT_EQ(a[i], replies.at(n).from) << i;
    }
}

TEST_F(Discovery, WithTheTableFullEveryNewAgentWithAGoodStatusIsTheOverflow)
{
    // The reply of an agent beyond the table's 256 is not read: only its
    // status and its address count.
    struct Case {
        const char* what;
        Reply reply;
        bool overflow;
    } cases[] = {
        {"good reply", {"127.0.0.11", kLong}, true},
        {"no binding", {"127.0.0.11", "", 0, 0, Reply::NoBinding}, true},
        {"null value", {"127.0.0.11", "", 0, 0, Reply::NullValue}, true},
        {"error status", {"127.0.0.11", kLong, 0, 5}, false},
        {"an agent in the table", {"127.0.0.99", kLong}, false},
        {"not a message", {"127.0.0.11", "", 0, 0, Reply::Garbage}, false},
    };
    m_config.collectionWindowMs = 10000;  // the window stays open while we look
    for (const auto& c : cases) {
        // A last reply from an agent in the table changes nothing; once the
        // frame has handled it, it has handled the case's reply before it.
        Agents agents({c.reply, {"127.0.0.99", kLong, 20}});
        m_config.agentPort = agents.port();
        CMainFrame frame(m_config);
        ASSERT_TRUE(frame.LoadFrame()) << c.what;
        frame.ActivateFrame();
        for (std::size_t i = 0; i < frame.m_apTable.size(); ++i)
            frame.m_apTable[i] = {"full", "127.0." + std::to_string(100 + i / 200) + "." + std::to_string(i % 200)};
        frame.m_apTable[99].m_strAddress = "127.0.0.99";
        frame.m_nApCount = 256;
        LastReplyWatch watch(*frame.socket(), "127.0.0.99");
        ASSERT_TRUE(waitUntil([&] { return agents.requests == 1; }, 3000)) << c.what;
        ASSERT_TRUE(waitUntil([&] { return watch.seen; }, 3000)) << c.what;
        EXPECT_EQ(frame.m_bApOverflow, c.overflow ? 1 : 0) << c.what;
        EXPECT_EQ(frame.m_nApCount, 256) << c.what;
    }
}

TEST_F(Discovery, TheFrameStartsOnceAndStaysHidden)
{
    {
        // The start-up shows and activates the frame, which starts the
        // discovery, and then hides it: hidden while the run goes on.
        CMarlinApp app(m_config);
        bool looked = false, visible = true;
        int requests = 0;
        QTimer::singleShot(0, [&] {
            looked = app.m_pMainWnd != nullptr;
            visible = looked && app.m_pMainWnd->IsWindowVisible();
            requests = looked && app.m_pMainWnd->m_bDiscovering ? app.m_pMainWnd->m_nRequestId : 0;
        });
        EXPECT_EQ(app.Run(), 0);
        ASSERT_TRUE(looked);
        EXPECT_FALSE(visible);
        EXPECT_EQ(requests, 1);
    }
    CMainFrame frame(m_config);
    EXPECT_EQ(frame.m_strProgramDir, m_programDir);
    EXPECT_EQ(frame.m_strMibPath, m_programDir + "AT76C510.mib");
    ASSERT_TRUE(frame.LoadFrame());
    EXPECT_EQ(frame.style(), 0xEFFFFFFFu);
    EXPECT_EQ(frame.statusBar().paneTexts(), (std::vector<std::string>{"", "CAP", "NUM", "SCRL"}));
    EXPECT_EQ(frame.statusBar().id(), AFX_IDW_STATUS_BAR);
    EXPECT_TRUE(frame.m_bTrapListenerMade);
    EXPECT_EQ(frame.m_bFirstActivation, 1);
    EXPECT_EQ(frame.m_nRequestId, 0);

    frame.ActivateFrame();
    EXPECT_EQ(frame.m_bFirstActivation, 0);
    EXPECT_EQ(frame.m_bDiscovering, 1);
    EXPECT_EQ(frame.m_nDiscoveryTimer, kDiscoveryTimerId);
    EXPECT_EQ(frame.m_nRequestId, 1);
    frame.ActivateFrame();  // later activations start nothing
    EXPECT_EQ(frame.m_nRequestId, 1);

    frame.EndDiscovery();
    EXPECT_EQ(frame.m_bDiscovering, 0);
    EXPECT_EQ(frame.m_nDiscoveryTimer, 0u);
    EXPECT_EQ(text(kavo::settings::kApIpAddress), z(""));

    frame.DestroyWindow();
    EXPECT_EQ(frame.m_pTrapListener, nullptr);
    EXPECT_EQ(frame.m_nDiscoveryTimer, 0u);
}

TEST_F(Discovery, ATrapPortInUseEndsWithExitCodeOneAndWritesNothing)
{
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    m_config.trapPort = holder.localPort();
    Agents agents({{"127.0.0.11", kLong}});
    EXPECT_EQ(run(&agents), 1);
    spin(50);
    EXPECT_EQ(agents.requests, 0);
    EXPECT_FALSE(kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false));
}

TEST_F(Discovery, AFrameThatCannotBeMadeEndsWithExitCodeTwo)
{
    struct Case {
        const char* what;
        std::function<void(Discovery&)> setup;
    } cases[] = {
        {"program under another name",
         [](Discovery& t) {
             t.installProgram(t.m_env.root() + "/renamed/", "Other");
             t.m_fake.program = t.m_env.root() + "/renamed/Other";
         }},
        {"MIB file missing", [](Discovery& t) { fs::remove(t.m_programDir + "AT76C510.mib"); }},
        {"MIB file unparsable",
         [](Discovery& t) { t.m_env.writeFile("program/AT76C510.mib", "NOT A MODULE"); }},
    };
    for (const auto& c : cases) {
        SetUp();
        c.setup(*this);
        Agents agents({{"127.0.0.11", kLong}});
        testing::internal::CaptureStderr();
        int code = run(&agents);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 2) << c.what;
        EXPECT_EQ(err, std::string(kFailedToCreateDoc) + "\n") << c.what;
        spin(20);
        EXPECT_EQ(agents.requests, 0) << c.what;
        EXPECT_EQ(text(kavo::settings::kApIpAddress), "<absent>") << c.what;
    }
}

TEST_F(Discovery, ATimerThatCannotStartEndsTheRunAtOnceWithEmptyResults)
{
    m_config.collectionWindowMs = -1;
    Agents agents({{"127.0.0.11", kLong}});
    EXPECT_EQ(run(&agents), 0);
    EXPECT_EQ(agents.requests, 0);
    EXPECT_EQ(text(kavo::settings::kApIpAddress), z(""));
    EXPECT_EQ(text(kavo::settings::kApVersion), z(""));
}

TEST_F(Discovery, ASettingsStoreThatCannotBeOpenedIsPassedOverSilently)
{
    // The store's folder is a file: the key cannot be made.
    std::string config = m_env.writeFile("config-file", "");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    Agents agents({{"127.0.0.11", kLong}});
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(&agents), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(agents.requests, 1);
}

TEST(ApTable, VersionItemsAreSixCharactersFromIndexSixteen)
{
    struct Case {
        std::string description, version;
    } cases[] = {
        {"", ""},
        {"0123456789abcdef", ""},
        {"0123456789abcdefX", "X"},
        {"0123456789abcdefVVVVVV", "VVVVVV"},
        {"0123456789abcdefVVVVVVtail", "VVVVVV"},
        {"0123456789abcdefV,VVVV", ""},
        {"0123456789abcdefVVVVVV,tail", "VVVVVV"},
    };
    std::vector<ApEntry> entries;
    std::string addresses, versions;
    for (const auto& c : cases) {
        std::string address = "10.0.0." + std::to_string(entries.size() + 1);
        entries.push_back({c.description, address});
        ApTableTexts one = FormatApTable(&entries.back(), 1, false);
        EXPECT_EQ(one.versions, c.version) << c.description;
        EXPECT_EQ(one.addresses, address);
        addresses += (addresses.empty() ? "" : ",") + address;
        versions += (entries.size() == 1 ? "" : ",") + c.version;
    }
    ApTableTexts all = FormatApTable(entries.data(), entries.size(), false);
    EXPECT_EQ(all.addresses, addresses);
    EXPECT_EQ(all.versions, versions);
    EXPECT_EQ(FormatApTable(entries.data(), entries.size(), true).addresses, addresses + ",>256");
    EXPECT_EQ(FormatApTable(nullptr, 0, true).addresses, ",>256");
    EXPECT_EQ(FormatApTable(nullptr, 0, false).addresses, "");
}

}  // namespace
