#include "app/InstanceChannel.h"

#include <fcntl.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include "core/UserRuntime.h"
#include "platform/log/Log.h"

namespace {

const char kRaise[] = "raise\n";
const int kWatched[] = {SIGTERM, SIGINT, SIGHUP};
int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the number goes through the pipe to
// the event loop.
void onTerminationSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (g_signalPipe[1] >= 0 && ::write(g_signalPipe[1], &byte, 1) < 0) {
        // A full pipe already holds a request: nothing is lost.
    }
    errno = saved;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kWatched)
        ::sigaction(number, &action, nullptr);
}

} // namespace

InstanceChannel::InstanceChannel(const QString& key, QObject* parent)
    : QObject(parent)
    , m_strName(serverName(key))
{
}

InstanceChannel::~InstanceChannel()
{
    if (m_pNotifier) {
        setHandler(SIG_DFL);
        delete m_pNotifier;
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    delete m_pServer;
}

QString InstanceChannel::serverName(const QString& key)
{
    // In the user's own folder: a name in the shared temp folder could be
    // taken first by another user, who would then hear our raise requests
    // and keep us from listening.
    const QString folder = UserRuntime::folder();
    if (folder.isEmpty())
        return QString();
    QString name = key;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return folder + QLatin1Char('/') + name + QStringLiteral(".raise");
}

bool InstanceChannel::listen()
{
    if (m_pServer)
        return m_pServer->isListening();
    if (m_strName.isEmpty()) {
        Log("MAIN", LogLevel::Error, "raise channel unusable: no private runtime folder");
        return false;
    }
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_strName);
    connect(m_pServer, &QLocalServer::newConnection, this, &InstanceChannel::onNewConnection);
    const bool listening = m_pServer->listen(m_strName);
    if (!listening)
        Log("MAIN", LogLevel::Error, "raise channel unusable: %s", qPrintable(m_pServer->errorString()));
    return listening;
}

void InstanceChannel::onNewConnection()
{
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        QString why;
        if (!UserRuntime::peerIsThisUser(socket->socketDescriptor(), &why)) {
            Log("MAIN", LogLevel::Error, "raise request refused: %s", qPrintable(why));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const bool raise = socket->readLine(64) == kRaise;
            socket->write(raise ? "ok\n" : "?\n");
            socket->disconnectFromServer();
            if (raise)
                emit raiseRequested();
        });
    }
}

bool InstanceChannel::askToRaise(const QString& key, int timeoutMs)
{
    const QString name = serverName(key);
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs) || !UserRuntime::peerIsThisUser(socket.socketDescriptor()))
        return false;
    socket.write(kRaise);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(16) == "ok\n";
}

void InstanceChannel::watchTerminationSignals()
{
    if (m_pNotifier || g_signalPipe[0] >= 0)
        return;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log("MAIN", LogLevel::Error, "no pipe for termination signals");
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    m_pNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &InstanceChannel::onSignalReady);
    setHandler(onTerminationSignal);
}

void InstanceChannel::onSignalReady()
{
    unsigned char byte = 0;
    int number = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1)
        number = byte;
    if (number == 0)
        return;
    // The clean end may itself hang on a broken device: the next signal
    // ends the process the ordinary way.
    setHandler(SIG_DFL);
    Log("MAIN", LogLevel::Info, "signal %d: ending the run", number);
    emit terminationRequested(number);
}
