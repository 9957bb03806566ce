#pragma once

// Putting the recording session where a test needs it, through the same
// requests the windows make: tests never set a recording flag themselves.

#include "core/RecordingSession.h"

namespace testsupport {

// Back to idle without a task claim: what one case left must not decide
// the next.
inline void resetSession()
{
    RecordingSession* session = RecordingSession::instance();
    session->finish();
    session->endTask();
}

// The calls that bring an idle session into `state`: recording goes by the
// countdown, the preview by a stop of a paused recording.
inline void driveSession(RecordingSession::State state)
{
    RecordingSession* session = RecordingSession::instance();
    switch (state) {
    case RecordingSession::Session_Idle:
        return;
    case RecordingSession::Session_Starting:
        session->requestStart();
        return;
    case RecordingSession::Session_Countdown:
        driveSession(RecordingSession::Session_Starting);
        session->beginCountdown();
        return;
    case RecordingSession::Session_Recording:
        driveSession(RecordingSession::Session_Countdown);
        session->recordingStarted();
        return;
    case RecordingSession::Session_Paused:
        driveSession(RecordingSession::Session_Recording);
        session->requestPause();
        return;
    case RecordingSession::Session_Stopping:
        driveSession(RecordingSession::Session_Paused);
        session->requestStop();
        return;
    case RecordingSession::Session_Previewing:
        driveSession(RecordingSession::Session_Stopping);
        session->previewOpened();
        return;
    case RecordingSession::Session_Saving:
        driveSession(RecordingSession::Session_Previewing);
        session->savingStarted();
        return;
    }
}

} // namespace testsupport
