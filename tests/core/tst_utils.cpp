// Utils against the engine double: folders and their settings keys, size
// texts, media facts and codec lists as the engine answers them, the engine
// colours and display conversion, the message box and brand tables, and the
// file and program helpers.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

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
    void init()
    {
        FakeScreencast::reset();
    }

    void foldersAreCreatedAndKeysRoundTrip()
    {
        const QString company = VxProductInfo::instance()->companyFullName();
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString video = docs + "/" + company;
        const QString snapshot = video + "/Snapshot";
        QDir(video).removeRecursively();

        // Defaults, created on the way.
        QCOMPARE(Utils::getVideoOutputPath(), video);
        QVERIFY(QDir(video).exists());
        QCOMPARE(Utils::getSnapshotPath(), snapshot);
        QVERIFY(QDir(snapshot).exists());
        QCOMPARE(Utils::getOriginalVideoOutputPath(), video);
        QCOMPARE(Utils::getOriginalSnapshotPath(), snapshot);

        // A stored folder comes back, and is made again after it was deleted.
        QTemporaryDir tmp;
        const QString chosen = tmp.path() + "/Aufnahmen ü/视频";
        Utils::setVideoOutputPath(chosen);
        QCOMPARE(VxSettings::instance()->applicationParam("Path/VideoFolder").toString(), chosen);
        QCOMPARE(Utils::getVideoOutputPath(), chosen);
        QVERIFY(QDir(chosen).exists());
        QVERIFY(QDir(chosen).removeRecursively());
        QCOMPARE(Utils::getVideoOutputPath(), chosen);
        QVERIFY(QDir(chosen).exists());

        const QString shots = tmp.path() + "/shots";
        Utils::setSnapshotPath(shots);
        QCOMPARE(VxSettings::instance()->applicationParam("Path/ScreenshotsFolder").toString(), shots);
        QCOMPARE(Utils::getSnapshotPath(), shots);

        // An empty stored folder means the default.
        Utils::setVideoOutputPath(QString());
        Utils::setSnapshotPath(QString());
        QCOMPARE(Utils::getVideoOutputPath(), video);
        QCOMPARE(Utils::getSnapshotPath(), snapshot);

        Utils::setFileSuffix(QStringLiteral("mov"));
        QCOMPARE(Utils::getFileSuffix(), QStringLiteral("mov"));
        QCOMPARE(VxSettings::instance()->applicationParam("FileSuffix").toString(), QStringLiteral("mov"));
        Utils::setTempFilePath(tmp.path());
        QCOMPARE(VxSettings::instance()->applicationParam("TempPath").toString(), tmp.path());
    }

    void dataAndTempFolders()
    {
        const QString data = Utils::getAppDataLocation();
        QVERIFY(!data.contains('\\'));
        QVERIFY(QDir(data).exists());
        QCOMPARE(Utils::appDataLocation(),
                 QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
        QCOMPARE(Utils::selectRecorderTmpRoot(), data);
        QCOMPARE(Utils::getAppLogPath(), data + "/sr.log");

        const QString root = Utils::getRecorderTmpRoot();
        QCOMPARE(root, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/Screen Recorder");
        QCOMPARE(Utils::getOriginalRecorderTmpPath(), root);
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

    void freeSpaceAsksForTheFolderInUtf8()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.path() + "/Größe 空间";
        FakeScreencast::setFreeSpace(folder, 123456789);
        bool ok = false;
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(123456789));
        QVERIFY(ok);
        QVERIFY(QDir(folder).exists());
        QCOMPARE(FakeScreencast::callsOf("GetFileSystemFreeSize").last(),
                 QString("GetFileSystemFreeSize(\"%1\")").arg(folder));

        FakeScreencast::failNext("GetFileSystemFreeSize");
        ok = true;
        QCOMPARE(Utils::freeDiskSize(folder + "/rec.mp4", ok), qint64(0));
        QVERIFY(!ok);
    }

    void mediaFactsFollowTheSuffix()
    {
        const QString mp4 = "/media/录像 1.mp4";
        const QString audio = "/media/voice.m4a";
        const QString gif = "/media/anim.gif";
        const QString upper = "/media/ANIM.GIF";
        const QString broken = "/media/broken.gif";
        FakeScreencast::setMediaInfo(mp4, MediaFileInfo{12.5, 1, 640, 480});
        FakeScreencast::setMediaInfo(audio, MediaFileInfo{3.0, 0, 0, 0});
        FakeScreencast::setGifInfo(gif, GIFFileInfo{2.0, 160, 120});
        FakeScreencast::setMediaInfo(upper, MediaFileInfo{4.0, 1, 32, 16});
        FakeScreencast::setGifInfo(upper, GIFFileInfo{9.0, 1, 1});
        FakeScreencast::setGifInfo(broken, GIFFileInfo{0.0, 160, 120});

        QCOMPARE(Utils::getMediaDuration(mp4), 12.5);
        QCOMPARE(Utils::getVideoRect(mp4), QRect(0, 0, 640, 480));
        QCOMPARE(Utils::getMediaDuration(audio), 3.0);
        QCOMPARE(Utils::getVideoRect(audio), QRect());
        QCOMPARE(Utils::getMediaDuration(gif), 2.0);
        QCOMPARE(Utils::getVideoRect(gif), QRect(0, 0, 160, 120));
        QCOMPARE(Utils::getVideoRect(broken), QRect());
        // Only a lower-case ".gif" goes to the GIF reader.
        QCOMPARE(Utils::getMediaDuration(upper), 4.0);
        QCOMPARE(Utils::getVideoRect(upper), QRect(0, 0, 32, 16));
        QCOMPARE(FakeScreencast::callCount("GetGIFFileInfo"), 3);

        FakeScreencast::setFileSize(mp4, 4242);
        QCOMPARE(Utils::getFileSize(mp4), qint64(4242));
        FakeScreencast::setAudioRecordDuration(7.25);
        QCOMPARE(Utils::getAudioDuration(), 7.25);
        FakeScreencast::setRestoreAudioResult(0);
        QVERIFY(!Utils::RestorreAudioTempFiles());
        FakeScreencast::setRestoreAudioResult(3);
        QVERIFY(Utils::RestorreAudioTempFiles());
    }

    void codecsPerContainer()
    {
        FakeScreencast::setCodecs(kOutputMp4, {1, 7, 2}, {1});
        const QMap<RP_CodecType, QString> expected{{RP_Codec_H264, "H.264"}, {RP_Codec_HEVC, "HEVC"}};
        QCOMPARE(Utils::getSupportCodecs(RP_Format_MP4), expected);
        // Every format without a container of its own asks about mp4.
        FakeScreencast::clearCalls();
        QCOMPARE(Utils::getSupportCodecs(RP_Format_PNG), expected);
        QCOMPARE(Utils::getSupportCodecs(RP_Format_M4A), expected);
        QCOMPARE(FakeScreencast::calls(), (QStringList{"GetAVFormatCodecs(0)", "GetAVFormatCodecs(0)"}));

        FakeScreencast::setCodecs(kOutputMov, {3, 4, 5, 1, 2}, {});
        QCOMPARE(Utils::getSupportCodecs(RP_Format_MOV),
                 (QMap<RP_CodecType, QString>{{RP_Codec_H264, "H.264"},
                                              {RP_Codec_HEVC, "HEVC"},
                                              {RP_Codec_ProRes422, "Apple ProRes 422"},
                                              {RP_Codec_ProRes4444, "Apple ProRes 4444"},
                                              {RP_Codec_GIF, "GIF"}}));
        FakeScreencast::clearCalls();
        Utils::getSupportCodecs(RP_Format_M4V);
        Utils::getSupportCodecs(RP_Format_GIF);
        QCOMPARE(FakeScreencast::calls(), (QStringList{"GetAVFormatCodecs(2)", "GetAVFormatCodecs(3)"}));

        QVERIFY(Utils::suportVidoeType(RP_Format_MOV));
        FakeScreencast::setNoCodecs(kOutputMov);
        QVERIFY(!Utils::suportVidoeType(RP_Format_MOV));
        QVERIFY(Utils::getSupportCodecs(RP_Format_MOV).isEmpty());
        FakeScreencast::setCodecs(kOutputGif, {}, {});
        QVERIFY(!Utils::suportVidoeType(RP_Format_GIF));
        QVERIFY(Utils::getSupportCodecs(RP_Format_GIF).isEmpty());
    }

    void displayRectPassesInclusiveCorners()
    {
        FakeScreencast::Display primary{"A", CRect{0, 0, 1920, 1080}, 1.0, true};
        FakeScreencast::Display second{"B", CRect{1920, 0, 3200, 1024}, 1.0, false};
        FakeScreencast::setDisplays({primary, second});
        FakeScreencast::clearCalls();

        QCOMPARE(Utils::DisplayRectToScreen(0, QRect(10, 20, 1, 1)), QRect(10, 20, 1, 1));
        QCOMPARE(Utils::DisplayRectToScreen(1, QRect(0, 0, 100, 50)), QRect(1920, 0, 100, 50));
        QCOMPARE(FakeScreencast::calls(), (QStringList{"ConvertDisplayRectToScreen(0, {10,20,10,20})",
                                                       "ConvertDisplayRectToScreen(1, {0,0,99,49})"}));
    }

    void messageBoxTables_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("defaultButton");   // -1: the box's own, not checked
        QTest::addColumn<int>("click");

        const int ok = QMessageBox::Ok, cancel = QMessageBox::Cancel, yes = QMessageBox::Yes,
                  no = QMessageBox::No;
        QTest::newRow("information, own buttons, default Ok") << 0 << 0 << 1 << ok << ok << ok;
        QTest::newRow("warning, own buttons") << 1 << 1 << 2 << ok << -1 << ok;
        QTest::newRow("type 2") << 2 << 2 << 6 << (ok | cancel) << ok << cancel;
        QTest::newRow("question, yes no cancel") << 3 << 3 << 4 << (yes | no | cancel) << yes << no;
        QTest::newRow("unknown type and buttons") << 9 << 7 << 1 << ok << -1 << ok;
    }

    void messageBoxTables()
    {
        QFETCH(int, type);
        QFETCH(int, buttons);
        QFETCH(int, icon);
        QFETCH(int, shown);
        QFETCH(int, defaultButton);
        QFETCH(int, click);

        VxProductInfo::instance()->overrideValue("name", "Recorder Ünï");
        QWidget parent;
        parent.show();
        ModalDriver driver;
        int seenIcon = -1, seenShown = 0;
        QList<int> defaults;
        Qt::WindowModality modality = Qt::NonModal;
        driver.expect(
            [&](QWidget* modal) {
                auto* box = qobject_cast<VxMessageBox*>(modal);
                QVERIFY(box);
                seenIcon = box->icon();
                modality = box->windowModality();
                for (int b : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No}) {
                    auto* push = qobject_cast<QPushButton*>(box->button(QMessageBox::StandardButton(b)));
                    if (!push)
                        continue;
                    seenShown |= b;
                    if (push->isDefault())
                        defaults << b;
                }
                box->button(QMessageBox::StandardButton(click))->click();
            },
            "VxMessageBox");
        const int result = Utils::showMacWindowMessage(MsgType(type), &parent, "Disk is full", MsgButton(buttons));
        VERIFY_DRIVER(driver);
        QCOMPARE(result, click);
        QCOMPARE(seenIcon, icon);
        QCOMPARE(seenShown, shown);
        if (defaultButton >= 0)
            QCOMPARE(defaults, QList<int>{defaultButton});
        QCOMPARE(modality, Qt::WindowModal);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen().first().title, QStringLiteral("Recorder Ünï"));
        QCOMPARE(driver.seen().first().text, QStringLiteral("Disk is full"));
        // The box is gone afterwards.
        QVERIFY(parent.findChildren<VxMessageBox*>().isEmpty());
    }

    void messageBoxWithoutParentEscapes()
    {
        ModalDriver driver;
        driver.pressKey(Qt::Key_Escape, "VxMessageBox");
        QCOMPARE(Utils::showMacWindowMessage(MsgType_Question, nullptr, "Quit?", MsgButton_OkCancel),
                 int(QMessageBox::Cancel));
        VERIFY_DRIVER(driver);
    }

    void sameStorage()
    {
        QTemporaryDir tmp;
        const QString file = tmp.path() + "/rec.mp4";
        writeFile(file, "x");
        // The target folder does not exist yet: it is made first.
        QVERIFY(Utils::isSameStorage(file, tmp.path() + "/out/deeper"));
        QVERIFY(QDir(tmp.path() + "/out/deeper").exists());
        QVERIFY(!Utils::isSameStorage("/proc", tmp.path()));
        QVERIFY(!Utils::isSameStorage(tmp.path(), "/proc"));
    }

    void sameStorageIgnoresEqualDeviceNames()
    {
        // Two mounts with one device name (several tmpfs mounts are all
        // "tmpfs") are still two file systems.
        const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
        for (const QStorageInfo& a : volumes) {
            for (const QStorageInfo& b : volumes) {
                if (a.device() == b.device() && a.rootPath() != b.rootPath() && a.fileSystemType() == "tmpfs"
                    && b.fileSystemType() == "tmpfs" && QDir(a.rootPath()).exists()
                    && QDir(b.rootPath()).exists()) {
                    QVERIFY2(!Utils::isSameStorage(a.rootPath(), b.rootPath()),
                             qPrintable(a.rootPath() + " " + b.rootPath()));
                    return;
                }
            }
        }
        QSKIP("no two tmpfs mounts on this machine");
    }

    void runningPrograms()
    {
        QVERIFY(Utils::excuteFileUseQProcess("true", {}));
        // The exit code is the program's business; it ran.
        QVERIFY(Utils::excuteFileUseQProcess("sh", {"-c", "exit 3"}));
        QVERIFY(!Utils::excuteFileUseQProcess("/nonexistent/program", {}));
        QVERIFY(!Utils::excuteFileUseQProcess("sh", {"-c", "kill -SEGV $$"}));
        // A program waiting for input gets none and ends.
        QVERIFY(Utils::excuteFileUseQProcess("cat", {}));
    }

    void timedOutProgramIsFailureAndKilled()
    {
        QTemporaryDir tmp;
        const QString marker = tmp.path() + "/alive";
        // Writes the marker only if it outlives the time-out.
        QVERIFY(!Utils::excuteFileUseQProcess("sh", {"-c", "sleep 1; touch '" + marker + "'"}, 200));
        QTest::qWait(1500);
        QVERIFY(!QFileInfo::exists(marker));
    }

    void hashes()
    {
        QTemporaryDir tmp;
        const QString file = tmp.path() + "/setup.bin";
        writeFile(file, "hello");
        const QString sum = "5d41402abc4b2a76b9719d911017c592";
        QVERIFY(Utils::checkHash(file, sum));
        QVERIFY(Utils::checkHash(file, sum.toUpper()));
        QVERIFY(!Utils::checkHash(file, "5d41402abc4b2a76b9719d911017c593"));
        QVERIFY(!Utils::checkHash(file, QString()));
        QVERIFY(!Utils::checkHash(tmp.path() + "/missing.bin", sum));

        QCOMPARE(Utils::getMD5FromFileContents(sum + "  setup.bin\n"), sum);
        QCOMPARE(Utils::getMD5FromFileContents("  " + sum + " x"), sum);
        QCOMPARE(Utils::getMD5FromFileContents(sum + "\n"), sum);
        QCOMPARE(Utils::getMD5FromFileContents(sum + "\r\n"), sum);
        QCOMPARE(Utils::getMD5FromFileContents(QString()), QString());
        QCOMPARE(Utils::getMD5FromFileContents(" \n "), QString());
    }

    void downloadShortcuts()
    {
        QTemporaryDir tmp;
        const QString local = tmp.path() + "/setup.bin";
        QCOMPARE(Utils::downloadFile(local, QString(), QString(), nullptr, nullptr), 1);
        // A complete file with the right sum is not fetched again (the
        // address would refuse the connection).
        writeFile(local, "hello");
        const QString url = "http://127.0.0.1:9/setup.bin";
        QCOMPARE(Utils::downloadFile(local, url, "5D41402ABC4B2A76B9719D911017C592", nullptr, nullptr), 0);
        // The sum may come from the side file already there.
        writeFile(local + ".md5", "5d41402abc4b2a76b9719d911017c592  setup.bin\n");
        QCOMPARE(Utils::downloadFile(local, url, QString(), nullptr, nullptr), 0);
        QVERIFY(QFileInfo::exists(local));
    }

    void topWindowLevelKeepsTheWindowShown()
    {
        QWidget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const WId id = w.winId();
        Utils::setTopWindowLevel(&w);
        QVERIFY(w.isVisible());
        QCOMPARE(w.winId(), id);
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);

        // A hidden window stays hidden and comes up on top when shown; a
        // child widget raises its window.
        QWidget hidden;
        auto* child = new QWidget(&hidden);
        Utils::setTopWindowLevel(child);
        QVERIFY(!hidden.isVisible());
        QVERIFY(hidden.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(child->windowFlags() & Qt::WindowStaysOnTopHint));
        hidden.show();
        QVERIFY(hidden.windowHandle()->flags() & Qt::WindowStaysOnTopHint);

        Utils::setTopWindowLevel(nullptr);
    }

    void darkAppearanceFromPalette()
    {
        const QPalette saved = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        QVERIFY(Utils::applicationIsInDarkMode());
        QPalette light;
        light.setColor(QPalette::Window, QColor(240, 240, 240));
        light.setColor(QPalette::WindowText, QColor(0, 0, 0));
        QApplication::setPalette(light);
        QVERIFY(!Utils::applicationIsInDarkMode());
        QApplication::setPalette(saved);
    }
};

QTEST_MAIN(TstUtils)
#include "tst_utils.moc"
