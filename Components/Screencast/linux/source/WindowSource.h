#pragma once

// Frame sources of the window options: one window followed wherever it
// goes, or the desktop composed from chosen windows.
//
// The server keeps every top-level window's picture in a pixmap of its own
// while a source exists (Composite, automatic redirection: the screen looks
// the same, no compositing manager is needed), so a window is read whole
// even where others cover it or where it leaves the screen.

#include "core/Guarded.h"
#include "core/Pipeline.h"
#include "core/WindowXcb.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sc {
namespace rec {

// Draws top-level windows into a picture of a part of the root window.
class WindowComposer {
public:
    explicit WindowComposer(XcbConnection& x);
    ~WindowComposer();
    WindowComposer(const WindowComposer&) = delete;
    WindowComposer& operator=(const WindowComposer&) = delete;

    // Asks the server to keep the windows' pictures; false (with a reason)
    // when it has no Composite.
    bool start(std::string& error);

    // Draws the chosen viewable windows of `stack` that meet `area`, bottom
    // to top, over what `out` holds (an area-sized picture). Returns how
    // many were drawn; `failed` lists chosen windows that could not be read
    // (gone or unmapped while asking).
    int compose(const std::vector<StackedWindow>& stack, const std::function<bool(xcb_window_t)>& chosen,
                const QRect& area, QImage& out, std::vector<xcb_window_t>* failed = nullptr);

    // The desktop picture under `area` that a wallpaper setter left on the
    // root (_XROOTPMAP_ID), else black.
    void background(const QRect& area, QImage& out);

    ImageReader& reader() { return m_reader; }

private:
    XcbConnection& m_x;
    ImageReader m_reader;
    bool m_redirected = false;
    bool m_shape = false;
    xcb_atom_t m_rootPixmapAtom = XCB_ATOM_NONE;
};

// Window option 1: the frame of one window (with the decoration its window
// manager draws), at its size, wherever it moves. Further windows of the
// include list (the webcam picture) are drawn over it where they cover it.
class SingleWindowSource : public IFrameSource {
public:
    SingleWindowSource(uint32_t window, std::vector<uint32_t> above);
    // False (with a reason) for 0, the root, a window that is gone, or a
    // server without Composite.
    bool open(std::string& error);

    int grab(VideoFrame& out) override;
    QSize frameSize() const override { return m_size; }

    // How long a withdrawn window may stay unmapped before the recording
    // ends: a program that hides and shows its window again is not closed.
    static constexpr int64_t kWithdrawnGraceUs = 500000;

private:
    enum class State { Shown, Hidden, Withdrawn, Gone };
    State query(QRect& frame);

    XcbConnection m_x;
    std::unique_ptr<WindowComposer> m_composer;
    xcb_window_t m_window;
    std::vector<uint32_t> m_above;
    QSize m_size;
    QImage m_last;
    QRect m_lastRect;
    int64_t m_withdrawnSinceUs = 0;
    xcb_atom_t m_extentsAtom = XCB_ATOM_NONE;
    xcb_atom_t m_wmStateAtom = XCB_ATOM_NONE;
};

// Window options 2 (everything but the excluded windows and this program's
// own windows, such as its control bar; the included windows are always
// drawn) and 3 (only the included windows, on black), over a part of the
// root window that may move.
class WindowListSource : public IFrameSource {
public:
    WindowListSource(WindowListOption option, const QRect& area, std::vector<uint32_t> exclude,
                     std::vector<uint32_t> include);
    bool open(std::string& error);

    int grab(VideoFrame& out) override;
    QSize frameSize() const override { return m_size; }
    void setArea(const QRect& area) override;

private:
    std::set<xcb_window_t> topLevels(const std::vector<uint32_t>& ids);

    XcbConnection m_x;
    std::unique_ptr<WindowComposer> m_composer;
    std::unique_ptr<OwnWindows> m_own;
    WindowListOption m_option;
    std::vector<uint32_t> m_exclude;
    std::vector<uint32_t> m_include;
    QSize m_size;
    Guarded<QRect> m_area;   // moved by the caller while the capture thread grabs
};

} // namespace rec
} // namespace sc
