#pragma once

#include <QObject>

#include <initializer_list>

// The life of one recording, from an accepted start request until its
// preview and save are over, kept outside every window.
//
// The home window, the control bar, the webcam window, the hotkeys, the
// tray and the task controller ask it to move on (start, pause, resume,
// stop) or tell it what the engine or the preview did; they show what it
// reports through stateChanged and taskingChanged. None of them sets a
// recording flag: RecordParameter's m_bRecording, m_bPaused, m_bPreviewing
// and TaskManage's isTasking are read-only references to the values this
// object keeps, so they can never disagree with its state.
//
// Each request returns whether it was taken. A request the current state
// does not allow changes nothing, emits nothing and is logged, so a second
// stop, a pause before the start or a start on top of a running one are
// harmless no-ops for whoever asked.
//
// The road, with the calls that move it:
//
//   Idle --requestStart--> Starting --beginCountdown--> Countdown
//   Starting | Countdown --recordingStarted--> Recording
//   Starting | Countdown --abandonStart--> Idle   (also drops a task's claim)
//   Recording --requestPause--> Paused --requestResume--> Recording
//   Starting | Countdown | Recording | Paused --requestStop--> Stopping
//   Stopping | Idle --previewOpened--> Previewing
//   Previewing --savingStarted--> Saving --savingFinished--> Previewing
//   Previewing | Saving --previewClosed--> Idle
//   any --finish--> Idle   (the road ends without a preview)
//
// GUI thread only.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    enum State {
        Session_Idle = 0,
        // A start request was accepted: its checks, prompts and the
        // engine's preparation run. Nothing records yet, so nothing can be
        // paused or shot, and every further start is refused.
        Session_Starting,
        // Prepared: the countdown picture or the short pause before the
        // engine starts.
        Session_Countdown,
        Session_Recording,
        Session_Paused,
        // Stop asked: the engine finishes the file.
        Session_Stopping,
        // The preview window is open: of the recording just stopped, or of
        // a file opened on its own.
        Session_Previewing,
        // The preview's save runs.
        Session_Saving,
    };
    Q_ENUM(State)

    static RecordingSession* instance();

    State state() const { return m_eState; }
    bool isIdle() const { return m_eState == Session_Idle; }
    // Starting or Countdown: a start is under way.
    bool isStarting() const { return m_eState == Session_Starting || m_eState == Session_Countdown; }
    // Starting, Countdown, Recording or Paused: a recording is claimed and
    // not yet stopped. RecordParameter::m_bRecording mirrors it.
    bool isRecording() const { return m_bRecording; }
    // Recording or Paused: the engine records.
    bool isRunning() const { return m_eState == Session_Recording || m_eState == Session_Paused; }
    bool isPaused() const { return m_bPaused; }
    // Previewing or Saving. RecordParameter::m_bPreviewing mirrors it.
    bool isPreviewing() const { return m_bPreviewing; }
    // A scheduled task's recording owns the road: set by beginTask, kept
    // through the end of the recording until the task's end action was
    // taken (endTask). TaskManage::isTasking mirrors it.
    bool isTasking() const { return m_bTasking; }

    // The mirrors' storage, bound once by RecordParameter and TaskManage.
    const bool& recordingFlag() const { return m_bRecording; }
    const bool& pausedFlag() const { return m_bPaused; }
    const bool& previewingFlag() const { return m_bPreviewing; }
    const bool& taskingFlag() const { return m_bTasking; }

    static const char* stateName(State state);

    // ---- requests of the controls ----
    bool requestStart();
    bool requestPause();
    bool requestResume();
    bool requestStop();

    // ---- what the start road did ----
    bool beginCountdown();
    // The engine records.
    bool recordingStarted();
    // A start refused or given up: back to Idle, and a scheduled task's
    // claim is dropped with it (the task did not get its recording). Also
    // taken in Idle, where only the claim goes: the start may have been
    // ended already by the control bar going.
    bool abandonStart();

    // ---- the preview and its save (the stop road) ----
    // The preview window opened: after a stop, or on its own from Idle.
    bool previewOpened();
    bool savingStarted();
    bool savingFinished();
    // The preview window is gone, saved or not.
    bool previewClosed();

    // The road ends here whatever it was doing: the engine failed, nothing
    // was recorded, the window that ran it went, the program quits. A
    // task's claim stays; its end action still follows.
    void finish();

    // ---- scheduled tasks ----
    // A task claims the next recording; refused while anything runs or
    // another task holds the claim.
    bool beginTask();
    // The task's recording is over or failed; true when a claim was held.
    bool endTask();

signals:
    void stateChanged(RecordingSession::State state, RecordingSession::State previous);
    void taskingChanged(bool tasking);

private:
    RecordingSession() = default;

    // Moves to `to` when the current state is one of `from`; logs a refusal.
    bool move(const char* request, std::initializer_list<State> from, State to);
    void enter(State to);
    void setTasking(bool on);

    State m_eState = Session_Idle;
    bool m_bRecording = false;
    bool m_bPaused = false;
    bool m_bPreviewing = false;
    bool m_bTasking = false;
};
