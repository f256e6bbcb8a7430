#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kavo::platform {

namespace {
constexpr char kRaise[] = "raise\n";
}

SingleInstance::SingleInstance(const QString& caption, QObject* parent) : QObject(parent)
{
#ifdef _WIN32
    QString user = qEnvironmentVariable("USERNAME");
#else
    QString user = QString::number(::getuid());
#endif
    QByteArray hash = QCryptographicHash::hash(caption.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    m_name = QStringLiteral("kavo-%1-%2").arg(QString::fromLatin1(hash), user);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::signalRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
#ifdef _WIN32
    // Only the process the user has just started may take the foreground:
    // hand that right on, so that the running instance can come forward.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    socket.write(kRaise);
    socket.waitForBytesWritten(timeoutMs);
    // The running instance answers once it has come forward.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A channel left behind by an instance that died: nobody answers it.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("raise")) {
                    emit raiseRequested();
                    client->write("ok\n");
                    client->flush();
                }
            });
        }
    });
    return true;
}

}  // namespace kavo::platform
