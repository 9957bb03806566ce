// The webcam recorder as the home window opens it, with the real engine and
// its test camera in the private test environment: the webcam hotkey starts
// a recording and, pressed again, stops it; the preview is answered by
// saving, the history that follows closed, and the saved MOV decodes. The
// key's way from the X server to the hub has tests of its own; here the hub
// carries the press, so that a starved X session cannot lose it.
#include <QAbstractButton>
#include <QApplication>
#include <QtTest>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/media/TestMedia.h"

class TstWebcamHomeE2e : public QObject
{
    Q_OBJECT
private slots:
    void hotkeyStartsAndStops()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        const int kLong = 30000;   // what a loaded machine must reach within
        const int webcamKey = 3;
        qputenv("SR_TEST_CAMERA", "lavfi:smptebars=size=640x480:rate=30");
        QApplication::setQuitOnLastWindowClosed(false);
        VxSettings::instance()->setApplicationParam("HotkeyRemind", true);

        MainWindowBase frame(nullptr);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame, kLong));
        QVERIFY(frame.mainWindow()->engineStarted());
        RecordParameter* rp = RecordParameter::instance();
        rp->setAutoSave(false);
        QWidget* tile = frame.findChild<QWidget*>("frmChoseWebCam");
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        CameraDlg* recorder = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((recorder = frame.findChild<CameraDlg*>()) && recorder->isVisible(), kLong);
        QTRY_VERIFY_WITH_TIMEOUT(CameraManager::instance()->isCameraRunning(), kLong);

        emit SignalsTransfer::instance()->hotKeyPressed(webcamKey);
        QTRY_VERIFY_WITH_TIMEOUT(rp->m_bRecording, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(CameraManager::instance()->getVideoDuration() >= 2.0, kLong);

        QSignalSpy saved(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
        ModalDriver driver(60000);
        driver.expect([](QWidget* preview) {
            auto* save = preview->findChild<QAbstractButton*>("btnSave");
            QTRY_VERIFY_WITH_TIMEOUT(save && save->isVisible() && save->isEnabled(), kLong);
            QTest::mouseClick(save, Qt::LeftButton);
            // Held until the preview has saved and closed, so that the next
            // step goes to the history that follows.
            QPointer<QWidget> open(preview);
            QTRY_VERIFY_WITH_TIMEOUT(!open || !open->isVisible(), 60000);
        }, "DlgVideoClip");
        driver.expect(&ModalDriver::forceClose, "RecordHistoryDlg");   // it follows every saved recording
        emit SignalsTransfer::instance()->hotKeyPressed(webcamKey);
        DRIVER_DONE(driver, 120000);
        QTRY_VERIFY_WITH_TIMEOUT(recorder->isVisible() && !rp->m_bRecording && !rp->m_bPreviewing, kLong);

        QCOMPARE(saved.count(), 1);
        const QString path = saved.first().at(0).value<HistoryFileUtils::HistoryFile>().path;
        QVERIFY2(path.startsWith(Utils::getVideoOutputPath()) && path.endsWith(".mov"), qPrintable(path));
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok && facts.videoCodec == "h264" && facts.duration >= 1.5, qPrintable(path));
        QCOMPARE(testmedia::pictureAt(path, 1.0).size(), QSize(640, 480));
    }
};

QTEST_MAIN(TstWebcamHomeE2e)
#include "tst_webcam_home_e2e.moc"
