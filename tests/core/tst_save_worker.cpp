// The save worker: names and texts of a saved recording, the move on one
// volume, the checked copy across volumes, and the failure roads.
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/RecordParameter.h"
#include "core/SelectSavePath.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/TestHelpers.h"

using namespace testsupport;

namespace {

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
}

void useSettings(bool video)
{
    RecordParameter* p = RecordParameter::instance();
    p->setOnlyRecordCamera(false);
    p->setWindowRecord(false);
    p->setVideoEnable(video);
    p->setUsedVideoFmt(RP_Format_MP4);
}

#define NEED_SECOND_VOLUME()                                                                   \
    if (m_otherRoot.isEmpty())                                                                 \
    QSKIP("no second volume (/dev/shm on another device than HOME) on this machine")

// Writes past `bytes` fail while it lives: a short write, then an error
// (the signal such a write raises is ignored for the whole run).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
    bool ok = false;

private:
    struct rlimit m_old {};
};

} // namespace

class TstSaveWorker : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }

    void init()
    {
        FakeScreencast::reset();
        useSettings(true);
        m_tempRoot = QDir::homePath() + "/tmp-recording";
        m_outDir = QDir::homePath() + "/Movies/out";
        QDir().mkpath(m_tempRoot);
        QDir(m_outDir).removeRecursively();
        QDir().mkpath(m_outDir);
        m_otherRoot.clear();
        if (!otherDeviceRoot().isEmpty()) {
            m_otherRoot = otherDeviceRoot() + QStringLiteral("/srsave-%1").arg(::getpid());
            QDir(m_otherRoot).removeRecursively();
            QDir().mkpath(m_otherRoot);
        }
    }

    void cleanup()
    {
        if (!m_otherRoot.isEmpty())
            QDir(m_otherRoot).removeRecursively();
        QDir(m_tempRoot).removeRecursively();
        VxSettings::instance()->removeApplicationParam(QStringLiteral("audio/duration"));
    }

    void namesAndTexts_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<QString>("namePattern");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("duration");
        const QString stamp = QStringLiteral("_\\d\\d-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.");
        QTest::newRow("m4v renames only") << "m4v" << ".rec.mp4" << "Video" + stamp + "m4v" << 1 << "640*360"
                                          << "00:01:05";
        QTest::newRow("webcam only") << "camera" << "cam.mov" << "Camera" + stamp + "mov" << 1 << "640*360"
                                     << "00:01:05";
        QTest::newRow("gif from the area") << "gif" << ".rec.gif" << "Video" + stamp + "gif" << 1 << "300*200"
                                           << "00:00:02";
        QTest::newRow("audio") << "audio" << "rec.mp3" << "Audio" + stamp + "mp3" << 2 << "" << "00:00:42";
    }

    void namesAndTexts()
    {
        QFETCH(QString, mode);
        QFETCH(QString, sourceName);
        QFETCH(QString, namePattern);
        QFETCH(int, type);
        QFETCH(QString, resolution);
        QFETCH(QString, duration);
        RecordParameter* p = RecordParameter::instance();
        if (mode == "m4v")
            p->setUsedVideoFmt(RP_Format_M4V);
        if (mode == "camera")
            p->setOnlyRecordCamera(true);
        if (mode == "gif")
            p->setVideoRect(QRect(QPoint(10, 20), QPoint(309, 219)));   // 300 x 200
        if (mode == "audio") {
            useSettings(false);
            VxSettings::instance()->setApplicationParam(QStringLiteral("audio/duration"), QStringLiteral("00:00:42"));
        }
        const QString src = m_tempRoot + "/" + sourceName;
        const QByteArray data = randomBytes(100000);
        QVERIFY(writeFile(src, data));
        const ino_t inode = inodeOf(src);
        FakeScreencast::setMediaInfo(src, MediaFileInfo{65.9, 1, 640, 360});
        FakeScreencast::setGifInfo(src, GIFFileInfo{2.5, 640, 360});
        FakeScreencast::setFreeSpace(0); // a move on one volume needs no room

        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        worker.queueRequest(SelectSavePath::takeRequest(src, m_outDir));
        worker.saveWork(src, m_outDir);
        QCOMPARE(done.count(), 1);
        const QList<QVariant> args = done.first();
        const QString path = args.at(0).toString();
        QCOMPARE(QFileInfo(path).path(), m_outDir);
        QVERIFY2(QRegularExpression("^" + namePattern + "$").match(QFileInfo(path).fileName()).hasMatch(),
                 qPrintable(path));
        QCOMPARE(args.mid(1), (QList<QVariant>{type, resolution, duration, QStringLiteral("97.66KB")}));
        QCOMPARE(readFile(path), data);
        QCOMPARE(inodeOf(path), inode); // renamed, not copied
        QVERIFY(!QFileInfo::exists(src));
    }

    void copyAcrossVolumesNeedsRoom()
    {
        NEED_SECOND_VOLUME();
        const QString src = m_otherRoot + "/.rec.mp4";
        // Not a whole number of chunks, so the last short chunk counts too.
        const QByteArray data = randomBytes(3 * 1024 * 1024 + 1234);
        QVERIFY(writeFile(src, data));
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);

        FakeScreencast::setFreeSpace(m_outDir, data.size() + 5119);
        worker.saveWork(src, m_outDir);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("No enough free space to save the video. "
                                                                 "You can choose another path, or clear the disk space."));
        QVERIFY(entries(m_outDir).isEmpty());

        FakeScreencast::setFreeSpace(m_outDir, data.size() + 5120);
        worker.saveWork(src, m_outDir);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(done.count(), 1);
        QCOMPARE(readFile(done.first().at(0).toString()), data);
        QCOMPARE(done.first().at(4).toString(), QStringLiteral("3.00MB"));
        QCOMPARE(worker.getUpdateProgress(), 1.0);
        // The copy leaves the source: the preview deletes it once told.
        QCOMPARE(readFile(src), data);

        // A volume that cannot be asked does not stop the copy.
        FakeScreencast::failNext(QStringLiteral("GetFileSystemFreeSize"), 10);
        worker.saveWork(src, m_outDir);
        QCOMPARE(done.count(), 2);
    }

    void failingWriteLeavesNothing()
    {
        NEED_SECOND_VOLUME();
        const QString src = m_otherRoot + "/.rec.mp4";
        const QByteArray data = randomBytes(1024 * 1024);
        QVERIFY(writeFile(src, data));
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
        {
            FileSizeLimit limit(100000);
            QVERIFY(limit.ok);
            worker.saveWork(src, m_outDir);
        }
        QCOMPARE(done.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toString(),
                 QStringLiteral("File exported failed! You can choose another path, or clear the disk space."));
        QVERIFY2(entries(m_outDir).isEmpty(), qPrintable(entries(m_outDir).join(", ")));
        QCOMPARE(readFile(src), data);
    }

    void cancelledCopyLeavesNothing()
    {
        NEED_SECOND_VOLUME();
        // A pipe as the source holds the copy midway for as long as the test
        // wants, without any timing.
        const QString src = m_otherRoot + "/.rec.mp4";
        QCOMPARE(::mkfifo(QFile::encodeName(src).constData(), 0600), 0);
        QThread thread;
        auto* worker = new SelectSavePath;
        worker->moveToThread(&thread);
        connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start();
        const int pipe = ::open(QFile::encodeName(src).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(pipe >= 0);
        const QByteArray chunk = randomBytes(8192);
        QCOMPARE(::write(pipe, chunk.constData(), size_t(chunk.size())), ssize_t(chunk.size()));

        QSignalSpy done(worker, &SelectSavePath::completed);
        QSignalSpy failed(worker, &SelectSavePath::sigPathFailed);
        QMetaObject::invokeMethod(worker, "saveWork", Qt::QueuedConnection, Q_ARG(QString, src), Q_ARG(QString, m_outDir));
        QTRY_VERIFY_WITH_TIMEOUT(entries(m_outDir).size() == 1
                                     && QFileInfo(m_outDir + "/" + entries(m_outDir).first()).size() == 8192,
                                 30000);
        worker->cancel();
        QCOMPARE(::write(pipe, "x", 1), ssize_t(1));
        ::close(pipe); // end of input, whatever the copy still waits for
        QMetaObject::invokeMethod(worker, [] {}, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();

        QCOMPARE(done.count() + failed.count(), 0);
        QVERIFY2(entries(m_outDir).isEmpty(), qPrintable(entries(m_outDir).join(", ")));
        QVERIFY(QFileInfo::exists(src));
    }

    // A save killed during its copy leaves nothing under a final name; the
    // next save into that folder clears the hidden remains.
    void killedCopyLeavesNoFinalName()
    {
        NEED_SECOND_VOLUME();
        const QString src = m_otherRoot + "/.rec.mp4";
        QCOMPARE(::mkfifo(QFile::encodeName(src).constData(), 0600), 0);
        const int pipe = ::open(QFile::encodeName(src).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(pipe >= 0);
        const QByteArray chunk = randomBytes(8192);
        QCOMPARE(::write(pipe, chunk.constData(), size_t(chunk.size())), ssize_t(chunk.size()));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Blocks on the pipe after the first chunk until it is killed.
            SelectSavePath worker;
            worker.saveWork(src, m_outDir);
            ::_exit(0);
        }
        const auto copied = [this] {
            const QStringList names = entries(m_outDir);
            return names.size() == 1 && QFileInfo(m_outDir + "/" + names.first()).size() == 8192;
        };
        QTRY_VERIFY_WITH_TIMEOUT(copied(), 30000);
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::close(pipe);
        const QStringList left = entries(m_outDir);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left.first().startsWith('.'), qPrintable(left.first()));

        QFile::remove(src);
        const QByteArray data = randomBytes(50000);
        QVERIFY(writeFile(src, data));
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        worker.saveWork(src, m_outDir);
        QCOMPARE(done.count(), 1);
        const QString saved = done.first().at(0).toString();
        QCOMPARE(entries(m_outDir), QStringList{QFileInfo(saved).fileName()});
        QCOMPARE(readFile(saved), data);
    }

    void neverOverwrites()
    {
        // Every name the save could take in the next seconds is taken, and one
        // is a dangling link that must not be written through.
        const QDateTime now = QDateTime::currentDateTime();
        const QString outside = QDir::homePath() + "/outside.mp4";
        for (int s = 0; s < 4; ++s) {
            const QString stamp = m_outDir + "/Video_" + now.addSecs(s).toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
            QVERIFY(writeFile(stamp + ".mp4", "old"));
            QVERIFY(s == 0 ? QFile::link(outside, stamp + "(1).mp4") : writeFile(stamp + "(1).mp4", "old"));
        }
        QStringList sources{m_tempRoot + "/.move.mp4"};
        if (!m_otherRoot.isEmpty())
            sources << m_otherRoot + "/.copy.mp4";
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        for (const QString& src : sources) {
            const QByteArray data = randomBytes(20000 + src.size());
            QVERIFY(writeFile(src, data));
            worker.saveWork(src, m_outDir);
            QCOMPARE(done.count(), sources.indexOf(src) + 1);
            const QString path = done.last().at(0).toString();
            QVERIFY2(QFileInfo(path).fileName().contains(QRegularExpression("^Video_.*\\(\\d\\)\\.mp4$")),
                     qPrintable(path));
            QCOMPARE(readFile(path), data);
        }
        QCOMPARE(entries(m_outDir).size(), 8 + sources.size());
        for (const QString& name : entries(m_outDir)) {
            const QString path = m_outDir + "/" + name;
            if (!name.contains("(2)") && !name.contains("(3)") && !QFileInfo(path).isSymLink())
                QCOMPARE(readFile(path), QByteArray("old"));
        }
        QVERIFY(!QFileInfo::exists(outside));
    }

    void missingSourceAndUnwritableFolderAreReported()
    {
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
        worker.saveWork(m_tempRoot + "/gone.mp4", m_outDir);
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.first().at(0).toString().contains("gone.mp4"));

        const QString src = m_tempRoot + "/.rec.mp4";
        QVERIFY(writeFile(src, randomBytes(1000)));
        // Root writes everywhere: a folder under a regular file cannot exist.
        const QString blocker = QDir::homePath() + "/plain-file";
        QVERIFY(writeFile(blocker, "x"));
        worker.saveWork(src, blocker + "/sub");
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed.last().at(0).toString(),
                 QStringLiteral("\"%1/sub\" is not writable, please select another one.").arg(blocker));
        QCOMPARE(done.count(), 0);
        QVERIFY(QFileInfo::exists(src));
    }

    // A folder that refuses new files says why: a full volume, or a name
    // longer than the file system takes, is not "not writable".
    void refusedFolderSaysWhy()
    {
        const QString src = m_tempRoot + "/.rec.mp4";
        QVERIFY(writeFile(src, randomBytes(1000)));
        SelectSavePath worker;
        QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
        const QString longName = m_outDir + "/" + QString(300, QLatin1Char('n'));
        worker.saveWork(src, longName);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.last().at(0).toString(),
                 QStringLiteral("The name \"%1\" is too long for the file system, please select another one.")
                     .arg(longName));

        const FullVolume full({"out"});
        if (!full.ok())
            QSKIP("no tmpfs can be mounted here");
        worker.saveWork(src, full.path("out"));
        QCOMPARE(failed.count(), 2);
        QCOMPARE(failed.last().at(0).toString(), QStringLiteral("No enough free space to save the video. "
                                                                "You can choose another path, or clear the disk space."));
        QVERIFY(QFileInfo::exists(src));
    }

    void settingsTakenAtRequest()
    {
        const QString src = m_tempRoot + "/.rec.mp4";
        QVERIFY(writeFile(src, randomBytes(1000)));
        FakeScreencast::setMediaInfo(src, MediaFileInfo{5.0, 1, 320, 240});
        Utils::setVideoOutputPath(m_outDir);
        SelectSavePath worker;
        QSignalSpy done(&worker, &SelectSavePath::completed);
        worker.queueRequest(SelectSavePath::takeRequest(src, QString()));
        // While the save waits, the user switches to the audio recorder and
        // the remembered folder changes: the request wins.
        useSettings(false);
        Utils::setVideoOutputPath(QDir::homePath() + "/elsewhere");
        worker.saveWork(src, QString());
        QCOMPARE(done.count(), 1);
        QCOMPARE(QFileInfo(done.first().at(0).toString()).path(), m_outDir);
        QVERIFY(QFileInfo(done.first().at(0).toString()).fileName().startsWith("Video_"));
        QCOMPARE(done.first().at(2).toString(), QStringLiteral("320*240"));
    }

private:
    QString m_tempRoot;   // beside HOME: same volume
    QString m_outDir;
    QString m_otherRoot;  // another volume, or empty
};

QTEST_GUILESS_MAIN(TstSaveWorker)
#include "tst_save_worker.moc"
