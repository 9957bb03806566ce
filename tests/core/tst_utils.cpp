// Utils against the engine double: folders and their settings keys, size
// texts, which reader answers for a file, codec lists per container, the
// message box, volumes, programs and sums.
#include <QApplication>
#include <QDir>
#include <QAbstractButton>
#include <QFile>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"

#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join('\n')))

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

class TstUtils : public QObject
{
    Q_OBJECT

private slots:
    void init() { FakeScreencast::reset(); }

    void foldersAreMadeAndRemembered()
    {
        const QString video = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/"
            + VxProductInfo::instance()->companyFullName();
        QDir(video).removeRecursively();
        QCOMPARE(Utils::getVideoOutputPath(), video);
        QVERIFY(QDir(video).exists());
        QCOMPARE(Utils::getSnapshotPath(), video + "/Snapshot");
        QVERIFY(QDir(video + "/Snapshot").exists());

        // A stored folder comes back, and is made again after it was deleted.
        QTemporaryDir tmp;
        const QString chosen = tmp.path() + "/Aufnahmen ü/视频";
        Utils::setVideoOutputPath(chosen);
        QCOMPARE(VxSettings::instance()->applicationParam("Path/VideoFolder").toString(), chosen);
        QVERIFY(QDir(chosen).removeRecursively());
        QCOMPARE(Utils::getVideoOutputPath(), chosen);
        QVERIFY(QDir(chosen).exists());
        Utils::setSnapshotPath(tmp.path() + "/shots");
        QCOMPARE(VxSettings::instance()->applicationParam("Path/ScreenshotsFolder").toString(), tmp.path() + "/shots");
        // An empty stored folder means the default.
        Utils::setVideoOutputPath(QString());
        Utils::setSnapshotPath(QString());
        QCOMPARE(Utils::getVideoOutputPath(), video);
        QCOMPARE(Utils::getSnapshotPath(), video + "/Snapshot");

        const QString root = Utils::getRecorderTmpRoot();
        QDir().mkpath(root + "/inner");
        writeFile(root + "/inner/rec.mp4", "x");
        Utils::removeTempRoot();
        QVERIFY(!QFileInfo::exists(root + "/inner/rec.mp4"));
        QVERIFY(QDir(Utils::getRecorderTmpRoot()).exists());
    }

    void sizeUnits_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<double>("value");
        QTest::newRow("0") << qint64(0) << "KB" << 0.0;
        QTest::newRow("1 MiB") << qint64(1048576) << "KB" << 1024.0;
        QTest::newRow("1 MiB + 1") << qint64(1048577) << "MB" << 1048577 / 1048576.0;
        QTest::newRow("1 GiB") << qint64(1073741824) << "MB" << 1024.0;
        QTest::newRow("1 GiB + 1") << qint64(1073741825) << "GB" << 1073741825 / 1073741824.0;
    }

    void sizeUnits()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, unit);
        QFETCH(double, value);
        double got = -1;
        QCOMPARE(Utils::getUtilOfSize(bytes, got), unit);
        QCOMPARE(got, value);
    }

    void freeSpaceFailureIsReported()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.path() + "/Größe 空间";
        FakeScreencast::setFreeSpace(folder, 123456789);
        bool ok = false;
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(123456789));
        QVERIFY(ok);
        FakeScreencast::failNext("GetFileSystemFreeSize");
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(0));
        QVERIFY(!ok);
    }

    void onlyLowerCaseGifGoesToTheGifReader()
    {
        const QString gif = "/media/anim.gif", upper = "/media/ANIM.GIF", broken = "/media/broken.gif";
        FakeScreencast::setGifInfo(gif, GIFFileInfo{2.0, 160, 120});
        FakeScreencast::setMediaInfo(upper, MediaFileInfo{4.0, 1, 32, 16});
        FakeScreencast::setGifInfo(upper, GIFFileInfo{9.0, 1, 1});
        FakeScreencast::setGifInfo(broken, GIFFileInfo{0.0, 160, 120});
        QCOMPARE(Utils::getMediaDuration(gif), 2.0);
        QCOMPARE(Utils::getVideoRect(gif), QRect(0, 0, 160, 120));
        QCOMPARE(Utils::getVideoRect(broken), QRect());
        QCOMPARE(Utils::getMediaDuration(upper), 4.0);
        QCOMPARE(Utils::getVideoRect(upper), QRect(0, 0, 32, 16));
    }

    void codecsPerContainer()
    {
        FakeScreencast::setCodecs(kOutputMp4, {1, 7, 2}, {1});
        const QMap<RP_CodecType, QString> mp4{{RP_Codec_H264, "H.264"}, {RP_Codec_HEVC, "HEVC"}};
        QCOMPARE(Utils::getSupportCodecs(RP_Format_MP4), mp4);
        // Every format without a container of its own asks about mp4.
        QCOMPARE(Utils::getSupportCodecs(RP_Format_PNG), mp4);
        FakeScreencast::setCodecs(kOutputMov, {3, 4, 5, 1, 2}, {});
        QCOMPARE(Utils::getSupportCodecs(RP_Format_MOV),
                 (QMap<RP_CodecType, QString>{{RP_Codec_H264, "H.264"},
                                              {RP_Codec_HEVC, "HEVC"},
                                              {RP_Codec_ProRes422, "Apple ProRes 422"},
                                              {RP_Codec_ProRes4444, "Apple ProRes 4444"},
                                              {RP_Codec_GIF, "GIF"}}));
        QVERIFY(Utils::suportVidoeType(RP_Format_MOV));
        FakeScreencast::setNoCodecs(kOutputMov);
        QVERIFY(!Utils::suportVidoeType(RP_Format_MOV));
        FakeScreencast::setCodecs(kOutputGif, {}, {});
        QVERIFY(!Utils::suportVidoeType(RP_Format_GIF));
    }

    void messageBoxIsWindowModalAndGone()
    {
        VxProductInfo::instance()->overrideValue("name", "Recorder Ünï");
        QWidget parent;
        parent.show();
        ModalDriver driver;
        Qt::WindowModality modality = Qt::NonModal;
        driver.expect([&](QWidget* modal) {
            modality = modal->windowModality();
            qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::No)->click();
        }, "VxMessageBox");
        QCOMPARE(Utils::showMacWindowMessage(MsgType_Question, &parent, "Quit?", MsgButton_YesNoCancel),
                 int(QMessageBox::No));
        VERIFY_DRIVER(driver);
        QCOMPARE(modality, Qt::WindowModal);
        QCOMPARE(driver.seen().first().title, QStringLiteral("Recorder Ünï"));
        QVERIFY(parent.findChildren<VxMessageBox*>().isEmpty());
    }

    void sameStorageByDevice()
    {
        QTemporaryDir tmp;
        const QString file = tmp.path() + "/rec.mp4";
        writeFile(file, "x");
        // The target folder does not exist yet: it is made first.
        QVERIFY(Utils::isSameStorage(file, tmp.path() + "/out/deeper"));
        QVERIFY(QDir(tmp.path() + "/out/deeper").exists());
        QVERIFY(!Utils::isSameStorage("/proc", tmp.path()));
        // Two mounts with one device name (tmpfs mounts are all "tmpfs")
        // are still two file systems.
        const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
        for (const QStorageInfo& a : volumes) {
            for (const QStorageInfo& b : volumes) {
                if (a.device() == b.device() && a.rootPath() != b.rootPath() && a.fileSystemType() == "tmpfs"
                    && b.fileSystemType() == "tmpfs" && QDir(a.rootPath()).exists() && QDir(b.rootPath()).exists()) {
                    QVERIFY2(!Utils::isSameStorage(a.rootPath(), b.rootPath()),
                             qPrintable(a.rootPath() + " " + b.rootPath()));
                    return;
                }
            }
        }
    }

    void programsThatCrashOrHangFail()
    {
        QVERIFY(Utils::excuteFileUseQProcess("sh", {"-c", "exit 3"})); // the exit code is the program's business
        QVERIFY(Utils::excuteFileUseQProcess("cat", {}));              // no input, and it ends
        QVERIFY(!Utils::excuteFileUseQProcess("/nonexistent/program", {}));
        QVERIFY(!Utils::excuteFileUseQProcess("sh", {"-c", "kill -SEGV $$"}));

        QTemporaryDir tmp;
        const QString marker = tmp.path() + "/alive";
        // Writes the marker only if it outlives the time-out: by the time
        // the sleep would have ended it must be gone.
        QVERIFY(!Utils::excuteFileUseQProcess("sh", {"-c", "sleep 1; touch '" + marker + "'"}, 200));
        QTest::qWait(1500);
        QVERIFY(!QFileInfo::exists(marker));
    }

    void sumsAndDownloadShortcuts()
    {
        QTemporaryDir tmp;
        const QString local = tmp.path() + "/setup.bin";
        const QString sum = "5d41402abc4b2a76b9719d911017c592";
        QCOMPARE(Utils::downloadFile(local, QString(), QString(), nullptr, nullptr), 1);
        writeFile(local, "hello");
        QVERIFY(Utils::checkHash(local, sum.toUpper()));
        QVERIFY(!Utils::checkHash(local, "5d41402abc4b2a76b9719d911017c593"));
        QVERIFY(!Utils::checkHash(local, QString()));
        QCOMPARE(Utils::getMD5FromFileContents("  " + sum + "  setup.bin\r\n"), sum);
        QCOMPARE(Utils::getMD5FromFileContents(" \n "), QString());
        // A complete file with the right sum, given or in the side file, is
        // not fetched again (the address would refuse the connection).
        const QString url = "http://127.0.0.1:9/setup.bin";
        QCOMPARE(Utils::downloadFile(local, url, sum.toUpper(), nullptr, nullptr), 0);
        writeFile(local + ".md5", (sum + "  setup.bin\n").toLatin1());
        QCOMPARE(Utils::downloadFile(local, url, QString(), nullptr, nullptr), 0);
    }

    void darkAppearanceFromPalette()
    {
        const QPalette saved = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        QVERIFY(Utils::applicationIsInDarkMode());
        QApplication::setPalette(saved);
        QVERIFY(!Utils::applicationIsInDarkMode());
    }
};

QTEST_MAIN(TstUtils)
#include "tst_utils.moc"
