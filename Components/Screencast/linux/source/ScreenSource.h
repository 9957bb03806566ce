#pragma once

// A part of the root window, read with MIT-SHM on a connection of the
// recording's own (so that the capture thread never waits for the engine's
// shared connection). Frames live in shared-memory segments that the X
// server writes into directly; a frame's QImage returns its segment to the
// pool when the last copy of it goes, so a picture crosses to the encoder
// without being copied. Without MIT-SHM (a remote display) plain GetImage
// is used.
// Where the server has DAMAGE, a still or nearly still screen is not read
// whole every frame: a copy of the area is kept up to date from the rows
// the server reports changed, and each frame starts as a copy of it (or is
// the previous frame again when nothing changed). A frame's segment that
// held a recent state of the copy gets only the rows changed since. Such
// frames say which rows changed.

#include "source/DamageTracker.h"
#include "core/Pipeline.h"
#include "core/XConnection.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace sc {
namespace rec {

class ShmPool;

class ScreenAreaSource : public IFrameSource
{
public:
    // `area` in root-window pixels. Null with a reason when the display
    // cannot be read.
    static std::unique_ptr<ScreenAreaSource> create(const std::string& display, const QRect& area,
                                                     std::string& error);
    ~ScreenAreaSource() override;

    int grab(VideoFrame& out) override;
    QSize frameSize() const override { return m_area.size(); }
    // Kept inside the root window; the size never changes.
    void setArea(const QRect& area) override;
    int failureCause() const override { return m_cause; }

    bool usesSharedMemory() const { return m_pool != nullptr; }
    bool tracksDamage() const { return m_damage != 0; }

private:
    ScreenAreaSource() = default;
    int grabArea(VideoFrame& out);
    int grabPlain(VideoFrame& out);
    // The root window no longer has the size it had at the start.
    bool screenResized() const;
    void watchDamage();
    void collectDamage();
    bool readRows(uint32_t segment, int top, int bottom);
    bool refreshCopy(std::vector<DamageTracker::Span>& changed);
    void copyInto(uint8_t* segment, int64_t& generation);

    XConnection m_x;
    uint32_t m_root = 0;
    QRect m_rootRect;
    QRect m_area;
    int m_cause = SR_CauseNone;
    std::shared_ptr<ShmPool> m_pool;

    // The damage-driven copy of the area (see above).
    uint32_t m_damage = 0;
    uint32_t m_region = 0;
    DamageTracker m_changed;
    std::shared_ptr<ShmPool> m_copyPool;
    uint8_t* m_copyBits = nullptr;
    uint32_t m_copySegment = 0;
    bool m_copyValid = false;
    QImage m_previous; // the last frame handed out
    // The copy's state (one up per change) and the rows each of the
    // latest states changed.
    static constexpr std::size_t kRecentGenerations = 16;
    int64_t m_generation = 0;
    std::deque<std::vector<DamageTracker::Span>> m_recent;
};

} // namespace rec
} // namespace sc
