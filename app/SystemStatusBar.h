#pragma once

#include <QList>
#include <QPixmap>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>

#include "core/RecordTypes.h"
#include "core/StatusItem.h"

class FrmTrayMenu;
class QAction;
class QMenu;
class QTimer;
class QWidgetAction;

// The icon file name for the product's brand: one brand keeps its own
// variant of every status icon.
QString adjustFileName(const QString& path);

// The program's status-bar (tray) item. The icon shows whether a recording
// runs, is paused or is being previewed; a click opens the menu with the
// panel FrmTrayMenu once the double-click interval has passed, a double
// click (or a middle click) brings back the window that fits the moment. It only raises signals: the windows
// act on them, and the recording parts push state and figures into it.
//
// Where no tray exists (a bare X server) the item is never shown, but it
// keeps its state and its signals work the same.
class SystemStatusBar : public QSystemTrayIcon, public StatusItem
{
    Q_OBJECT
public:
    static SystemStatusBar* instance();
    static void release();

    void setSysBarState(SysBarState state) override;
    SysBarState sysBarState() const { return m_eState; }

    void setNormalIcon(const QString& path);
    void setPauseIcon(const QString& path);
    // One or more paths separated by ";", one animation frame each.
    void setRecordingIcon(const QString& paths);
    QString normalIcon() const { return m_strNormalIcon; }
    QString pauseIcon() const { return m_strPauseIcon; }
    QString recordingIcon() const { return m_strRecordingIcon; }
    int recordingFrameCount() const { return m_lstRecordingFrames.size(); }

    void setRecordInfo(const QString& duration, const QString& size) override;
    void setActionEnable(bool enable) override;
    bool actionEnable() const { return m_bActionEnable; }
    void setCanRec(bool can);
    void setHomeEnable(bool enable);
    void setStopEnable(bool enable) override;
    QMetaObject::Connection connectShowPreview(QObject* receiver, std::function<void()> slot) override;

    void changeLanguage();
    void updateTrayStatus();

    // The wall-clock second that picks the animation frame; replaceable so
    // the animation can be driven without waiting for the clock.
    void setSecondSource(std::function<int()> source);

signals:
    void sigSnap();
    void sigStartOrStop();
    void sigPauseOrResume();
    void sigSetting();
    void sigHome();
    void sigShowMain();
    void sigHide();
    void sigShowPreview();
    void sigShowRecBar();
    void sigShowCamera();
    // The menu's Exit, just before the program quits.
    void sigExit();

public slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onRecTimerOut();

private slots:
    void onPanelStartOrStop();
    void onPanelSetting();
    void onPanelHome();

private:
    SystemStatusBar();
    ~SystemStatusBar() override;

    void onDoubleClick();
    void onSingleClick();
    static QIcon loadIcon(const QString& path);

    QMenu* m_pMenu = nullptr;
    bool m_bActionEnable = true;
    QString m_strNormalIcon;
    QString m_strRecordingIcon;
    QString m_strPauseIcon;
    QList<QPixmap> m_lstRecordingFrames;
    QTimer* m_pTimer = nullptr;
    QTimer* m_pClickTimer = nullptr;   // a single click waiting for a second one
    QAction* m_pFloatPanelAction = nullptr;
    QAction* m_pExitAction = nullptr;
    QAction* m_pSeparator = nullptr;
    QWidgetAction* m_pPanelAction = nullptr;
    FrmTrayMenu* m_pPanel = nullptr;
    SysBarState m_eState = SysBar_Idle;
    bool m_bCanRec = false;
    bool m_bHomeEnable = false;
    std::function<int()> m_secondSource;
};
