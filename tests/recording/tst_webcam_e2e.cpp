// The webcam overlay in a screen recording with the real engine: the camera one
// solid colour, the decoded picture shows it where the overlay was, and not beside it.
#include <QApplication>
#include <QtTest>
#include <QLabel>

#include "Screencast.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/VideoRecCtlWdg.h"
#include "tests/support/E2eTestHelpers.h"
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
        rp->m_bRecording = true;   // the home window's part
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
};

QTEST_MAIN(TstWebcamE2e)
#include "tst_webcam_e2e.moc"
