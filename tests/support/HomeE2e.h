#pragma once

// The home window of an end-to-end test, made ready for a video recording.

#include <QTest>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "core/RecordParameter.h"

namespace testsupport {

// Shows the frame and puts its home window on the video page, recording
// MP4 with H.264 at 30 fps in `quality`. Null when the frame never showed,
// the engine did not start or the page cannot be chosen.
inline MainWindow* showVideoPage(MainWindowBase* frame, RP_CodecQuality quality, int timeoutMs)
{
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame, timeoutMs) || !frame->mainWindow()->engineStarted())
        return nullptr;
    RecordParameter* rp = RecordParameter::instance();
    rp->setUsedVideoFmt(RP_Format_MP4);
    rp->setVideoOpt(30, RP_Codec_H264, quality);
    QWidget* tile = frame->findChild<QWidget*>("frmChoseVideo");
    if (!tile)
        return nullptr;
    QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
    return frame->mainWindow();
}

} // namespace testsupport
