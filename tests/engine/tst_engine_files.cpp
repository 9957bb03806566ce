// File, media and codec facts of the real engine. They need no X server:
// the save worker asks them from its own thread, also before the engine is
// initialised.

#include "Screencast.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

QVector<int> listOf(const int* ids)
{
    QVector<int> result;
    for (int i = 0; ids && ids[i] != 0 && i < 64; ++i)
        result << ids[i];
    return result;
}

} // namespace

class TstEngineFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Makes a media file with the ffmpeg program; fails the test when it
    // cannot (the machine's FFmpeg is part of the build environment).
    void makeMedia(const QString& name, const QStringList& args)
    {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     QStringList{"-v", "error", "-y"} + args + QStringList{path(name)});
        QVERIFY2(ffmpeg.waitForFinished(60000), "ffmpeg did not finish");
        QVERIFY2(ffmpeg.exitCode() == 0, ffmpeg.readAllStandardError().constData());
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void codecListOfUnknownContainerIsNull()
    {
        QVERIFY(!GetAVFormatCodecs(OutputVideoFileType(4)));
        QVERIFY(!GetAVFormatCodecs(OutputVideoFileType(-1)));
    }

    // The first call builds the lists; callers on several threads at once
    // must all get the same complete record.
    void codecListsFromManyThreads()
    {
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&bad] {
                const AVFormatCodecs* c = GetAVFormatCodecs(kOutputMov);
                if (!c || listOf(c->videoCodecs).size() != 4)
                    ++bad;
            });
        }
        for (auto& t : threads)
            t.join();
        QCOMPARE(bad.load(), 0);
    }

    void freeSpace()
    {
        const qint64 free = GetFileSystemFreeSize(QDir::tempPath().toUtf8().constData());
        QVERIFY(free > 0);
        // Same volume, same answer as Qt's (up to what others wrote meanwhile).
        const qint64 qt = QStorageInfo(QDir::tempPath()).bytesAvailable();
        QVERIFY2(qAbs(free - qt) < 256LL * 1024 * 1024,
                 qPrintable(QStringLiteral("engine %1, Qt %2").arg(free).arg(qt)));
    }

    void freeSpaceOfUnusablePathsIsAFailure()
    {
        QVERIFY(GetFileSystemFreeSize(path("no/such/folder").toUtf8().constData()) < 0);
        // Below a regular file: no folder can ever be there.
        QFile file(path("plain"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(GetFileSystemFreeSize(path("plain/sub").toUtf8().constData()) < 0);
        QVERIFY(GetFileSystemFreeSize("") < 0);
        QVERIFY(GetFileSystemFreeSize(nullptr) < 0);
    }

    void freeSpaceOfAUtf8Folder()
    {
        const QString folder = path(QStringLiteral("Aufnahmen \u00e4\u00f6\u00fc \u5f55\u50cf"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(GetFileSystemFreeSize(folder.toUtf8().constData()) > 0);
    }

    void fileSize()
    {
        QFile file(path(QStringLiteral("size \u00e9.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(12345, 'x')), qint64(12345));
        file.close();
        QCOMPARE(GetFileSize(file.fileName().toUtf8().constData()), int64_t(12345));

        QFile empty(path("empty.bin"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(GetFileSize(empty.fileName().toUtf8().constData()), int64_t(0));
    }

    void fileSizeOfWhatIsNoFileIsAFailure()
    {
        QVERIFY(GetFileSize(path("missing.mp4").toUtf8().constData()) < 0);
        QVERIFY(GetFileSize(m_dir.path().toUtf8().constData()) < 0);
        QVERIFY(GetFileSize("") < 0);
        QVERIFY(GetFileSize(nullptr) < 0);
    }

    void mediaFactsOfAVideo()
    {
        makeMedia("clip.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=2",
                               "-f", "lavfi", "-i", "sine=d=2", "-c:v", "libx264",
                               "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
        const MediaFileInfo info = GetMediaFileInfo(path("clip.mp4").toUtf8().constData());
        QCOMPARE(int(info.hasVideo), 1);
        QCOMPARE(info.width, 320);
        QCOMPARE(info.height, 240);
        QVERIFY2(qAbs(info.duration - 2.0) < 0.1, qPrintable(QString::number(info.duration)));
    }

    // A music file's cover picture is no video: the preview would otherwise
    // show a sound recording as a video of the cover's size.
    void mediaFactsOfSoundWithACover()
    {
        makeMedia("song.mp3", {"-f", "lavfi", "-i", "sine=d=1.5", "-f", "lavfi", "-i",
                               "color=red:s=64x64:d=0.04", "-map", "0", "-map", "1",
                               "-c:v", "png", "-disposition:v", "attached_pic"});
        const MediaFileInfo info = GetMediaFileInfo(path("song.mp3").toUtf8().constData());
        QCOMPARE(int(info.hasVideo), 0);
        QCOMPARE(info.width, 0);
        QVERIFY2(qAbs(info.duration - 1.5) < 0.1, qPrintable(QString::number(info.duration)));
    }

    void mediaFactsOfUnreadableFilesAreZero()
    {
        QFile text(path("notes.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is no movie\n");
        text.close();
        for (const QString& p : {path("notes.mp4"), path("missing.mov")}) {
            const MediaFileInfo info = GetMediaFileInfo(p.toUtf8().constData());
            QCOMPARE(info.duration, 0.0);
            QCOMPARE(int(info.hasVideo), 0);
            QCOMPARE(info.width, 0);
            QCOMPARE(info.height, 0);
        }
        QCOMPARE(GetMediaFileInfo(nullptr).duration, 0.0);
    }

    void gifFacts()
    {
        makeMedia("anim.gif", {"-f", "lavfi", "-i", "testsrc=s=160x120:r=10:d=1.5"});
        const GIFFileInfo info = GetGIFFileInfo(path("anim.gif").toUtf8().constData());
        QCOMPARE(info.width, 160);
        QCOMPARE(info.height, 120);
        QVERIFY2(qAbs(info.duration - 1.5) < 0.05, qPrintable(QString::number(info.duration)));
    }

    // Duration 0 means "unreadable" to the callers, so a still GIF of one
    // frame must still have a duration.
    void gifOfOneFrameHasADuration()
    {
        makeMedia("still.gif", {"-f", "lavfi", "-i", "color=blue:s=32x24", "-frames:v", "1"});
        const GIFFileInfo info = GetGIFFileInfo(path("still.gif").toUtf8().constData());
        QVERIFY(info.duration > 0.0);
        QCOMPARE(info.width, 32);
        QCOMPARE(info.height, 24);
    }

    void gifFactsOfUnreadableFilesAreZero()
    {
        QFile text(path("fake.gif"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("GIF? no.\n");
        text.close();
        for (const QString& p : {path("fake.gif"), path("missing.gif")}) {
            const GIFFileInfo info = GetGIFFileInfo(p.toUtf8().constData());
            QCOMPARE(info.duration, 0.0);
            QCOMPARE(info.width, 0);
            QCOMPARE(info.height, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstEngineFiles)
#include "tst_engine_files.moc"
