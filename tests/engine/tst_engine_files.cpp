// File and media facts of the real engine, asked without an X server and
// before the engine is initialised, as the save worker does.

#include "EngineTestSupport.h"
#include "tests/support/media/TestMedia.h"

#include "Screencast.h"

#include <QStorageInfo>
#include <QtTest>

class TstEngineFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray path(const QString& name) const { return m_dir.filePath(name).toUtf8(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(et::writeFile(m_dir.filePath("plain"), ""));
        QVERIFY(et::writeFile(m_dir.filePath("size \u00e9.bin"), QByteArray(12345, 'x')));
        QVERIFY(et::writeFile(m_dir.filePath("notes.mp4"), "this is no movie\n"));
        QVERIFY(et::writeFile(m_dir.filePath("fake.gif"), "GIF? no.\n"));
        QVERIFY(QDir().mkpath(m_dir.filePath("Aufnahmen \u00e4\u00f6\u00fc \u5f55\u50cf")));
        QVERIFY(testmedia::makeCountingMovie(m_dir.filePath("clip.mp4"), 2.0, 25));
        // A music file's cover picture is no video.
        QImage cover(64, 64, QImage::Format_RGB32);
        cover.fill(Qt::red);
        QVERIFY(testmedia::makeToneWithCover(m_dir.filePath("song.mp3"), 1.5, cover));
        QVERIFY(testmedia::makeCountingMovie(m_dir.filePath("anim.gif"), 1.5, 10, QSize(160, 120)));
        QVERIFY(testmedia::makeCountingMovie(m_dir.filePath("still.gif"), 0.04, 25, QSize(32, 24)));
    }
    // Sizes of files and free space of folders, also under names that are
    // not ASCII; what is not there is negative, not zero.
    void sizes()
    {
        const qint64 free = GetFileSystemFreeSize(QDir::tempPath().toUtf8().constData());
        const qint64 qt = QStorageInfo(QDir::tempPath()).bytesAvailable();
        QVERIFY2(free > 0 && qAbs(free - qt) < 256LL * 1024 * 1024, qPrintable(QString("%1 vs %2").arg(free).arg(qt)));
        QVERIFY(GetFileSystemFreeSize(path("Aufnahmen \u00e4\u00f6\u00fc \u5f55\u50cf")) > 0);
        for (const QByteArray& bad : {path("no/such/folder"), path("plain/sub"), QByteArray()})
            QVERIFY2(GetFileSystemFreeSize(bad.constData()) < 0, bad.constData());
        QCOMPARE(GetFileSize(path("size \u00e9.bin")), int64_t(12345));
        QCOMPARE(GetFileSize(path("plain")), int64_t(0));
        for (const QByteArray& bad : {path("missing.mp4"), m_dir.path().toUtf8(), QByteArray()})
            QVERIFY2(GetFileSize(bad.constData()) < 0, bad.constData());
    }
    void mediaFacts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("hasVideo");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("duration");
        QTest::newRow("video") << "clip.mp4" << 1 << QSize(320, 240) << 2.0;
        // Else the preview would show a sound recording as a video of the cover.
        QTest::newRow("sound with a cover") << "song.mp3" << 0 << QSize(0, 0) << 1.5;
        QTest::newRow("no movie") << "notes.mp4" << 0 << QSize(0, 0) << 0.0;
        QTest::newRow("missing") << "missing.mov" << 0 << QSize(0, 0) << 0.0;
    }
    void mediaFacts()
    {
        QFETCH(QString, file);
        QFETCH(int, hasVideo);
        QFETCH(QSize, size);
        QFETCH(double, duration);
        const MediaFileInfo info = GetMediaFileInfo(path(file).constData());
        QCOMPARE(int(info.hasVideo), hasVideo);
        QCOMPARE(QSize(info.width, info.height), size);
        QVERIFY2(qAbs(info.duration - duration) < 0.1, qPrintable(QString::number(info.duration)));
        QCOMPARE(GetMediaFileInfo(nullptr).duration, 0.0);
    }
    // Duration 0 means "unreadable" to the callers: a still GIF of one
    // frame must still have one.
    void gifFacts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("duration");
        QTest::newRow("animated") << "anim.gif" << QSize(160, 120) << 1.5;
        QTest::newRow("one frame") << "still.gif" << QSize(32, 24) << -1.0;
        QTest::newRow("no GIF") << "fake.gif" << QSize(0, 0) << 0.0;
    }
    void gifFacts()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(double, duration);
        const GIFFileInfo info = GetGIFFileInfo(path(file).constData());
        QCOMPARE(QSize(info.width, info.height), size);
        if (duration < 0)
            QVERIFY(info.duration > 0.0);
        else
            QVERIFY2(qAbs(info.duration - duration) < 0.05, qPrintable(QString::number(info.duration)));
    }
    // The tests' own media files read back as made: every picture its
    // number at its time, also scaled, and a beep at each whole second.
    void countingMovieReadsBack()
    {
        const QString clip = m_dir.filePath("clip.mp4");
        const testmedia::Probe p = testmedia::probe(clip, true);
        QVERIFY(p.ok);
        QCOMPARE(p.videoCodec + " " + p.audioCodec, QString("h264 aac"));
        QCOMPARE(QSize(p.width, p.height), QSize(320, 240));
        QCOMPARE(p.frames, 50);
        QCOMPARE(p.sampleRate * 10 + p.channels, 480002);
        QVERIFY2(qAbs(p.duration - 2.0) < 0.05 && qAbs(p.fps - 25) < 0.01, qPrintable(QString::number(p.duration)));
        const auto pictures = testmedia::pictures(clip);
        QCOMPARE(pictures.size(), 50);
        for (int i = 0; i < pictures.size(); ++i) {
            QCOMPARE(testmedia::frameNumber(pictures[i].image), i);
            QVERIFY(qAbs(pictures[i].time - i / 25.0) < 0.001);
        }
        QCOMPARE(testmedia::frameNumber(testmedia::pictureAt(clip, 1.23).scaled(100, 90)), 30);
        QCOMPARE(testmedia::frameNumber(QImage(64, 48, QImage::Format_RGB32)), -1);
        QCOMPARE(testmedia::frameNumber(testmedia::pictures(m_dir.filePath("anim.gif")).value(7).image), 7);
        const QVector<qint16> sound = testmedia::sound(clip, 8000);
        QVERIFY2(qAbs(sound.size() - 16000) < 100, qPrintable(QString::number(sound.size())));
        const auto peak = [&](double from, double to) {
            int m = 0;
            for (int i = int(from * 8000); i < int(to * 8000) && i < sound.size(); ++i)
                m = qMax(m, qAbs(int(sound[i])));
            return m;
        };
        QVERIFY(peak(1.01, 1.09) > 8000 && peak(0.15, 0.95) < 300 && peak(1.15, 1.95) < 300);
    }
};

QTEST_GUILESS_MAIN(TstEngineFiles)
#include "tst_engine_files.moc"
