// Utils against the engine double: folders and their keys, size texts, codecs per
// container, the message box, volumes, programs and sums.
#include <QAbstractButton>
#include <QApplication>
#include <QtTest>

#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"

using testsupport::writeFile;

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
        // An empty stored folder means the default.
        Utils::setVideoOutputPath(QString());
        QCOMPARE(Utils::getVideoOutputPath(), video);
    }

    void freeSpaceFailureIsReported()
    {
        const QString folder = QDir::homePath() + "/Größe 空间";
        FakeScreencast::setFreeSpace(folder, 123456789);
        bool ok = false;
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(123456789));
        QVERIFY(ok);
        FakeScreencast::failNext("GetFileSystemFreeSize");
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(0));
        QVERIFY(!ok);
    }

    void codecsPerContainer()
    {
        FakeScreencast::setCodecs(kOutputMp4, {1, 7, 2}, {1});
        const QMap<RP_CodecType, QString> mp4{{RP_Codec_H264, "H.264"}, {RP_Codec_HEVC, "HEVC"}};
        QCOMPARE(Utils::getSupportCodecs(RP_Format_MP4), mp4);
        // Every format without a container of its own asks about mp4.
        QCOMPARE(Utils::getSupportCodecs(RP_Format_PNG), mp4);
        FakeScreencast::setNoCodecs(kOutputMov);
        QVERIFY(!Utils::suportVidoeType(RP_Format_MOV));
    }

    void messageBoxIsWindowModalAndGone()
    {
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
        QVERIFY(parent.findChildren<VxMessageBox*>().isEmpty());
    }

    void sameStorageByDevice()
    {
        QTemporaryDir tmp;
        const QString file = tmp.path() + "/rec.mp4";
        QVERIFY(writeFile(file, "x"));
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
        QVERIFY(!Utils::excuteFileUseQProcess("sleep", {"30"}, 200));
    }

    void sumsAndDownloadShortcuts()
    {
        QTemporaryDir tmp;
        const QString local = tmp.path() + "/setup.bin";
        const QString sum = "5d41402abc4b2a76b9719d911017c592";
        QVERIFY(writeFile(local, "hello"));
        QVERIFY(Utils::checkHash(local, sum.toUpper()));
        QCOMPARE(Utils::getMD5FromFileContents("  " + sum + "  setup.bin\r\n"), sum);
        // A complete file with the right sum in the side file is not
        // fetched again (the address would refuse the connection).
        QVERIFY(writeFile(local + ".md5", (sum + "  setup.bin\n").toLatin1()));
        QCOMPARE(Utils::downloadFile(local, "http://127.0.0.1:9/setup.bin", QString(), nullptr, nullptr), 0);
    }
};

QTEST_MAIN(TstUtils)
#include "tst_utils.moc"
