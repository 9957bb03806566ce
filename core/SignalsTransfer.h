#pragma once

#include <QObject>
#include <QRect>

#include "HistoryFileUtils.h"

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

    // Stores the saved file at the head of the history, then announces it,
    // so a receiver that re-reads the history already finds it.
    void addHistoryFile(const QString& path, int type, const QString& resolution,
                        const QString& duration, const QString& size);

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
};
