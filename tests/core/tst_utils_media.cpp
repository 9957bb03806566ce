// Media facts, file sizes, free space and codec lists through the real
// engine, on small files the tests' media library makes here.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/Utils.h"
#include "tests/support/media/TestMedia.h"

class TstUtilsMedia : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.path() + "/" + name; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }

    void mediaFacts()
    {
        // Names outside ASCII reach the engine intact.
        const QString mp4 = path("vidéo 录像 $(x).mp4");
        QVERIFY(testmedia::makeCountingMovie(mp4, 2.0, 25));
        QVERIFY(qAbs(Utils::getMediaDuration(mp4) - 2.0) < 0.1);
        QCOMPARE(Utils::getVideoRect(mp4), QRect(0, 0, 320, 240));
        QCOMPARE(Utils::getFileSize(mp4), QFileInfo(mp4).size());
        const QString m4a = path("voice.m4a");
        QVERIFY(testmedia::makeTone(m4a, 1.5));
        QVERIFY(qAbs(Utils::getMediaDuration(m4a) - 1.5) < 0.1);
        QCOMPARE(Utils::getVideoRect(m4a), QRect());
        const QString gif = path("anim.gif");
        QVERIFY(testmedia::makeCountingMovie(gif, 1.0, 10, QSize(160, 120)));
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
