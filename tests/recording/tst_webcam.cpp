// The webcam layer against the engine double, for what a real camera cannot
// reach cheaply: stop lock, free space, photo names, keys, failed finishes.
#include <QApplication>
#include <QComboBox>
#include <QtTest>
#include <QMessageBox>
#include <QToolButton>

#include "capture/DlgPaintToScreen.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "schedule/TaskManage.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/SessionHelpers.h"
#include "tests/support/WidgetTestHelpers.h"

class TstWebcam : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        SignalsTransfer::instance();
    }

    void init()
    {
        FakeScreencast::reset();
        FakeScreencast::setCameras({{"Desk Camera", "/dev/video0"}, {"Test Camera", "test-camera"}}, "test-camera");
        RecordParameter* rp = RecordParameter::instance();
        testsupport::resetSession();
        rp->setTimerEnable(false);
        rp->setOnlyRecordCamera(true);
        UnsavedRecording::forget();
        m_dlg = new CameraDlg(true);
        QVERIFY(CameraManager::instance()->isCameraRunning());
    }

    void cleanup()
    {
        delete m_dlg.data();
        CameraManager::release();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    void everyCameraIsListedTheDefaultOpens()
    {
        QCOMPARE(CameraManager::instance()->getCameras(), (QStringList{"Desk Camera", "Test Camera"}));
        // Nothing chosen yet: the engine's default camera.
        QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, QString("test-camera"));
        QCOMPARE(m_dlg->findChild<QComboBox*>("cmbCamera")->currentData().toString(), QString("Test Camera"));
        QVERIFY(FakeScreencast::lastOpenCamera().onlyCamera);
        QCOMPARE(FakeScreencast::callCount("OpenCamera"), 1);   // opened once, not once per list row

        // A name no camera has closes the open one.
        QString missing = "Gone Camera";
        QVERIFY(!CameraManager::instance()->openCamera(missing, nullptr, true));
        QVERIFY(!CameraManager::instance()->isCameraRunning());
        QVERIFY(!CameraManager::instance()->stopRecord());
    }

    void stopIsLockedForFourSeconds()
    {
        startRecording();
        QVERIFY(!button("btnStop")->isEnabled());
        tickAt(3.9);
        QVERIFY(!button("btnStop")->isEnabled());
        tickAt(4.0);
        QVERIFY(button("btnStop")->isEnabled());
    }

    void freeSpaceThreshold_data()
    {
        QTest::addColumn<qint64>("freeBytes");
        QTest::addColumn<bool>("stops");
        QTest::newRow("at the threshold") << qint64(4294967295LL) << true;
        QTest::newRow("one byte more") << qint64(4294967296LL) << false;
    }

    void freeSpaceThreshold()
    {
        QFETCH(qint64, freeBytes);
        QFETCH(bool, stops);
        FakeScreencast::setFreeSpace(freeBytes);
        startRecording();
        ModalDriver driver(30000);
        if (stops)
            driver.clickButton(QMessageBox::Ok);
        // A check second: the warning leaves the tick at once, the stop
        // follows once it is answered.
        QVERIFY(testsupport::returnsWithoutLoop([this] { tickAt(1.2); }));
        if (stops)
            DRIVER_DONE(driver, 30000);
        QCOMPARE(FakeScreencast::callCount("CCameraObject::pause"), stops ? 1 : 0);
        QTRY_COMPARE_WITH_TIMEOUT(FakeScreencast::callCount("CCameraObject::stopRecord"), stops ? 1 : 0, 20000);
        QCOMPARE(RecordParameter::instance()->m_bRecording, !stops);
    }

    // Photos of one second are told apart by a number; the next second starts
    // without one again.
    void photosOfOneSecondAreNumbered()
    {
        const QString folder = Utils::getSnapshotPath();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QDateTime now(QDate(2026, 3, 4), QTime(5, 6, 7));
        m_dlg->setClock([&now] { return now; });
        for (int i = 0; i < 3; ++i)
            m_dlg->snapshot();
        now = now.addSecs(1);
        m_dlg->snapshot();
        m_dlg->setClock(nullptr);
        const QStringList names = QDir(folder).entryList({"Camera_*.jpg"}, QDir::Files, QDir::Name);
        QCOMPARE(names, QStringList({"Camera_26-03-04_05-06-07(1).jpg", "Camera_26-03-04_05-06-07(2).jpg",
                                     "Camera_26-03-04_05-06-07.jpg", "Camera_26-03-04_05-06-08.jpg"}));
        // Busy while the last photo flies out, free once it has landed.
        QVERIFY(m_dlg->isSanping());
        QTRY_VERIFY_WITH_TIMEOUT(!m_dlg->isSanping(), 20000);
    }

    void positionAndCornerKeepTheirOwnKeys()
    {
        RecordParameter::instance()->setCameraDefaultPos(RP_DefalutPos(2));
        m_dlg->show();
        m_dlg->move(123, 45);
        QTRY_COMPARE_WITH_TIMEOUT(m_dlg->pos(), QPoint(123, 45), 20000);
        delete m_dlg.data();
        QCOMPARE(VxSettings::instance()->applicationParam("CameraPos").toPoint(), QPoint(123, 45));
        RecordParameter::release();   // the corner as a later run reads it
        QCOMPARE(int(RecordParameter::instance()->getCameraDefaultPos()), 2);
        m_dlg = new CameraDlg(true);
    }

    void finishWithoutMovieReports1002_data()
    {
        QTest::addColumn<QByteArray>("movie");
        QTest::addColumn<bool>("engineFailed");
        QTest::addColumn<QByteArray>("reason");   // the engine's words
        QTest::addColumn<QString>("start");
        const QString failed = "Failed to save file, (error code: 1002)";
        QTest::newRow("complete but empty") << QByteArray() << false << QByteArray() << failed;
        QTest::newRow("engine failed") << QByteArray("movie") << true << QByteArray() << failed;
        QTest::newRow("engine failed, reason") << QByteArray("movie") << true << QByteArray("The disk is full.")
                                               << "The disk is full. " + failed;
    }

    void finishWithoutMovieReports1002()
    {
        QFETCH(QByteArray, movie);
        QFETCH(bool, engineFailed);
        QFETCH(QByteArray, reason);
        QFETCH(QString, start);
        m_dlg->show();
        FakeScreencast::camera()->movie = movie;
        m_dlg->on_btnRec_clicked();
        m_dlg->on_btnStop_clicked();
        ModalDriver driver(30000);
        QString text;
        driver.expect([&text](QWidget* box) {
            text = ModalDriver::describe(box).text;
            ModalDriver::forceClose(box);
        });
        FakeScreencast::camera()->reason = reason;
        FakeScreencast::camera()->fireFinish(engineFailed);
        DRIVER_DONE(driver, 30000);
        QVERIFY2(text.startsWith(start), qPrintable(text));
        QVERIFY(m_dlg->isVisible());   // no preview hid it
        QVERIFY(!RecordParameter::instance()->m_bRecording);
    }

    void windowDestroyedDuringAPhotoFlyOut()
    {
        m_dlg->show();
        QVERIFY2(testsupport::returnsWithoutLoop([this] { m_dlg->snapshot(); }),
                 "the photo's fly-out ran an event loop inside its caller");
        QPointer<DlgPaintToScreen> flying = m_dlg->findChild<DlgPaintToScreen*>();
        QVERIFY(m_dlg->isSanping() && flying);
        CameraManager::release();
        delete m_dlg.data();
        QVERIFY(!flying);   // it went with its window
        QVERIFY(!CameraManager::instance()->isCameraRunning());
        m_dlg = new CameraDlg(true);
    }

    // The last movie still waits to be saved and the webcam would reuse its
    // name: the user settles it first; Cancel starts nothing and keeps it.
    void unsavedRecordingIsSettledFirst()
    {
        const QString old = Utils::getRecorderTmpRoot() + "/.CaptureCamera.mov";
        QVERIFY(testsupport::writeFile(old, "movie"));
        UnsavedRecording::remember(old);
        ModalDriver driver;
        driver.clickButton(QMessageBox::Cancel);
        m_dlg->show();
        m_dlg->on_btnRec_clicked();
        DRIVER_DONE(driver, 20000);
        QVERIFY(!RecordParameter::instance()->m_bRecording);
        QVERIFY(RecordingSession::instance()->isIdle());
        QCOMPARE(testsupport::readFile(old), QByteArray("movie"));
        QCOMPARE(UnsavedRecording::find(), old);
    }

    // The chosen camera, in its chosen mode, is the one the window opens;
    // one that has gone gives way to the default.
    void windowOpensTheChosenCamera_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QSize>("mode");
        QTest::addColumn<QString>("openedId");
        QTest::addColumn<QSize>("openedMode");
        QTest::newRow("the other camera") << "Desk Camera" << QSize(640, 480) << "/dev/video0" << QSize(640, 480);
        QTest::newRow("a camera gone") << "Old Camera" << QSize(640, 480) << "test-camera" << QSize();
    }

    void windowOpensTheChosenCamera()
    {
        QFETCH(QString, chosen);
        QFETCH(QSize, mode);
        QFETCH(QString, openedId);
        QFETCH(QSize, openedMode);
        CameraManager::instance()->setChosenCamera(chosen, mode);
        delete m_dlg.data();
        CameraManager::release();
        for (bool recorder : {true, false}) {
            CameraDlg window(recorder);
            QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, openedId);
            QCOMPARE(FakeScreencast::lastOpenCamera().mode.isEmpty() ? QSize() : FakeScreencast::lastOpenCamera().mode,
                     openedMode);
        }
        CameraManager::instance()->setChosenCamera(QString(), QSize());
        m_dlg = new CameraDlg(true);
    }

    // A webcam window made while another recording runs (the screen's)
    // leaves that recording alone, and so does closing the overlay.
    void newWindowLeavesARunningRecordingAlone()
    {
        delete m_dlg.data();
        CameraManager::release();
        testsupport::driveSession(RecordingSession::Session_Recording);
        for (bool recorder : {true, false}) {
            CameraDlg window(recorder);
            QVERIFY(RecordParameter::instance()->m_bRecording);
            window.on_btnRec_clicked();   // refused: one recording at a time
            QCOMPARE(FakeScreencast::camera() ? FakeScreencast::camera()->recordPath : QString(), QString());
        }
        // Escape on the overlay closes the overlay only.
        {
            CameraDlg overlay(false);
            overlay.show();
            QVERIFY(QTest::qWaitForWindowExposed(&overlay));
            QTest::keyClick(&overlay, Qt::Key_Escape);
            QVERIFY(RecordParameter::instance()->m_bRecording);
        }
        QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Recording));
        testsupport::resetSession();
        m_dlg = new CameraDlg(true);
    }

    // A start the engine refuses says why and leaves the window ready.
    void refusedStartReturnsToReady_data()
    {
        QTest::addColumn<bool>("cameraOpen");
        QTest::addColumn<QString>("why");
        QTest::newRow("engine refuses") << true << "temporary folder";
        QTest::newRow("no camera open") << false << "no camera picture";
    }

    void refusedStartReturnsToReady()
    {
        QFETCH(bool, cameraOpen);
        QFETCH(QString, why);
        m_dlg->show();
        if (cameraOpen)
            FakeScreencast::failNext("CCameraObject::record");
        else
            CameraManager::release();
        // A scheduled task's start: the task did not get its recording, so
        // its claim goes too (it would turn the next task away).
        QVERIFY(RecordingSession::instance()->beginTask());
        ModalDriver driver(30000);
        closeBoxSaying(driver, why);
        m_dlg->on_btnRec_clicked();
        DRIVER_DONE(driver, 30000);
        QVERIFY(!RecordParameter::instance()->m_bRecording);
        QVERIFY(!TaskManage::instance()->isTasking);
        QVERIFY(RecordingSession::instance()->isIdle());
        QVERIFY(button("btnRec")->isVisible());
        QVERIFY(!button("btnStop")->isVisible());
        QVERIFY(m_dlg->findChild<QWidget*>("frmDevices")->isVisible());
        QCOMPARE(UnsavedRecording::find(), QString());
        // The window is ready: the next start records.
        if (!cameraOpen) {
            QVERIFY(CameraManager::instance()->openCamera(m_dlg->findChild<QWidget*>("wdgRender"), true));
        }
        m_dlg->on_btnRec_clicked();
        QVERIFY(RecordParameter::instance()->m_bRecording);
    }

    // Escape and the close box while recording stop it; the window closes
    // only once the movie was dealt with, here the failure message.
    void closeDuringRecordingWaitsForTheMovie_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Escape") << true;
        QTest::newRow("close box") << false;
    }

    void closeDuringRecordingWaitsForTheMovie()
    {
        QFETCH(bool, escape);
        startRecording();
        QSignalSpy closes(m_dlg.data(), &CameraDlg::closes);
        if (escape)
            QTest::keyClick(m_dlg.data(), Qt::Key_Escape);
        else
            QVERIFY(!m_dlg->close());
        QCOMPARE(FakeScreencast::callCount("CCameraObject::stopRecord"), 1);
        QVERIFY(!RecordParameter::instance()->m_bRecording);
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(closes.count(), 0);
        // A second request while the movie is completed waits as well.
        QVERIFY(!m_dlg->close());
        QCOMPARE(closes.count(), 0);

        ModalDriver driver(30000);
        closeBoxSaying(driver, "(error code: 1002)");
        FakeScreencast::camera()->fireFinish(true);
        DRIVER_DONE(driver, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 20000);
        QCOMPARE(closes.first().first().toBool(), false);
        QVERIFY(!m_dlg->isVisible());
    }

    // The finished movie goes to the preview (a movie not written, to its
    // failure box) without a loop inside the caller; the window comes back
    // once that window is gone, or closes then when a close was asked for
    // while recording.
    void previewLeavesTheCallerAtOnce_data()
    {
        QTest::addColumn<bool>("closeAsked");
        QTest::addColumn<bool>("written");
        QTest::newRow("stop") << false << true;
        QTest::newRow("close during the recording") << true << true;
        QTest::newRow("movie not written, close asked") << true << false;
    }

    void previewLeavesTheCallerAtOnce()
    {
        QFETCH(bool, closeAsked);
        QFETCH(bool, written);
        startRecording();
        QSignalSpy closes(m_dlg.data(), &CameraDlg::closes);
        if (closeAsked)
            QVERIFY(!m_dlg->close());
        else
            m_dlg->on_btnStop_clicked();
        if (written)
            QVERIFY(testsupport::writeFile(FakeScreencast::camera()->recordPath, QByteArray(4096, 'm')));
        QVERIFY2(testsupport::returnsWithoutLoop([this, written] { m_dlg->onRecordingFinish(!written); }),
                 "the end of the recording ran an event loop inside its caller");
        QPointer<QDialog> shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(shown->objectName(), QString(written ? "DlgVideoClip" : "VxMessageBox"));
        QCOMPARE(RecordParameter::instance()->m_bPreviewing, written);
        // Nothing closes the window while it waits for that answer.
        QCoreApplication::processEvents();
        QVERIFY(m_dlg && closes.isEmpty());

        shown->done(written ? int(QDialog::Rejected) : int(QMessageBox::Cancel));
        if (closeAsked)
            QTRY_COMPARE_WITH_TIMEOUT(closes.count(), 1, 20000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(m_dlg->isVisible(), 20000);
        QVERIFY(!shown && !RecordParameter::instance()->m_bPreviewing);
        QCOMPARE(m_dlg->isVisible(), !closeAsked);
    }

    // The overlay goes into the chosen corner of the recorded area.
    void overlayTakesTheChosenCorner_data()
    {
        QTest::addColumn<int>("corner");
        QTest::addColumn<QPoint>("place");
        // Area (100,50)-(700,450), window 200x100, 10 px in from the edges.
        QTest::newRow("top-left") << int(RP_Pos_TopLeft) << QPoint(110, 60);
        QTest::newRow("top-right") << int(RP_Pos_TopRight) << QPoint(491, 60);
        QTest::newRow("centre") << int(RP_Pos_Center) << QPoint(300, 200);
        QTest::newRow("bottom-left") << int(RP_Pos_BottomLeft) << QPoint(110, 341);
        QTest::newRow("bottom-right") << int(RP_Pos_BottomRight) << QPoint(491, 341);
    }

    void overlayTakesTheChosenCorner()
    {
        QFETCH(int, corner);
        QFETCH(QPoint, place);
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoRect(QRect(QPoint(100, 50), QPoint(700, 450)));
        rp->setCameraDefaultPos(RP_DefalutPos(corner));
        CameraDlg overlay(false);
        overlay.setMinimumSize(1, 1);
        overlay.resize(200, 100);
        overlay.show();
        overlay.moveToDefaultPos();
        QTRY_COMPARE_WITH_TIMEOUT(overlay.frameGeometry().topLeft(), place, 20000);
    }

private:
    // The next box must hold `text`; it is closed.
    static void closeBoxSaying(ModalDriver& driver, const QString& text)
    {
        driver.expect([text](QWidget* box) {
            QVERIFY2(ModalDriver::describe(box).text.contains(text), qPrintable(ModalDriver::describe(box).text));
            ModalDriver::forceClose(box);
        });
    }
    // A recorder window recording on the fake camera.
    void startRecording()
    {
        m_dlg->show();
        m_dlg->on_btnRec_clicked();
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QCOMPARE(FakeScreencast::camera()->recordPath, Utils::getRecorderTmpRoot() + "/.CaptureCamera.mov");
    }
    QToolButton* button(const char* name) const { return m_dlg->findChild<QToolButton*>(name); }
    void tickAt(double seconds)
    {
        FakeScreencast::camera()->seconds = seconds;
        m_dlg->onUpdateInfo();
    }

    QPointer<CameraDlg> m_dlg;
};

QTEST_MAIN(TstWebcam)

#include "tst_webcam.moc"
