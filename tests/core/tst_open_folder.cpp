// Showing a saved file: the file manager on a private session bus selects
// it where it offers that; without one, or when it fails, the folder that
// holds the file opens instead.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>
#include <QtTest>

#include "core/OSServiceUtils.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/UrlRecorder.h"

namespace {

const int kWait = 30000;
const char* const kService = "org.freedesktop.FileManager1";
const char* const kPath = "/org/freedesktop/FileManager1";

} // namespace

// Answers ShowItems as a file manager does, or fails on request.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
    bool fail = false;
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId)
        if (fail)
            sendErrorReply(QDBusError::Failed, QStringLiteral("no window"));
        else
            shown << uris;
    }
};

// The session bus of this test alone, started before the application so
// that nothing in Qt connects to another one first: no file manager of the
// machine's can answer or be started on it.
struct PrivateBus {
    QTemporaryDir tmp;
    QProcess daemon;
    QString address;

    QString serviceDir() const { return tmp.path() + "/services"; }

    bool start()
    {
        QDir().mkpath(serviceDir());
        const QByteArray config = "<busconfig><type>session</type><listen>unix:tmpdir=" + tmp.path().toUtf8()
                                  + "</listen><auth>EXTERNAL</auth><servicedir>" + serviceDir().toUtf8()
                                  + "</servicedir><policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                    "<allow own=\"*\"/></policy></busconfig>";
        if (!tmp.isValid() || !testsupport::writeFile(tmp.path() + "/bus.conf", config))
            return false;
        daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + tmp.path() + "/bus.conf", "--nofork",
                                                     "--nopidfile", "--print-address=1"});
        if (!daemon.waitForStarted() || !daemon.waitForReadyRead(kWait))
            return false;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        return !address.isEmpty();
    }
    ~PrivateBus()
    {
        daemon.kill();
        daemon.waitForFinished(kWait);
    }
};

class TstOpenFolder : public QObject
{
    Q_OBJECT

private:
    PrivateBus& m_bus;
    QTemporaryDir m_tmp;
    UrlRecorder m_opened;
    QString m_folder, m_file;

    QList<QUrl> takeOpened()
    {
        QList<QUrl> urls;
        urls.swap(m_opened.urls);
        return urls;
    }

public:
    explicit TstOpenFolder(PrivateBus& bus) : m_bus(bus) {}

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY2(!m_bus.address.isEmpty(), "dbus-daemon is missing: run scripts/install-deps.sh");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDesktopServices::setUrlHandler("file", &m_opened, "open");
        m_folder = m_tmp.path() + "/Vidéos \"quoted\"";
        m_file = m_folder + "/rec 1.mp4";
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(testsupport::writeFile(m_file, "x"));
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("file");
    }

    void noFileManagerOpensTheFolder()
    {
        OSServiceUtils::openFileFolder(m_file, true, true);
        QCOMPARE(takeOpened(), QList<QUrl>{QUrl::fromLocalFile(m_folder)});
    }

    void fileManagerSelectsTheFile()
    {
        FakeFileManager manager;
        QDBusConnection own = QDBusConnection::connectToBus(m_bus.address, QStringLiteral("file-manager"));
        QVERIFY(own.registerObject(kPath, &manager, QDBusConnection::ExportAllSlots));
        QVERIFY(own.registerService(kService));

        OSServiceUtils::openFileFolder(m_file, true, true);
        QTRY_COMPARE_WITH_TIMEOUT(manager.shown, QList<QStringList>{{QUrl::fromLocalFile(m_file).toString()}}, kWait);
        QCOMPARE(takeOpened(), QList<QUrl>{});
        // Without `select` the folder itself opens, as before.
        OSServiceUtils::openFileFolder(m_folder, false, true);
        QCOMPARE(takeOpened(), QList<QUrl>{QUrl::fromLocalFile(m_folder)});

        // A file manager that fails: the folder opens after all.
        manager.fail = true;
        OSServiceUtils::openFileFolder(m_file, true, true);
        QVERIFY(m_opened.urls.isEmpty());   // only once the answer came
        QTRY_VERIFY_WITH_TIMEOUT(!m_opened.urls.isEmpty(), kWait);
        QCOMPARE(takeOpened(), QList<QUrl>{QUrl::fromLocalFile(m_folder)});
        QCOMPARE(manager.shown.size(), 1);

        own.unregisterService(kService);
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager"));
    }

    // One that the bus would start but that does not come up.
    void fileManagerThatCannotStartOpensTheFolder()
    {
        QVERIFY(testsupport::writeFile(m_bus.serviceDir() + "/fm.service",
                                       "[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=/bin/false\n"));
        const QDBusMessage reload = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReloadConfig"));
        QCOMPARE(reload.type(), QDBusMessage::ReplyMessage);
        OSServiceUtils::openFileFolder(m_file, true, true);
        QVERIFY(m_opened.urls.isEmpty());   // asked for first, not passed over
        QTRY_VERIFY_WITH_TIMEOUT(!m_opened.urls.isEmpty(), kWait);
        QCOMPARE(takeOpened(), QList<QUrl>{QUrl::fromLocalFile(m_folder)});
    }
};

int main(int argc, char** argv)
{
    PrivateBus bus;
    bus.start();
    QApplication app(argc, argv);
    TstOpenFolder test(bus);
    return QTest::qExec(&test, argc, argv);
}
#include "tst_open_folder.moc"
