// The webcam options over the engine double: the corner under its own key,
// the question on leaving, the chosen camera and its photos, no usable camera.
#include <QComboBox>
#include <QtTest>
#include <QMessageBox>
#include <QPushButton>

#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/DlgWebcamOptions.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/SessionHelpers.h"

namespace {

const QPoint kWindowPos(300, 200);

template <class T> T* part(QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

int storedCorner()
{
    return VxSettings::instance()->applicationParam("CameraDefaultPos", -1).toInt();
}

} // namespace

class TestWebcamOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir m_photos;

private slots:
    void init()
    {
        FakeScreencast::reset();
        FakeScreencast::setCameras({{QStringLiteral("Desk Cam"), QStringLiteral("/dev/video0")}},
                                   QStringLiteral("/dev/video0"));
        VxSettings::instance()->setApplicationParam("CameraPos", kWindowPos);
        Utils::setSnapshotPath(m_photos.path());
        RecordParameter::release();
    }

    void cleanup()
    {
        CameraManager::release();
        QTRY_COMPARE_WITH_TIMEOUT(FakeScreencast::liveObjectCount(), 0, 20000);
        QDir(m_photos.path()).removeRecursively();
    }

    void cornerRoundTrip_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("answer"); // to the question on close; 0: OK pressed, -1: no question
        QTest::addColumn<int>("saved");
        QTest::addColumn<bool>("open");
        QTest::newRow("OK stores the row") << 2 << 2 << 4 << 0 << 4 << false;
        QTest::newRow("unknown corner shows top-left, closes unasked") << 7 << 0 << 0 << -1 << 7 << false;
        QTest::newRow("close, Yes stores") << 0 << 0 << 3 << int(QMessageBox::Yes) << 3 << false;
        QTest::newRow("close, No keeps") << 1 << 1 << 3 << int(QMessageBox::No) << 1 << false;
        QTest::newRow("close, Cancel stays open") << 1 << 1 << 3 << int(QMessageBox::Cancel) << 1 << true;
    }

    void cornerRoundTrip()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        QFETCH(int, chosen);
        QFETCH(int, answer);
        QFETCH(int, saved);
        QFETCH(bool, open);
        VxSettings::instance()->setApplicationParam("CameraDefaultPos", stored);
        DlgWebcamOptions dialog;
        dialog.show();
        QCOMPARE(part<QComboBox>(dialog, "cmbPos")->currentIndex(), shown);
        part<QComboBox>(dialog, "cmbPos")->setCurrentIndex(chosen);

        ModalDriver driver(30000);
        if (answer > 0)
            driver.clickButton(answer);
        if (answer == 0)
            part<QPushButton>(dialog, "btnOK")->click();
        else
            dialog.close();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(dialog.isVisible(), open);
        QCOMPARE(storedCorner(), saved);
        QCOMPARE(VxSettings::instance()->applicationParam("CameraPos", QPoint()).toPoint(), kWindowPos);
        RecordParameter::release();
        QCOMPARE(int(RecordParameter::instance()->getCameraDefaultPos()), saved);
    }

    void viewShowsTheCameraAndTakesPhotos()
    {
        RecordParameter::instance()->setCameraIndex(3); // beyond the one camera
        auto* dialog = new DlgWebcamOptions;
        dialog->show();
        QCOMPARE(RecordParameter::instance()->getCameraIndex(), 0);
        const FakeScreencast::OpenCameraCall opened = FakeScreencast::lastOpenCamera();
        QCOMPARE(opened.deviceId, QStringLiteral("/dev/video0"));
        QCOMPARE(opened.view, ScNativeView(part<QWidget>(*dialog, "frmWebcamView")->winId()));
        QCOMPARE(part<QComboBox>(*dialog, "cmbResolution")->currentText(), QStringLiteral("1280 x 720"));

        // Photos in the same second never overwrite one another.
        QPushButton* photo = part<QPushButton>(*dialog, "btnTakePhoto");
        QVERIFY(photo->isEnabled());
        for (int i = 0; i < 3; ++i)
            photo->click();
        const QStringList taken = QDir(m_photos.path()).entryList({QStringLiteral("Snapshot_*.jpg")}, QDir::Files);
        QCOMPARE(taken.size(), 3);

        // The view goes, and so does the camera drawing into it.
        delete dialog;
        QTRY_COMPARE_WITH_TIMEOUT(FakeScreencast::liveObjectCount(), 0, 20000);
        QVERIFY(!CameraManager::instance()->isCameraRunning());
    }

    void noUsableCamera()
    {
        FakeScreencast::setCameras({}, QString());
        VxSettings::instance()->setApplicationParam("CameraDefaultPos", 4);
        DlgWebcamOptions dialog;
        dialog.show();
        QCOMPARE(FakeScreencast::callCount("OpenCamera"), 0);
        QCOMPARE(part<QComboBox>(dialog, "cmbWebcam")->count(), 0);
        QVERIFY(!part<QPushButton>(dialog, "btnTakePhoto")->isEnabled());
        dialog.onSnapshot();
        QVERIFY(QDir(m_photos.path()).isEmpty());

        // Nothing was changed, so closing asks nothing.
        ModalDriver driver(30000);
        QVERIFY(dialog.close());
        DRIVER_DONE(driver, 30000);
        QCOMPARE(storedCorner(), 4);
    }

    // The camera and mode chosen are stored by OK and opened from then on;
    // the resolution list holds what the camera offers.
    void choiceRoundTrip_data()
    {
        QTest::addColumn<int>("cameraRow");
        QTest::addColumn<int>("modeRow");
        QTest::addColumn<QStringList>("modesShown");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QSize>("mode");
        QTest::newRow("first camera, smaller mode") << 0 << 2 << QStringList{"1920 x 1080", "1280 x 720", "640 x 480"}
                                                    << "/dev/video0" << QSize(640, 480);
        QTest::newRow("second camera") << 1 << 0 << QStringList{"800 x 600"} << "/dev/video1" << QSize(800, 600);
    }

    void choiceRoundTrip()
    {
        QFETCH(int, cameraRow);
        QFETCH(int, modeRow);
        QFETCH(QStringList, modesShown);
        QFETCH(QString, id);
        QFETCH(QSize, mode);
        useTwoCameras();
        {
            DlgWebcamOptions dialog;
            dialog.show();
            part<QComboBox>(dialog, "cmbWebcam")->setCurrentIndex(cameraRow);
            QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, id);
            QComboBox* resolutions = part<QComboBox>(dialog, "cmbResolution");
            QStringList shown;
            for (int row = 0; row < resolutions->count(); ++row)
                shown << resolutions->itemText(row);
            QCOMPARE(shown, modesShown);
            resolutions->setCurrentIndex(modeRow);
            QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, id);   // the view shows the mode chosen
            if (modeRow > 0)
                QCOMPARE(FakeScreencast::lastOpenCamera().mode, mode);
            part<QPushButton>(dialog, "btnOK")->click();
        }
        CameraManager::release();
        QCOMPARE(CameraManager::instance()->chosenMode(), mode);
        CameraDlg window(true);
        QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, id);
        QCOMPARE(FakeScreencast::lastOpenCamera().mode, mode);

        // Shown again, the dialog holds the stored choice and closes unasked.
        DlgWebcamOptions again;
        again.show();
        QCOMPARE(part<QComboBox>(again, "cmbWebcam")->currentIndex(), cameraRow);
        QCOMPARE(part<QComboBox>(again, "cmbResolution")->currentIndex(), modeRow);
        ModalDriver driver(30000);
        QVERIFY(again.close());
        DRIVER_DONE(driver, 30000);
    }

    // The dialog borrows the webcam window's camera and gives it back, the
    // chosen one; a camera that records is not touched.
    void borrowedCameraGoesBack_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("choose");
        QTest::newRow("closed unchanged") << false << false;
        QTest::newRow("second camera chosen") << false << true;
        QTest::newRow("while recording") << true << false;
    }

    void borrowedCameraGoesBack()
    {
        QFETCH(bool, recording);
        QFETCH(bool, choose);
        useTwoCameras();
        CameraDlg overlay(false);
        const ScNativeView view = ScNativeView(overlay.findChild<QWidget*>("wdgRender")->winId());
        QVERIFY(CameraManager::instance()->isCameraRunning());
        if (recording)
            testsupport::driveSession(RecordingSession::Session_Recording);
        const int opened = FakeScreencast::callCount("OpenCamera");
        {
            DlgWebcamOptions dialog;
            dialog.show();
            QCOMPARE(FakeScreencast::callCount("OpenCamera") > opened, !recording);
            if (choose) {
                part<QComboBox>(dialog, "cmbWebcam")->setCurrentIndex(1);
                part<QPushButton>(dialog, "btnOK")->click();
            } else {
                dialog.reject();
            }
        }
        testsupport::resetSession();
        QVERIFY(CameraManager::instance()->isCameraRunning());
        if (!recording) {
            QCOMPARE(FakeScreencast::lastOpenCamera().view, view);
            QVERIFY(!FakeScreencast::lastOpenCamera().onlyCamera);
        }
        QCOMPARE(FakeScreencast::lastOpenCamera().deviceId, choose ? QString("/dev/video1") : QString("/dev/video0"));
    }

private:
    static void useTwoCameras()
    {
        FakeScreencast::setCameras({{"Desk Cam", "/dev/video0"}, {"Side Cam", "/dev/video1"}}, "/dev/video0");
        FakeScreencast::setCameraModes("/dev/video0", {QSize(1920, 1080), QSize(1280, 720), QSize(640, 480)});
        FakeScreencast::setCameraModes("/dev/video1", {QSize(800, 600)});
        CameraManager::instance()->setChosenCamera(QString(), QSize());
    }
};

QTEST_MAIN(TestWebcamOptions)
#include "tst_webcam_options.moc"
