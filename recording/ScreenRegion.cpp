#include "recording/ScreenRegion.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>

#include "core/DeviceManager.h"
#include "recording/DlgSetPermissions.h"
#include "platform/log/Log.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "recording/ScreenRecorder.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {

ScreenRegion* g_pRegion = nullptr;

// No side of a region is shorter than this.
constexpr double kMinSide = 64.0;

// Delay between the permissions guide closing and the home window coming
// back, so that the guide is gone from the screen first.
constexpr int kShowAfterGuideMs = 100;

// Runs `job` on the GUI thread, unless `context` is deleted first. The
// engine's callbacks use it for what touches the display model.
template <class F> void postToGui(QObject* context, F&& job)
{
    if (!QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(context, std::forward<F>(job), Qt::QueuedConnection);
}

// Hub signals for the GUI thread's emissions after a delay or from the
// engine's threads: never creates the hub, so nothing is emitted once it was
// released at shutdown.
template <class F> void emitOnHub(F&& emitter)
{
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emitter(hub.get());
}

// Sides under the minimum are lengthened to it from the top-left corner.
CRect enlarged(CRect r)
{
    if (r.right - r.left < kMinSide)
        r.right = r.left + kMinSide;
    if (r.bottom - r.top < kMinSide)
        r.bottom = r.top + kMinSide;
    return r;
}

} // namespace

// ===========================================================================
// ScreenCropCallback
// ===========================================================================

ScreenCropCallback::~ScreenCropCallback()
{
    // The engine delivers what it still has before release() returns;
    // nothing is stored or posted after this.
    m_pCropBox.reset();
}

CRect ScreenCropCallback::rect() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rect;
}

void ScreenCropCallback::setRect(const CRect& rect)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rect = rect;
}

void ScreenCropCallback::setDisplayOrigin(double x, double y)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dOriginX = x;
    m_dOriginY = y;
}

CRect ScreenCropCallback::toScreen(const CRect& r) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CRect{r.left + m_dOriginX, r.top + m_dOriginY, r.right + m_dOriginX, r.bottom + m_dOriginY};
}

void ScreenCropCallback::OnBeginDrag()
{
    // Hide the home window so it does not cover the drag.
    emitOnHub([](SignalsTransfer* hub) { emit hub->toHideMainWindow(); });
}

void ScreenCropCallback::OnEndDrag()
{
    Log("OnEndDrag", LogLevel::Info, "%s", "");
    CRect r;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rect = enlarged(m_rect);
        r = m_rect;
    }
    // RECT2QRect reads the display model, which lives on the GUI thread.
    postToGui(&m_guiContext, [r] {
        const QRect region = RECT2QRect(r);
        emitOnHub([region](SignalsTransfer* hub) { emit hub->endSelectRegion(region); });
    });
}

void ScreenCropCallback::OnScreenRectChanged(CRect screenRect)
{
    Log("OnScreenRectChanged", LogLevel::Info, "%s", "");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rect = CRect{screenRect.left - m_dOriginX, screenRect.top - m_dOriginY, screenRect.right - m_dOriginX,
                   screenRect.bottom - m_dOriginY};
}

// ===========================================================================
// ScreenCaptureCallback
// ===========================================================================

ScreenCaptureCallback::~ScreenCaptureCallback()
{
    m_pImageCapture.reset();
}

void ScreenCaptureCallback::OnClose()
{
    // The selection closed without a result: the home window comes back.
    emitOnHub([](SignalsTransfer* hub) { emit hub->toShowWindowAndRegion(); });
}

void ScreenCaptureCallback::OnScreenSelCompleted(CRect screenRect)
{
    Log("OnScreenSelCompleted", LogLevel::Info, "(%f,%f)-(%f,%f)", screenRect.left, screenRect.top, screenRect.right,
        screenRect.bottom);
    // The engine's answer is in screen coordinates; the region is kept
    // relative to the selected display, which only the GUI thread asks for.
    postToGui(&m_guiContext, [screenRect] {
        const QRect region = RECT2QRect(ConvertCurrentScreenRectToDisplay(screenRect));
        emitOnHub([region](SignalsTransfer* hub) { emit hub->endSelectRegion(region); });
    });
}

void ScreenCaptureCallback::OnBeginResize() {}

void ScreenCaptureCallback::OnSizeChanged(CRect) {}

void ScreenCaptureCallback::OnEndResize() {}

// ===========================================================================
// ScreenRegion
// ===========================================================================

ScreenRegion* ScreenRegion::instance()
{
    if (!g_pRegion)
        g_pRegion = new ScreenRegion();
    return g_pRegion;
}

void ScreenRegion::release()
{
    delete g_pRegion;
    g_pRegion = nullptr;
}

ScreenRegion::ScreenRegion()
    : m_pCropCallback(new ScreenCropCallback())
    , m_pCaptureCallback(new ScreenCaptureCallback(this))
{
}

ScreenRegion::~ScreenRegion()
{
    // Each callback releases its engine object first, so the engine never
    // calls into a deleted callback.
    delete m_pCropCallback;
    m_pCropCallback = nullptr;
    delete m_pCaptureCallback;
    m_pCaptureCallback = nullptr;
}

void ScreenRegion::startSelect()
{
    // The running selection goes before the new one comes, so that the two
    // never cover the screen together.
    m_pCaptureCallback->m_pImageCapture.reset();
    m_pCaptureCallback->m_pImageCapture = CreateImageCapture(m_pCaptureCallback);
}

void ScreenRegion::updateDisplayOrigin()
{
    // The selected display's corner, as the engine sees it.
    const CRect corner = ConvertCurrentScreenRectToDisplay(CRect{0.0, 0.0, 0.0, 0.0});
    m_pCropCallback->setDisplayOrigin(-corner.left, -corner.top);
}

void ScreenRegion::createCropBox()
{
    updateDisplayOrigin();
    const CRect r = m_pCropCallback->rect();
    m_pCropCallback->m_pCropBox =
        scShowScreenCropBox(m_pCropCallback, m_pCropCallback->toScreen(r), RecordParameter::instance()->iskeepRatio(),
                            int(std::trunc(r.right - r.left)), int(std::trunc(r.bottom - r.top)));
}

void ScreenRegion::showRegionBox()
{
    if (m_pCropCallback->m_pCropBox)
        return;
    if (!checkScreenRecordPermission())
        return;
    // With nothing stored yet the box would have no size at all; it gets
    // the least size a region may have, as a dragged box does.
    m_pCropCallback->setRect(enlarged(m_pCropCallback->rect()));
    createCropBox();
}

void ScreenRegion::showRegionBox(QRect rect)
{
    if (!m_pCropCallback->m_pCropBox && !checkScreenRecordPermission())
        return;
    // A cross-hair selection still pending is over.
    m_pCaptureCallback->m_pImageCapture.reset();

    // Even sizes: the encoders take no odd ones.
    const int w = rect.width() / 2 * 2;
    const int h = rect.height() / 2 * 2;
    const CRect r{double(rect.x()), double(rect.y()), double(rect.x() + w), double(rect.y() + h)};
    m_pCropCallback->setRect(r);
    Log("showRegionBox", LogLevel::Info, "(%f,%f)-(%f,%f)", r.left, r.top, r.right, r.bottom);
    Log("resultRegion", LogLevel::Info, "%s", "");
    VxSettings::instance()->setApplicationParam("VideoLast/VideoRect", RECT2QRect(r));

    if (m_pCropCallback->m_pCropBox) {
        updateDisplayOrigin();
        m_pCropCallback->m_pCropBox->setRect(m_pCropCallback->toScreen(r));
    } else {
        createCropBox();
    }
}

void ScreenRegion::hideRegionBox()
{
    m_pCropCallback->m_pCropBox.reset();
    m_pCaptureCallback->m_pImageCapture.reset();
}

QRect ScreenRegion::resultRegion()
{
    Log("resultRegion", LogLevel::Info, "%s", "");
    return RECT2QRect(m_pCropCallback->rect());
}

bool ScreenRegion::hasScreenRegion()
{
    const CRect r = m_pCropCallback->rect();
    return r.left != 0.0 || r.top != 0.0 || r.right != 0.0 || r.bottom != 0.0;
}

bool ScreenRegion::checkScreenRecordPermission()
{
    DeviceManager* devices = DeviceManager::instance();
    const int status = devices->isPermissionScreenCapture();
    if (status != Permission_Authorized) {
        // A guide is already open (this is a request from inside its modal
        // loop): it answers for both.
        if (m_bPermissionDlgShowing)
            return false;
        m_bPermissionDlgShowing = true;
        emit SignalsTransfer::instance()->toHideMainWindow();
        {
            DlgSetPermissions guide(nullptr);
            guide.setshowGuide(Privacy_ScreenCapture, status == Permission_NotDetermined);
            guide.exec();
        }
        // The program may have been shut down from inside the guide's loop.
        if (g_pRegion != this)
            return false;
        QTimer::singleShot(kShowAfterGuideMs, &m_guiContext,
                           [] { emitOnHub([](SignalsTransfer* hub) { emit hub->toShowWindowAndRegion(); }); });
        m_bPermissionDlgShowing = false;
    }
    if (devices->isPermissionScreenCapture() == Permission_Authorized)
        return true;
    // No grant, no video: switched off until the guide brings one.
    emit SignalsTransfer::instance()->toSetVideoEnable(false);
    RecordParameter::instance()->setVideoEnable(false);
    return false;
}

void ScreenRegion::notifySelResult(bool) {}
