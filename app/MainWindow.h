#pragma once

#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

#include "app/MainWindowRooms.h"
#include "core/RecordTypes.h"

namespace Ui {
class MainWindow;
}
class DlgHotKeyMessage;
class DlgLockWindow;
class CameraDlg;
class DlgSnapshot;
class MainWindowBase;
class DeviceManager;
class FfFloatWindow;
class QAbstractButton;
class QAction;
class QDialog;
class QMenu;
class QState;
class QStateMachine;
class ShowPicture;
class VideoRecCtlWdg;

// The home window: first the tiles to pick what to record, then, after the
// pick, the recorder page with its sources, its region and the REC button.
// The frame window embeds its content and owns it; the window itself stays
// hidden. Requests from the tray item and recording news from the signal
// hub all arrive here.
//
// Its destructor stops the capture engine, so exactly one exists, and it
// goes before the application object.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_PROPERTY(QColor ColorHover READ colorHover WRITE setColorHover)
    Q_PROPERTY(QColor ColorNormal READ colorNormal WRITE setColorNormal)
    Q_PROPERTY(QColor ColorBacHover READ colorBacHover WRITE setColorBacHover)
    Q_PROPERTY(QColor ColorBacNormal READ colorBacNormal WRITE setColorBacNormal)
    Q_PROPERTY(QString watermark READ watermark WRITE setWatermark)
    Q_PROPERTY(int ElideWindowRecord READ elideWindowRecord WRITE setElideWindowRecord)

public:
    // What the video area shows: a region, a single window, several windows.
    enum BtnWinState {
        BtnWin_Region = 0,
        BtnWin_Single = 1,
        BtnWin_Multiple = 2
    };

    // The save-as question of a screenshot: (parent, caption, proposed
    // path, filters, in/out selected filter) -> chosen path, empty when
    // cancelled. QFileDialog::getSaveFileName unless a test replaces it.
    using SaveFileChooser = std::function<QString(QWidget* parent, const QString& caption, const QString& path,
                                                  const QString& filters, QString* selectedFilter)>;
    static void setSaveFileChooser(const SaveFileChooser& chooser);

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void setMainWindowBase(MainWindowBase* frame);
    MainWindowBase* mainWindowBase() const { return m_pMainWindowBase; }
    QAction* preferenceAction() const;

    // Starts the capture engine and everything that needs it. Called once
    // by the frame after it embedded the window.
    void initCore();
    void initDeviceList();
    bool onCheckCanRec();
    void changeToAVContent();
    void updateComboBox();
    void releaseMachine();
    void checkAccessibily();
    void showPermissionsTips(Privacy_Setting setting, Permission_Result result);
    // Whether the permission is granted, after showing the guide when it is
    // not (and `offerGuide`).
    bool grantedAfterTips(Privacy_Setting setting, int (DeviceManager::*query)(), bool offerGuide = true);

    int recordWhat() const { return m_nRecordWhat; }
    bool isWindowPickerOpen() const;
    bool engineStarted() const { return m_bEngineStarted; }
    VideoRecCtlWdg* videoRecCtl() const;
    DlgSnapshot* snapshotEditor() const;
    // Before the program is ended from outside: a countdown is taken back,
    // a running recording is finished as a file and left for the restore
    // offer of the next start.
    void finishRecordingForQuit();
    // Closing chose the status bar: the frame goes and the floating panel
    // stands in for it until the frame shows again.
    void sendToStatusBar();
    void hideFloatWindow();
    FfFloatWindow* floatWindow() const;

    QColor colorHover() const { return m_clrHover; }
    void setColorHover(const QColor& color);
    QColor colorNormal() const { return m_clrNormal; }
    void setColorNormal(const QColor& color);
    QColor colorBacHover() const { return m_clrBacHover; }
    void setColorBacHover(const QColor& color);
    QColor colorBacNormal() const { return m_clrBacNormal; }
    void setColorBacNormal(const QColor& color);
    QString watermark() const { return m_strWatermark; }
    void setWatermark(const QString& text);
    int elideWindowRecord() const { return m_nElideWindowRecord; }
    void setElideWindowRecord(int width);

signals:
    void inited();
    void goHome();

public slots:
    // Pages and sources.
    void onShowHome();
    void onShowOption();
    void onChildeDlgShow(bool shown);
    void onSetVideoEnable(bool on);
    void onSetSysAudioEnable(bool on);
    void onSetMicEnable(bool on);
    void onSaveFramePos();
    void onLoadFramePos();
    void onChangePerset(QAbstractButton* button);
    void onPersetMgr();

    // Recording.
    void onBtnRecClicked();
    void onHotkeyStartOrStop();
    void startOrStop();
    void startRec();
    void releaseShowPic();
    void onRecordStop();
    void onCreateRecordError();

    // Hotkeys, devices, displays, tasks.
    void onHotKeyPressed(int id);
    void onHotKeyEnable(bool enable);
    void onHotkeySnap();
    void onHotkeyPauseOrResume();
    void onHotkeyRecbar();
    void onTaskStartRec(int recwhat);
    void onSetCameraEnable(bool on);
    void openCamera();
    void closeCamera();
    void onCameraRedord();
    void onbtnTakePhotoClicked();
    void onCameraChange();
    void onCameraMenu(QAbstractButton* button);
    void onCamerManager();
    void onDisplayChange();
    void onDisplayIndexChange(int index);
    void onWindowSelect();
    void onWindowSelectClose(int result);
    void onSpecialMenu(QAction* action);
    void onAroundMouseRecord(QAction* action);

    // Region and screenshots.
    void showCustomMenu();
    void onCustomMenu(QAction* action);
    void onSetFullRegionBox();
    void onSizeChange(int value);
    void onBtnLockClicked();
    void onEndSelectRegion(QRect rect);
    void onShowRegionBox();
    void onHideRegionBox();
    void onShowWindowAndRegion();
    void onHideMainWindow();
    void showWindow();
    void hidePopupDialog();
    void moveVideoCtlBar(QRect rect);
    void onBtnSnapshot();
    void releaseSnapshot();
    void onSaveSnapPic(QString tempPath, QString filter);
    void onPaintToScreen(QImage image);
    void releasePaintToScreen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyLook();
    void initAudioMeter();
    void updateAudioMeter();
    void starMachine();
    void initPersetList();
    void initCustomMenu();
    void initAroundMouseMenu();
    void showCustomSizeMenu();
    void setVideoBtnState(BtnWinState state, const QString& name);
    void initWindowState();
    void transBtnPresetMenuName();
    void selectWindow(bool fromUser);
    void chooseRecorder(int recordWhat, const QString& name);
    bool checkAudioDriver();
    void reUpdateMainData();
    // True when the permission is there (or a scheduled task runs, which
    // must not stop for a guide); otherwise runs the guide and asks again.
    bool askPermissionFor(Privacy_Setting setting, int (DeviceManager::*permission)());
    // Runs the permission guide over the frame; the dialog's result.
    int execPermissionGuide(Privacy_Setting setting, bool firstAsk);

    // Steps of the constructor.
    void connectRecorderPage();
    void connectHub();
    void initSourceSwitches();
    void connectStatusItem();

    // The start road, in the order it runs: the request enters the
    // starting phase, passes the refusals, is prepared, gets its control
    // bar and then waits for the countdown or a short pause.
    struct StartRefusal;
    static const StartRefusal kStartRefusals[];
    bool enterStarting();
    bool passStartChecks();
    bool taskLacksSources();
    void warnTaskLacksSources();
    bool cannotStartNow();
    // A recording never saved nor discarded is offered before a new one may
    // start; true when the start must not go on.
    bool unsavedRecordingKept();
    bool windowsGoneReselect();
    bool playerForbidsCapture();
    void warnForbiddenPlayer();
    void prepareStart();
    bool createControlBar();
    void waitThenStart();
    // The usage counter of the kind of recording that just began.
    void countStart();

    // The screenshot's save-as: the chosen path (empty when cancelled),
    // the editor let go, the picture written.
    QString askSnapshotTarget(QString proposed, QString* filter);
    void dropSnapshotEditor();
    static bool saveSnapshotAs(const QString& tempPath, const QString& target, const QImage& image);
    // Asks where the picture goes and starts writing it there; `editorOpen`
    // on the first round, while the editor is still to be let go.
    void askAndSaveSnapshot(const QString& tempPath, QString proposed, QString filter, bool editorOpen);
    // Writes the picture on a pool thread; the outcome comes back to
    // snapshotSaved() unless this window went first.
    void saveInBackground(const QString& tempPath, const QString& target, const QImage& image, const QString& filter);
    void snapshotSaved(const QString& tempPath, const QString& target, const QImage& image, const QString& filter,
                       bool saved);
    // Ends a start request that was refused: the session goes back to idle
    // (dropping a scheduled task's claim), an armed around- or follow-mouse
    // mode is dropped, the status item's panel comes back.
    void refuseStart();
    // Undoes a start whose preparation failed or was given up: bar gone,
    // flags clear, status item idle, the hidden menu bar, applications,
    // preferences and frame back.
    void undoStart();
    void endCountdown();
    // Recording, starting or previewing: a display change waits.
    bool displayBusy() const;
    void cancelCountdown();
    bool forbiddenPlayerRuns() const;
    // Asks whether to re-select or go on when the chosen windows are gone;
    // true to go on with the screen region.
    bool askWindowGone();
    // The start finished (recorded or not) or was refused.
    void clearMouseModes();
    bool startingRefused(const char* what) const;
    QRect setCustomRegionBox(int w, int h, bool centre);
    void setEditRect(int w, int h);
    void setEditRange(const QSize& display);
    void setTileSelected(QWidget* tile, bool selected);
    // The selected display's size; empty while the engine has not started
    // (the region set-up is skipped then).
    QSize displaySize() const;
    void hideFrame();
    // The webcam window in its recorder mode, else null.
    CameraDlg* webcamRecorder() const;
    // Deletes the webcam window now (closeCamera waits for the preview).
    void dropCamera();
    void showFrame();
    void createFloatWindow();
    // The panel's menus and switches as the home window's sources stand.
    void refreshFloatWindow();

    Ui::MainWindow* ui = nullptr;
    MainWindowBase* m_pMainWindowBase = nullptr;
    QPointer<VideoRecCtlWdg> m_pVideoRecCtl;
    QPointer<CameraDlg> m_pCameraDlg;      // the webcam window, overlay or recorder
    bool m_bReminderOpen = false;
    QStateMachine* m_pMachine = nullptr;
    QState* m_pHomeState = nullptr;
    QState* m_pContentState = nullptr;
    QPointer<DlgSnapshot> m_pDlgSnapshot;   // the screenshot editor, until its finished(int)
    ShowPicture* m_pShowPicture = nullptr;
    QMenu* m_pPresetPopup = nullptr;
    bool m_bCameraOverlayOpen = false;
    int m_nRecordWhat = RecordWhat_Home;
    int m_nPreRecordWhat = RecordWhat_Home;
    QPoint m_ptHomePage;
    QPoint m_ptContentPage;
    QColor m_clrHover;
    QColor m_clrNormal;
    QColor m_clrBacHover;
    QColor m_clrBacNormal;
    QString m_strWatermark;
    int m_nElideWindowRecord = 180;
    bool m_bAccessibilityAsked = false;
    DlgHotKeyMessage* m_pHotKeyMessage = nullptr;
    QPointer<DlgLockWindow> m_pDlgLockWindow; // the window picker while it is open
    QPointer<FfFloatWindow> m_pFloatWindow;  // made the first time the frame goes to the status bar

    bool m_bEngineStarted = false;
    // Taken when a start is accepted: the recorder consumes the around- and
    // follow-mouse settings while it prepares, but the bar's place (also
    // when the region is dragged later) depends on them for the whole
    // recording.
    bool m_bBarAtCorner = false;

    // Each room's own fields.
    RegionRoom m_region;
    RecordingRoom m_recording;
    WebcamRoom m_webcam;
    AudioMeterRoom m_audioMeter;
};
