// The wizard's FTP client against the real vsftpd and against a scripted
// server of the tests' own for what vsftpd does not do, all on loopback.
#include "FtpTestServers.h"
#include "NMFTP.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTest>

#include <filesystem>

using namespace ftptest;
using kavo::test::IsolatedEnv;
using kavo::test::readFile;

namespace {

// A client whose events are written into one log, in order.
struct Recorder {
    TNMFTP ftp;
    std::vector<std::string> events;
    std::vector<std::string> lines;
    qint64 lastReceived = 0, lastTotal = -1;
    int packets = 0;
    std::function<void()> onPacket;      // runs inside the packet event
    std::function<void()> onDisconnect;  // runs inside the disconnect event

    explicit Recorder(quint16 port, int timeOut = 20000)
    {
        ftp.Host = "127.0.0.1";
        ftp.Port = port;
        ftp.UserID = "anonymous";
        ftp.TimeOut = timeOut;
        ftp.OnHostResolved = [this] { events.push_back("HostResolved"); };
        ftp.OnConnect = [this] { events.push_back("Connect"); };
        ftp.OnConnectionFailed = [this] { events.push_back("ConnectionFailed"); };
        ftp.OnError = [this](const std::string&) { events.push_back("Error"); };
        ftp.OnListItem = [this](const std::string& line) { lines.push_back(line); };
        ftp.OnTransactionStart = [this] { events.push_back("TransactionStart"); };
        ftp.OnTransactionStop = [this] { events.push_back("TransactionStop"); };
        ftp.OnPacketRecvd = [this](qint64 r, qint64 t) {
            if (packets++ == 0)
                events.push_back("PacketRecvd");
            lastReceived = r;
            lastTotal = t;
            if (onPacket)
                onPacket();
        };
        ftp.OnSuccess = [this](TCmdType k) { events.push_back("Success " + std::to_string(k)); };
        ftp.OnFailure = [this](bool&, TCmdType k) { events.push_back("Failure " + std::to_string(k)); };
        ftp.OnDisconnect = [this] {
            events.push_back("Disconnect");
            if (onDisconnect)
                onDisconnect();
        };
    }
    // The error message a call raised, "" when it raised none.
    template <typename Call>
    std::string errorOf(Call&& call)
    {
        try {
            call();
        } catch (const EFtpError& e) {
            return e.what();
        }
        return {};
    }
};

using Events = std::vector<std::string>;
const std::string kDownload = std::to_string(cmdDownload), kList = std::to_string(cmdList),
                  kChangeDir = std::to_string(cmdChangeDir);

TEST(NMFTP, DownloadsByteForByteFromVsftpdWithEventsInOrder)
{
    if (auto why = vsftpdSkipReason(); !why.empty())
        GTEST_SKIP() << why;
    IsolatedEnv env;
    const std::string root = env.root() + "/ftp";
    const std::string content = binaryContent(300000);
    putFile(root, "pub/KAVO/Wireless/AP/a1400.zip", content);
    putFile(root, "pub/KAVO/Wireless/AP/notes with spaces.txt", "x");
    Vsftpd server(root);
    ASSERT_TRUE(server.running()) << server.output();

    Recorder r(server.port());
    r.ftp.Connect();
    EXPECT_TRUE(r.ftp.Connected());
    r.ftp.ChangeDir("/pub/KAVO/Wireless/AP/");
    r.ftp.List();
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].substr(0, 10), "-rw-r--r--");
    EXPECT_NE(r.lines[1].find(" notes with spaces.txt"), std::string::npos) << r.lines[1];
    EXPECT_EQ(r.lines[1].back(), 't') << "line ends are removed";

    const std::string local = env.tempFolder() + "a1400.zip";
    putFile(env.tempFolder(), "a1400.zip", std::string(400000, 'o'));  // replaced, not appended to
    r.ftp.Download("/pub/KAVO/Wireless/AP/a1400.zip", local);
    EXPECT_TRUE(readFile(local) == content) << "the download differs from the server's file";
    EXPECT_EQ(r.lastReceived, 300000);
    EXPECT_EQ(r.lastTotal, 300000);
    r.ftp.Disconnect();
    EXPECT_FALSE(r.ftp.Connected());
    EXPECT_EQ(r.events, (Events{"HostResolved", "Connect", "Success " + kChangeDir, "TransactionStart",
                                "TransactionStop", "Success " + kList, "TransactionStart", "PacketRecvd",
                                "TransactionStop", "Success " + kDownload, "Disconnect"}));
}

TEST(NMFTP, ConnectionErrorsAreSocketErrorsAndRefusalsCarryTheServersReply)
{
    if (auto why = vsftpdSkipReason(); !why.empty())
        GTEST_SKIP() << why;
    IsolatedEnv env;
    std::filesystem::create_directories(env.root() + "/ftp");
    Vsftpd closed(env.root() + "/ftp", /*anonymous=*/false);
    ASSERT_TRUE(closed.running()) << closed.output();

    {
        Recorder r(closed.port());
        std::string error;
        try {
            r.ftp.Connect();
        } catch (const EProtocolError& e) {
            error = e.what();
        }
        EXPECT_EQ(error.substr(0, 4), "530 ") << error;
        EXPECT_EQ(r.events, (Events{"HostResolved", "ConnectionFailed"}));
        EXPECT_FALSE(r.ftp.Connected());
    }
    struct Case {
        const char* host;
        quint16 port;
        const char* message;
    } cases[] = {
        {"127.0.0.1", freePort(), "Connection refused by 127.0.0.1:"},
        {"no-such-host.invalid", 21, "Host not found: no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        Recorder r(c.port);
        r.ftp.Host = c.host;
        std::string error;
        try {
            r.ftp.Connect();
        } catch (const ESockError& e) {
            error = e.what();
        }
        EXPECT_EQ(error.substr(0, std::strlen(c.message)), c.message) << c.host;
        ASSERT_FALSE(r.events.empty());
        EXPECT_EQ(r.events.back(), "Error") << c.host;
    }
}

TEST(NMFTP, AsksForTheImageTypeBeforeEveryDownload)
{
    ScriptedFtpServer server;  // converts LF to CR LF unless asked for TYPE I
    const std::string content = binaryContent(5000);
    server.files["/a1400.zip"] = content;
    IsolatedEnv env;
    Recorder r(server.port());
    r.ftp.Connect();
    for (int i = 0; i < 2; ++i) {
        r.ftp.Download("/a1400.zip", env.tempFolder() + "a.zip");
        EXPECT_TRUE(readFile(env.tempFolder() + "a.zip") == content);
    }
    std::vector<std::string> transfer;
    for (const auto& c : server.commands)
        if (c.rfind("TYPE", 0) == 0 || c.rfind("RETR", 0) == 0)
            transfer.push_back(c);
    EXPECT_EQ(transfer, (std::vector<std::string>{"TYPE I", "RETR /a1400.zip", "TYPE I", "RETR /a1400.zip"}));
    EXPECT_EQ(server.commands[0], "USER anonymous");
    EXPECT_EQ(server.commands[1], "PASS ");
}

// Downloads that must fail, never pass as a success: the file is kept as
// received, the failure event comes after the transaction's stop.
TEST(NMFTP, IncompleteOrUnconfirmedDownloadsFail)
{
    struct Case {
        const char* name;
        qint64 announce, sendLimit;
        const char* completion;
        const char* error;
    } cases[] = {
        {"data closed early", -1, 600, "226 Transfer complete.", "Download incomplete: 600 of 1000 bytes received"},
        {"more than announced", 800, -1, "226 Transfer complete.", "The server sent more than the 800 bytes"},
        {"negative completion", -1, -1, "426 Connection closed; transfer aborted.", "426 Connection closed"},
        {"no size, no completion", 0, 600, "451 Local error.", "451 Local error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.files["/a.zip"] = std::string(1000, 'z');
        server.announce = c.announce;
        server.sendLimit = c.sendLimit;
        server.completion = c.completion;
        IsolatedEnv env;
        Recorder r(server.port());
        r.ftp.Connect();
        std::string error = r.errorOf([&] { r.ftp.Download("/a.zip", env.tempFolder() + "a.zip"); });
        EXPECT_EQ(error.substr(0, std::strlen(c.error)), c.error);
        EXPECT_EQ(r.events.back(), "Failure " + kDownload);
        EXPECT_EQ(r.events[r.events.size() - 2], "TransactionStop");
        EXPECT_TRUE(r.ftp.Connected());
    }

    // Without an announced size a complete, confirmed transfer succeeds.
    ScriptedFtpServer server;
    server.files["/a.zip"] = std::string(1000, 'z');
    server.announce = 0;
    IsolatedEnv env;
    Recorder r(server.port());
    r.ftp.Connect();
    EXPECT_EQ(r.errorOf([&] { r.ftp.Download("/a.zip", env.tempFolder() + "a.zip"); }), "");
    EXPECT_EQ(r.lastTotal, 0);
    EXPECT_EQ(r.lastReceived, 1000);
}

TEST(NMFTP, OversizedRepliesAndListingsEndTheOperation)
{
    struct Case {
        const char* name;
        std::function<void(ScriptedFtpServer&)> setUp;
        bool connectFails;
        const char* error;
    } cases[] = {
        {"greeting over 8 KiB", [](ScriptedFtpServer& s) { s.greeting = "220 " + std::string(9000, 'g'); }, true,
         "The server's reply is longer than 8192 bytes"},
        {"endless multi-line greeting",
         [](ScriptedFtpServer& s) {
             s.greeting = "220-hello";
             for (int i = 0; i < 2000; ++i)
                 s.greeting += "\r\n220-more";
             s.greeting += "\r\n220 done";
         },
         true, "The server's reply is longer than 8192 bytes"},
        {"listing line over 8 KiB",
         [](ScriptedFtpServer& s) { s.listing = {"-rw-r--r-- 1 0 0 1 Jan 1 2002 " + std::string(8200, 'a')}; }, false,
         "A line of the listing is longer than 8192 bytes"},
        {"listing line over 8 KiB without a line end",
         [](ScriptedFtpServer& s) { s.rawListing = std::string(9000, 'a'); }, false,
         "A line of the listing is longer than 8192 bytes"},
        {"10001 entries",
         [](ScriptedFtpServer& s) { s.listing.assign(10001, "-rw-r--r-- 1 0 0 1 Jan 1 2002 a1400.zip"); }, false,
         "The listing has more than 10000 entries"},
        {"a reply that is no reply", [](ScriptedFtpServer& s) { s.greeting = "HTTP/1.0 200 OK"; }, true,
         "The server sent a reply that is not an FTP reply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        c.setUp(server);
        Recorder r(server.port());
        std::string error = r.errorOf([&] { r.ftp.Connect(); });
        if (c.connectFails) {
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(r.events.back(), "ConnectionFailed");
            continue;
        }
        ASSERT_EQ(error, "");
        EXPECT_EQ(r.errorOf([&] { r.ftp.List(); }), c.error);
        EXPECT_EQ(r.events.back(), "Failure " + kList);
        EXPECT_LE(r.lines.size(), 10000u);
    }

    // Exactly 10000 entries and a line of exactly 8192 bytes are fine.
    ScriptedFtpServer server;
    server.listing.assign(9999, "-rw-r--r-- 1 0 0 1 Jan 1 2002 a1400.zip");
    server.listing.push_back("-rw-r--r-- 1 0 0 1 Jan 1 2002 " + std::string(8192 - 30, 'n'));
    Recorder r(server.port());
    r.ftp.Connect();
    EXPECT_EQ(r.errorOf([&] { r.ftp.List(); }), "");
    EXPECT_EQ(r.lines.size(), 10000u);
    EXPECT_EQ(r.lines.back().size(), 8192u);
}

TEST(NMFTP, TheTimeOutRunsOnlyWhileTheServerIsAwaited)
{
    // A server that never answers CWD: the call fails after the time-out.
    ScriptedFtpServer silent;
    silent.replies["CWD"] = "";
    Recorder r(silent.port(), 300);
    r.ftp.Connect();
    EXPECT_EQ(r.errorOf([&] { r.ftp.ChangeDir("/x/"); }), "Timed out: the server sent nothing for 300 ms");
    EXPECT_EQ(r.events.back(), "Failure " + kChangeDir);

    // No greeting: a socket error of the connection.
    ScriptedFtpServer mute;
    mute.greeting.clear();
    Recorder m(mute.port(), 300);
    std::string error;
    try {
        m.ftp.Connect();
    } catch (const ESockError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "Timed out: the server sent nothing for 300 ms");

    // A handler that takes longer than the time-out (the installation asking
    // the user) inside the download's disconnect: no time-out anywhere.
    ScriptedFtpServer server;
    server.files["/a.zip"] = "data";
    IsolatedEnv env;
    Recorder slow(server.port(), 300);
    slow.ftp.OnSuccess = [&](TCmdType) { slow.ftp.Disconnect(); };
    slow.onDisconnect = [] { QTest::qWait(900); };
    slow.ftp.Connect();
    QTest::qWait(700);  // idle between calls
    EXPECT_EQ(slow.errorOf([&] { slow.ftp.Download("/a.zip", env.tempFolder() + "a.zip"); }), "");
    EXPECT_EQ(readFile(env.tempFolder() + "a.zip"), "data");
}

TEST(NMFTP, AbortStopsTheDownloadKeepsThePartAndTheSessionInStep)
{
    ScriptedFtpServer server;
    server.files["/a.zip"] = std::string(2 << 20, 'p');
    server.paceBytes = 16384;
    server.paceMs = 5;
    IsolatedEnv env;
    Recorder r(server.port());
    r.onPacket = [&] {
        if (r.packets == 3)
            r.ftp.Abort();
    };
    r.ftp.Connect();
    EXPECT_EQ(r.errorOf([&] { r.ftp.Download("/a.zip", env.tempFolder() + "a.zip"); }), TNMFTP::kAbortedText);
    EXPECT_EQ(r.events.back(), "Failure " + kDownload);
    const auto kept = std::filesystem::file_size(env.tempFolder() + "a.zip");
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 2u << 20);
    EXPECT_TRUE(server.saw("ABOR"));
    // The session still answers in step.
    EXPECT_TRUE(r.ftp.Connected());
    r.ftp.ChangeDir("/next/");
    EXPECT_EQ(r.ftp.LastReply().code, 250);
    r.ftp.Disconnect();
    EXPECT_EQ(r.ftp.LastReply().code, 221);
}

TEST(NMFTP, DataFromAnotherAddressIsRefused)
{
    ScriptedFtpServer server;
    server.files["/a.zip"] = "forged";
    server.dataFrom = QHostAddress("127.0.0.2");
    IsolatedEnv env;
    Recorder r(server.port(), 500);
    r.ftp.Connect();
    EXPECT_NE(r.errorOf([&] { r.ftp.Download("/a.zip", env.tempFolder() + "a.zip"); }), "");
    EXPECT_EQ(readFile(env.tempFolder() + "a.zip"), "");
}

TEST(NMFTP, ThroughAProxyTheUserNamesTheServer)
{
    ScriptedFtpServer proxy;
    Recorder r(0);
    r.ftp.Host = "ftp.kavo.example";  // never looked up: the proxy is
    r.ftp.Proxy = "127.0.0.1";
    r.ftp.ProxyPort = proxy.port();
    r.ftp.Connect();
    ASSERT_FALSE(proxy.commands.empty());
    EXPECT_EQ(proxy.commands[0], "USER anonymous@ftp.kavo.example");
    EXPECT_TRUE(r.ftp.Connected());
}

TEST(NMFTP, AnnouncedSize)
{
    EXPECT_EQ(ftp::AnnouncedSize("150 Opening BINARY mode data connection for a.zip (1234 bytes)."), 1234);
    EXPECT_EQ(ftp::AnnouncedSize("150 Opening for (x) a(1).zip (77 bytes)"), 77);
    EXPECT_EQ(ftp::AnnouncedSize("150 Opening data connection."), 0);
    EXPECT_EQ(ftp::AnnouncedSize("150 (bytes)"), 0);
    EXPECT_EQ(ftp::AnnouncedSize("150 ok\n(55 bytes)"), 0);  // only the first line
}

TEST(FtpReplyParser, SplitsRepliesAcrossReads)
{
    ftp::ReplyParser p;
    std::vector<ftp::Reply> out;
    const std::string stream = "220-Welcome\r\n 220 inside\r\n220 end\r\n331 Pass\r\n230";
    for (char c : stream)
        p.feed(&c, 1, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].code, 220);
    EXPECT_EQ(out[0].text, "220-Welcome\n 220 inside\n220 end");
    EXPECT_EQ(out[1].code, 331);
    EXPECT_TRUE(p.pending());
    p.feed("\n", 1, out);
    EXPECT_EQ(out.back().code, 230);
    EXPECT_EQ(p.status(), ftp::ReplyParser::Status::Ok);
}

}  // namespace
