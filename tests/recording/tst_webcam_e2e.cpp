// The webcam recorder over the real engine and its test camera, inside the
// private test environment: about four seconds recorded with the
// microphone, a pause, two more seconds, the stop; the preview saves the
// movie by itself and what lands in the output folder is an H.264 + AAC
// MOV of about six seconds.
#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "Screencast.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "schedule/TaskManage.h"
#include "tests/support/media/TestMedia.h"

class TstWebcamE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "run inside scripts/with-test-env.sh");
        qputenv("SR_TEST_CAMERA", "lavfi:smptebars=size=640x480:rate=30");
        QCOMPARE(scInitialize(), int(kScInitOk));
        SignalsTransfer::instance();
    }
    void cleanupTestCase()
    {
        CameraManager::release();
        scUninitialize();
    }
    void recordsPausesAndSaves();
};

void TstWebcamE2e::recordsPausesAndSaves()
{
    const QString outDir = QDir::homePath() + "/Media/webcam";
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
    Utils::setVideoOutputPath(outDir);
    RecordParameter* rp = RecordParameter::instance();
    rp->setOnlyRecordCamera(true);
    rp->setAutoSave(true);
    rp->setTimerEnable(false);
    TaskManage::instance()->isTasking = false;
    VxSettings::instance()->setApplicationParam("CameraMicEnable", true);

    CameraDlg dlg(true);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(CameraManager::instance()->isCameraRunning());
    QVERIFY(dlg.findChild<QToolButton*>("btnMic")->isVisibleTo(&dlg));

    QSignalSpy saved(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
    dlg.on_btnRec_clicked();
    QVERIFY(rp->m_bRecording);
    CameraManager* camera = CameraManager::instance();
    QTRY_VERIFY_WITH_TIMEOUT(camera->getVideoDuration() >= 4.0, 30000);
    dlg.onPause();
    const double pausedAt = camera->getVideoDuration();
    QTest::qWait(2000);   // the pause's length; nothing below depends on it
    QVERIFY(camera->getVideoDuration() < pausedAt + 0.5);
    dlg.onResume();
    QTRY_VERIFY_WITH_TIMEOUT(camera->getVideoDuration() >= 6.0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QToolButton*>("btnStop")->isEnabled(), 30000);
    QTest::mouseClick(dlg.findChild<QToolButton*>("btnStop"), Qt::LeftButton);

    // The finish opens the preview, which saves by itself and closes.
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 120000);
    QTRY_VERIFY_WITH_TIMEOUT(dlg.isVisible() && !rp->m_bPreviewing, 30000);
    const auto entry = saved.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QVERIFY2(entry.path.startsWith(outDir), qPrintable(entry.path));
    const testmedia::Probe facts = testmedia::probe(entry.path);
    QVERIFY2(facts.ok, qPrintable(entry.path));
    QCOMPARE(facts.videoCodec, QStringLiteral("h264"));
    QCOMPARE(facts.audioCodec, QStringLiteral("aac"));
    QVERIFY2(facts.duration > 5.0 && facts.duration < 7.5, qPrintable(QString::number(facts.duration)));
}

QTEST_MAIN(TstWebcamE2e)
#include "tst_webcam_e2e.moc"
