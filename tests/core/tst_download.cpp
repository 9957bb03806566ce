// The download helper against an HTTP(S) server of the test's own on the
// loopback address: resume, restarts, stalls, cancel, a full disk, TLS.
#include <QtTest>
#include <QSslSocket>
#include <QTcpServer>

#include <csignal>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "core/CurWrapper.h"
#include "core/Utils.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/TestHelpers.h"

// /file honours ranges, /file.md5 is its sum, /gone answers 416, /stall
// sends half of /file and then nothing until the client leaves.
class Server : public QThread
{
    struct Listener : QTcpServer {
        QList<qintptr> pending;
        void incomingConnection(qintptr fd) override { pending << fd; }
    };
    QSemaphore ready;
    QAtomicInt stop = 0;

    void run() override
    {
        Listener l;
        l.listen(QHostAddress::LocalHost), port = l.serverPort(), ready.release();
        while (!stop)
            if (l.waitForNewConnection(100))
                while (!l.pending.isEmpty())
                    serve(l.pending.takeFirst());
    }
    void serve(qintptr fd)
    {
        QSslSocket s;
        s.setSocketDescriptor(fd), s.setLocalCertificate(SR_TEST_DATA "/download-cert.pem");
        s.setPrivateKey(SR_TEST_DATA "/download-key.pem", QSsl::Ec);
        if (tls && (s.startServerEncryption(), !s.waitForEncrypted(20000)))
            return;
        // The request may have come in with the handshake already.
        QByteArray req = s.readAll();
        while (!req.contains("\r\n\r\n") && s.waitForReadyRead(20000))
            req += s.readAll();
        const QString path = QString::fromLatin1(req.split(' ').value(1));
        const auto m = QRegularExpression("Range: bytes=(\\d+)-").match(QString::fromLatin1(req));
        const int from = lastFrom = m.hasMatch() ? m.captured(1).toInt() : -1;
        QByteArray head = "HTTP/1.1 200 OK\r\n", data = body;
        if (path == "/file.md5")
            data = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex() + "  file\n";
        else if (path == "/gone")
            head = "HTTP/1.1 416 Range Not Satisfiable\r\n", data = "no such range";
        else if (path == "/file" && from > 0)
            head = QString("HTTP/1.1 206 Partial\r\nContent-Range: bytes %1-%2/%3\r\n")
                       .arg(from).arg(body.size() - 1).arg(body.size()).toLatin1(),
            data = body.mid(from);
        else if (path != "/file" && path != "/stall")
            head = "HTTP/1.1 404 Not Found\r\n", data = "missing";
        s.write(head + "Content-Length: " + QByteArray::number(data.size()) + "\r\n\r\n");
        s.write(path == "/stall" ? data.left(data.size() / 2) : data);
        while (!stop && s.state() == QAbstractSocket::ConnectedState && path == "/stall")
            s.waitForReadyRead(100);
        // Leaving flushes what is still queued, the encrypted bytes too.
        s.disconnectFromHost();
        if (s.state() != QAbstractSocket::UnconnectedState)
            s.waitForDisconnected(20000);
    }

public:
    QByteArray body = QByteArray(256 * 1024, 'x').append("end");
    bool tls = false;
    QAtomicInt lastFrom = -1;
    quint16 port = 0;
    explicit Server(bool withTls = false) : tls(withTls) { start(), ready.acquire(); }
    ~Server() { stop = 1, wait(); }
    QString url(const QString& path, const QString& host = "127.0.0.1") const
    {
        return QString("%1://%2:%3%4").arg(QString(tls ? "https" : "http"), host, QString::number(port), path);
    }
};

class TstDownload : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString local() const { return dir.path() + "/pkg.bin"; }
    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool lastTotal(qint64, qint64 total, void* user) { return *static_cast<qint64*>(user) = total, true; }

private slots:
    void init() { FakeScreencast::reset(), QDir(dir.path()).removeRecursively(), QDir().mkpath(dir.path()); }

    void downloadFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("partBytes"); // already on disk with its ".total"; -1: nothing
        QTest::addColumn<bool>("sumFromSideFile");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("askedFrom");
        QTest::addColumn<int>("sizeAfter"); // -1: removed
        QTest::newRow("fresh, sum fetched") << "/file" << -1 << true << 0 << -1 << 262147;
        QTest::newRow("resumed") << "/file" << 1000 << false << 0 << 1000 << 262147;
        QTest::newRow("416 restarts from zero") << "/gone" << 1000 << false << 1 << 1000 << 0;
        QTest::newRow("error page kept out") << "/missing" << -1 << false << 1 << -1 << 0;
        QTest::newRow("unknown sum") << "/nothing" << -1 << true << 1 << -1 << -1;
    }
    void downloadFile()
    {
        QFETCH(QString, path);
        QFETCH(int, partBytes);
        QFETCH(bool, sumFromSideFile);
        Server server;
        if (partBytes >= 0)
            QVERIFY(testsupport::writeFile(local(), server.body.left(partBytes))
                    && testsupport::writeFile(local() + ".total", QByteArray::number(server.body.size())));
        const QString sum = QCryptographicHash::hash(server.body, QCryptographicHash::Md5).toHex();
        qint64 total = 0;
        QTEST(Utils::downloadFile(local(), server.url(path),
                                  sumFromSideFile ? QString() : sum, &lastTotal, &total),
              "result");
        QTEST(int(server.lastFrom), "askedFrom");
        QTEST(int(QFileInfo::exists(local()) ? QFileInfo(local()).size() : -1), "sizeAfter");
        QVERIFY(!QFile::exists(local() + ".total"));
        QVERIFY(QFileInfo(local()).size() == 0 || (read(local()) == server.body && total == server.body.size()));
    }

    void transfer_data()
    {
        QTest::addColumn<QString>("url"); // "host/path", https when a host is named
        QTest::addColumn<int>("stallSeconds"); // 0: the default low-speed limit
        QTest::addColumn<bool>("cancelFromOutside");
        QTest::addColumn<qint64>("freeSpace"); // >= 0: file size limited to 64 KiB
        QTest::addColumn<int>("result");
        const int error = CurWrapper::TransferError;
        QTest::newRow("stalled past the low-speed limit") << "/stall" << 2 << false << -1LL << error;
        QTest::newRow("cancelled from another thread") << "/stall" << 0 << true << -1LL << int(CurWrapper::Cancelled);
        QTest::newRow("disk full") << "/file" << 0 << false << (1LL << 20) << int(CurWrapper::DiskFull);
        QTest::newRow("write refused, space left") << "/file" << 0 << false << (100LL << 30) << error;
        QTest::newRow("self-signed") << "localhost/file" << 0 << false << -1LL << error;
        QTest::newRow("trusted, other name") << "127.0.0.1/file" << 0 << false << -1LL << error;
        QTest::newRow("trusted, its name") << "localhost/file" << 0 << false << -1LL << int(CurWrapper::Done);
    }
    void transfer()
    {
        QFETCH(QString, url);
        QFETCH(int, stallSeconds);
        QFETCH(bool, cancelFromOutside);
        QFETCH(qint64, freeSpace);
        const int slash = url.indexOf('/');
        Server server(slash > 0);
        CurWrapper curl;
        if (stallSeconds)
            curl.setLowSpeedLimit(1, stallSeconds);
        if (QByteArray(QTest::currentDataTag()).startsWith("trusted"))
            curl.setCaBundle(SR_TEST_DATA "/download-cert.pem");
        static QAtomicInt received;
        received = 0;
        curl.setDownloadProgressCallback([](long long now, long long, void*) { return received = now > 0, true; },
                                         nullptr);
        // A file size limit makes the writes fail for real; the engine double
        // tells how much space is left.
        rlimit saved, small;
        getrlimit(RLIMIT_FSIZE, &saved), small = saved, small.rlim_cur = 64 * 1024;
        if (freeSpace >= 0)
            FakeScreencast::setFreeSpace(freeSpace), signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &small);
        // The old file stays until a complete one replaces it in one rename:
        // the folder's watcher must not see it deleted first.
        testsupport::writeFile(local(), "old");
        const int watch = inotify_init1(IN_NONBLOCK);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_DELETE) >= 0);
        QAtomicInt done = 0;
        const QString host = slash > 0 ? url.left(slash) : "127.0.0.1";
        std::thread run([&] { curl.download(server.url(url.mid(slash), host), local(), false), done = 1; });
        struct Join {
            CurWrapper& c;
            std::thread& t;
            rlimit& limit;
            ~Join() { c.cancel(), t.join(), setrlimit(RLIMIT_FSIZE, &limit); }
        } join{curl, run, saved};
        if (cancelFromOutside) {
            QTRY_VERIFY_WITH_TIMEOUT(received, 20000);
            curl.cancel();
        }
        // Well inside the 20 s the default low-speed limit would take.
        QTRY_VERIFY_WITH_TIMEOUT(done, 18000);
        QTEST(curl.result(), "result");
        const bool ok = curl.result() == CurWrapper::Done;
        QCOMPARE(read(local()), ok ? server.body : QByteArray("old"));
        QVERIFY(!QFile::exists(local() + ".part"));
        char events[4096];
        QVERIFY(!ok || ::read(watch, events, sizeof events) < 0);
        close(watch);
    }
};

QTEST_GUILESS_MAIN(TstDownload)
#include "tst_download.moc"
