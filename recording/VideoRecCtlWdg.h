#pragma once

#include <QPointer>
#include <QString>

#include <functional>

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class VideoRecCtlWdg;
}
class AudioLevelFeed;
class VxMainWindowBase;
class QImage;
class QTimer;

// Floating controls of a running recording, which it owns from start():
// each second it refreshes the length and size and applies the stopping
// rules (disk space, GIF limit, a forbidding player, task or timer length);
// it also pauses, resumes, grabs stills and drives the canvas. At the end
// the file goes to the preview window and SignalsTransfer::recordStop()
// tells the owner.
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

    // "hh:mm:ss"; the hours grow past two digits when they must, and a
    // negative count shows as nought.
    static QString timeCounter(int seconds);
    // "<size> <unit>/<free> <unit>", two decimals each: what the recording
    // holds against the room left for it.
    static QString sizeCounter(qint64 size, qint64 freeSpace);

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
    bool tickFileKept();
    bool tickSize(qint64& size);
    bool tickFreeSpace(int seconds);
    // Stops the recording behind a warning box (paused while it is open).
    void stopWithWarning(const QString& message);
    // The end of a stop, once the preview or the box of nothing recorded
    // has closed; `saved` when the preview saved the recording.
    void finishStop(bool saved);
    // A box with Ok that leaves the caller at once; `then` runs once it
    // closed, unless this bar went meanwhile.
    void tellThen(int icon, QWidget* parent, const QString& text, std::function<void()> then);
    void showFigures(int seconds, qint64 size);
    void tickLengthLimit();
    void leaveDrawing();
    void foldToolBar();
    void fitHeight();
    void showLevelMeter();
    // Pause and resume buttons swapped, the time shown as paused or not.
    void showPausedFace(bool paused);
    void showFlyOut(const QImage& image);
    static void showPlayerWarning();

    Ui::VideoRecCtlWdg* ui = nullptr;
    AudioLevelFeed* m_pLevels = nullptr;   // sound-only recordings: the live level meter
    QTimer* m_pTimer = nullptr;            // the tick; no parent, deleted here
    Clock m_clock;
    bool m_bStarted = false;
    bool m_bStretchRunning = false;        // counting now: started and not paused
    qint64 m_nStretchStart = 0;            // m_clock at the start of the current stretch
    int m_nAccumulated = 0;                // full seconds of the finished stretches
    bool m_bDrawing = false;
    int m_nElapsedSeconds = 0;             // the last value shown
    int m_nNextDiskCheck = 1;              // the second at which free space is read next
    qint64 m_nFreeSpace = 0;               // the last successful reading
    bool m_bAudioOnly = false;             // taken when the recording is prepared
    bool m_bErrorHandling = false;         // an engine error or a full disk is being reported
    bool m_bStopping = false;              // its stop road runs: the session's stop is this bar's
    QPointer<VxMainWindowBase> m_pMainWindow;
};
