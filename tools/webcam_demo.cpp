// Shows the webcam recorder with the engine's test camera, idle and while
// recording, and saves what the screen shows, for the screenshot script.
// Not a test. Needs an X display.
//
//   webcam_demo <out-prefix>   writes <out-prefix>-idle.png and -recording.png
#include <QApplication>
#include <QScreen>
#include <QTest>

#include <cstdio>

#include "tools/WindowShot.h"
#include "Screencast.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"

namespace {

bool shoot(QWidget* window, const QString& path)
{
    return shootWindow(window, path, 800);
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("SR_TEST_CAMERA"))
        qputenv("SR_TEST_CAMERA", "lavfi:smptebars=size=640x480:rate=30");
    QApplication app(argc, argv);
    if (argc < 2 || scInitialize() != kScInitOk)
        return 2;
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    SignalsTransfer::instance();
    RecordParameter::instance()->setOnlyRecordCamera(true);
    bool ok = true;
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
        dlg.on_btnStop_clicked();
        RecordParameter::instance()->m_bRecording = false;
    }
    CameraManager::release();
    scUninitialize();
    return ok ? 0 : 1;
}
