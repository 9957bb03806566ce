#include "core/RecordingSession.h"

#include "platform/log/Log.h"

namespace {
const char* const kLogModule = "session";
} // namespace

RecordingSession* RecordingSession::instance()
{
    // Never deleted: RecordParameter and TaskManage hold references to its
    // flags for as long as the program runs.
    static RecordingSession* session = new RecordingSession();
    return session;
}

const char* RecordingSession::stateName(State state)
{
    switch (state) {
    case Session_Idle:
        return "idle";
    case Session_Starting:
        return "starting";
    case Session_Countdown:
        return "countdown";
    case Session_Recording:
        return "recording";
    case Session_Paused:
        return "paused";
    case Session_Stopping:
        return "stopping";
    case Session_Previewing:
        return "previewing";
    case Session_Saving:
        return "saving";
    }
    return "?";
}

bool RecordingSession::move(const char* request, std::initializer_list<State> from, State to)
{
    for (State allowed : from) {
        if (allowed == m_eState) {
            enter(to);
            return true;
        }
    }
    Log(kLogModule, LogLevel::Warning, "%s refused while %s", request, stateName(m_eState));
    return false;
}

void RecordingSession::enter(State to)
{
    const State previous = m_eState;
    // The mirrors change before anyone hears of it: a slot reading
    // RecordParameter's flags sees the new state.
    m_eState = to;
    m_bRecording = to == Session_Starting || to == Session_Countdown || to == Session_Recording
                   || to == Session_Paused;
    m_bPaused = to == Session_Paused;
    m_bPreviewing = to == Session_Previewing || to == Session_Saving;
    if (previous == to)
        return;
    Log(kLogModule, LogLevel::Info, "%s -> %s", stateName(previous), stateName(to));
    emit stateChanged(to, previous);
}

void RecordingSession::setTasking(bool on)
{
    if (m_bTasking == on)
        return;
    m_bTasking = on;
    Log(kLogModule, LogLevel::Info, "task claim %s", on ? "taken" : "dropped");
    emit taskingChanged(on);
}

bool RecordingSession::requestStart()
{
    return move("start", {Session_Idle}, Session_Starting);
}

bool RecordingSession::requestPause()
{
    return move("pause", {Session_Recording}, Session_Paused);
}

bool RecordingSession::requestResume()
{
    return move("resume", {Session_Paused}, Session_Recording);
}

bool RecordingSession::requestStop()
{
    // A start under way stops too: an engine error during the countdown
    // ends it through the control bar's stop.
    return move("stop", {Session_Starting, Session_Countdown, Session_Recording, Session_Paused}, Session_Stopping);
}

bool RecordingSession::beginCountdown()
{
    return move("countdown", {Session_Starting}, Session_Countdown);
}

bool RecordingSession::recordingStarted()
{
    return move("recording started", {Session_Starting, Session_Countdown}, Session_Recording);
}

bool RecordingSession::abandonStart()
{
    if (!move("abandon start", {Session_Idle, Session_Starting, Session_Countdown}, Session_Idle))
        return false;
    setTasking(false);
    return true;
}

bool RecordingSession::previewOpened()
{
    return move("preview opened", {Session_Idle, Session_Stopping}, Session_Previewing);
}

bool RecordingSession::savingStarted()
{
    return move("saving started", {Session_Previewing}, Session_Saving);
}

bool RecordingSession::savingFinished()
{
    return move("saving finished", {Session_Saving}, Session_Previewing);
}

bool RecordingSession::previewClosed()
{
    return move("preview closed", {Session_Previewing, Session_Saving}, Session_Idle);
}

void RecordingSession::finish()
{
    enter(Session_Idle);
}

bool RecordingSession::beginTask()
{
    if (m_bTasking || m_eState != Session_Idle) {
        Log(kLogModule, LogLevel::Warning, "task claim refused while %s%s", stateName(m_eState),
            m_bTasking ? ", another task holds it" : "");
        return false;
    }
    setTasking(true);
    return true;
}

bool RecordingSession::endTask()
{
    const bool held = m_bTasking;
    setTasking(false);
    return held;
}
