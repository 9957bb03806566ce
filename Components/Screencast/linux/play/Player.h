#pragma once

// The engine's player of one movie or sound file (CAVPlayerObject).
//
// Three threads of its own: the reader opens the file, decodes it ahead
// into two short queues, performs seeks and sends every callback; the
// picture thread draws each picture when the clock reaches it; the sound
// thread feeds the sound server. The clock is the sound actually heard
// (what was written minus what the server still holds), or the steady
// clock when there is no sound to follow. A seek starts a new "serial":
// whatever was decoded for an older one is thrown away.

#include "Screencast.h"

#include "play/MediaReader.h"
#include "play/PulseOutput.h"
#include "play/ViewPainter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SwrContext;

namespace sc {
namespace play {

class Player final : public CAVPlayerObject
{
public:
    // Without `pictures` a movie plays as sound only; `view` 0 shows nothing.
    Player(AVPlayerStatusCallback* callback, bool pictures, xcb_window_t view, std::string path);

    int play() override;
    int pause() override;
    int isPlaying() override;
    int seek(double seconds) override;
    double position() override;
    double duration() override;
    void videoSize(int& width, int& height) override;
    void beginTrim() override;
    void setTrimRange(double start, double end) override;
    void endTrim(bool accept) override;
    void release() override;

private:
    using Clock = std::chrono::steady_clock;
    enum State { kOpening, kReady, kFailed };

    struct Picture {
        AVFrame* frame;
        double time;
    };
    struct Sound {
        std::vector<float> samples;   // interleaved, the output's channels
        double time;
    };

    ~Player() override;

    // ---- reader thread ----
    void readerMain();
    bool openMedia();
    bool openSoundPath();
    void readerLoop();
    bool queuesFull() const;
    void decodeOne(AVFrame* frame);
    bool convertSound(const AVFrame* frame, std::vector<float>& samples);
    void checkEnd();
    void runNotes();
    void reportReady();

    // ---- picture and sound threads ----
    void pictureMain();
    void pictureStep(std::unique_lock<std::mutex>& lock, AVFrame*& toShow);
    void soundMain();
    // One write to the server; false when there was nothing to write.
    bool soundStep(Sound& current, std::size_t& offset, bool& haveCurrent);
    void soundFailed();
    void publishSoundClock(bool nothingLeft);

    // ---- with m_mutex held ----
    double positionLocked() const;
    void startRun();
    void seekLocked(double seconds);
    void clearQueues();
    double rangeStart() const;
    double rangeEnd() const;
    double snap(double seconds) const;
    void note(std::function<void()> call);

    AVPlayerStatusCallback* const m_callback;
    const bool m_withPictures;
    const xcb_window_t m_view;
    const std::string m_path;

    // Set by the reader thread before the state becomes kReady.
    MediaReader m_reader;
    ViewPainter m_painter;
    PulseOutput m_sound;
    SwrContext* m_swr = nullptr;
    double m_duration = 0.0;
    double m_frameDuration = 0.04;
    int m_width = 0;
    int m_height = 0;
    std::thread m_readerThread;
    std::thread m_pictureThread;
    std::thread m_soundThread;
    std::atomic<int> m_state{kOpening};
    std::atomic<bool> m_soundBroken{false};   // the server went away while playing

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_playing = false;
    bool m_playRequested = false;     // play() before the file was open
    int m_serial = 0;
    bool m_seekPending = false;
    double m_seekTarget = 0.0;
    bool m_eof = false;               // the reader reached the end for this serial
    std::deque<Picture> m_pictures;
    std::deque<Sound> m_sounds;
    double m_soundQueued = 0.0;       // seconds in m_sounds
    int m_shownSerial = -1;           // the serial of the picture on the view
    bool m_trimming = false;
    double m_trimStart = 0.0;
    double m_trimEnd = 0.0;
    std::deque<std::function<void()>> m_notes;   // callbacks for the reader thread

    // The clock.
    double m_pausedAt = 0.0;          // the position while not playing, and where a run starts
    bool m_clockBySound = false;      // this run follows the sound thread
    bool m_soundHeard = false;        // the sound thread published a position in this run
    double m_soundPos = 0.0;
    Clock::time_point m_soundStamp;
    Clock::time_point m_soundMoved;   // when m_soundPos last changed
    bool m_clockHeld = false;         // the steady clock waits for the first decoded output
    Clock::time_point m_runSince;

    // The sound thread's own.
    int m_soundSerial = -1;
    bool m_soundCorked = true;
    bool m_soundStarted = false;      // m_soundBase is the time of the first sound written
    double m_soundBase = 0.0;
    int64_t m_soundWritten = 0;       // frames written since m_soundBase
    bool m_soundTriggered = false;
};

} // namespace play
} // namespace sc
