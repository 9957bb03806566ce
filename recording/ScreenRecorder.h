#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>

#include "Screencast.h"

class ScreenRecorder;

// The engine's callbacks of a running recording. They come on engine
// threads: nothing here touches widgets or the settings model directly;
// signals go out through SignalsTransfer::existing() and anything that must
// run on the GUI thread is posted there.
class ScreenRecorderPrivate : public CRecoderCallback
{
public:
    ScreenRecorderPrivate() = default;
    void OnError(SRErrorCode code) override;
    void OnRecordingRegionBeginDrag() override;
    void OnRecordingRegionEndDrag(CRect screenRect) override;
    ~ScreenRecorderPrivate() override;

    // Set from the engine's thread, polled from the GUI's.
    std::atomic<int> m_nLastError{0};
    CBasePtr<CScreenRecoderObject> m_pScreenRecorder;
    CBasePtr<CAudioRecoderObject> m_pAudioRecorder;
    // Belongs to m_pScreenRecorder and ends with it.
    CScreenCanvasObject* m_pCanvas = nullptr;

private:
    ScreenRecorderPrivate(const ScreenRecorderPrivate&) = delete;
    ScreenRecorderPrivate& operator=(const ScreenRecorderPrivate&) = delete;
};

// The drawing canvas's events, on an engine thread.
class ScreenCanvasEvent : public CScreenCanvasEvent
{
public:
    explicit ScreenCanvasEvent(ScreenRecorder* recorder) : m_pRecorder(recorder) {}
    void OnScreenCanvasEvent(signed char canUndo, signed char canRedo) override;
    void OnNumberChanged(int number) override;
    ~ScreenCanvasEvent() override = default;

private:
    ScreenRecorder* m_pRecorder;
};

// Owns the engine's recorder objects for the current recording: prepares
// them from the settings (through RecordOptions), vets the temporary folder
// and passes on the running commands, stills and canvas strokes. Lives on
// the GUI thread; only the canvas flags are written from an engine thread.
class ScreenRecorder
{
    Q_DECLARE_TR_FUNCTIONS(ScreenRecorder)

public:
    static ScreenRecorder* instance();
    // Releases what still records (the engine finalises the file), deletes
    // the singleton and clears its pointer. Call before the engine stops.
    static void release();

    // Validates the temporary folder (prompting for another one when it is
    // unusable) and sets the temporary file path; false when the user gave
    // up, with the path left empty.
    bool checkTempfilePath();
    // Builds the options and prepares a screen recording into the temporary
    // file path plus the container's suffix; true when the engine returned a
    // recorder object.
    bool recordVideo();
    // Prepares a sound-only recording; true when the engine returned one.
    bool recordAudio();
    // Why the engine refused the last recordVideo() or recordAudio(), in
    // the user's words; empty when it did not refuse.
    QString startErrorText() const { return m_strStartError; }

    void start();
    void pause();
    void resume();
    // Releases the recorder objects: the engine finalises the file.
    void stop();

    // The last engine error of this recording; true when there was one.
    bool recordError(int& code);
    // What lies behind the reported error (SRErrorCause) while the recorder
    // object lives; read it before stop().
    int recordErrorCause() const;
    // The engine's reason for the reported error, in the user's words;
    // empty when it gave none. Read it before stop().
    QString recordErrorText() const;
    // The file being recorded: the base path from checkTempfilePath() plus
    // the suffix of the last recordVideo(); the base path for sound.
    QString getTmpFilePath() const;
    // Where the engine keeps the last sound-only recording; "" without one.
    static QString audioRecordFile();
    qint64 getAudioTempFileSize();
    // The temp file of a recording lost its name (it or its folder was
    // deleted); stop() writes it out again (sound: as the engine's last
    // recording).
    bool isTmpFileLost() const;
    // Estimated bytes of a GIF recording, -1 once the frame limit is
    // reached, 0 without a screen recording.
    qint64 getGifSize();
    // Saves one frame of the recording into the snapshot folder and gives
    // the file's path (empty when nothing was written).
    QString snapshot();

    bool isCanvas() const;
    void onStartCanvs(int shape, int fontSize, int lineSize, QColor colour, QColor background,
                      const char* fontFamily, int number);
    void onStopCanvs();
    void onUndo();
    void onRedo();
    void onClear();
    bool isCanUndo() const;
    bool isCanRedo() const;

    // Helpers of the temporary-folder check: the folder to record in, or
    // empty when the recording is refused.
    QString showWarning(QString path, QString message, bool canContinue);
    QString chackTempFile(QString path);

    // Asks for a folder: (title, starting folder) -> chosen folder or empty.
    // Defaults to QFileDialog::getExistingDirectory; tests replace it.
    using FolderChooser = std::function<QString(const QString& title, const QString& startDir)>;
    static void setFolderChooser(const FolderChooser& chooser);

private:
    friend class ScreenCanvasEvent;

    ScreenRecorder();
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    void releaseRecorders();
    // The engine returned no recorder: its reason is kept and logged.
    void noteRefusal();

    std::atomic<bool> m_bCanUndo{false};
    std::atomic<bool> m_bCanRedo{false};
    ScreenRecorderPrivate* m_pPrivate = nullptr;
    ScreenCanvasEvent* m_pCanvasEvent = nullptr;
    // The file name without the container's suffix; every recordVideo()
    // adds its suffix to this, never to the last file path.
    QString m_strTempBasePath;
    QString m_strTempFilePath;
    QString m_strStartError;
    // Frame size of the last screen recording (the window's size in
    // single-window mode).
    QSize m_sizeRecordFrame;
    QString m_strLastSnapshotStamp;
    int m_nSnapshotCount = 0;
};

// The engine's 0xAARRGGBB colour word.
ColorRef qColor2ColorRef(const QColor& colour);
// An engine rectangle as a corner-form QRect of at least 64 x 64, moved (not
// shrunk) to lie inside the selected display.
QRect RECT2QRect(CRect r);
