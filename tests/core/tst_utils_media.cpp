// Media facts, file sizes, free space and codec lists through the real
// engine, on small files the ffmpeg program makes here.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "core/Utils.h"

class TstUtilsMedia : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString make(const QString& name, const QStringList& args)
    {
        const QString path = m_dir.path() + "/" + name;
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y"} + args + QStringList{path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
            qWarning("%s", ffmpeg.readAllStandardError().constData());
            return QString();
        }
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }

    void mediaFacts()
    {
        // Names outside ASCII reach the engine intact.
        const QString mp4 = make("vidéo 录像 $(x).mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t",
                                                         "2", "-c:v", "libx264", "-pix_fmt", "yuv420p"});
        QVERIFY(!mp4.isEmpty());
        QVERIFY(qAbs(Utils::getMediaDuration(mp4) - 2.0) < 0.1);
        QCOMPARE(Utils::getVideoRect(mp4), QRect(0, 0, 320, 240));
        QCOMPARE(Utils::getFileSize(mp4), QFileInfo(mp4).size());
        const QString m4a = make("voice.m4a", {"-f", "lavfi", "-i", "sine=frequency=440:duration=1.5", "-c:a", "aac"});
        QVERIFY(qAbs(Utils::getMediaDuration(m4a) - 1.5) < 0.1);
        QCOMPARE(Utils::getVideoRect(m4a), QRect());
        const QString gif = make("anim.gif", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-t", "1"});
        QVERIFY(qAbs(Utils::getMediaDuration(gif) - 1.0) < 0.15);
        QCOMPARE(Utils::getVideoRect(gif), QRect(0, 0, 160, 120));

        // Damaged and missing files have no facts.
        const QString garbage = m_dir.path() + "/garbage.mp4";
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'z'));
        f.close();
        QVERIFY(QFile::copy(garbage, m_dir.path() + "/bad.gif"));
        for (const char* name : {"garbage.mp4", "bad.gif", "missing.mp4"}) {
            QCOMPARE(Utils::getMediaDuration(m_dir.filePath(name)), 0.0);
            QCOMPARE(Utils::getVideoRect(m_dir.filePath(name)), QRect());
        }
        QVERIFY(Utils::getFileSize(m_dir.path() + "/missing.mp4") < 0);
    }

    void freeSpace()
    {
        bool ok = false;
        QVERIFY(Utils::freeDiskSize(m_dir.path() + "/new folder/rec.mp4", ok) > 0);
        QVERIFY(ok);
        QVERIFY(QDir(m_dir.path() + "/new folder").exists());

        // A folder that cannot exist (under a regular file).
        QFile plain(m_dir.path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        ok = true;
        QCOMPARE(Utils::freeDiskSize(m_dir.path() + "/plain/sub/rec.mp4", ok), qint64(0));
        QVERIFY(!ok);
    }

    void codecs()
    {
        QVERIFY(Utils::getSupportCodecs(RP_Format_MP4).contains(RP_Codec_H264));
        QVERIFY(Utils::getSupportCodecs(RP_Format_MOV).contains(RP_Codec_ProRes422));
        QCOMPARE(Utils::getSupportCodecs(RP_Format_GIF).keys(), QList<RP_CodecType>{RP_Codec_GIF});
    }
};

QTEST_MAIN(TstUtilsMedia)
#include "tst_utils_media.moc"
