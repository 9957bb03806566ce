// Content for the A/V offset measurement of bench/engine/run.sh: a black
// full-screen window that, at the start of every second of the monotonic
// clock, grows a white bar from the left (one step of 1/50 of the width every
// 4 ms, so a recorded frame tells to 4 ms how long the flash had been on),
// and a 1 kHz beep of 100 ms that the sound server plays at that same moment.
//
//   sr_bench_flasher SECONDS
//
// The beep is placed by the sound server's reported latency: every block is
// written knowing when its first sample will be played, so the beep starts on
// the second to within the latency report's accuracy, not the player's.

#include <pulse/simple.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 240; // 5 ms
constexpr int kSteps = 50;
constexpr double kStep = 0.004;
constexpr double kBeep = 0.1;

double monotonic()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void sleepUntil(double when)
{
    timespec t{time_t(when), long((when - std::floor(when)) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
    }
}

// Plays silence with a beep at every whole second of the monotonic clock.
void sound(double end, const std::atomic<bool>& stop)
{
    pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = kBlock * 2 * 4; // about 20 ms queued
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "sr-bench-flasher", PA_STREAM_PLAYBACK, nullptr, "beep", &spec, nullptr,
                                 &attr, &error);
    if (!s) {
        std::fprintf(stderr, "flasher: no sound server\n");
        return;
    }
    std::vector<int16_t> block(kBlock);
    while (!stop && monotonic() < end) {
        const pa_usec_t latency = pa_simple_get_latency(s, &error);
        const double first = monotonic() + double(latency) / 1e6;
        for (int i = 0; i < kBlock; ++i) {
            const double t = first + double(i) / kRate;
            const double into = t - std::floor(t);
            block[size_t(i)] = into < kBeep ? int16_t(16000 * std::sin(2 * M_PI * 1000 * into)) : 0;
        }
        if (pa_simple_write(s, block.data(), block.size() * 2, &error) < 0)
            break;
    }
    pa_simple_drain(s, &error);
    pa_simple_free(s);
}

void fill(xcb_connection_t* c, xcb_window_t w, xcb_gcontext_t gc, uint32_t colour, int x, int width, int height)
{
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
    xcb_rectangle_t r{int16_t(x), 0, uint16_t(width), uint16_t(height)};
    xcb_poly_fill_rectangle(c, w, gc, 1, &r);
    // A round trip, so the server has drawn it before the clock is read again.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "flasher: no X server\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int width = screen->width_in_pixels, height = screen->height_in_pixels;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, uint16_t(width), uint16_t(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, w);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, w, 0, nullptr);
    fill(c, w, gc, screen->black_pixel, 0, width, height);

    const double end = monotonic() + seconds;
    std::atomic<bool> stop{false};
    std::thread player(sound, end, std::cref(stop));
    for (double second = std::ceil(monotonic()) + 1; second < end; second += 1) {
        // Back on top of any window a recorder opened meanwhile.
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        for (int step = 0; step < kSteps; ++step) {
            sleepUntil(second + step * kStep);
            const int from = width * step / kSteps, to = width * (step + 1) / kSteps;
            fill(c, w, gc, screen->white_pixel, from, to - from, height);
        }
        sleepUntil(second + 0.3);
        fill(c, w, gc, screen->black_pixel, 0, width, height);
    }
    stop = true;
    player.join();
    xcb_disconnect(c);
    return 0;
}
