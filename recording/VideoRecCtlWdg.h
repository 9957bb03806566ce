#pragma once

#include <QPointer>
#include <QString>

#include <functional>

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class VideoRecCtlWdg;
}
class VxMainWindowBase;
class QImage;
class QTimer;

// The small bar that floats above everything while a screen, window or audio
// recording runs. Once started it owns the recording: the one-second tick
// shows the time and size and enforces the stop rules (free space, GIF size,
// a player that forbids capture, scheduled task, record length); the bar
// pauses, resumes, takes still images, drives the drawing canvas and, when
// the recording ends, hands the file to the preview window and announces
// the end through SignalsTransfer::recordStop().
//
// The receiver of recordStop() discards the bar; it must do so with
// deleteLater(): the signal is emitted from inside the bar's own stop
// handling (which touches nothing of the bar after the emission).
class VideoRecCtlWdg : public VxDialogBase
{
    Q_OBJECT
public:
    // Milliseconds of a monotonic clock (never wraps, never jumps with the
    // wall clock).
    using Clock = std::function<qint64()>;

    explicit VideoRecCtlWdg(QWidget* parent = nullptr);
    ~VideoRecCtlWdg() override;

    void setMainWindowBase(VxMainWindowBase* frame);

    // Checks the temporary folder and creates the engine's recorder; false
    // when either is refused (the caller undoes its start).
    bool initRecord();
    void start();
    void pauseOrResume();

    // The clock of the elapsed time; null goes back to the system's
    // monotonic clock. Set it before start().
    void setClock(const Clock& clock);

    // "hh:mm:ss"; the hours grow past two digits when they must.
    static QString timeCounter(int seconds);

public slots:
    void onBtnStopClicked();
    void onSnapshot();
    void onRecordErrorOccur(int code);

private slots:
    void onShowMessage();
    void onBtnPauseClicked();
    void onBtnResumeClicked();
    void onBtnEditClicked();
    void onStartCanvs(int tool);
    void onStopCanvs(bool quit);
    void onUndo();
    void onRedo();
    void onClear();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    qint64 now() const;
    // Whole seconds recorded: earlier stretches plus the running one.
    int recordedSeconds() const;
    bool forbiddenPlayerRuns() const;
    // The tick's steps; the first two are false once they stopped the
    // recording.
    bool tickSize(qint64& size);
    bool tickFreeSpace(int seconds);
    void showFigures(int seconds, qint64 size);
    void tickLengthLimit();
    void leaveDrawing();
    void foldToolBar();
    void fitHeight();
    void showFlyOut(const QImage& image);
    static void showPlayerWarning();

    Ui::VideoRecCtlWdg* ui = nullptr;
    QTimer* m_pTimer = nullptr;            // the tick; no parent, deleted here
    Clock m_clock;
    bool m_bStarted = false;               // start() ran
    bool m_bStretchRunning = false;        // the clock counts (started, not paused)
    qint64 m_nStretchStart = 0;            // clock value when the running stretch began
    int m_nAccumulated = 0;                // whole seconds of the stretches before the last pause
    bool m_bDrawing = false;
    int m_nElapsedSeconds = 0;             // the last value shown
    int m_nNextDiskCheck = 1;              // the second at which free space is read next
    qint64 m_nFreeSpace = 0;               // the last successful reading
    bool m_bAudioOnly = false;             // taken when the recording is prepared
    bool m_bHasVideo = true;
    bool m_bErrorHandling = false;         // an engine error is being reported
    QPointer<VxMainWindowBase> m_pMainWindow;
};
