#include "play/Player.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace sc {
namespace play {

namespace {

// Times closer than this are the same moment.
constexpr double kSame = 1e-4;
// How far the position may run on from the sound thread's last word.
constexpr double kSoundCoast = 0.05;

} // namespace

Player::Player(AVPlayerStatusCallback* callback, bool pictures, xcb_window_t view, std::string path)
    : m_callback(callback), m_withPictures(pictures), m_view(view), m_path(std::move(path))
{
    m_readerThread = startNamedThread("sr-play-read", [this] { readerMain(); });
}

Player::~Player()
{
    clearQueues();
    swr_free(&m_swr);
}

void Player::release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    // The reader starts the other two threads: once it ended, they are
    // known and are told to stop as well.
    if (m_readerThread.joinable())
        m_readerThread.join();
    if (m_pictureThread.joinable())
        m_pictureThread.join();
    if (m_soundThread.joinable())
        m_soundThread.join();
    m_sound.close();
    delete this;
}

// ---- the clock -------------------------------------------------------------

double Player::positionLocked() const
{
    if (!m_playing)
        return m_pausedAt;
    const Clock::time_point now = Clock::now();
    if (m_clockBySound) {
        if (!m_soundHeard)
            return m_pausedAt;
        const double coast = std::chrono::duration<double>(now - m_soundStamp).count();
        return m_soundPos + std::clamp(coast, 0.0, kSoundCoast);
    }
    if (m_clockHeld)
        return m_pausedAt;
    return m_pausedAt + std::chrono::duration<double>(now - m_runSince).count();
}

// A run of playing starts at m_pausedAt.
void Player::startRun()
{
    m_clockBySound = m_sound.isOpen() && m_reader.hasAudio() && !m_soundBroken;
    m_soundHeard = false;
    m_runSince = Clock::now();
    // Wait for something to show or hear after a seek, so that the first
    // pictures are not late already (when there is anything to wait for).
    const bool outputs = (m_painter.isOpen() && m_reader.hasVideo()) || m_clockBySound;
    m_clockHeld = outputs && m_pictures.empty() && m_sounds.empty() && !m_eof;
}

double Player::rangeStart() const { return m_trimming ? m_trimStart : 0.0; }

double Player::rangeEnd() const { return m_trimming ? m_trimEnd : m_duration; }

double Player::snap(double seconds) const
{
    if (!m_reader.hasVideo() || std::fabs(seconds - m_duration) < kSame)
        return seconds;
    return std::min(m_duration, std::round(seconds / m_frameDuration) * m_frameDuration);
}

void Player::clearQueues()
{
    for (Picture& p : m_pictures)
        av_frame_free(&p.frame);
    m_pictures.clear();
    m_sounds.clear();
    m_soundQueued = 0.0;
}

void Player::seekLocked(double seconds)
{
    const double target = std::clamp(seconds, rangeStart(), rangeEnd());
    clearQueues();
    ++m_serial;
    m_seekPending = true;
    m_seekTarget = target;
    m_eof = false;
    m_pausedAt = target;
    if (m_playing)
        startRun();
    m_wake.notify_all();
}

void Player::note(std::function<void()> call)
{
    m_notes.push_back(std::move(call));
    m_wake.notify_all();
}

// ---- the interface ---------------------------------------------------------

int Player::play()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state != kReady) {
        m_playRequested = m_state == kOpening;
        return m_state == kOpening ? 0 : -1;
    }
    if (m_playing)
        return 0;
    if (m_pausedAt >= rangeEnd() - kSame || m_pausedAt < rangeStart() - kSame)
        seekLocked(rangeStart());
    m_playing = true;
    startRun();
    m_wake.notify_all();
    return 0;
}

int Player::pause()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_playRequested = false;
    if (m_playing) {
        m_pausedAt = std::clamp(positionLocked(), rangeStart(), rangeEnd());
        m_playing = false;
        m_wake.notify_all();
    }
    return 0;
}

int Player::isPlaying()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing ? 1 : 0;
}

int Player::seek(double seconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state != kReady)
        return -1;
    seekLocked(seconds);
    return 0;
}

double Player::position()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state != kReady)
        return 0.0;
    return std::clamp(positionLocked(), 0.0, m_duration);
}

double Player::duration() { return m_state == kReady ? m_duration : 0.0; }

void Player::videoSize(int& width, int& height)
{
    const bool ready = m_state == kReady;
    width = ready ? m_width : 0;
    height = ready ? m_height : 0;
}

void Player::beginTrim()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state != kReady || m_trimming)
        return;
    m_trimming = true;
    m_trimStart = 0.0;
    m_trimEnd = m_duration;
}

void Player::setTrimRange(double start, double end)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_trimming)
        return;
    // At least one picture long, inside the file.
    const double shortest = std::min(m_frameDuration, m_duration);
    end = std::clamp(end, shortest, m_duration);
    start = std::clamp(start, 0.0, end - shortest);
    m_trimStart = start;
    m_trimEnd = end;
    const double now = positionLocked();
    if (m_playing && (now < start - kSame || now > end + kSame))
        seekLocked(start);
}

void Player::endTrim(bool accept)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_trimming)
        return;
    m_trimming = false;
    if (!accept) {
        note([this] {
            if (m_callback)
                m_callback->OnTrimCancel();
        });
        return;
    }
    const double start = snap(m_trimStart);
    const double end = std::max(snap(m_trimEnd), std::min(m_duration, start + m_frameDuration));
    note([this, start, end] {
        if (m_callback)
            m_callback->OnTrimOK(start, end);
    });
}

} // namespace play

// ---- the engine's entry points --------------------------------------------

namespace {

bool isFile(const char* path)
{
    struct stat st {};
    return path && *path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

} // namespace sc

CBasePtr<CAVPlayerObject> CreateAVPlayer(AVPlayerStatusCallback* callback, ScNativeView view, const char* path)
{
    if (!sc::isFile(path)) {
        Log(sc::kLogModule, LogLevel::Error, "CreateAVPlayer: \"%s\" is no file", path ? path : "");
        return CBasePtr<CAVPlayerObject>();
    }
    if (!sc::XLock()) {
        Log(sc::kLogModule, LogLevel::Error, "CreateAVPlayer: the engine is not initialised");
        return CBasePtr<CAVPlayerObject>();
    }
    return CBasePtr<CAVPlayerObject>(new sc::play::Player(callback, true, xcb_window_t(view), path));
}

CBasePtr<CAVPlayerObject> CreateAudioPlayer(AVPlayerStatusCallback* callback, const char* path)
{
    if (!sc::isFile(path)) {
        Log(sc::kLogModule, LogLevel::Error, "CreateAudioPlayer: \"%s\" is no file", path ? path : "");
        return CBasePtr<CAVPlayerObject>();
    }
    return CBasePtr<CAVPlayerObject>(new sc::play::Player(callback, false, 0, path));
}
