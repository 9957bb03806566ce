#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QSocketNotifier;

// What reaches the running instance from outside: a later launch asking
// for the window, and the session ending it with SIGTERM, SIGINT or SIGHUP
// (logout, kill, Ctrl+C). Both arrive as signals on the GUI thread.
class InstanceChannel : public QObject
{
    Q_OBJECT
public:
    // `key` names the product; the channel is per user.
    explicit InstanceChannel(const QString& key, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Only the instance holding the single-instance guard listens: a
    // socket left by a killed one is removed first.
    bool listen();
    // From a later launch: asks the running instance to come forward;
    // false when nobody took the request within `timeoutMs`.
    static bool askToRaise(const QString& key, int timeoutMs = 3000);

    // Routes the three termination signals into terminationRequested. A
    // second one while the first is handled ends the process as usual.
    void watchTerminationSignals();

signals:
    void raiseRequested();
    void terminationRequested(int signalNumber);

private:
    void onNewConnection();
    void onSignalReady();
    static QString serverName(const QString& key);

    QString m_strName;
    QLocalServer* m_pServer = nullptr;
    QSocketNotifier* m_pNotifier = nullptr;
};
