#pragma once

#include <QObject>
#include <QRect>

#include <QList>
#include <QPointer>

#include <functional>
#include <mutex>

#include "core/HistoryFileUtils.h"

// The program-wide signal hub. Engine threads, the hotkey handler and several
// dialogs emit here; windows connect here, so none of them needs to know the
// others. Create it on the GUI thread before the engine starts: receivers on
// the GUI thread then get engine-thread emissions queued.
class SignalsTransfer : public QObject
{
    Q_OBJECT
public:
    static SignalsTransfer* instance();
    static void release();

    // The hub for threads other than the GUI thread: never creates it (a hub
    // created on an engine thread would live on that thread, and one created
    // after release() would outlive the shutdown). While the handle is held,
    // release() waits, so the hub cannot be deleted under an emission. Hold
    // it only for the emission itself.
    class Existing
    {
    public:
        SignalsTransfer* operator->() const { return m_pHub; }
        SignalsTransfer* get() const { return m_pHub; }
        explicit operator bool() const { return m_pHub != nullptr; }

    private:
        friend class SignalsTransfer;
        Existing(std::unique_lock<std::recursive_mutex> lock, SignalsTransfer* hub)
            : m_lock(std::move(lock)), m_pHub(hub) {}
        std::unique_lock<std::recursive_mutex> m_lock;
        SignalsTransfer* m_pHub;
    };
    static Existing existing();

    // The history is written before the signal goes out: receivers reload
    // it and must find the new entry there.
    void addHistoryFile(const QString& path, int type, const QString& resolution,
                        const QString& duration, const QString& size);

    // Emits showHistory, and runs `then` from the event loop once the history
    // window is closed again, or at once when nothing opened it. Nothing
    // waits in a loop meanwhile; `then` is dropped when `context` goes first.
    // GUI thread only.
    void showHistoryThen(QObject* context, std::function<void()> then);
    // The history window tells here when it opens and when it is gone.
    void setHistoryOpen(bool open);
    bool isHistoryOpen() const { return m_bHistoryOpen; }

signals:
    void toHideMainWindow();
    void RRBeginDrag();
    void RREndDrag(QRect rect);
    void toShowWindowAndRegion();
    void endSelectRegion(QRect rect);
    void recordStop();
    void recordErrorOccur(int code);
    void cameraDeviceChange();
    void cameraErrorOccurred(bool error);
    void cameraRecordError();
    void cameraRecordFinish(bool failed);
    void audioRenderChange();
    void audioCaptureChange();
    void displayChange();
    void cameraDlgClose();
    void hotKeyPressed(int id);
    void hotKeyEnable(bool enable);
    void canvasNumChange(int number);
    void showHistory();
    void dockIconClicked();
    void onAddHistoryFile(const HistoryFileUtils::HistoryFile& file);
    void OnTrimCancel();
    void OnTrimOK(double start, double end);
    void OnExportCompleted(bool ok);
    void OnStatueChanged(int status);
    void uninstallAudioDeiver();
    void toSetVideoEnable(bool enable);

private:
    SignalsTransfer();
    ~SignalsTransfer() override = default;

    void releaseHistoryWaiters();

    struct HistoryWaiter
    {
        QPointer<QObject> context;
        std::function<void()> then;
    };
    QList<HistoryWaiter> m_historyWaiters;
    bool m_bHistoryOpen = false;
};
