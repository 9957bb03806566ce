// The save worker: names and texts of a saved recording, the move on one
// volume, the checked copy across volumes, and every failure road.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/FakeScreencast.h"
#include "core/RecordParameter.h"
#include "core/SelectSavePath.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

using namespace testsupport;

namespace {

const char* const kExportFailed =
    "File exported failed! You can choose another path, or clear the disk space.";
const char* const kNoSpace =
    "No enough free space to save the video. You can choose another path, or clear the disk space.";

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

// Lifts a file-size limit set for one test, whatever happens in it.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// A worker on its own thread, as the preview window runs it. Whatever a
// test does, the thread ends with it: the worker is cancelled, a pipe it
// may wait on is closed (end of input) and the thread is joined.
class WorkerThread
{
public:
    WorkerThread() : worker(new SelectSavePath)
    {
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start();
    }
    ~WorkerThread()
    {
        worker->cancel();
        if (pipe >= 0)
            ::close(pipe);
        thread.quit();
        thread.wait();
    }
    void save(const QString& src, const QString& folder)
    {
        QMetaObject::invokeMethod(worker, "saveWork", Qt::QueuedConnection, Q_ARG(QString, src),
                                  Q_ARG(QString, folder));
    }
    // Returns once everything handed to the worker before has run.
    void sync() { QMetaObject::invokeMethod(worker, [] {}, Qt::BlockingQueuedConnection); }

    QThread thread;
    SelectSavePath* worker;
    int pipe = -1;
};

} // namespace

class TstSaveWorker : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void namesAndTexts_data();
    void namesAndTexts();
    void copyAcrossVolumes();
    void freeSpaceOnlyForCopy();
    void failingWriteLeavesNothing();
    void cancelledCopyLeavesNothing();
    void neverOverwrites();
    void missingSourceAndUnwritableFolderAreReported();
    void settingsTakenAtRequest();

private:
    QString m_tempRoot;   // beside HOME: same volume
    QString m_outDir;
    QString m_otherRoot;  // another volume, or empty
    QStringList m_cleanup;
};

void TstSaveWorker::init()
{
    FakeScreencast::reset();
    useSettings(true);
    m_tempRoot = QDir::homePath() + "/tmp-recording";
    m_outDir = QDir::homePath() + "/Movies/out";
    QDir().mkpath(m_tempRoot);
    QDir(m_outDir).removeRecursively();
    QDir().mkpath(m_outDir);
    m_otherRoot.clear();
    const QString other = otherDeviceRoot();
    if (!other.isEmpty()) {
        m_otherRoot = other + QStringLiteral("/srsave-%1").arg(::getpid());
        QDir(m_otherRoot).removeRecursively();
        QDir().mkpath(m_otherRoot);
        m_cleanup << m_otherRoot;
    }
}

void TstSaveWorker::cleanup()
{
    for (const QString& dir : qAsConst(m_cleanup))
        QDir(dir).removeRecursively();
    m_cleanup.clear();
    QDir(m_tempRoot).removeRecursively();
    VxSettings::instance()->removeApplicationParam(QStringLiteral("audio/duration"));
}

void TstSaveWorker::namesAndTexts_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("namePattern");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("duration");
    const QString stamp = QStringLiteral("_\\d\\d-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.");
    auto row = [&](const char* tag, const char* mode, const char* source, const QString& name, int type,
                   const char* resolution, const char* duration) {
        QTest::newRow(tag) << mode << source << name << type << resolution << duration;
    };
    row("video", "video", ".rec.mp4", "Video" + stamp + "mp4", 1, "640*360", "00:01:05");
    row("m4v renames only", "m4v", ".rec.mp4", "Video" + stamp + "m4v", 1, "640*360", "00:01:05");
    row("window recording", "window", ".rec.mov", "Video" + stamp + "mov", 1, "640*360", "00:01:05");
    row("webcam only", "camera", "cam.mov", "Camera" + stamp + "mov", 1, "1280*720", "00:01:05");
    row("gif from the area", "gif", ".rec.gif", "Video" + stamp + "gif", 1, "300*200", "00:00:02");
    row("audio", "audio", "rec.mp3", "Audio" + stamp + "mp3", 2, "", "00:00:42");
}

void TstSaveWorker::namesAndTexts()
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
    if (mode == "window") {
        p->setVideoEnable(false);
        p->setWindowRecord(true);
    }
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
    QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
    worker.queueRequest(SelectSavePath::takeRequest(src, m_outDir));
    worker.saveWork(src, m_outDir);

    QCOMPARE(failed.count(), 0);
    QCOMPARE(done.count(), 1);
    const QList<QVariant> args = done.first();
    const QString path = args.at(0).toString();
    QCOMPARE(QFileInfo(path).path(), m_outDir);
    QVERIFY2(QRegularExpression("^" + namePattern + "$").match(QFileInfo(path).fileName()).hasMatch(),
             qPrintable(path));
    QCOMPARE(args.at(1).toInt(), type);
    QCOMPARE(args.at(2).toString(), resolution);
    QCOMPARE(args.at(3).toString(), duration);
    QCOMPARE(args.at(4).toString(), QStringLiteral("97.66KB"));
    QCOMPARE(readFile(path), data);
    QCOMPARE(inodeOf(path), inode); // renamed, not copied
    QVERIFY(!QFileInfo::exists(src));
}

void TstSaveWorker::copyAcrossVolumes()
{
    NEED_SECOND_VOLUME();
    const QString src = m_otherRoot + "/.rec.mp4";
    // Not a whole number of chunks, so the last short chunk counts too.
    const QByteArray data = randomBytes(3 * 1024 * 1024 + 1234);
    QVERIFY(writeFile(src, data));
    FakeScreencast::setMediaInfo(src, MediaFileInfo{3.9, 1, 1280, 720});

    WorkerThread run;
    SelectSavePath* worker = run.worker;
    QSignalSpy done(worker, &SelectSavePath::completed);
    QSignalSpy failed(worker, &SelectSavePath::sigPathFailed);
    QCOMPARE(worker->getUpdateProgress(), 0.0);
    worker->queueRequest(SelectSavePath::takeRequest(src, m_outDir));
    run.save(src, m_outDir);
    QTRY_COMPARE_WITH_TIMEOUT(done.count() + failed.count(), 1, 30000);
    const double progress = worker->getUpdateProgress();

    QCOMPARE(failed.count(), 0);
    const QString path = done.first().at(0).toString();
    QCOMPARE(readFile(path), data);
    QCOMPARE(progress, 1.0);
    QCOMPARE(done.first().at(4).toString(), QStringLiteral("3.00MB"));
    // The copy never touches the source: the preview deletes it once the
    // save is reported.
    QCOMPARE(readFile(src), data);
    QCOMPARE(Utils::getVideoOutputPath(), m_outDir);
}

void TstSaveWorker::freeSpaceOnlyForCopy()
{
    NEED_SECOND_VOLUME();
    const QString src = m_otherRoot + "/.rec.mp4";
    const QByteArray data = randomBytes(200000);
    QVERIFY(writeFile(src, data));

    SelectSavePath worker;
    QSignalSpy done(&worker, &SelectSavePath::completed);
    QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);

    FakeScreencast::setFreeSpace(m_outDir, data.size() + 5119);
    worker.saveWork(src, m_outDir);
    QCOMPARE(done.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toString(), QString::fromLatin1(kNoSpace));
    QVERIFY(entries(m_outDir).isEmpty());

    FakeScreencast::setFreeSpace(m_outDir, data.size() + 5120);
    worker.saveWork(src, m_outDir);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(done.count(), 1);
    QCOMPARE(readFile(done.first().at(0).toString()), data);

    // A volume that cannot be asked does not stop the copy.
    FakeScreencast::failNext(QStringLiteral("GetFileSystemFreeSize"), 10);
    worker.saveWork(src, m_outDir);
    QCOMPARE(done.count(), 2);
}

void TstSaveWorker::failingWriteLeavesNothing()
{
    NEED_SECOND_VOLUME();
    const QString src = m_otherRoot + "/.rec.mp4";
    const QByteArray data = randomBytes(1024 * 1024);
    QVERIFY(writeFile(src, data));

    SelectSavePath worker;
    QSignalSpy done(&worker, &SelectSavePath::completed);
    QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
    {
        // Writes past 100000 bytes fail: a short write, then an error.
        FileSizeLimit limit(100000);
        QVERIFY(limit.ok());
        worker.saveWork(src, m_outDir);
    }
    QCOMPARE(done.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toString(), QString::fromLatin1(kExportFailed));
    QVERIFY2(entries(m_outDir).isEmpty(), qPrintable(entries(m_outDir).join(", ")));
    QCOMPARE(readFile(src), data);
    QVERIFY(worker.getUpdateProgress() < 1.0);

    // The public copy refuses the same way and leaves nothing.
    const QString dst = m_outDir + "/copy.mp4";
    {
        FileSizeLimit limit(4096 * 3 + 17);
        QVERIFY(!worker.copyFile(src, dst));
    }
    QVERIFY(!QFileInfo::exists(dst));
}

void TstSaveWorker::cancelledCopyLeavesNothing()
{
    NEED_SECOND_VOLUME();
    // A pipe as the source holds the copy midway for as long as the test
    // wants, without any timing.
    const QString src = m_otherRoot + "/.rec.mp4";
    QCOMPARE(::mkfifo(QFile::encodeName(src).constData(), 0600), 0);
    WorkerThread run;
    SelectSavePath* worker = run.worker;
    run.pipe = ::open(QFile::encodeName(src).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(run.pipe >= 0);
    const QByteArray chunk = randomBytes(8192);
    QCOMPARE(::write(run.pipe, chunk.constData(), size_t(chunk.size())), ssize_t(chunk.size()));

    QSignalSpy done(worker, &SelectSavePath::completed);
    QSignalSpy failed(worker, &SelectSavePath::sigPathFailed);
    run.save(src, m_outDir);

    // Both chunks are in the target, and the copy waits for more.
    QTRY_VERIFY_WITH_TIMEOUT(entries(m_outDir).size() == 1
                                 && QFileInfo(m_outDir + "/" + entries(m_outDir).first()).size() == 8192,
                             10000);
    worker->cancel();
    QCOMPARE(::write(run.pipe, "x", 1), ssize_t(1));
    run.sync();

    QCOMPARE(done.count(), 0);
    QCOMPARE(failed.count(), 0);
    QVERIFY2(entries(m_outDir).isEmpty(), qPrintable(entries(m_outDir).join(", ")));
    QVERIFY(QFileInfo::exists(src));

    // Cancelled for good: a later save does nothing at all.
    const QString later = m_tempRoot + "/.later.mp4";
    QVERIFY(writeFile(later, randomBytes(1000)));
    run.save(later, m_outDir);
    run.sync();
    QCOMPARE(done.count() + failed.count(), 0);
    QVERIFY(QFileInfo::exists(later));
    QVERIFY(entries(m_outDir).isEmpty());
}

void TstSaveWorker::neverOverwrites()
{
    // Every name the save could take in the next seconds is taken twice
    // over, and one is a dangling link that must not be written through.
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray old("old contents");
    const QString outside = QDir::homePath() + "/outside.mp4";
    for (int s = 0; s < 4; ++s) {
        const QString stamp = now.addSecs(s).toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
        QVERIFY(writeFile(m_outDir + "/Video_" + stamp + ".mp4", old));
        if (s == 0)
            QVERIFY(QFile::link(outside, m_outDir + "/Video_" + stamp + "(1).mp4"));
        else
            QVERIFY(writeFile(m_outDir + "/Video_" + stamp + "(1).mp4", old));
    }
    const int before = entries(m_outDir).size();

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
        QVERIFY2(QRegularExpression("^Video_.*\\(\\d\\)\\.mp4$").match(QFileInfo(path).fileName()).hasMatch(),
                 qPrintable(path));
        QCOMPARE(readFile(path), data);
    }
    QCOMPARE(entries(m_outDir).size(), before + sources.size());
    for (const QString& name : entries(m_outDir)) {
        const QString path = m_outDir + "/" + name;
        if (!name.contains("(2)") && !name.contains("(3)") && !QFileInfo(path).isSymLink())
            QCOMPARE(readFile(path), old);
    }
    QVERIFY(!QFileInfo::exists(outside));
}

void TstSaveWorker::missingSourceAndUnwritableFolderAreReported()
{
    SelectSavePath worker;
    QSignalSpy done(&worker, &SelectSavePath::completed);
    QSignalSpy failed(&worker, &SelectSavePath::sigPathFailed);
    worker.saveWork(m_tempRoot + "/gone.mp4", m_outDir);
    worker.saveWork(QString(), m_outDir);
    QCOMPARE(failed.count(), 2);
    QVERIFY(failed.first().at(0).toString().contains("gone.mp4"));

    const QString src = m_tempRoot + "/.rec.mp4";
    QVERIFY(writeFile(src, randomBytes(1000)));
    // Root writes everywhere: a folder under a regular file cannot exist.
    const QString blocker = QDir::homePath() + "/plain-file";
    QVERIFY(writeFile(blocker, "x"));
    worker.saveWork(src, blocker + "/sub");
    QCOMPARE(failed.count(), 3);
    QCOMPARE(failed.last().at(0).toString(),
             QStringLiteral("\"%1/sub\" is not writable, please select another one.").arg(blocker));
    QCOMPARE(done.count(), 0);
    QVERIFY(QFileInfo::exists(src));
    QVERIFY(entries(m_outDir).isEmpty());
}

void TstSaveWorker::settingsTakenAtRequest()
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
    QCOMPARE(done.first().at(1).toInt(), 1);
    QCOMPARE(done.first().at(2).toString(), QStringLiteral("320*240"));
}

QTEST_GUILESS_MAIN(TstSaveWorker)
#include "tst_save_worker.moc"
