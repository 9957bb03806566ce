#pragma once

// The window picker's live preview: what a window recording with the chosen
// option would show, drawn a few times a second into a native view of the
// module from a thread of its own. The pictures come from the recorder's
// own window sources, so the preview and the recording cannot disagree.

#include "play/ViewPainter.h"

#include "ScreencastObjects.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QImage;

namespace sc {
namespace rec {
class IFrameSource;
}

namespace win {

class WindowPreview : public CWindowCompositedImageObject {
public:
    // Null when the engine does not run or `view` is no window.
    static WindowPreview* create(xcb_window_t view);

    void release() override;
    void show(WindowListOption option, const unsigned int* ids, int count) override;

private:
    struct Choice {
        int option = kWindowListNone;
        std::vector<uint32_t> ids;
        bool operator==(const Choice& other) const { return option == other.option && ids == other.ids; }
    };

    WindowPreview() = default;
    ~WindowPreview() override;

    void run();
    // One picture of `choice` into the view; the source is opened on demand
    // and dropped when it can no longer deliver (a window resized or gone).
    void drawOnce(const Choice& choice, std::unique_ptr<rec::IFrameSource>& source);
    std::unique_ptr<rec::IFrameSource> openSource(const Choice& choice);
    void paint(const QImage& picture);

    play::ViewPainter m_painter;   // used by the thread only once it runs
    bool m_failureTold = false;    // the thread's
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Choice m_choice;               // guarded by m_mutex
    uint64_t m_changes = 0;        // guarded by m_mutex
    bool m_stopping = false;       // guarded by m_mutex
    std::thread m_thread;
};

} // namespace win
} // namespace sc
