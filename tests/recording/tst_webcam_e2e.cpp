// The webcam with the real engine and two test cameras: the overlay in a
// screen recording, the second camera chosen in the options and recorded,
// Escape during a recording, the options borrowing the overlay's camera.
#include <QApplication>
#include <QComboBox>
#include <QtTest>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "Screencast.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/DlgWebcamOptions.h"
#include "recording/VideoRecCtlWdg.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/media/TestMedia.h"
#include "tests/support/SessionHelpers.h"

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
        WindowListManger::release();
        scUninitialize();
    }

    void overlayInScreenRecording()
    {
        if (!testsupport::tempSpaceAbove(0x1FFFFFFFFLL))
            QSKIP("8 GB or less free in the temporary folder: the program would ask first");
        // Magenta: nothing else on the private screen has it.
        qputenv("SR_TEST_CAMERA", "lavfi:color=c=0xFF00FF:size=320x240:rate=30");
        const QRect area(0, 0, 640, 480);
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(true);
        rp->chooseVideoContent(true);
        rp->setVideoRect(area);
        rp->setCamerastream(true);
        rp->setAutoSave(true);
        CameraDlg overlay(false);
        overlay.show();
        overlay.setGeometry(200, 150, 320, 240);
        QVERIFY(QTest::qWaitForWindowExposed(&overlay));
        QTRY_VERIFY_WITH_TIMEOUT(CameraManager::instance()->isCameraRunning(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(WindowListManger::instance()->getCameraWinId() != 0, 30000);

        QSignalSpy saved(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
        QPointer<VideoRecCtlWdg> bar = new VideoRecCtlWdg();
        connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, bar.data(), &QObject::deleteLater);
        QVERIFY(bar->initRecord());
        testsupport::driveSession(RecordingSession::Session_Recording);   // the home window's part
        bar->start();
        QTRY_VERIFY_WITH_TIMEOUT(bar->findChild<QLabel*>("lblLength")->text() >= "00:00:02", 60000);
        // The view's place in the recorded area, the window placed and framed by now.
        QWidget* view = overlay.findChild<QWidget*>("wdgRender");
        const QRect place(view->mapToGlobal(QPoint()) - area.topLeft(), view->size());
        QVERIFY(QRect(QPoint(), area.size()).contains(place.center()));
        QTimer::singleShot(0, bar.data(), &VideoRecCtlWdg::onBtnStopClicked);   // the preview saves by itself
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 120000);
        QTRY_VERIFY_WITH_TIMEOUT(!bar, 30000);

        const QString path = saved.first().at(0).value<HistoryFileUtils::HistoryFile>().path;
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok && facts.videoCodec == "h264", qPrintable(path));
        const QImage picture = testmedia::pictureAt(path, facts.duration / 2);
        QCOMPARE(picture.size(), area.size());
        auto magenta = [](const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() > 200; };
        const QColor inside = picture.pixelColor(place.center());
        QVERIFY2(magenta(inside), qPrintable(inside.name() + " at the overlay"));
        const QColor outside = picture.pixelColor(place.left() / 2, place.top() / 2);
        QVERIFY2(!magenta(outside), qPrintable(outside.name() + " beside it"));
    }

    // Red 320x240 and blue 480x360: the second chosen in the options is the
    // one recorded, by Stop or by Escape, and the movie reaches the history.
    void secondCameraRecorded_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Stop") << false;
        QTest::newRow("Escape") << true;
    }

    void secondCameraRecorded()
    {
        QFETCH(bool, escape);
        if (!testsupport::tempSpaceAbove(0x1FFFFFFFFLL))
            QSKIP("8 GB or less free in the temporary folder: the program would ask first");
        qputenv("SR_TEST_CAMERA", "lavfi:color=c=red:size=320x240:rate=30;lavfi:color=c=blue:size=480x360:rate=30");
        RecordParameter* rp = RecordParameter::instance();
        rp->setAutoSave(true);
        rp->setOnlyRecordCamera(true);
        CameraManager::instance()->setChosenCamera(QString(), QSize());
        chooseInOptions(1, QStringLiteral("480 x 360"));

        CameraDlg recorder(true);
        QSignalSpy closes(&recorder, &CameraDlg::closes);
        recorder.show();
        QVERIFY(QTest::qWaitForWindowExposed(&recorder));
        QCOMPARE(recorder.findChild<QComboBox*>("cmbCamera")->currentText(), QStringLiteral("Test Camera 2"));
        QSignalSpy saved(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
        recorder.on_btnRec_clicked();
        QVERIFY(rp->m_bRecording);
        QTRY_VERIFY_WITH_TIMEOUT(CameraManager::instance()->getVideoDuration() >= 1.5, 60000);
        if (escape)
            QTest::keyClick(&recorder, Qt::Key_Escape);
        else
            recorder.on_btnStop_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 120000);   // the preview saves by itself
        QTRY_COMPARE_WITH_TIMEOUT(closes.count(), escape ? 1 : 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.isVisible(), !escape, 30000);

        const QString path = saved.first().at(0).value<HistoryFileUtils::HistoryFile>().path;
        QVERIFY2(!path.startsWith(Utils::getRecorderTmpRoot()), qPrintable(path));
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok && facts.videoCodec == "h264", qPrintable(path));
        const QImage picture = testmedia::pictureAt(path, facts.duration / 2);
        QCOMPARE(picture.size(), QSize(480, 360));
        const QColor middle = picture.pixelColor(240, 180);
        QVERIFY2(middle.blue() > 200 && middle.red() < 60, qPrintable(middle.name()));
        rp->setOnlyRecordCamera(false);
    }

    // The options dialog shows a camera of its own and gives the overlay its
    // camera back; OK moves the overlay into the chosen corner.
    void optionsKeepTheOverlayLive()
    {
        // A moving picture: live pictures change.
        qputenv("SR_TEST_CAMERA", "lavfi:testsrc2=size=320x240:rate=30;lavfi:color=c=blue:size=480x360:rate=30");
        CameraManager::instance()->setChosenCamera(QString(), QSize());
        RecordParameter* rp = RecordParameter::instance();
        const QRect area(100, 100, 1280, 720);
        rp->setVideoRect(area);
        rp->setCameraDefaultPos(RP_Pos_TopLeft);
        CameraDlg overlay(false);
        overlay.setMinimumSize(1, 1);
        overlay.resize(320, 240);
        overlay.show();
        QVERIFY(QTest::qWaitForWindowExposed(&overlay));
        // Placed where the test knows it is, frame included.
        overlay.moveToDefaultPos();
        QTRY_COMPARE_WITH_TIMEOUT(overlay.frameGeometry().topLeft(), area.topLeft() + QPoint(10, 10), 30000);
        QVERIFY(isLive(overlay));

        chooseInOptions(0, QStringLiteral("320 x 240"), int(RP_Pos_BottomRight));
        QVERIFY(CameraManager::instance()->isCameraRunning());
        QVERIFY(isLive(overlay));
        // Bottom-right, 10 px in from the area's edges, frame included.
        QTRY_COMPARE_WITH_TIMEOUT(overlay.frameGeometry().bottomRight(), area.bottomRight() - QPoint(10, 10), 30000);
    }

private:
    // The options dialog: a camera row, the mode it should offer, a corner; OK.
    void chooseInOptions(int cameraRow, const QString& mode, int corner = -1)
    {
        DlgWebcamOptions dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.findChild<QComboBox*>("cmbWebcam")->setCurrentIndex(cameraRow);
        QTRY_VERIFY_WITH_TIMEOUT(CameraManager::instance()->isCameraRunning(), 30000);
        QComboBox* resolutions = dialog.findChild<QComboBox*>("cmbResolution");
        QCOMPARE(resolutions->count(), 1);   // a test camera offers its own size
        QCOMPARE(resolutions->currentText(), mode);
        if (corner >= 0)
            dialog.findChild<QComboBox*>("cmbPos")->setCurrentIndex(corner);
        dialog.findChild<QPushButton*>("btnOK")->click();
    }

    // The overlay's picture on the screen changes: a live camera draws it.
    static bool isLive(QWidget& overlay)
    {
        QWidget* view = overlay.findChild<QWidget*>("wdgRender");
        auto grab = [view] {
            const QRect place(view->mapToGlobal(QPoint()), view->size());
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, place.x(), place.y(), place.width(), place.height())
                .toImage();
        };
        const QImage first = grab();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            QTest::qWait(100);
            const QImage now = grab();
            if (!first.isNull() && now.size() == first.size() && now != first)
                return true;
        }
        return false;
    }
};

QTEST_MAIN(TstWebcamE2e)
#include "tst_webcam_e2e.moc"
