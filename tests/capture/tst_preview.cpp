// The preview window against the engine double: the automatic save from
// recording to history, the answers of exec(), the road of a failed save
// (message, another folder, saved after all), a missing recording, the
// audio conversion before the save, and a copy cancelled by closing.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "capture/DlgVideoClip.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

using namespace testsupport;

namespace {

bool previewing()
{
    return RecordParameter::instance()->m_bPreviewing;
}

// A window that does not finish in time is closed, so exec() cannot hang.
void guard(QDialog* dialog)
{
    QTimer::singleShot(20000, dialog, &QDialog::reject);
}

} // namespace

class TstPreview : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void autoSaveEndsInHistory();
    void closingOrRecordingAgainGivesZero();
    void saveButtonSaves();
    void failedSaveAsksForAnotherFolder();
    void giveUpKeepsRecording();
    void missingRecordingIsReported();
    void audioIsConvertedBeforeSaving();
    void failedConversionKeepsWindow();
    void closingCancelsCopy();

private:
    QString m_file;
    QString m_outDir;
};

void TstPreview::init()
{
    FakeScreencast::reset();
    DlgVideoClip::setFolderChooser(nullptr);
    DlgVideoClip::setAudioConverter(nullptr);
    RecordParameter* p = RecordParameter::instance();
    p->setOnlyRecordCamera(false);
    p->setWindowRecord(false);
    p->setVideoEnable(true);
    p->setUsedVideoFmt(RP_Format_MP4);
    m_file = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.mp4";
    m_outDir = QDir::homePath() + "/Movies/out";
    QDir(m_outDir).removeRecursively();
    QDir().mkpath(m_outDir);
    Utils::setVideoOutputPath(m_outDir);
    VxSettings::instance()->removeApplicationParam(QStringLiteral("Path/SavefilesHistroy"));
}

void TstPreview::cleanup()
{
    DlgVideoClip::setFolderChooser(nullptr);
    DlgVideoClip::setAudioConverter(nullptr);
    Utils::removeTempRoot();
    SignalsTransfer::release();
}

void TstPreview::autoSaveEndsInHistory()
{
    const QByteArray data = randomBytes(70000);
    QVERIFY(writeFile(m_file, data));
    FakeScreencast::setMediaInfo(m_file, MediaFileInfo{3.6, 1, 640, 480});
    SignalsTransfer* hub = SignalsTransfer::instance();
    QSignalSpy history(hub, &SignalsTransfer::onAddHistoryFile);
    QSignalSpy cameraClose(hub, &SignalsTransfer::cameraDlgClose);
    bool previewingAtSave = false;
    connect(hub, &SignalsTransfer::onAddHistoryFile, this, [&] { previewingAtSave = previewing(); });

    QVERIFY(!previewing());
    auto* dlg = new DlgVideoClip(m_file, nullptr, nullptr, true, true);
    QVERIFY(previewing());
    QSignalSpy save(dlg, &DlgVideoClip::sigSave);
    guard(dlg);
    QCOMPARE(dlg->exec(), 1);
    QVERIFY(previewing());
    delete dlg;
    QVERIFY(!previewing());

    QCOMPARE(cameraClose.count(), 1);
    QCOMPARE(save.count(), 1);
    QCOMPARE(save.first().at(0).toString(), m_file);
    QCOMPARE(save.first().at(1).toString(), m_outDir);
    QCOMPARE(history.count(), 1);
    QVERIFY(previewingAtSave);
    const auto entry = history.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QCOMPARE(QFileInfo(entry.path).path(), m_outDir);
    QVERIFY(entry.fileName.startsWith("Video_"));
    QVERIFY(entry.fileName.endsWith(".mp4"));
    QCOMPARE(entry.type, 1);
    QCOMPARE(entry.resolution, QStringLiteral("640*480"));
    QCOMPARE(entry.duration, QStringLiteral("00:00:03"));
    QCOMPARE(entry.size, QStringLiteral("68.36KB"));
    QCOMPARE(readFile(entry.path), data);
    // Stored first, then announced; the temporary recording is gone.
    const QStringList head =
        VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList().value(0).toStringList();
    QCOMPARE(head.value(1), entry.path);
    QVERIFY(!QFileInfo::exists(m_file));
}

void TstPreview::closingOrRecordingAgainGivesZero()
{
    const QByteArray data = randomBytes(1000);
    QVERIFY(writeFile(m_file, data));
    SignalsTransfer* hub = SignalsTransfer::instance();
    QSignalSpy history(hub, &SignalsTransfer::onAddHistoryFile);
    {
        ModalDriver driver;
        driver.rejectDialog(QStringLiteral("DlgVideoClip"));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
        QCOMPARE(dlg.exec(), 0);
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    }
    {
        ModalDriver driver;
        driver.expect([](QWidget* modal) { modal->findChild<QPushButton*>("btnReRecord")->click(); },
                      QStringLiteral("DlgVideoClip"));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
        QCOMPARE(dlg.exec(), 0);
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    }
    QVERIFY(!previewing());
    QCOMPARE(history.count(), 0);
    QCOMPARE(readFile(m_file), data);   // kept for a later restore
    QVERIFY(entries(m_outDir).isEmpty());
}

void TstPreview::saveButtonSaves()
{
    QVERIFY(writeFile(m_file, randomBytes(1000)));
    ModalDriver driver;
    driver.expect([](QWidget* modal) { modal->findChild<QPushButton*>("btnSave")->click(); },
                  QStringLiteral("DlgVideoClip"));
    DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
    guard(&dlg);
    QCOMPARE(dlg.exec(), 1);
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(entries(m_outDir).size(), 1);
}

void TstPreview::failedSaveAsksForAnotherFolder()
{
    const QByteArray data = randomBytes(5000);
    QVERIFY(writeFile(m_file, data));
    // A folder under a regular file cannot be written, even by root.
    const QString blocker = QDir::homePath() + "/plain-file";
    QVERIFY(writeFile(blocker, "x"));
    const QString bad = blocker + "/out";
    Utils::setVideoOutputPath(bad);
    QStringList asked;
    DlgVideoClip::setFolderChooser([&](QWidget*, const QString& current) {
        asked << current;
        return m_outDir;
    });
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);

    ModalDriver driver;
    driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
    auto* dlg = new DlgVideoClip(m_file, nullptr, nullptr, true, true);
    QSignalSpy finished(dlg, &QDialog::finished);
    QSignalSpy save(dlg, &DlgVideoClip::sigSave);
    dlg->show();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(finished.first().at(0).toInt(), 1);
    delete dlg;

    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().text,
             QStringLiteral("\"%1\" is not writable, please select another one.").arg(bad));
    QCOMPARE(asked, QStringList{bad});
    QCOMPARE(save.count(), 2);
    QCOMPARE(save.at(1).at(1).toString(), m_outDir);
    QCOMPARE(history.count(), 1);
    const auto entry = history.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QCOMPARE(readFile(entry.path), data);
    QCOMPARE(Utils::getVideoOutputPath(), m_outDir);   // the new folder is remembered
}

void TstPreview::giveUpKeepsRecording()
{
    const QByteArray data = randomBytes(5000);
    QVERIFY(writeFile(m_file, data));
    const QString blocker = QDir::homePath() + "/plain-file";
    QVERIFY(writeFile(blocker, "x"));
    Utils::setVideoOutputPath(blocker + "/out");
    int asked = 0;
    DlgVideoClip::setFolderChooser([&](QWidget*, const QString&) {
        ++asked;
        return QString();
    });

    ModalDriver driver;
    driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
    DlgVideoClip dlg(m_file, nullptr, nullptr, true, true);
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(asked, 1, 20000);
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    // The window stays for another try; nothing is lost.
    QCOMPARE(finished.count(), 0);
    QVERIFY(dlg.findChild<QPushButton*>("btnSave")->isEnabled());
    QCOMPARE(readFile(m_file), data);
}

void TstPreview::missingRecordingIsReported()
{
    int asked = 0;
    DlgVideoClip::setFolderChooser([&](QWidget*, const QString&) {
        ++asked;
        return m_outDir;
    });
    ModalDriver driver;
    driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
    DlgVideoClip dlg(m_file, nullptr, nullptr, true, true);
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(finished.first().at(0).toInt(), 0);
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY(driver.seen().first().text.contains(".ScreenRecorder.mp4"));
    QCOMPARE(asked, 0);
}

void TstPreview::audioIsConvertedBeforeSaving()
{
    RecordParameter* p = RecordParameter::instance();
    p->setVideoEnable(false);
    p->setUsedAudioFmt(RP_Format_MP3);
    // The engine keeps a sound-only recording itself: the window gets the
    // temporary path without a file behind it.
    const QString file = Utils::getRecorderTmpRoot() + "/.ScreenRecorder";
    const QByteArray data = randomBytes(30000);
    QStringList calls;
    QString converted;
    DlgVideoClip::setAudioConverter([&](const QString& source, const QString& target, int format) {
        calls << QStringLiteral("%1|%2|%3").arg(source, QFileInfo(target).fileName()).arg(format);
        converted = target;
        if (!writeFile(target, data))
            return DlgVideoClip::ConvertHandle();
        FakeScreencast::setMediaInfo(target, MediaFileInfo{4.5, 0, 0, 0});
        std::thread engine([] {
            if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
                emit hub->OnExportCompleted(true);
        });
        engine.join();
        return DlgVideoClip::ConvertHandle(std::make_shared<int>(0));
    });
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);

    DlgVideoClip dlg(file, nullptr, nullptr, false, true);
    guard(&dlg);
    QCOMPARE(dlg.exec(), 1);

    QCOMPARE(calls, QStringList{QStringLiteral("|.ScreenRecorder.mp3|6")});
    QCOMPARE(history.count(), 1);
    const auto entry = history.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QVERIFY(entry.fileName.startsWith("Audio_"));
    QVERIFY(entry.fileName.endsWith(".mp3"));
    QCOMPARE(entry.type, 2);
    QCOMPARE(entry.resolution, QString());
    QCOMPARE(entry.duration, QStringLiteral("00:00:04"));
    QCOMPARE(readFile(entry.path), data);
    QCOMPARE(VxSettings::instance()->applicationParam("audio/duration").toString(), QStringLiteral("00:00:04"));
    QVERIFY(!QFileInfo::exists(converted));
}

void TstPreview::failedConversionKeepsWindow()
{
    RecordParameter::instance()->setVideoEnable(false);
    RecordParameter::instance()->setUsedAudioFmt(RP_Format_FLAC);
    QStringList targets;
    DlgVideoClip::setAudioConverter([&](const QString&, const QString& target, int) {
        targets << QFileInfo(target).suffix();
        return DlgVideoClip::ConvertHandle();   // the engine refused to start
    });
    ModalDriver driver;
    driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
    DlgVideoClip dlg(Utils::getRecorderTmpRoot() + "/.ScreenRecorder", nullptr, nullptr, false, true);
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(targets.size(), 1, 20000);
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(targets, QStringList{"flac"});
    QCOMPARE(finished.count(), 0);
    QVERIFY(dlg.findChild<QPushButton*>("btnSave")->isEnabled());
}

void TstPreview::closingCancelsCopy()
{
    const QString shm = otherDeviceRoot();
    if (shm.isEmpty())
        QSKIP("no second volume (/dev/shm on another device than HOME) on this machine");
    // A pipe on another volume: the copy takes what the test writes and
    // then waits, so the window is closed with the copy surely midway.
    const QString folder = shm + QStringLiteral("/srpreview-%1").arg(::getpid());
    QDir().mkpath(folder);
    const QString file = folder + "/.ScreenRecorder.mp4";
    QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    const int pipe = ::open(QFile::encodeName(file).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(pipe >= 0);
    const QByteArray chunk = randomBytes(8192);
    QCOMPARE(::write(pipe, chunk.constData(), size_t(chunk.size())), ssize_t(chunk.size()));
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);

    auto* dlg = new DlgVideoClip(file, nullptr, nullptr, true, true);
    dlg->show();
    QTRY_VERIFY_WITH_TIMEOUT(entries(m_outDir).size() == 1
                                 && QFileInfo(m_outDir + "/" + entries(m_outDir).first()).size() == 8192,
                             20000);
    // Keeps the pipe flowing so the worker wakes up and sees the cancel.
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop.load()) {
            (void)::write(pipe, "x", 1);
            ::usleep(1000);
        }
    });
    delete dlg;
    stop = true;
    feeder.join();
    ::close(pipe);

    QVERIFY(!previewing());
    QCOMPARE(history.count(), 0);
    QVERIFY2(entries(m_outDir).isEmpty(), qPrintable(entries(m_outDir).join(", ")));
    QVERIFY(QFileInfo::exists(file));
    QDir(folder).removeRecursively();
}

QTEST_MAIN(TstPreview)
#include "tst_preview.moc"
