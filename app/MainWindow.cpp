#include "app/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QSignalTransition>
#include <QState>
#include <QStateMachine>

#include "app/FfFloatWindow.h"
#include "app/FfMenu.h"
#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/PersetMenu.h"
#include "app/RecordHistoryTool.h"
#include "app/ShowPicture.h"
#include "app/SystemStatusBar.h"
#include "capture/DlgSnapshot.h"
#include "core/RecordingSession.h"
#include "core/DesktopHider.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "preferences/CMASShortcut.h"
#include "preferences/DlgHotKeyMessage.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/DlgLockWindow.h"
#include "recording/DlgSetPermissions.h"
#include "recording/ScreenRecorder.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "ui_MainWindow.h"

// The home window's frame and pages, its look, the engine start and the
// ordered teardown, the sound sources and the permission prompts. The
// recording road, the region, screenshots and the webcam and window picker
// live in the MainWindow*.cpp files beside this one.

namespace {

const char* const kLogModule = homewindow::logModule();

QPixmap picture(const QString& path, int side)
{
    // Drawn from the vector picture at the screen's pixel ratio: sharp on
    // scaled desktops too.
    return QIcon(path).pixmap(QSize(side, side));
}

void repolish(QWidget* widget)
{
    // An own (empty) sheet makes the style read the dynamic property again.
    widget->setStyleSheet(QStringLiteral("/* */"));
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    ensurePolished();
    // The frame is not known yet: the reminder starts without a parent.
    m_pHotKeyMessage = new DlgHotKeyMessage(m_pMainWindowBase);
    applyLook();
    initAudioMeter();
    connectRecorderPage();
    connectHub();
    initSourceSwitches();
    for (QWidget* watched : {static_cast<QWidget*>(ui->frmChoseVideo), static_cast<QWidget*>(ui->frmChoseWindow),
                             static_cast<QWidget*>(ui->frmChoseAudio), static_cast<QWidget*>(ui->frmChoseWebCam),
                             static_cast<QWidget*>(ui->frmChoseSnap), static_cast<QWidget*>(ui->btnHome),
                             static_cast<QWidget*>(ui->frameAVInfo)})
        watched->installEventFilter(this);
    starMachine();

    // A scheduled start must wait while a recording or its preview runs.
    TaskManage::instance()->setBusyCheck([] { return !RecordingSession::instance()->isIdle(); });
    connectStatusItem();
}

void MainWindow::connectRecorderPage()
{
    connect(ui->frmGif, &FfButtonGifBg::clicked, this, &MainWindow::onBtnRecClicked);
    initCustomMenu();
    initAroundMouseMenu();
    connect(ui->btnFull, &QToolButton::clicked, this, &MainWindow::onSetFullRegionBox);
    connect(ui->btnCustom, &QToolButton::clicked, this, &MainWindow::showCustomMenu);
    ui->btnFull->setChecked(true);
    ui->btnCustom->setChecked(false);
    connect(ui->editWidth, QOverload<int>::of(&QSpinBox::valueChanged), this, &MainWindow::onSizeChange);
    connect(ui->editHeight, QOverload<int>::of(&QSpinBox::valueChanged), this, &MainWindow::onSizeChange);
    connect(ui->btnUseDisplay, &FfSwitchButton::clicked, this, &MainWindow::onSetVideoEnable);
    connect(ui->btnUseAudio, &FfSwitchButton::clicked, this, &MainWindow::onSetSysAudioEnable);
    connect(ui->btnUseMic, &FfSwitchButton::clicked, this, &MainWindow::onSetMicEnable);
    connect(ui->btnUseCamera, &FfSwitchButton::clicked, this, &MainWindow::onSetCameraEnable);
    if (RecordParameter::instance()->iskeepRatio())
        ui->btnLockOff->hide();
    else
        ui->btnLockOn->hide();
    connect(ui->btnLockOn, &QToolButton::clicked, this, &MainWindow::onBtnLockClicked);
    connect(ui->btnLockOff, &QToolButton::clicked, this, &MainWindow::onBtnLockClicked);
    connect(ui->btnSnapshot, &QToolButton::clicked, this, &MainWindow::onBtnSnapshot);
    connect(ui->btnTakePhoto, &QPushButton::clicked, this, &MainWindow::onbtnTakePhotoClicked);
    connect(ui->btnSelectWind, &QPushButton::clicked, this, &MainWindow::onWindowSelect);
    connect(ui->shortcutTool, &ShortcutTool::sigShowChildeDlg, this, &MainWindow::onChildeDlgShow);
    connect(ui->recordHistory, &RecordHistoryTool::sigShowChildeDlg, this, &MainWindow::onChildeDlgShow);
    initPersetList();
    connect(ui->btnPresetMenu, &QToolButton::clicked, this, [this] {
        if (QAbstractButton* button = PersetMenu::instance()->getButtonByName(ui->btnPresetMenu->text()))
            button->setChecked(true);
        ui->btnPresetMenu->showMenu();
    });
    connect(ui->btnCamera, &QPushButton::clicked, ui->btnCamera, &QPushButton::showMenu);
    connect(ui->cmbDisplay, SIGNAL(currentIndexChanged(int)), this, SLOT(onDisplayIndexChange(int)));
}

void MainWindow::connectHub()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    connect(hub, &SignalsTransfer::toHideMainWindow, this, &MainWindow::onHideMainWindow, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::toSetVideoEnable, this, [this](bool on) { ui->btnUseDisplay->setBtnChecked(on); });
    connect(hub, &SignalsTransfer::recordStop, this, &MainWindow::onRecordStop);
    // The microphone's meter and the floating panel's start follow the
    // session: both are for an idle recorder only.
    connect(RecordingSession::instance(), &RecordingSession::stateChanged, this, [this] {
        updateAudioMeter();
        refreshFloatWindow();
    });
    connect(hub, &SignalsTransfer::endSelectRegion, this, &MainWindow::onEndSelectRegion, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::toShowWindowAndRegion, this, &MainWindow::onShowWindowAndRegion);
    connect(hub, &SignalsTransfer::dockIconClicked, this, &MainWindow::showWindow);
    connect(TaskManage::instance(), &TaskManage::sigStartRecord, this, &MainWindow::onTaskStartRec,
            Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::cameraErrorOccurred, this, &MainWindow::onSetCameraEnable);
    connect(hub, &SignalsTransfer::cameraDeviceChange, this, &MainWindow::onCameraChange);
    connect(hub, &SignalsTransfer::displayChange, this, &MainWindow::onDisplayChange);
    connect(hub, &SignalsTransfer::hotKeyPressed, this, &MainWindow::onHotKeyPressed);
    connect(hub, &SignalsTransfer::hotKeyEnable, this, &MainWindow::onHotKeyEnable);
    connect(hub, &SignalsTransfer::RREndDrag, this, &MainWindow::moveVideoCtlBar, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::cameraDlgClose, this, &MainWindow::closeCamera);
    connect(hub, &SignalsTransfer::uninstallAudioDeiver, this, [this] { ui->btnUseAudio->setBtnChecked(false); });
}

void MainWindow::initSourceSwitches()
{
    DeviceManager* devices = DeviceManager::instance();
    if (devices->getAudioCaptureDeviceCount() == 0 || devices->getdAudioCaptureDeviceStatus() != 0) {
        ui->btnUseMic->setEnabled(false);
        RecordParameter::instance()->setMicEnable(false);
    }
    ui->frameRecord->setEnabled(onCheckCanRec());
    ui->btnUseAudio->setBtnOnlyOff();
    ui->btnUseCamera->setBtnOnlyOff();
    ui->btnUseDisplay->setBtnOnlyOff();
    ui->btnUseMic->setBtnOnlyOff();
}

void MainWindow::connectStatusItem()
{
    SystemStatusBar* status = SystemStatusBar::instance();
    connect(status, &SystemStatusBar::sigSnap, this, &MainWindow::onHotkeySnap);
    connect(status, &SystemStatusBar::sigStartOrStop, this, &MainWindow::onHotkeyStartOrStop);
    connect(status, &SystemStatusBar::sigPauseOrResume, this, &MainWindow::onHotkeyPauseOrResume);
    connect(status, &SystemStatusBar::sigSetting, this, &MainWindow::onShowOption);
    connect(status, &SystemStatusBar::sigHide, this, &MainWindow::onHotkeyRecbar);
    connect(status, &SystemStatusBar::sigHome, this, &MainWindow::onShowHome);
    connect(status, &SystemStatusBar::sigExit, this, &MainWindow::finishRecordingForQuit);
    connect(status, &SystemStatusBar::sigShowRecBar, this, [this] {
        // Not placed yet while the recording starts.
        if (RecordingSession::instance()->isRunning() && m_pVideoRecCtl && m_pVideoRecCtl->isHidden())
            m_pVideoRecCtl->show();
    });
}

MainWindow::~MainWindow()
{
    // No hotkey press may reach a window on its way out.
    if (m_pShowPicture)
        CMASShortcut::instance()->releaseCancelKey();
    CMASShortcut::release();
    // Everything is deleted here and now: this runs after the event loop,
    // where deferred deletes and timers would never come.
    dropCamera();
    delete m_pVideoRecCtl.data();
    delete m_pDlgSnapshot.data();
    delete m_pShowPicture;
    m_pShowPicture = nullptr;
    releaseMachine();
    delete m_pHotKeyMessage;
    m_pHotKeyMessage = nullptr;
    delete m_pPresetPopup;
    m_pPresetPopup = nullptr;
    delete m_pFloatWindow.data();
    TaskManage::instance()->setBusyCheck(nullptr);

    // The device model unregisters its listener from the engine before it
    // goes; the engine itself stops last.
    DeviceManager::release();
    RecordParameter::release();
    WindowListManger::release();
    SignalsTransfer::release();
    CameraManager::release();
    // The region box, the cross-hair and the recorder hold engine objects:
    // they go before the engine stops.
    ScreenRegion::release();
    ScreenRecorder::release();
    // Quitting in the middle of a recording never reaches its end: what it
    // put out of sight comes back here.
    if (m_bEngineStarted)
        DesktopHider::showLeftovers();
    uninitScreencast();
    delete ui;
    ui = nullptr;
}

// ---- look ------------------------------------------------------------------

void MainWindow::applyLook()
{
    QFile sheet(QStringLiteral(":/home/home.qss"));
    if (sheet.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromUtf8(sheet.readAll());
        // The content lives in the frame, the menus under this window.
        ui->centralwidget->setStyleSheet(text);
        setStyleSheet(text);
    }
    ui->label->setPixmap(picture(":/home/tile_video.svg", 64));
    ui->label_4->setPixmap(picture(":/home/tile_window.svg", 64));
    ui->label_3->setPixmap(picture(":/home/tile_audio.svg", 64));
    ui->label_2->setPixmap(picture(":/home/tile_webcam.svg", 40));
    ui->label_6->setPixmap(picture(":/home/tile_snap.svg", 40));
    ui->btnHome->setIcon(QIcon(":/home/home.svg"));
    ui->btnHome->setIconSize(QSize(20, 20));
    ui->lblDisplayIcon->setPixmap(picture(":/home/display.svg", 28));
    ui->lblIconWinRec->setPixmap(picture(":/home/window_small.svg", 24));
    ui->LblCamera->setPixmap(picture(":/home/camera.svg", 32));
    ui->btnTakePhoto->setIcon(QIcon(":/home/photo.svg"));
    ui->btnTakePhoto->setIconSize(QSize(20, 20));
    ui->lblAudio->setPixmap(picture(":/home/speaker_on.svg", 32));
    ui->lblAudioNotUse->setPixmap(picture(":/home/speaker_off.svg", 32));
    ui->lblMicorphone->setPixmap(picture(":/home/mic_on.svg", 32));
    ui->lblMicorphoneNotUsed->setPixmap(picture(":/home/mic_off.svg", 32));
    QIcon customArrow(QStringLiteral(":/home/arrow_down.svg"));
    customArrow.addFile(QStringLiteral(":/home/arrow_down_white.svg"), QSize(), QIcon::Normal, QIcon::On);
    ui->btnCustom->setIcon(customArrow);
    ui->btnCustom->setIconSize(QSize(10, 6));
    ui->btnCustom->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ui->btnCustom->setLayoutDirection(Qt::RightToLeft);
    ui->btnLockOn->setIcon(QIcon(":/home/lock_on.svg"));
    ui->btnLockOff->setIcon(QIcon(":/home/lock_off.svg"));
    ui->btnSnapshot->setIcon(QIcon(":/home/snapshot.svg"));
    ui->btnSnapshot->setIconSize(QSize(22, 22));
    ui->btnAroundMouse->setIcon(QIcon(":/home/around_mouse.svg"));
    ui->btnAroundMouse->setIconSize(QSize(22, 22));
    ui->frmGif->setNormalIcon(QStringLiteral(":/home/rec.svg"));
    ui->frmGif->setGifBg(QStringLiteral(":/widgets/rec_start.gif"));
    CMASShortcut::showHotKeyInToolTip(ui->frmGif, tr("REC"), RP_HotKey_Stop);
    CMASShortcut::showHotKeyInToolTip(ui->btnSnapshot, tr("Screenshot"), RP_HotKey_Snapshot);
    ui->lblAudioImage->setPixmap(QIcon(":/home/audio_wave.svg").pixmap(QSize(360, 96)));

    // Until a mode applies its switches, every source reads "off".
    ui->frameAudioImage->hide();
    ui->frmBtnSelectWind->hide();
    ui->frmlblWinRec->hide();
    ui->frmlblWinRec_2->hide();
    ui->btnCameraNotUse->hide();
    ui->lblAudio->hide();
    ui->lblAudioName->setEnabled(false);
    ui->lblMicorphone->hide();
    ui->lblMicName->setEnabled(false);
}

void MainWindow::setColorHover(const QColor& color)
{
    if (m_clrHover != color)
        m_clrHover = color;
}

void MainWindow::setColorNormal(const QColor& color)
{
    if (m_clrNormal != color)
        m_clrNormal = color;
}

void MainWindow::setColorBacHover(const QColor& color)
{
    if (m_clrBacHover != color)
        m_clrBacHover = color;
}

void MainWindow::setColorBacNormal(const QColor& color)
{
    if (m_clrBacNormal != color)
        m_clrBacNormal = color;
}

void MainWindow::setWatermark(const QString& text)
{
    if (m_strWatermark != text)
        m_strWatermark = text;
}

void MainWindow::setElideWindowRecord(int width)
{
    if (m_nElideWindowRecord != width)
        m_nElideWindowRecord = width;
}

// ---- frame -----------------------------------------------------------------

void MainWindow::setMainWindowBase(MainWindowBase* frame)
{
    if (!frame)
        return;
    m_pMainWindowBase = frame;
    ui->recordHistory->setMainWindowBase(frame);
    // Its showing and hiding decide whether the page's level meter runs.
    frame->installEventFilter(this);
}

QAction* MainWindow::preferenceAction() const
{
    return ui->actionOptions;
}

bool MainWindow::isWindowPickerOpen() const
{
    return !m_pDlgLockWindow.isNull();
}

void MainWindow::hideFrame()
{
    if (isWindowPickerOpen() || !m_pMainWindowBase)
        return;
    m_pMainWindowBase->saveWindowPos();
    m_pMainWindowBase->hide();
}

void MainWindow::showFrame()
{
    if (m_pMainWindowBase)
        m_pMainWindowBase->show();
}

void MainWindow::onSaveFramePos()
{
    m_ptHomePage = ui->frameChoseContent->pos();
    m_ptContentPage = ui->frameAVContent->pos();
}

void MainWindow::onLoadFramePos()
{
    ui->frameChoseContent->move(m_ptHomePage);
    ui->frameAVContent->move(m_ptContentPage);
    ui->btnUseAudio->onSkinChange();
    ui->btnUseCamera->onSkinChange();
    ui->btnUseDisplay->onSkinChange();
    ui->btnUseMic->onSkinChange();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        PersetMenu::instance()->changeLanguage();
        transBtnPresetMenuName();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing is the frame's business; this window is never shown.
    event->ignore();
}

// ---- engine ----------------------------------------------------------------

void MainWindow::initCore()
{
    m_bEngineStarted = initScreencast();
    if (!m_bEngineStarted) {
        // No display to measure: the region, the ranges and the device
        // lists stay unset rather than being computed from 0 x 0.
        Log(kLogModule, LogLevel::Info, "initScreencast failed");
        return;
    }
    Utils::setLineColor();
    // A run that ended in the middle of a recording may have left other
    // programs' windows out of sight.
    DesktopHider::showLeftovers();
    DeviceManager::instance()->setUseDisplay(RecordParameter::instance()->getUseDisplayIndex());
    const QSize display = displaySize();
    if (!display.isEmpty())
        setEditRange(display);
    showCustomSizeMenu();
    initDeviceList();
    if (DeviceManager::instance()->getAudioCaptureDeviceCount() == 0)
        ui->frameMicrophone->setEnabled(false);
    // The key grab lives in the engine: only now can the hotkeys be taken.
    CMASShortcut* shortcuts = CMASShortcut::instance();
    shortcuts->reload();
    for (int id : shortcuts->failedHotKeys())
        Log(kLogModule, LogLevel::Info, "hotkey %d is held by another program", id);
}

void MainWindow::initDeviceList()
{
    onCameraChange();
    onDisplayChange();
}

QSize MainWindow::displaySize() const
{
    if (!m_bEngineStarted)
        return QSize();
    const QRect display = DeviceManager::instance()->getSelectedDisplayRect();
    return display.isEmpty() ? QSize() : display.size();
}

// ---- pages -------------------------------------------------------------------

void MainWindow::starMachine()
{
    if (m_pMachine)
        return;
    const int w = ui->frameChoseContent->width();
    const int h = ui->frameChoseContent->height();
    ui->frameChoseContent->setGeometry(0, 0, w, h);
    ui->frameAVContent->setGeometry(w, 0, w, h);

    m_pMachine = new QStateMachine();
    m_pHomeState = new QState(m_pMachine);
    m_pHomeState->assignProperty(ui->frameChoseContent, "geometry", QRect(0, 0, w, h));
    m_pHomeState->assignProperty(ui->frameAVContent, "geometry", QRect(w, 0, w, h));
    m_pContentState = new QState(m_pMachine);
    m_pContentState->assignProperty(ui->frameChoseContent, "geometry", QRect(-w, 0, w, h));
    m_pContentState->assignProperty(ui->frameAVContent, "geometry", QRect(0, 0, w, h));

    QSignalTransition* forward = m_pHomeState->addTransition(this, &MainWindow::inited, m_pContentState);
    forward->addAnimation(new QPropertyAnimation(ui->frameChoseContent, "geometry", m_pMachine));
    forward->addAnimation(new QPropertyAnimation(ui->frameAVContent, "geometry", m_pMachine));
    QSignalTransition* back = m_pContentState->addTransition(this, &MainWindow::goHome, m_pHomeState);
    back->addAnimation(new QPropertyAnimation(ui->frameChoseContent, "geometry", m_pMachine));
    back->addAnimation(new QPropertyAnimation(ui->frameAVContent, "geometry", m_pMachine));

    m_pMachine->setInitialState(m_pHomeState);
    m_pMachine->start();
}

void MainWindow::releaseMachine()
{
    if (!m_pMachine)
        return;
    m_pMachine->stop();
    // The states and animations are the machine's children.
    delete m_pMachine;
    m_pMachine = nullptr;
    m_pHomeState = nullptr;
    m_pContentState = nullptr;
}

void MainWindow::setTileSelected(QWidget* tile, bool selected)
{
    tile->setProperty("selected", selected);
    repolish(tile);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == m_pMainWindowBase && (type == QEvent::Show || type == QEvent::Hide)) {
        updateAudioMeter();
        return QMainWindow::eventFilter(watched, event);
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    const bool press = type == QEvent::MouseButtonPress;

    struct Tile
    {
        QWidget* tile;
        QWidget* icon;
        QWidget* text;
        int recordWhat;
    };
    const Tile tiles[] = {
        {ui->frmChoseVideo, ui->label, ui->lblVideoText, RecordWhat_Video},
        {ui->frmChoseWindow, ui->label_4, ui->lblWindowtext, RecordWhat_Window},
        {ui->frmChoseAudio, ui->label_3, ui->lblAudioText, RecordWhat_Audio},
        {ui->frmChoseWebCam, ui->label_2, ui->lblCamText, RecordWhat_Webcam},
        {ui->frmChoseSnap, ui->label_6, ui->lblSnapText, RecordWhat_Home},
    };
    for (const Tile& t : tiles) {
        if (watched != t.tile)
            continue;
        const bool recorderTile = t.tile != ui->frmChoseWebCam && t.tile != ui->frmChoseSnap;
        if (press) {
            setTileSelected(t.tile, true);
            setTileSelected(t.icon, recorderTile);
            setTileSelected(t.text, recorderTile);
            return QMainWindow::eventFilter(watched, event);
        }
        setTileSelected(t.tile, false);
        setTileSelected(t.icon, false);
        setTileSelected(t.text, false);
        m_nPreRecordWhat = RecordWhat_Home;
        if (t.tile == ui->frmChoseSnap) {
            m_nRecordWhat = RecordWhat_Home;
            onBtnSnapshot();
        } else if (t.tile == ui->frmChoseWebCam) {
            m_nRecordWhat = RecordWhat_Webcam;
            onCameraRedord();
        } else if (t.recordWhat == RecordWhat_Video) {
            chooseRecorder(RecordWhat_Video, tr("Video Recorder"));
        } else if (t.recordWhat == RecordWhat_Window) {
            chooseRecorder(RecordWhat_Window, tr("Window Recorder"));
        } else {
            chooseRecorder(RecordWhat_Audio, tr("Audio Recorder"));
        }
        return QMainWindow::eventFilter(watched, event);
    }

    if (watched == ui->btnHome && !press) {
        onShowHome();
    } else if (watched == ui->frameAVInfo && press) {
        if (ui->editWidth->hasFocus())
            ui->editWidth->clearFocus();
        if (ui->editHeight->hasFocus())
            ui->editHeight->clearFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::chooseRecorder(int recordWhat, const QString& name)
{
    m_nRecordWhat = recordWhat;
    if (QAbstractButton* button = PersetMenu::instance()->getButtonByName(name))
        button->setChecked(true);
    ui->btnPresetMenu->setText(name);
    if (m_pMainWindowBase)
        m_pMainWindowBase->saveWindowPos();
    emit inited();
    SystemStatusBar::instance()->setHomeEnable(true);
    changeToAVContent();
}

void MainWindow::onShowHome()
{
    m_nRecordWhat = RecordWhat_Home;
    if (RecordParameter::instance()->getVideoEnable())
        ScreenRegion::instance()->hideRegionBox();
    closeCamera();
    emit goHome();
    onCheckCanRec();
    SystemStatusBar::instance()->setHomeEnable(false);
}

void MainWindow::onShowOption()
{
    if (RecordParameter::instance()->isOnlyRecordCamera())
        return;
    ui->shortcutTool->showOptionDlg(SETTINGPAGE_Record);
}

void MainWindow::onChildeDlgShow(bool shown)
{
    if (m_pDlgSnapshot)
        return;
    RecordParameter* params = RecordParameter::instance();
    const bool regionShown = (params->getVideoEnable() && m_nRecordWhat == RecordWhat_Video)
        || (m_nRecordWhat == RecordWhat_Window && params->getWindowModle() != WindowModle_Single);
    if (shown) {
        showFrame();
        if (regionShown && !displaySize().isEmpty())
            ScreenRegion::instance()->showRegionBox(params->getVideoRect());
        if (m_pCameraDlg && !params->isOnlyRecordCamera())
            m_pCameraDlg->show();
    } else {
        if (regionShown)
            ScreenRegion::instance()->hideRegionBox();
        if (m_pMainWindowBase)
            m_pMainWindowBase->hide();
        if (m_pCameraDlg && !params->isOnlyRecordCamera())
            m_pCameraDlg->hide();
    }
}

bool MainWindow::onCheckCanRec()
{
    const RecordParameter* params = RecordParameter::instance();
    bool can = false;
    switch (m_nRecordWhat) {
    case RecordWhat_Window:
        can = true;
        break;
    case RecordWhat_Audio:
        can = params->getMicEnable() || params->getSysAudioEnable();
        break;
    case RecordWhat_Video:
        can = params->getVideoEnable() || params->getMicEnable() || params->getSysAudioEnable()
            || params->getCamerastream();
        break;
    default:
        break;
    }
    SystemStatusBar::instance()->setCanRec(can);
    return can;
}

void MainWindow::changeToAVContent()
{
    RecordParameter* params = RecordParameter::instance();
    VxSettings* settings = VxSettings::instance();
    params->setWindowRecord(false);
    switch (m_nRecordWhat) {
    case RecordWhat_Webcam:
        onCameraRedord();
        break;
    case RecordWhat_Audio:
        if (params->getVideoEnable())
            ScreenRegion::instance()->hideRegionBox();
        closeCamera();
        params->chooseVideoContent(false);
        params->setAudioOnly(true);
        ui->frameAudioImage->show();
        ui->frameVideo->hide();
        ui->frameCamera->hide();
        ui->btnAroundMouse->hide();
        ui->btnUseCamera->setBtnOnlyOff();
        ui->btnUseDisplay->setBtnOnlyOff();
        ui->btnUseMic->setBtnChecked(settings->applicationParam("Audio/MicEnable", false).toBool());
        if (!checkAudioDriver())
            ui->btnUseAudio->setBtnOnlyOff();
        else
            ui->btnUseAudio->setBtnChecked(settings->applicationParam("Audio/AudioEnable", true).toBool());
        break;
    case RecordWhat_Video:
    case RecordWhat_Window:
        params->chooseVideoContent(true);
        params->setAudioOnly(false);
        params->setOnlyRecordCamera(false);
        ui->frameAudioImage->hide();
        ui->frameVideo->show();
        ui->frameCamera->show();
        ui->btnAroundMouse->show();
        ui->btnUseCamera->setBtnChecked(settings->applicationParam("CameraEnable", false).toBool());
        ui->btnUseMic->setBtnChecked(settings->applicationParam("Video/MicEnable", false).toBool());
        if (DeviceManager::instance()->checkVirtualAudioDriver())
            ui->btnUseAudio->setBtnChecked(settings->applicationParam("Video/AudioEnable", true).toBool());
        else
            ui->btnUseAudio->setBtnChecked(false);
        if (m_nRecordWhat == RecordWhat_Window) {
            ui->btnUseDisplay->setBtnChecked(true);
            initWindowState();
            selectWindow(false);
        } else {
            ui->btnUseDisplay->setBtnChecked(settings->applicationParam("VideoEnable", true).toBool());
            setVideoBtnState(BtnWin_Region, QString());
        }
        break;
    default:
        break;
    }
    updateAudioMeter();
}

void MainWindow::initPersetList()
{
    PersetMenu* presets = PersetMenu::instance();
    m_pPresetPopup = new QMenu();
    m_pPresetPopup->setObjectName(QStringLiteral("menuPreset"));
    m_pPresetPopup->setStyleSheet(styleSheet());
    m_pPresetPopup->addAction(presets);
    ui->btnPresetMenu->setMenu(m_pPresetPopup);
    connect(presets->getPersetMenu(), &FfMenu::buttonClicked, this, &MainWindow::onChangePerset);
    connect(presets->getPersetMenu(), &FfMenu::manageClicked, this, &MainWindow::onPersetMgr);
}

void MainWindow::onChangePerset(QAbstractButton* button)
{
    if (!button)
        return;
    m_nPreRecordWhat = m_nRecordWhat;
    m_nRecordWhat = PersetMenu::instance()->getChooseWhat(button->text());
    if (m_nRecordWhat >= RecordWhat_Video && m_nRecordWhat <= RecordWhat_Window)
        ui->btnPresetMenu->setText(button->text());
    if (m_nRecordWhat != m_nPreRecordWhat)
        changeToAVContent();
    if (m_pPresetPopup)
        m_pPresetPopup->hide();
}

void MainWindow::onPersetMgr()
{
    // Presets of one's own have no manager yet.
}

void MainWindow::transBtnPresetMenuName()
{
    switch (m_nRecordWhat) {
    case RecordWhat_Video:
        ui->btnPresetMenu->setText(tr("Video Recorder"));
        break;
    case RecordWhat_Window:
        ui->btnPresetMenu->setText(tr("Window Recorder"));
        break;
    case RecordWhat_Audio:
        ui->btnPresetMenu->setText(tr("Audio Recorder"));
        break;
    default:
        break;
    }
    switch (RecordParameter::instance()->getWindowModle()) {
    case WindowModle_Multiple:
        ui->btnSelectWind->setText(tr("Multiple Windows"));
        break;
    case WindowModle_Exclude:
        ui->btnSelectWind->setText(tr("Exclude Windows"));
        break;
    case WindowModle_Single:
        ui->btnSelectWind->setText(tr("Single Window"));
        break;
    default:
        break;
    }
}

void MainWindow::onSetSysAudioEnable(bool on)
{
    bool result = on;
    if (on && !checkAudioDriver()) {
        ui->btnUseAudio->setBtnOnlyOff();
        result = false;
    }
    RecordParameter::instance()->setSysAudioEnable(result);
    ui->lblAudio->setVisible(result);
    ui->lblAudioName->setEnabled(result);
    ui->lblAudioNotUse->setVisible(!result);
    ui->frameRecord->setEnabled(onCheckCanRec());
}

void MainWindow::onSetMicEnable(bool on)
{
    bool result = on;
    if (on) {
        if (!grantedAfterTips(Privacy_Microphone, &DeviceManager::isPermissionMicrophone)
            || DeviceManager::instance()->getdAudioCaptureDeviceStatus() != 0) {
            ui->btnUseMic->setBtnOnlyOff();
            result = false;
        }
    }
    RecordParameter::instance()->setMicEnable(result);
    ui->lblMicName->setEnabled(result);
    ui->lblMicorphone->setVisible(result);
    ui->lblMicorphoneNotUsed->setVisible(!result);
    ui->frameRecord->setEnabled(onCheckCanRec());
    updateAudioMeter();
}

// ---- permissions ---------------------------------------------------------------

bool MainWindow::grantedAfterTips(Privacy_Setting setting, int (DeviceManager::*query)(), bool offerGuide)
{
    DeviceManager* devices = DeviceManager::instance();
    const int permission = (devices->*query)();
    if (permission == Permission_Authorized)
        return true;
    if (offerGuide)
        showPermissionsTips(setting, Permission_Result(permission));
    return (devices->*query)() == Permission_Authorized;
}

void MainWindow::checkAccessibily()
{
    if (m_bAccessibilityAsked)
        return;
    // Checked first: the frame only steps aside when the guide will show.
    if (DeviceManager::instance()->isPermissionMouseEvent() == Permission_Authorized)
        return;
    m_bAccessibilityAsked = true;
    if (m_pMainWindowBase)
        m_pMainWindowBase->hide();
    execPermissionGuide(Privacy_Accessibility, true);
    showFrame();
}

void MainWindow::showPermissionsTips(Privacy_Setting setting, Permission_Result result)
{
    ScreenRegion::instance()->hideRegionBox();
    hideFrame();
    if (execPermissionGuide(setting, result == Permission_NotDetermined) == QDialog::Rejected)
        showFrame();
}

int MainWindow::execPermissionGuide(Privacy_Setting setting, bool firstAsk)
{
    DlgSetPermissions guide(nullptr);
    guide.setMainWindow(m_pMainWindowBase);
    guide.setshowGuide(setting, firstAsk);
    return guide.exec();
}
