#include "UploaderTestSupport.h"

#include "Registry.h"
#include "SettingsKey.h"

#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <random>
#include <stdexcept>

namespace uptest {

bool waitUntil(const std::function<bool()>& done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll, deadline;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(2);
    deadline.setSingleShot(true);
    deadline.start(ms);
    loop.exec();
    return done();
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string pattern(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

TftpParams fastParams(quint16 port)
{
    TftpParams p;
    p.port = port;
    p.requestPeriodMs = 150;
    p.blockPeriodMs = 150;
    p.flashWaitMs = 400;
    return p;
}

std::string Scene::writeFirmware(const std::string& relative, const std::string& bytes) const
{
    return env.writeFile("tmp/" + relative, bytes);
}

void Scene::writeList(const std::string& content) const { env.writeFile("tmp/APfirmware.txt", content); }

void Scene::createKey() const
{
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
    if (!key)
        throw std::runtime_error("cannot create the settings key");
}

void Scene::setAddress(const std::string& address) const
{
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
    if (!key || !key->writeString(kavo::settings::kIpAddress, address))
        throw std::runtime_error("cannot write IpAddress");
}

std::optional<kavo::RawValue> Scene::lastUpdate() const
{
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
    if (!key)
        return std::nullopt;
    return key->readRaw(kavo::settings::kLastUpdate);
}

bool Scene::keyExists() const
{
    return kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false) !=
           nullptr;
}

Dialog::Dialog(const TftpParams& params) : m_dlg(std::make_unique<CFlashpostDlg>(params))
{
    // Each status keeps the look it had when the next one came (or has now):
    // a handler shows its status, then sets the look.
    QObject::connect(m_dlg.get(), &CFlashpostDlg::statusShown, m_dlg.get(), [this](const QString& text) {
        settleLook();
        m_trail.push_back({text, false, false});
    });
}

void Dialog::settleLook() const
{
    if (!m_trail.empty()) {
        m_trail.back().icon = iconShown();
        m_trail.back().okEnabled = okEnabled();
    }
}

const std::vector<Shown>& Dialog::trail() const
{
    settleLook();
    return m_trail;
}

Dialog::~Dialog() = default;

void Dialog::init()
{
    m_dlg->OnInitDialog();
    if (!m_dlg->programEnded())
        m_dlg->show();
    QCoreApplication::processEvents();
}

QStringList Dialog::texts() const
{
    QStringList out;
    for (const auto& s : m_trail)
        out << s.text;
    return out;
}

bool Dialog::waitForStatus(const QString& text, int ms)
{
    return waitUntil([&] { return m_dlg->statusText() == text; }, ms);
}

bool Dialog::iconShown() const { return !m_dlg->m_icoError->isHidden(); }
bool Dialog::okEnabled() const { return m_dlg->m_btnCancel->isEnabled(); }
bool Dialog::okHasFocus() const { return m_dlg->focusWidget() == m_dlg->m_btnCancel; }

ApSim::ApSim(const QStringList& options)
{
    m_out = m_dir.filePath("image.bin").toStdString();
    QStringList args = {"tftp", "--port", "0", "--address", "127.0.0.1", "--out", QString::fromStdString(m_out)};
    args << options;
    m_p.start(QString::fromStdString(kavo::test::binDir() + "/ap-sim"), args);
    if (!m_p.waitForStarted(10000))
        throw std::runtime_error("cannot start ap-sim");
    while (!m_stdout.contains('\n') && m_p.waitForReadyRead(10000))
        m_stdout += m_p.readAllStandardOutput();
    const QByteArray first = m_stdout.left(m_stdout.indexOf('\n'));
    m_stdout.remove(0, first.size() + 1);
    m_port = quint16(QJsonDocument::fromJson(first).object().value("listening").toInt());
    if (m_port == 0)
        throw std::runtime_error("ap-sim did not say where it listens: " + first.toStdString() +
                                 m_p.readAllStandardError().toStdString());
}

ApSim::~ApSim()
{
    if (m_p.state() != QProcess::NotRunning) {
        m_p.terminate();
        if (!m_p.waitForFinished(3000))
            m_p.kill();
        m_p.waitForFinished(3000);
    }
}

QJsonObject ApSim::report(bool terminate, int ms)
{
    if (terminate && m_p.state() != QProcess::NotRunning)
        m_p.terminate();
    (void)waitUntil(
        [&] {
            m_stdout += m_p.readAllStandardOutput();
            return m_stdout.contains('\n');
        },
        ms);
    if (terminate)
        m_p.waitForFinished(3000);
    return QJsonDocument::fromJson(m_stdout.left(m_stdout.indexOf('\n'))).object();
}

ScriptedAp::ScriptedAp()
{
    if (!m_sock.bind(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot bind the scripted AP");
    connect(&m_sock, &QUdpSocket::readyRead, this, [this] {
        while (m_sock.hasPendingDatagrams()) {
            QByteArray d(int(m_sock.pendingDatagramSize()), '\0');
            m_sock.readDatagram(d.data(), d.size(), &m_peer, &m_peerPort);
            received.push_back(d);
            if (onDatagram)
                onDatagram(d);
            else if (autoAck && d.size() >= 2 && d[1] == 2)
                ack(0);
            else if (autoAck && d.size() >= 4 && d[1] == 3)
                ack(quint8(d[2]) * 256 + quint8(d[3]));
        }
    });
}

int ScriptedAp::dataCount() const
{
    int n = 0;
    for (const auto& d : received)
        n += d.size() >= 2 && d[1] == 3;
    return n;
}

void ScriptedAp::sendRaw(const QByteArray& d, QUdpSocket* via)
{
    (via ? via : &m_sock)->writeDatagram(d, m_peer, m_peerPort);
}

void ScriptedAp::ack(int block, QUdpSocket* via)
{
    QByteArray d(4, '\0');
    d[1] = 4;
    d[2] = char(block >> 8);
    d[3] = char(block);
    sendRaw(d, via);
}

void ScriptedAp::error(int code, QUdpSocket* via)
{
    QByteArray d(4, '\0');
    d[1] = 5;
    d[2] = char(code >> 8);
    d[3] = char(code);
    d += "failed";
    d += '\0';
    sendRaw(d, via);
}

bool ScriptedAp::waitForCount(std::size_t n, int ms)
{
    return waitUntil([&] { return received.size() >= n; }, ms);
}

}  // namespace uptest
