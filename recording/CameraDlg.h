#pragma once

#include <QColor>
#include <QDateTime>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class CameraDlg;
}
class DlgPaintToScreen;
class VxMainWindowBase;
class VxComboboxViewItemDelegate;
class QTimer;

// Either the webcam recorder itself (controls, MOV into the temporary
// folder, then the preview) or the bare picture kept on top during a screen
// recording; which one is decided when it is built. The overlay's title is
// never translated, because the window list looks it up by that text.
class CameraDlg : public VxDialogBase
{
    Q_OBJECT
    Q_PROPERTY(QColor ColorHover MEMBER m_colorHover)
    Q_PROPERTY(QColor ColorNormal MEMBER m_colorNormal)
    Q_PROPERTY(QColor ColorBacHover MEMBER m_colorBacHover)
    Q_PROPERTY(QColor ColorBacNormal MEMBER m_colorBacNormal)
public:
    CameraDlg(bool onlyRecordCamera, QWidget* parent = nullptr);
    ~CameraDlg() override;

    void setMainWindowBase(VxMainWindowBase* frame);
    // The time that names photos; tests give their own.
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void resizeView();
    void startOrStop();
    void pauseOrResume();
    // Takes a photo and lets it fly out; returns at once.
    void snapshot();
    // True while a photo flies out: the window must not be closed.
    bool isSanping() const { return !m_pFlyOut.isNull(); }
    bool isRecorder() const { return m_bOnlyRecordCamera; }
    // True while this recorder's movie is being recorded or completed: the
    // window may then only be closed through close(), which keeps the movie.
    bool holdsRecording() const;
    void changeStatus(bool idle);
    void changeMicState();
    // Puts the window in the corner of the recorded area that the webcam
    // options chose, and keeps it there while the window manager frames it.
    void moveToDefaultPos();
    // "hh:mm:ss", the hours not wrapped.
    static QString timeCounter(int seconds);

signals:
    void closes(bool open);
    void cameraDlgShow();
    void moved(QRect rc);

public slots:
    void onCameraItemChanged(QString name);
    void onCameraItemChanged(int index);
    void onMoveSize(QRect rc);
    void on_btnRec_clicked();
    void on_btnStop_clicked();
    void onPause();
    void onResume();
    void onUpdateInfo();
    void showRecViewInfo();
    void onRecordingFinish(bool failed);
    void onRecordingError();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setupControls();
    void fillCameraList();
    void idleLayout();
    void setFlagsKeepingView(Qt::WindowFlags flags);
    // False once the recording was stopped for want of space.
    bool checkFreeSpace(int seconds);
    void applyStopRules(int seconds);
    void showFailure(const QString& text);
    void refuseStart(bool cameraOpen);
    // A close asked for while a recording runs or is being finished waits
    // for its preview; true when it waits.
    bool deferClose();
    void closeAfterRecording();
    void placeInCorner();
    void openPreview();
    void afterPreview(int result);
    void afterHistory();
    void flyOut(const QString& path);
    void applyComboColours();

    Ui::CameraDlg* ui;
    QPointer<VxMainWindowBase> m_pMainWindow;
    QString m_strTmpFile;
    bool m_bOnlyRecordCamera;
    bool m_bMicOn = false;
    QTimer* m_pInfoTimer = nullptr;
    Clock m_clock;
    QString m_strLastStamp;
    int m_nSameStamp = 0;
    QColor m_colorHover, m_colorNormal, m_colorBacHover, m_colorBacNormal;
    qint64 m_nFreeSize = 0;
    QPointer<DlgPaintToScreen> m_pFlyOut;   // the last photo while it flies out
    bool m_bStopping = false;       // stopped, the engine still completing the movie
    bool m_bCloseAfterStop = false; // a close waits for the recording's end
    bool m_bKeepInCorner = false;   // placed in a corner, the frame not known yet
    QSize m_placedFrame;
    VxComboboxViewItemDelegate* m_pCameraDelegate = nullptr;
};
