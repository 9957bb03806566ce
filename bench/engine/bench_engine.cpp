// Records the screen with the engine for a fixed time, or runs another
// recorder as a child, and prints what it cost: CPU seconds (all threads),
// peak memory and the frames the engine wrote.
//
//   sr_bench_engine record OUT SECONDS FPS X Y W H [CODEC QUALITY CONTAINER]
//                          [--sound] [--pause AT,FOR]...
//   sr_bench_engine run -- COMMAND [ARGS...]
//
// --sound adds the system sound (the default output's monitor). Each --pause
// pauses the recording AT seconds after its start (wall clock) for FOR
// seconds; SECONDS counts recorded time, so pauses lengthen the run.
//
// Output (one line): "cpu=<seconds> hwm_kb=<kB> frames=<n>" (frames only for
// record).

#include "Screencast.h"

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

long peakKb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(f);
    return kb;
}

class Callback : public CRecoderCallback {
public:
    std::atomic<int> error{0};
    void OnError(SRErrorCode code) override { error = code; }
    void OnRecordingRegionBeginDrag() override {}
    void OnRecordingRegionEndDrag(CRect) override {}
};

void sleepFor(double s)
{
    if (s <= 0)
        return;
    timespec pause{time_t(s), long((s - double(time_t(s))) * 1e9)};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

struct Pause {
    double at;
    double length;
};

// Splits the positional arguments from the trailing flags.
int readFlags(int argc, char** argv, bool& sound, std::vector<Pause>& pauses)
{
    int positional = argc;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sound") == 0) {
            sound = true;
        } else if (std::strcmp(argv[i], "--pause") == 0 && i + 1 < argc) {
            Pause p{};
            if (std::sscanf(argv[++i], "%lf,%lf", &p.at, &p.length) != 2)
                return -1;
            pauses.push_back(p);
        } else {
            if (argv[i][0] == '-' && argv[i][1] == '-')
                return -1;
            continue;
        }
        if (positional == argc)
            positional = i;
    }
    return positional;
}

int record(int argc, char** argv)
{
    bool sound = false;
    std::vector<Pause> pauses;
    argc = readFlags(argc, argv, sound, pauses);
    if (argc < 9) {
        std::fprintf(stderr, "record OUT SECONDS FPS X Y W H [CODEC QUALITY CONTAINER]\n");
        return 2;
    }
    const char* out = argv[2];
    const double duration = std::atof(argv[3]);
    VideoOpt video{};
    video.fps = std::atoi(argv[4]);
    const double x = std::atof(argv[5]), y = std::atof(argv[6]);
    video.rect = CRect{x, y, x + std::atof(argv[7]), y + std::atof(argv[8])};
    video.codec = argc > 9 ? std::atoi(argv[9]) : kVideoCodecH264;
    video.quality = argc > 10 ? std::atoi(argv[10]) : 3;
    const auto container = OutputVideoFileType(argc > 11 ? std::atoi(argv[11]) : kOutputMp4);
    if (scInitialize() != kScInitOk) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }
    UseDisplay(0);
    Callback callback;
    AudioOpt audio{};
    audio.render = sound ? 1 : 0;
    audio.codec = kAudioCodecAac;
    audio.quality = 3;
    audio.channels = 2;
    MouseOpt mouse{};
    auto recorder = scVideoRecord(&callback, container, out, video, audio, mouse, false, kWindowListNone,
                                  nullptr, 0, nullptr, 0);
    if (!recorder) {
        std::fprintf(stderr, "the engine refused the recording\n");
        return 1;
    }
    recorder->start();
    // Wall-clock schedule: the recorded time runs only outside the pauses.
    double wall = 0, recorded = 0;
    for (const Pause& p : pauses) {
        const double run = std::min(p.at - wall, duration - recorded);
        sleepFor(run);
        recorded += run;
        recorder->pause();
        sleepFor(p.length);
        recorder->resume();
        wall = p.at + p.length;
    }
    sleepFor(duration - recorded);
    const long long frames = recorder->frameCount();
    recorder.reset();
    scUninitialize();
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    std::printf("cpu=%.3f hwm_kb=%ld frames=%lld error=%d\n", seconds(use.ru_utime) + seconds(use.ru_stime),
                peakKb(), frames, callback.error.load());
    return callback.error.load() == 0 ? 0 : 1;
}

int run(int argc, char** argv)
{
    int first = 2;
    if (first < argc && std::strcmp(argv[first], "--") == 0)
        ++first;
    if (first >= argc)
        return 2;
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        _exit(127);
    }
    if (child < 0)
        return 1;
    int status = 0;
    rusage use{};
    if (wait4(child, &status, 0, &use) != child)
        return 1;
    // ru_maxrss of a child is its peak resident size (VmHWM) in kB.
    std::printf("cpu=%.3f hwm_kb=%ld\n", seconds(use.ru_utime) + seconds(use.ru_stime), use.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "record") == 0)
        return record(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0)
        return run(argc, argv);
    std::fprintf(stderr, "usage: %s record OUT SECONDS FPS X Y W H [CODEC QUALITY CONTAINER] [--sound] "
                 "[--pause AT,FOR]... | run -- CMD...\n",
                 argv[0]);
    return 2;
}
