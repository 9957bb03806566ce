// The player's three threads: reading and decoding, pictures, sound.

#include "play/Player.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace sc {
namespace play {

namespace {

using namespace std::chrono_literals;

// The queues between the reader and the outputs: a few pictures and half
// a second of sound normally; more of one when the file holds the other
// much later (then the bounds below keep the memory in check).
constexpr std::size_t kPictures = 8;
constexpr double kSoundAhead = 0.5;
constexpr std::size_t kMostPictures = 60;
constexpr double kMostSound = 8.0;
// How long the first picture may take before the file is reported ready
// without it.
constexpr auto kFirstPictureWait = 3s;
// With nothing left to write, sound that stopped moving this long was all
// heard (the server may go on saying it holds its own latency's worth).
constexpr auto kStalled = 100ms;
// A picture is due this close before its time.
constexpr double kDue = 0.002;

} // namespace

// ---- reader ----------------------------------------------------------------

void Player::readerMain()
{
    if (!openMedia()) {
        m_state = kFailed;
        bool stopped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            stopped = m_stop;
        }
        if (!stopped && m_callback)
            m_callback->OnStatueChanged(kPlayerStatusFailed);
        return;
    }
    if (m_painter.isOpen())
        m_pictureThread = startNamedThread("sr-play-picture", [this] { pictureMain(); });
    if (m_sound.isOpen())
        m_soundThread = startNamedThread("sr-play-sound", [this] { soundMain(); });
    readerLoop();
}

bool Player::openMedia()
{
    std::string error;
    if (!m_reader.open(m_path, m_withPictures, true, error)) {
        Log(kLogModule, LogLevel::Error, "player: %s", error.c_str());
        return false;
    }
    m_duration = m_reader.duration();
    m_frameDuration = m_reader.frameDuration();
    if (m_reader.hasVideo()) {
        m_width = m_reader.video()->width;
        m_height = m_reader.video()->height;
        if (m_view)
            m_painter.open(m_view);
    }
    if (m_reader.hasAudio())
        openSoundPath();
    Log(kLogModule, LogLevel::Info, "player: %s, %.3f s, %dx%d, %s", m_path.c_str(), m_duration, m_width, m_height,
        m_sound.isOpen() ? "with sound" : "without sound");
    return true;
}

bool Player::openSoundPath()
{
    const AVCodecContext* audio = m_reader.audio();
    const int channels = std::clamp(audio->ch_layout.nb_channels, 1, 2);
    std::string error;
    if (audio->sample_rate <= 0 || !m_sound.open(audio->sample_rate, channels, error)) {
        // The picture then follows the clock.
        Log(kLogModule, LogLevel::Error, "player: no sound output: %s", error.c_str());
        return false;
    }
    return true;
}

void Player::reportReady()
{
    bool playNow;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = kReady;
        playNow = m_playRequested;
        m_playRequested = false;
    }
    if (m_callback)
        m_callback->OnStatueChanged(kPlayerStatusReadyToPlay);
    if (playNow)
        play();
}

void Player::runNotes()
{
    while (true) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_notes.empty() || m_stop)
                return;
            call = std::move(m_notes.front());
            m_notes.pop_front();
        }
        call();
    }
}

bool Player::queuesFull() const
{
    const bool pictures = !m_painter.isOpen() || !m_reader.hasVideo() || m_pictures.size() >= kPictures;
    const bool sound = !m_sound.isOpen() || m_soundBroken || m_soundQueued >= kSoundAhead;
    return (pictures && sound) || m_pictures.size() >= kMostPictures || m_soundQueued >= kMostSound;
}

// Ends a run of playing at the end of the file or of the trim range.
void Player::checkEnd()
{
    if (!m_playing)
        return;
    const double end = rangeEnd();
    if (positionLocked() < end - 1e-4)
        return;
    m_pausedAt = end;
    m_playing = false;
    m_wake.notify_all();
}

void Player::readerLoop()
{
    AVFrame* frame = av_frame_alloc();
    bool announced = false;
    const Clock::time_point openedAt = Clock::now();
    while (frame) {
        runNotes();
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
            if (!announced
                && (m_shownSerial == m_serial || !m_painter.isOpen() || m_eof
                    || Clock::now() - openedAt > kFirstPictureWait)) {
                announced = true;
                lock.unlock();
                reportReady();
                continue;
            }
            checkEnd();
            if (m_seekPending) {
                m_seekPending = false;
                // Past the last picture's start nothing would be shown.
                const double target =
                    m_reader.hasVideo() ? std::min(m_seekTarget, std::max(0.0, m_duration - m_frameDuration / 2))
                                        : m_seekTarget;
                lock.unlock();
                m_reader.seek(target);
                if (m_swr)
                    swr_init(m_swr);
                continue;
            }
            if (m_eof || queuesFull()) {
                m_wake.wait_for(lock, 10ms);
                continue;
            }
        }
        decodeOne(frame);
    }
    av_frame_free(&frame);
}

bool Player::convertSound(const AVFrame* frame, std::vector<float>& samples)
{
    if (!m_swr) {
        AVChannelLayout in{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&in, &frame->ch_layout);
        AVChannelLayout out{};
        av_channel_layout_default(&out, m_sound.channels());
        const int rc = swr_alloc_set_opts2(&m_swr, &out, AV_SAMPLE_FMT_FLT, m_sound.rate(), &in,
                                           AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        if (rc < 0 || swr_init(m_swr) < 0) {
            swr_free(&m_swr);
            return false;
        }
    }
    const int capacity = swr_get_out_samples(m_swr, frame->nb_samples);
    if (capacity <= 0)
        return false;
    samples.resize(std::size_t(capacity) * std::size_t(m_sound.channels()));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(samples.data())};
    const int got = swr_convert(m_swr, out, capacity, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
    if (got <= 0)
        return false;
    samples.resize(std::size_t(got) * std::size_t(m_sound.channels()));
    return true;
}

void Player::decodeOne(AVFrame* frame)
{
    int serial;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        serial = m_serial;
    }
    double time = 0.0;
    const MediaReader::Kind kind = m_reader.next(frame, time);
    std::vector<float> samples;
    const bool sound = kind == MediaReader::kAudio && m_sound.isOpen() && !m_soundBroken
                       && convertSound(frame, samples);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (serial == m_serial) {   // else a seek came meanwhile
        if (kind == MediaReader::kVideo && m_painter.isOpen()) {
            if (AVFrame* copy = av_frame_clone(frame))
                m_pictures.push_back(Picture{copy, time});
        } else if (sound) {
            m_soundQueued += double(samples.size() / std::size_t(m_sound.channels())) / m_sound.rate();
            m_sounds.push_back(Sound{std::move(samples), time});
        } else if (kind == MediaReader::kEnd || kind == MediaReader::kError) {
            m_eof = true;
        }
        if (m_clockHeld && (!m_pictures.empty() || !m_sounds.empty() || m_eof)) {
            m_clockHeld = false;
            m_runSince = Clock::now();
        }
        m_wake.notify_all();
    }
    av_frame_unref(frame);
}

// ---- pictures --------------------------------------------------------------

void Player::pictureMain()
{
    AVFrame* toShow = nullptr;
    while (true) {
        m_painter.poll();
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
            pictureStep(lock, toShow);
        }
        if (toShow) {
            m_painter.show(toShow);
            av_frame_free(&toShow);
        }
    }
}

// Takes the picture to show now, if any, else waits a little.
void Player::pictureStep(std::unique_lock<std::mutex>& lock, AVFrame*& toShow)
{
    if (m_pictures.empty()) {
        m_wake.wait_for(lock, 10ms);
        return;
    }
    // The first picture of a file or after a seek shows at once, also
    // while paused.
    if (m_shownSerial != m_serial) {
        toShow = m_pictures.front().frame;
        m_pictures.pop_front();
        m_shownSerial = m_serial;
        m_wake.notify_all();
        return;
    }
    if (!m_playing) {
        m_wake.wait_for(lock, 10ms);
        return;
    }
    const double now = positionLocked();
    const double wait = m_pictures.front().time - kDue - now;
    if (wait > 0) {
        m_wake.wait_for(lock, std::chrono::duration<double>(std::min(wait, 0.01)));
        return;
    }
    // Late pictures are skipped: the last one that is due shows.
    while (m_pictures.size() > 1 && m_pictures[1].time - kDue <= now) {
        av_frame_free(&m_pictures.front().frame);
        m_pictures.pop_front();
    }
    toShow = m_pictures.front().frame;
    m_pictures.pop_front();
    m_wake.notify_all();
}

// ---- sound -----------------------------------------------------------------

void Player::soundMain()
{
    Sound current;
    std::size_t offset = 0;
    bool haveCurrent = false;
    while (true) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
        }
        if (!soundStep(current, offset, haveCurrent)) {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_stop)
                m_wake.wait_for(lock, 5ms);
        }
    }
    m_sound.setPaused(true);
}

// The server stopped taking sound: the rest of the run follows the clock.
void Player::soundFailed()
{
    Log(kLogModule, LogLevel::Error, "player: the sound server stopped taking sound");
    m_soundBroken = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_playing && m_clockBySound) {
        m_pausedAt = positionLocked();
        m_clockBySound = false;
        m_clockHeld = false;
        m_runSince = Clock::now();
    }
    m_sounds.clear();
    m_soundQueued = 0.0;
}

bool Player::soundStep(Sound& current, std::size_t& offset, bool& haveCurrent)
{
    bool playing;
    bool flush = false;
    bool nothingLeft;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        playing = m_playing;
        if (m_serial != m_soundSerial) {
            flush = m_soundSerial >= 0;
            m_soundSerial = m_serial;
            m_soundStarted = false;
            m_soundWritten = 0;
            haveCurrent = false;
        }
        if (m_soundBroken) {
            m_sounds.clear();
            m_soundQueued = 0.0;
        }
        if (playing && !haveCurrent && !m_sounds.empty()) {
            current = std::move(m_sounds.front());
            m_sounds.pop_front();
            m_soundQueued -= double(current.samples.size() / std::size_t(m_sound.channels())) / m_sound.rate();
            haveCurrent = true;
            offset = 0;
            if (!m_soundStarted) {
                m_soundBase = current.time;
                m_soundStarted = true;
            }
            m_wake.notify_all();
        }
        nothingLeft = !haveCurrent && m_sounds.empty() && (m_eof || m_pictures.size() >= kPictures);
    }
    if (m_soundBroken)
        return false;
    if (flush)
        m_sound.flush();
    if (playing == m_soundCorked) {
        m_sound.setPaused(!playing);
        m_soundCorked = !playing;
    }
    if (!playing)
        return false;
    long written = 0;
    if (haveCurrent) {
        const std::size_t channels = std::size_t(m_sound.channels());
        const std::size_t frames = current.samples.size() / channels;
        written = m_sound.write(current.samples.data() + offset * channels, frames - offset);
        if (written < 0) {
            soundFailed();
            return false;
        }
        offset += std::size_t(written);
        m_soundWritten += written;
        haveCurrent = offset < frames;
        if (written > 0)
            m_soundTriggered = false;
    } else if (!m_soundTriggered) {
        // Nothing more for now: what is written plays even if it is less
        // than the server waits for before it starts.
        m_sound.trigger();
        m_soundTriggered = true;
    }
    publishSoundClock(nothingLeft);
    return written > 0;
}

// Tells the clock what has been heard: the time of the first sound written
// in this serial, plus what was written since, minus what the server holds.
void Player::publishSoundClock(bool nothingLeft)
{
    if (!m_soundStarted)
        return;
    const double held = m_sound.latency();
    if (held < 0)
        return;   // the server has not said yet
    const double heard = std::max(0.0, double(m_soundWritten) / m_sound.rate() - held);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_soundSerial != m_serial || !m_playing || !m_clockBySound)
        return;
    const Clock::time_point now = Clock::now();
    if (!m_soundHeard || m_soundBase + heard != m_soundPos)
        m_soundMoved = now;
    m_soundPos = m_soundBase + heard;
    m_soundStamp = now;
    m_soundHeard = true;
    if (nothingLeft && now - m_soundMoved > kStalled) {
        // All sound was heard; pictures (or the rest of the range) go on
        // by the clock.
        m_pausedAt = m_soundPos;
        m_clockBySound = false;
        m_clockHeld = false;
        m_runSince = now;
    }
}

} // namespace play
} // namespace sc
