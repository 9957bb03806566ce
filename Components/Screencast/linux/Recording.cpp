// Screen and sound recording.
//
// Capture and encoding are not wired up yet: until they are, no recording
// can be prepared. The options that the module sets ahead of a recording
// are already kept.

#include "EngineCore.h"

#include "Screencast.h"

#include <Log.h>

using namespace sc;

void SetHEVC10BITEnabled(int enabled)
{
    updateSettings([enabled](EngineSettings& s) { s.hevc10Bit = enabled != 0; });
}

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    std::string file = path ? path : "";
    updateSettings([&](EngineSettings& s) {
        s.watermarkPath = std::move(file);
        s.watermarkX = x;
        s.watermarkY = y;
        s.watermarkWidth = width;
        s.watermarkHeight = height;
    });
}

CBasePtr<CScreenRecoderObject> scVideoRecord(CRecoderCallback*, OutputVideoFileType, const char* path,
                                             VideoOpt, AudioOpt, MouseOpt, bool, WindowListOption,
                                             const unsigned int*, int, const unsigned int*, int)
{
    Log(kLogModule, 2, "scVideoRecord: screen recording is not available (%s)", path ? path : "");
    return CBasePtr<CScreenRecoderObject>();
}
