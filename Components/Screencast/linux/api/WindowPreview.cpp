#include "api/WindowPreview.h"

#include "core/EngineCore.h"
#include "source/WindowSource.h"

#include "ScreencastTypes.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <QImage>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <chrono>

namespace sc {
namespace win {

namespace {

using Clock = std::chrono::steady_clock;

// A few pictures a second are enough to recognise a window; more would
// only load the X server while the user is choosing.
constexpr std::chrono::milliseconds kPicturePeriod(200);
// How soon a resized or uncovered view is drawn again.
constexpr std::chrono::milliseconds kEventPeriod(40);

} // namespace

WindowPreview* WindowPreview::create(xcb_window_t view)
{
    {
        XLock x;
        if (!x || view == XCB_WINDOW_NONE)
            return nullptr;
    }
    auto* preview = new WindowPreview;
    if (!preview->m_painter.open(view)) {
        delete preview;
        return nullptr;
    }
    preview->m_thread = startNamedThread("sr-win-preview", [preview] { preview->run(); });
    return preview;
}

WindowPreview::~WindowPreview() = default;

void WindowPreview::release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    delete this;
}

void WindowPreview::show(WindowListOption option, const unsigned int* ids, int count)
{
    Choice choice;
    choice.option = option;
    if (ids && count > 0)
        choice.ids.assign(ids, ids + count);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The picker repeats its choice every few seconds: the same choice
        // keeps the open source and its redirections.
        if (choice == m_choice)
            return;
        m_choice = std::move(choice);
        ++m_changes;
    }
    m_wake.notify_all();
}

void WindowPreview::run()
{
    std::unique_ptr<rec::IFrameSource> source;
    Choice current;
    uint64_t seen = 0;
    Clock::time_point nextPicture = Clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (m_changes != seen) {
            seen = m_changes;
            current = m_choice;
            source.reset();
            m_failureTold = false;
            nextPicture = Clock::now();
        }
        lock.unlock();
        m_painter.poll();
        if (Clock::now() >= nextPicture) {
            drawOnce(current, source);
            nextPicture = Clock::now() + kPicturePeriod;
        }
        lock.lock();
        m_wake.wait_for(lock, kEventPeriod, [&] { return m_stopping || m_changes != seen; });
    }
}

std::unique_ptr<rec::IFrameSource> WindowPreview::openSource(const Choice& choice)
{
    std::string error;
    if (choice.option == kWindowListSingle) {
        if (choice.ids.empty())
            return nullptr;
        std::unique_ptr<rec::SingleWindowSource> single(new rec::SingleWindowSource(choice.ids.front(), {}));
        if (!single->open(error))
            return nullptr;
        return single;
    }
    if (choice.option != kWindowListExclude && choice.option != kWindowListInclude)
        return nullptr;
    QRect screen;
    {
        XLock x;
        if (!x)
            return nullptr;
        screen = QRect(0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels);
    }
    const bool exclude = choice.option == kWindowListExclude;
    std::unique_ptr<rec::WindowListSource> list(new rec::WindowListSource(
        WindowListOption(choice.option), screen, exclude ? choice.ids : std::vector<uint32_t>(),
        exclude ? std::vector<uint32_t>() : choice.ids));
    if (!list->open(error)) {
        // Told once per choice: the opening is tried again for every picture.
        if (!m_failureTold)
            Log(kLogModule, LogLevel::Error, "window preview: %s", error.c_str());
        m_failureTold = true;
        return nullptr;
    }
    return list;
}

void WindowPreview::drawOnce(const Choice& choice, std::unique_ptr<rec::IFrameSource>& source)
{
    if (choice.option == kWindowListNone)
        return;     // nothing chosen yet: the view keeps what the module drew
    rec::VideoFrame frame;
    bool grabbed = false;
    // A source that fails is opened once more: a resized window then comes
    // at its new size, and one that is gone shows as black.
    for (int attempt = 0; attempt < 2 && !grabbed; ++attempt) {
        if (!source)
            source = openSource(choice);
        grabbed = source && source->grab(frame) == SR_Success && !frame.image.isNull();
        if (!grabbed)
            source.reset();
    }
    if (!grabbed) {
        QImage black(16, 9, QImage::Format_RGB32);
        black.fill(Qt::black);
        paint(black);
        return;
    }
    paint(frame.image);
}

void WindowPreview::paint(const QImage& picture)
{
    const QImage pixels = picture.format() == QImage::Format_RGB32 ? picture
                                                                     : picture.convertToFormat(QImage::Format_RGB32);
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return;
    // RGB32 lies in memory as B, G, R, unused on the little-endian machines
    // the engine runs on. The painter copies the pixels it keeps.
    frame->format = AV_PIX_FMT_BGR0;
    // Screen pixels use the whole range and no YUV matrix: untagged, a
    // large picture would pass for a BT.709 movie and change its colours.
    frame->color_range = AVCOL_RANGE_JPEG;
    frame->colorspace = AVCOL_SPC_RGB;
    frame->width = pixels.width();
    frame->height = pixels.height();
    frame->data[0] = const_cast<uint8_t*>(pixels.constBits());
    frame->linesize[0] = int(pixels.bytesPerLine());
    m_painter.show(frame);
    av_frame_free(&frame);
}

} // namespace win
} // namespace sc
