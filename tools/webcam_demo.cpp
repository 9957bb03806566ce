// Shows the webcam options with two test cameras, the second chosen, then
// the webcam recorder on it, idle and while recording, and saves what the
// screen shows, for the screenshot script. Not a test. Needs an X display.
//
//   webcam_demo <out-prefix>   writes <out-prefix>-options.png, -idle.png
//                              and -recording.png
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdio>

#include "tools/WindowShot.h"
#include "Screencast.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "core/SignalsTransfer.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/DlgWebcamOptions.h"

namespace {

bool shoot(QWidget* window, const QString& path)
{
    return shootWindow(window, path, 800);
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("SR_TEST_CAMERA"))
        qputenv("SR_TEST_CAMERA", "lavfi:smptebars=size=640x480:rate=30;lavfi:testsrc2=size=1280x720:rate=30");
    QApplication app(argc, argv);
    if (argc < 2 || scInitialize() != kScInitOk)
        return 2;
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    SignalsTransfer::instance();
    RecordParameter::instance()->setOnlyRecordCamera(true);
    bool ok = true;
    {
        DlgWebcamOptions options;
        options.move(40, 20);
        options.show();
        ok = QTest::qWaitForWindowExposed(&options);
        auto* cameras = options.findChild<QComboBox*>("cmbWebcam");
        cameras->setCurrentIndex(cameras->count() - 1);
        QTest::qWait(800);
        ok = shoot(&options, prefix + "-options.png") && ok;
        options.findChild<QPushButton*>("btnOK")->click();
    }
    {
        CameraDlg dlg(true);
        dlg.resize(1047, 745);
        dlg.move(40, 20);
        dlg.show();
        ok = QTest::qWaitForWindowExposed(&dlg) && shoot(&dlg, prefix + "-idle.png");
        dlg.on_btnRec_clicked();
        QTest::qWait(1500);
        dlg.onUpdateInfo();
        ok = shoot(&dlg, prefix + "-recording.png") && ok;
        // The engine double never hands the movie over: the road ends here.
        dlg.on_btnStop_clicked();
        RecordingSession::instance()->finish();
    }
    CameraManager::release();
    scUninitialize();
    return ok ? 0 : 1;
}
