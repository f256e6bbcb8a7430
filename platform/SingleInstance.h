// The per-user channel by which a second start of a program asks the
// running one to come forward.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace kavo::platform {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& caption, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks a running instance to come forward. True when one answered.
    bool signalRunning(int timeoutMs = 1000);

    // Becomes the running instance: later starts reach raiseRequested().
    bool listen();

    // The channel's name: the caption and the user, so users never meet.
    QString channelName() const { return m_name; }

signals:
    void raiseRequested();

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

}  // namespace kavo::platform
