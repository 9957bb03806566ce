// Sound-only recording and conversion of its temporary files.

#include "EngineCore.h"

#include "Screencast.h"

#include <Log.h>

using namespace sc;

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback*, int8_t, int8_t, int, const char*)
{
    Log(kLogModule, 2, "scAudioRecord: sound recording is not available");
    return CBasePtr<CAudioRecoderObject>();
}

double GetAudioRecordDuration() { return 0.0; }

// There are no sound temp files yet, so nothing to restore.
int RestoreAudioRecordTempFiles() { return 0; }
