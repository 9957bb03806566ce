#pragma once

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

#include "core/SelectSavePath.h"
#include "platform/framework/VxDialogBase.h"

class VxMainWindowBase;
class PreviewPlayer;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QTimer;

// The window of one finished recording: it plays it, cuts it to a part the
// user chooses, and saves it into the output folder through the save
// worker, on request or by itself right after it opens. exec() gives 1
// only when the file was saved and entered in the history; closing,
// cancelling or recording again give 0. While it exists the settings
// model's preview flag is set.
//
// The recording is never lost by a keypress: Save is the default button,
// and closing or recording again delete it only once the user agreed. A
// cut is written beside the recording and replaces it only when complete.
// A sound-only recording is first converted by the engine into the chosen
// audio format.
class DlgVideoClip : public VxDialogBase
{
    Q_OBJECT
public:
    DlgVideoClip(QString file, VxMainWindowBase* frame, QWidget* parent, bool isVideo, bool autoSave);
    ~DlgVideoClip() override;

    // Asks for another output folder after a failed save; "" gives up.
    // Tests put their own answer here; null restores the folder dialog.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& current)>;
    static void setFolderChooser(const FolderChooser& chooser);

    // Starts converting a sound recording (`source` "" is the last
    // sound-only recording) into `target` in audio format `format`; the end
    // comes through SignalsTransfer::OnExportCompleted. Returns a handle
    // that cancels the conversion when destroyed, or null when it could not
    // start. Tests put their own converter here; null restores the engine's.
    using ConvertHandle = std::shared_ptr<void>;
    using AudioConverter =
        std::function<ConvertHandle(const QString& source, const QString& target, int format)>;
    static void setAudioConverter(const AudioConverter& converter);

    // The file extension of an audio format number; "mp3" for an unknown one.
    static QString audioSuffix(int format);

    int exec() override;

signals:
    void sigSave(QString source, QString outputFolder);

public slots:
    void onCompleted(const QString& path, int type, const QString& resolution,
                     const QString& duration, const QString& size);
    void onPathFailed(const QString& message);
    void onUpdateProgressBar();
    void onTrimCancel();
    void onTrimOK(double start, double end);
    void onExportCompleted(bool ok);
    void onStatueChanged(int status);
    void onSave();
    void onReRecord();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    struct EngineExport;

    void initCopyThread();
    void buildForm();
    QLayout* buildButtons();
    void showFacts();
    // True when the recording may go: nothing is left to lose, or the user
    // agreed. Otherwise asks (once, in a box that leaves the caller at
    // once) and returns false; `retry` runs when the answer is yes.
    bool discardAgreed(std::function<void()> retry);
    // A warning that leaves its caller at once; `then` follows its answer.
    void warn(const QString& text, std::function<void()> then = {});
    // After a failed save: another folder, or nothing when the recording
    // itself is gone.
    void askAnotherFolder();
    // Deletes the recording once the user agreed to lose it.
    void discardRecording();
    void startExport(double start, double end);
    void exportDone(bool ok);
    void cancelExport();
    // Lets go of an export under way and of what it wrote.
    void dropExport();
    void updateButtons();
    void onShowPreview();
    // Saves the recording into the output folder (converting sound first).
    void startSave();
    // Hands `source` to the worker with the settings as they are now.
    void saveTo(const QString& source, const QString& folder);
    // The save worker's decisions for `source`, named as shown in the window
    // and of this window's kind (a restored sound recording stays sound
    // whatever the settings say now).
    SelectSavePath::Request saveRequest(const QString& source, const QString& folder) const;
    void setSaving(bool saving);
    // The flag alone, reported to the session; the buttons stay as they are.
    void markSaving(bool saving);
    // Back to waiting for the user; a non-empty message is shown first.
    void saveFailed(const QString& message);

    QString m_strFile;
    VxMainWindowBase* m_pFrame = nullptr;
    bool m_bVideo = true;
    bool m_bAutoSave = false;

    QThread m_thread;
    QPointer<SelectSavePath> m_pSaver;
    SelectSavePath::Request m_request;   // the save under way
    QString m_strSaveSource;             // what the worker saves
    QString m_strConverted;              // the converted sound file
    QDateTime m_nameStamp;               // the moment the saved file is named by
    ConvertHandle m_convert;
    std::unique_ptr<EngineExport> m_export;   // a cut under way
    QString m_strCut;                         // where it is written
    bool m_bSaving = false;
    bool m_bConverting = false;
    bool m_bSaved = false;
    // The recording session took this window as its preview (it is not
    // when something else is under way); only then does it report its
    // saves and its closing there.
    bool m_bSessionPreview = false;
    bool m_bClosing = false;
    bool m_bDiscard = false;   // the user agreed to lose the recording
    QPointer<QDialog> m_pDiscardQuestion;
    QMetaObject::Connection m_connTrimCancel;
    QMetaObject::Connection m_connTrimOK;
    QMetaObject::Connection m_connExport;
    QMetaObject::Connection m_connStatus;

    QTimer* m_pProgressTimer = nullptr;
    PreviewPlayer* m_pPlayer = nullptr;
    QLabel* m_pName = nullptr;
    QLabel* m_pResolution = nullptr;
    QLabel* m_pDuration = nullptr;
    QLabel* m_pSize = nullptr;
    QLabel* m_pFolder = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pBtnCancelCut = nullptr;
    QPushButton* m_pBtnSave = nullptr;
    QPushButton* m_pBtnReRecord = nullptr;
};
