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

    void videoAndSound()
    {
        const QStringList video{"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "2",
                                "-c:v", "libx264", "-pix_fmt", "yuv420p"};
        const QString mp4 = make("clip.mp4", video);
        QVERIFY(!mp4.isEmpty());
        QVERIFY(qAbs(Utils::getMediaDuration(mp4) - 2.0) < 0.1);
        QCOMPARE(Utils::getVideoRect(mp4), QRect(0, 0, 320, 240));
        QCOMPARE(Utils::getFileSize(mp4), QFileInfo(mp4).size());

        // Names outside ASCII reach the engine intact.
        const QString named = make("vidéo 录像 $(x).mp4", video);
        QVERIFY(!named.isEmpty());
        QVERIFY(qAbs(Utils::getMediaDuration(named) - 2.0) < 0.1);
        QCOMPARE(Utils::getVideoRect(named), QRect(0, 0, 320, 240));
        QCOMPARE(Utils::getFileSize(named), QFileInfo(named).size());

        const QString m4a = make("voice.m4a", {"-f", "lavfi", "-i", "sine=frequency=440:duration=1.5", "-c:a", "aac"});
        QVERIFY(!m4a.isEmpty());
        QVERIFY(qAbs(Utils::getMediaDuration(m4a) - 1.5) < 0.1);
        QCOMPARE(Utils::getVideoRect(m4a), QRect());
    }

    void gif()
    {
        const QString gif = make("anim.gif", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-t", "1"});
        QVERIFY(!gif.isEmpty());
        QVERIFY(qAbs(Utils::getMediaDuration(gif) - 1.0) < 0.15);
        QCOMPARE(Utils::getVideoRect(gif), QRect(0, 0, 160, 120));
    }

    void damagedAndMissingFiles()
    {
        const QString garbage = m_dir.path() + "/garbage.mp4";
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'z'));
        f.close();
        QCOMPARE(Utils::getMediaDuration(garbage), 0.0);
        QCOMPARE(Utils::getVideoRect(garbage), QRect());

        const QString badGif = m_dir.path() + "/bad.gif";
        QVERIFY(QFile::copy(garbage, badGif));
        QCOMPARE(Utils::getMediaDuration(badGif), 0.0);
        QCOMPARE(Utils::getVideoRect(badGif), QRect());

        const QString missing = m_dir.path() + "/missing.mp4";
        QCOMPARE(Utils::getMediaDuration(missing), 0.0);
        QCOMPARE(Utils::getVideoRect(missing), QRect());
        QVERIFY(Utils::getFileSize(missing) < 0);
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
        QVERIFY(Utils::suportVidoeType(RP_Format_MP4));
        QVERIFY(Utils::suportVidoeType(RP_Format_MOV));
        QVERIFY(Utils::getSupportCodecs(RP_Format_MP4).contains(RP_Codec_H264));
        QVERIFY(Utils::getSupportCodecs(RP_Format_MOV).contains(RP_Codec_ProRes422));
        QCOMPARE(Utils::getSupportCodecs(RP_Format_GIF).keys(), QList<RP_CodecType>{RP_Codec_GIF});
    }
};

QTEST_MAIN(TstUtilsMedia)
#include "tst_utils_media.moc"
