// From the control bar to the saved file with the real engine: a tone to MP3,
// and a sound-only and a screen recording whose temporary folder is deleted
// while they run.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QMessageBox>

#include <cmath>

#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxSettings.h"
#include "recording/VideoRecCtlWdg.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/media/TestMedia.h"
#include "tests/support/SessionHelpers.h"

using namespace testsupport;

namespace {

// The file's sound at mono 8 kHz: its RMS level in dBFS, and its seconds.
double decodedLevelDb(const QString& path, double& seconds)
{
    const QVector<qint16> pcm = testmedia::sound(path, 8000);
    seconds = pcm.size() / 8000.0;
    double sum = 0.0;
    for (const qint16 sample : pcm)
        sum += (sample / 32768.0) * (sample / 32768.0);
    return pcm.isEmpty() ? -200.0 : 10.0 * std::log10(sum / pcm.size() + 1e-20);
}

} // namespace

class TstE2ERecording : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        for (const char* tool : {"paplay", "pactl"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
        QVERIFY(initScreencast());
        QApplication::setQuitOnLastWindowClosed(false);
        // The home window's part: discard the bar once it has announced the end.
        connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, this, [this] {
            ++m_nStops;
            if (m_bar)
                m_bar->deleteLater();
        });
    }

    void cleanupTestCase()
    {
        WindowListManger::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void systemSoundToMp3()
    {
        if (!tempSpaceAbove(0xFFFFFFFFLL))
            QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
        QProcess player;
        ModalDriver driver(60000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(startSoundOnly(player, driver));
        // Three seconds by the bar's own count, however slow the machine.
        QTRY_COMPARE_WITH_TIMEOUT(length(), QString("00:00:03"), 60000);

        driver.expect([](QWidget* modal) {
            // The auto-saving preview closes itself; anything else is a failure.
            if (!modal->inherits("DlgVideoClip"))
                ModalDriver::forceClose(modal);
        });
        const double recorded = clock.elapsed() / 1000.0;
        m_bar->onBtnStopClicked();
        DRIVER_DONE(driver, 60000);
        QCOMPARE(driver.seen().last().className, QString("DlgVideoClip"));
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 60000);   // the stop ends after the preview is gone
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_bar);
        player.kill();
        player.waitForFinished(30000);

        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Audio_*.mp3"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok, qPrintable(path));
        QCOMPARE(facts.audioCodec, QString("mp3"));
        QVERIFY(facts.videoCodec.isEmpty());
        double seconds = 0.0;
        const double level = decodedLevelDb(path, seconds);
        // At least the three seconds counted, at most what passed until the stop.
        for (double d : {facts.duration, seconds})
            QVERIFY2(d >= 2.5 && d <= recorded + 0.5, qPrintable(QString::number(d)));
        QVERIFY2(level > -30.0, qPrintable(QString("%1 dBFS").arg(level)));

        const QStringList head = historyHead();
        QCOMPARE(head.value(0), saved.first());
        QCOMPARE(head.value(2), QString("2"));
        QVERIFY2(QRegularExpression("^00:00:0[2-9]$").match(head.value(4)).hasMatch(), qPrintable(head.value(4)));
        double value = 0.0;
        const QString unit = Utils::getUtilOfSize(QFileInfo(path).size(), value);
        QCOMPARE(head.value(5), QString::asprintf("%.2f", value) + unit);
    }

    // The engine's sound folder is deleted while a sound-only recording
    // runs: the user is told, and the whole recording is still saved.
    void deletedSoundFolderKeepsTheRecording()
    {
        if (!tempSpaceAbove(0xFFFFFFFFLL))
            QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
        QProcess player;
        ModalDriver driver(60000);
        const int stops = m_nStops;
        QVERIFY(startSoundOnly(player, driver));
        QTRY_COMPARE_WITH_TIMEOUT(length(), QString("00:00:02"), 60000);
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/ScreenRecorder/engine-audio";
        QVERIFY(QFileInfo(folder).isDir() && QDir(folder).removeRecursively());

        QString warning;
        expectWarningThenPreview(driver, warning);
        DRIVER_DONE(driver, 60000);
        player.kill();
        player.waitForFinished(30000);
        QVERIFY2(warning.contains("was deleted while recording"), qPrintable(warning));
        QCOMPARE(driver.seen().last().className, QString("DlgVideoClip"));
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, stops + 1, 60000);

        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Audio_*.mp3"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
        double seconds = 0.0;
        const double level = decodedLevelDb(path, seconds);
        QVERIFY2(seconds >= 2.0, qPrintable(QString::number(seconds)));
        QVERIFY2(level > -30.0, qPrintable(QString("%1 dBFS").arg(level)));
    }

    void deletedTempFolderKeepsTheRecording()
    {
        if (!tempSpaceAbove(0xFFFFFFFFLL))
            QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(true);
        rp->chooseVideoContent(true);
        rp->setSysAudioEnable(false);
        rp->setVideoRect(QRect(0, 0, 320, 240));
        rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_Medium);
        rp->setUsedVideoFmt(RP_Format_MP4);
        rp->setWindowRecord(false);
        rp->setAutoSave(true);
        rp->setTimerEnable(false);
        QDir(Utils::getVideoOutputPath()).removeRecursively();
        Utils::ensureExists(Utils::getVideoOutputPath());
        const int stops = m_nStops;

        ModalDriver driver(60000);
        QVERIFY(startBar(driver));
        QTRY_COMPARE_WITH_TIMEOUT(length(), QString("00:00:02"), 60000);
        QVERIFY(QDir(Utils::getRecorderTmpRoot()).removeRecursively());

        QString warning;
        expectWarningThenPreview(driver, warning);
        DRIVER_DONE(driver, 60000);   // the next tick notices, warns and stops
        QVERIFY2(warning.contains("was deleted while recording"), qPrintable(warning));
        QCOMPARE(driver.seen().last().className, QString("DlgVideoClip"));
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, stops + 1, 60000);

        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Video_*.mp4"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok && facts.videoCodec == "h264" && facts.duration >= 1.5, qPrintable(path));
        QCOMPARE(testmedia::pictureAt(path, 1.0).size(), QSize(320, 240));
    }

private:
    // System sound alone of a tone that plays all along, saved as MP3
    // without asking into an empty folder: the bar started.
    bool startSoundOnly(QProcess& player, ModalDriver& driver)
    {
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(false);
        rp->chooseVideoContent(false);
        rp->setSysAudioEnable(true);
        rp->setMicEnable(false);
        rp->setUsedAudioFmt(RP_Format_MP3);
        rp->setAutoSave(true);
        rp->setTimerEnable(false);
        VxSettings::instance()->removeApplicationParam("Path/SavefilesHistroy");
        QDir(Utils::getVideoOutputPath()).removeRecursively();
        Utils::ensureExists(Utils::getVideoOutputPath());
        // 440 Hz into the null sink for a minute.
        const QString tone = m_dir.filePath("tone.wav");
        if (!QFileInfo::exists(tone) && !testmedia::makeTone(tone, 60))
            return false;
        player.start("paplay", {tone});
        return player.waitForStarted(30000)
               && QTest::qWaitFor([] { return !runProgram("pactl", {"list", "short", "sink-inputs"}).trimmed().isEmpty(); },
                                  30000)
               && startBar(driver);
    }
    // The warning that stops the recording (its text kept), then the
    // preview, which saves by itself.
    static void expectWarningThenPreview(ModalDriver& driver, QString& warning)
    {
        driver.expect([&warning](QWidget* modal) {
            warning = ModalDriver::describe(modal).text;
            ModalDriver::forceClose(modal);
        });
        driver.expect([](QWidget* modal) {
            if (!modal->inherits("DlgVideoClip"))
                ModalDriver::forceClose(modal);
        });
    }
    // A bar prepared and started as the home window does it; the driver
    // passes the free-space question over.
    bool startBar(ModalDriver& driver);
    QString length() const { return m_bar->findChild<QLabel*>("lblLength")->text(); }

    QPointer<VideoRecCtlWdg> m_bar;
    int m_nStops = 0;
    QTemporaryDir m_dir;
};

bool TstE2ERecording::startBar(ModalDriver& driver)
{
    bool known = false;
    const qint64 free = Utils::freeDiskSize(Utils::getRecorderTmpRoot() + "/x", known);
    if (known && free <= 0x1FFFFFFFFLL)
        driver.clickButton(QMessageBox::Cancel); // labelled "Continue"
    m_bar = new VideoRecCtlWdg();
    const bool prepared = m_bar->initRecord();
    if (!driver.waitFinished(60000) || !driver.failures().isEmpty() || !prepared)
        return false;
    testsupport::driveSession(RecordingSession::Session_Recording); // the home window's part
    m_bar->start();
    m_bar->show();
    return true;
}

QTEST_MAIN(TstE2ERecording)
#include "tst_e2e_recording.moc"
