// Records a part of the screen until it is killed: the recording of a
// process that dies without finishing its file. Prints "recording" once the
// recording runs.
//
//   tst_recording_child OUT X Y W H

#include "Screencast.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 6 || scInitialize() != kScInitOk)
        return 2;
    UseDisplay(0);
    VideoOpt video{};
    const double x = std::atof(argv[2]), y = std::atof(argv[3]);
    video.rect = CRect{x, y, x + std::atof(argv[4]), y + std::atof(argv[5])};
    video.fps = 15;
    video.codec = kVideoCodecH264;
    video.quality = 3;
    AudioOpt audio{};
    audio.codec = kAudioCodecAac;
    audio.channels = 2;
    MouseOpt mouse{};
    auto recorder = scVideoRecord(nullptr, kOutputMp4, argv[1], video, audio, mouse, false, kWindowListNone,
                                  nullptr, 0, nullptr, 0);
    if (!recorder || recorder->start() != 0)
        return 1;
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;)
        pause();
}
