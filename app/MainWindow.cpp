#include "app/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QImageReader>
#include <QImageWriter>
#include <QMenu>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSignalTransition>
#include <QState>
#include <QStateMachine>
#include <QTimer>

#include "core/CEIPWrapper.h"
#include "preferences/CMASShortcut.h"
#include "core/DeviceManager.h"
#include "preferences/DlgHotKeyMessage.h"
#include "capture/DlgPaintToScreen.h"
#include "recording/DlgSetPermissions.h"
#include "capture/DlgSnapshot.h"
#include "feedback/FeedBackDialog.h"
#include "app/FfMenu.h"
#include "platform/log/Log.h"
#include "app/MainWindowBase.h"
#include "core/OSServiceUtils.h"
#include "app/PersetMenu.h"
#include "app/RecordHistoryTool.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "recording/ScreenRegion.h"
#include "app/ShowPicture.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "recording/VideoRecCtlWdg.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "core/WindowListManger.h"
#include "ui_MainWindow.h"

namespace {

const char* const kLogModule = "MainWindow";
const char* const kVideoRectKey = "VideoLast/VideoRect";
const int kMinRegionSide = 64;

QPixmap picture(const QString& path, int side)
{
    // Drawn from the vector picture at the screen's pixel ratio: sharp on
    // scaled desktops too.
    return QIcon(path).pixmap(QSize(side, side));
}

QString productName()
{
    return VxProductInfo::instance()->productName("");
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

    SignalsTransfer* hub = SignalsTransfer::instance();
    RecordParameter* params = RecordParameter::instance();

    connect(ui->frmGif, &FfButtonGifBg::clicked, this, &MainWindow::onBtnRecClicked);
    initCustomMenu();
    initAroundMouseMenu();
    connect(ui->btnFull, &QToolButton::clicked, this, &MainWindow::onSetFullRegionBox);
    connect(ui->btnCustom, &QToolButton::clicked, this, &MainWindow::showCustomMenu);
    ui->btnFull->setChecked(true);
    ui->btnCustom->setChecked(false);
    connect(ui->editWidth, QOverload<int>::of(&QSpinBox::valueChanged), this, &MainWindow::onSizeChange);
    connect(ui->editHeight, QOverload<int>::of(&QSpinBox::valueChanged), this, &MainWindow::onSizeChange);
    connect(hub, &SignalsTransfer::toHideMainWindow, this, &MainWindow::onHideMainWindow, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::toSetVideoEnable, this, [this](bool on) { ui->btnUseDisplay->setBtnChecked(on); });
    connect(ui->btnUseDisplay, &FfSwitchButton::clicked, this, &MainWindow::onSetVideoEnable);
    connect(ui->btnUseAudio, &FfSwitchButton::clicked, this, &MainWindow::onSetSysAudioEnable);
    connect(ui->btnUseMic, &FfSwitchButton::clicked, this, &MainWindow::onSetMicEnable);
    connect(ui->btnUseCamera, &FfSwitchButton::clicked, this, &MainWindow::onSetCameraEnable);
    connect(hub, &SignalsTransfer::recordStop, this, &MainWindow::onRecordStop);
    connect(hub, &SignalsTransfer::endSelectRegion, this, &MainWindow::onEndSelectRegion, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::toShowWindowAndRegion, this, &MainWindow::onShowWindowAndRegion);
    connect(hub, &SignalsTransfer::dockIconClicked, this, &MainWindow::showWindow);
    if (params->iskeepRatio())
        ui->btnLockOff->hide();
    else
        ui->btnLockOn->hide();
    connect(ui->btnLockOn, &QToolButton::clicked, this, &MainWindow::onBtnLockClicked);
    connect(ui->btnLockOff, &QToolButton::clicked, this, &MainWindow::onBtnLockClicked);
    connect(ui->btnSnapshot, &QToolButton::clicked, this, &MainWindow::onBtnSnapshot);
    connect(ui->btnTakePhoto, &QPushButton::clicked, this, &MainWindow::onbtnTakePhotoClicked);
    connect(ui->btnSelectWind, &QPushButton::clicked, this, &MainWindow::onWindowSelect);
    ui->btnSelectWind->setToolTip(tr("Choosing windows is not available yet."));
    connect(TaskManage::instance(), &TaskManage::sigStartRecord, this, &MainWindow::onTaskStartRec,
            Qt::QueuedConnection);
    connect(ui->shortcutTool, &ShortcutTool::sigShowChildeDlg, this, &MainWindow::onChildeDlgShow);
    connect(ui->recordHistory, &RecordHistoryTool::sigShowChildeDlg, this, &MainWindow::onChildeDlgShow);
    initPersetList();
    connect(ui->btnPresetMenu, &QToolButton::clicked, this, [this] {
        if (QAbstractButton* button = PersetMenu::instance()->getButtonByName(ui->btnPresetMenu->text()))
            button->setChecked(true);
        ui->btnPresetMenu->showMenu();
    });
    connect(hub, &SignalsTransfer::cameraErrorOccurred, this, &MainWindow::onSetCameraEnable);
    connect(hub, &SignalsTransfer::cameraDeviceChange, this, &MainWindow::onCameraChange);
    connect(hub, &SignalsTransfer::displayChange, this, &MainWindow::onDisplayChange);
    connect(ui->btnCamera, &QPushButton::clicked, ui->btnCamera, &QPushButton::showMenu);
    connect(ui->cmbDisplay, SIGNAL(currentIndexChanged(int)), this, SLOT(onDisplayIndexChange(int)));
    connect(hub, &SignalsTransfer::hotKeyPressed, this, &MainWindow::onHotKeyPressed);
    connect(hub, &SignalsTransfer::hotKeyEnable, this, &MainWindow::onHotKeyEnable);
    connect(hub, &SignalsTransfer::RREndDrag, this, &MainWindow::moveVideoCtlBar, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::cameraDlgClose, this, &MainWindow::closeCamera);
    connect(hub, &SignalsTransfer::uninstallAudioDeiver, this, [this] { ui->btnUseAudio->setBtnChecked(false); });

    DeviceManager* devices = DeviceManager::instance();
    if (devices->getAudioCaptureDeviceCount() == 0 || devices->getdAudioCaptureDeviceStatus() != 0) {
        ui->btnUseMic->setEnabled(false);
        params->setMicEnable(false);
    }

    ui->frameRecord->setEnabled(onCheckCanRec());
    ui->btnUseAudio->setBtnOnlyOff();
    ui->btnUseCamera->setBtnOnlyOff();
    ui->btnUseDisplay->setBtnOnlyOff();
    ui->btnUseMic->setBtnOnlyOff();

    for (QWidget* watched : {static_cast<QWidget*>(ui->frmChoseVideo), static_cast<QWidget*>(ui->frmChoseWindow),
                             static_cast<QWidget*>(ui->frmChoseAudio), static_cast<QWidget*>(ui->frmChoseWebCam),
                             static_cast<QWidget*>(ui->frmChoseSnap), static_cast<QWidget*>(ui->btnHome),
                             static_cast<QWidget*>(ui->frameAVInfo)})
        watched->installEventFilter(this);
    starMachine();

    // A scheduled start must wait while a recording or its preview runs.
    TaskManage::instance()->setBusyCheck([] {
        const RecordParameter* p = RecordParameter::instance();
        return p->m_bRecording || p->m_bPreviewing;
    });

    SystemStatusBar* status = SystemStatusBar::instance();
    connect(status, &SystemStatusBar::sigSnap, this, &MainWindow::onHotkeySnap);
    connect(status, &SystemStatusBar::sigStartOrStop, this, &MainWindow::onHotkeyStartOrStop);
    connect(status, &SystemStatusBar::sigPauseOrResume, this, &MainWindow::onHotkeyPauseOrResume);
    connect(status, &SystemStatusBar::sigSetting, this, &MainWindow::onShowOption);
    connect(status, &SystemStatusBar::sigHide, this, &MainWindow::onHotkeyRecbar);
    connect(status, &SystemStatusBar::sigHome, this, &MainWindow::onShowHome);
    connect(status, &SystemStatusBar::sigShowRecBar, this, [this] {
        // Not placed yet while the recording starts.
        if (m_eRoadState == Road_Recording && m_pVideoRecCtl && m_pVideoRecCtl->isHidden())
            m_pVideoRecCtl->show();
    });
}

MainWindow::~MainWindow()
{
    // No hotkey press may reach a window on its way out.
    CMASShortcut::release();
    // Everything is deleted here and now: this runs after the event loop,
    // where deferred deletes and timers would never come.
    closeCamera();
    delete m_pVideoRecCtl.data();
    delete m_pDlgSnapshot.data();
    delete m_pShowPicture;
    m_pShowPicture = nullptr;
    releaseMachine();
    delete m_pHotKeyMessage;
    m_pHotKeyMessage = nullptr;
    delete m_pPresetPopup;
    m_pPresetPopup = nullptr;
    TaskManage::instance()->setBusyCheck(nullptr);

    // The device model unregisters its listener from the engine before it
    // goes; the engine itself stops last.
    DeviceManager::release();
    RecordParameter::release();
    WindowListManger::release();
    SignalsTransfer::release();
    // The region box, the cross-hair and the recorder hold engine objects:
    // they go before the engine stops.
    ScreenRegion::release();
    ScreenRecorder::release();
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
    ui->frmGif->setToolTip(tr("REC"));
    ui->btnSnapshot->setToolTip(tr("Screenshot"));
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

void MainWindow::updateComboBox()
{
    // The display list keeps the platform's item painter until the
    // program's own painter exists; nothing to hand the colours to yet.
}

// ---- frame -----------------------------------------------------------------

void MainWindow::setMainWindowBase(MainWindowBase* frame)
{
    if (!frame)
        return;
    m_pMainWindowBase = frame;
    ui->recordHistory->setMainWindowBase(frame);
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
        Log(kLogModule, 1, "initScreencast failed");
        return;
    }
    Utils::setLineColor();
    DeviceManager::instance()->setUseDisplay(RecordParameter::instance()->getUseDisplayIndex());
    const QSize display = displaySize();
    if (!display.isEmpty()) {
        // A range that clamps the present value must not pass for a user's
        // size change.
        const QSignalBlocker blockWidth(ui->editWidth);
        const QSignalBlocker blockHeight(ui->editHeight);
        ui->editWidth->setCustomRange(kMinRegionSide, display.width());
        ui->editHeight->setCustomRange(kMinRegionSide, display.height());
    }
    showCustomSizeMenu();
    initDeviceList();
    if (DeviceManager::instance()->getAudioCaptureDeviceCount() == 0)
        ui->frameMicrophone->setEnabled(false);
    // The key grab lives in the engine: only now can the hotkeys be taken.
    CMASShortcut* shortcuts = CMASShortcut::instance();
    shortcuts->reload();
    for (int id : shortcuts->failedHotKeys())
        Log(kLogModule, 1, "hotkey %d is held by another program", id);
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

// ---- sources -----------------------------------------------------------------

QSize MainWindow::defaultRegionSize(const QSize& display, qreal pixelRatio)
{
    int width = 0;
    int height = 0;
    if (pixelRatio > 1.0) {
        width = 2560;
        height = 1440;
    } else {
        width = display.width() > 1279 ? 1280 : display.width();
        height = display.height() > 719 ? 720 : display.height();
    }
    // The large default of a scaled desktop may exceed a small display.
    return QSize(qMin(width, display.width()), qMin(height, display.height()));
}

QRect MainWindow::centredRegion(const QSize& display, const QSize& size)
{
    int left = display.width() / 2 - (size.width() - 1) / 2;
    int top = display.height() / 2 - (size.height() - 1) / 2;
    // The half-pixel rounding above puts an even full-width region one
    // pixel past the display; a region that fits is left where it is.
    left = qBound(0, left, qMax(0, display.width() - size.width()));
    top = qBound(0, top, qMax(0, display.height() - size.height()));
    return QRect(left, top, size.width(), size.height());
}

QRect MainWindow::fitStoredRegion(const QRect& stored, const QSize& display, qreal pixelRatio)
{
    const QSize fallback = defaultRegionSize(display, pixelRatio);
    QRect region = stored;
    if (region.left() < 0 || region.width() < kMinRegionSide || region.right() + 1 > display.width())
        region = centredRegion(display, QSize(fallback.width(), region.height()));
    if (region.top() < 0 || region.height() < kMinRegionSide || region.bottom() + 1 > display.height())
        region = centredRegion(display, QSize(region.width(), fallback.height()));
    return region;
}

void MainWindow::onSetVideoEnable(bool on)
{
    RecordParameter* params = RecordParameter::instance();
    params->setVideoEnable(on);
    for (QWidget* w : {static_cast<QWidget*>(ui->btnFull), static_cast<QWidget*>(ui->btnCustom),
                       static_cast<QWidget*>(ui->btnLockOn), static_cast<QWidget*>(ui->btnLockOff),
                       static_cast<QWidget*>(ui->editWidth), static_cast<QWidget*>(ui->editHeight),
                       static_cast<QWidget*>(ui->btnUseCamera)})
        w->setEnabled(on);
    ui->frameRecord->setEnabled(onCheckCanRec());

    if (!on) {
        ScreenRegion::instance()->hideRegionBox();
        if (m_bCameraOverlayOpen)
            ui->btnUseCamera->setBtnChecked(false);
        checkAccessibily();
        ui->btnAroundMouse->setEnabled(false);
        return;
    }

    params->setOnlyRecordCamera(false);
    params->setAudioOnly(false);
    const QSize display = displaySize();
    if (display.isEmpty()) {
        Log(kLogModule, 1, "onSetVideoEnable: no display, region left unset");
    } else {
        const qreal ratio = qApp->devicePixelRatio();
        const QRect fallback = centredRegion(display, defaultRegionSize(display, ratio));
        const QRect stored = VxSettings::instance()->applicationParam(kVideoRectKey, fallback).toRect();
        const QRect region = fitStoredRegion(stored, display, ratio);
        setEditRect(region.width(), region.height());
        ScreenRegion::instance()->showRegionBox(region);
        // A refused screen permission switches video off from inside the
        // box's permission check; that answer stands.
        if (!params->getVideoEnable())
            return;
        params->setVideoRect(region);
        Log(kLogModule, 1, "onSetVideoEnable");
        const bool full = region.size() == display;
        ui->btnFull->setChecked(full);
        ui->btnCustom->setChecked(!full);
    }
    checkAccessibily();
    ui->btnAroundMouse->setEnabled(true);
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
        DeviceManager* devices = DeviceManager::instance();
        int permission = devices->isPermissionMicrophone();
        if (permission != Permission_Authorized) {
            showPermissionsTips(Privacy_Microphone, Permission_Result(permission));
            permission = devices->isPermissionMicrophone();
        }
        if (permission != Permission_Authorized || devices->getdAudioCaptureDeviceStatus() != 0) {
            ui->btnUseMic->setBtnOnlyOff();
            result = false;
        }
    }
    RecordParameter::instance()->setMicEnable(result);
    ui->lblMicName->setEnabled(result);
    ui->lblMicorphone->setVisible(result);
    ui->lblMicorphoneNotUsed->setVisible(!result);
    ui->frameRecord->setEnabled(onCheckCanRec());
}

void MainWindow::setVideoBtnState(BtnWinState state, const QString& name)
{
    const bool region = state == BtnWin_Region;
    const bool single = state == BtnWin_Single;
    ui->frmBtnSelectWind->setVisible(!region);
    ui->frmlblWinRec->setVisible(single);
    ui->frmlblWinRec_2->setVisible(single);
    ui->frmBtnVideoBg->setVisible(!single);
    ui->frmBtnLock->setVisible(region);
    ui->frmBtnUseDisplay->setVisible(!single);
    ui->btnUseDisplay->setVisible(region);
    // Recording around the pointer needs the screen.
    ui->btnAroundMouse->setEnabled(!single && RecordParameter::instance()->getVideoEnable());
    if (single) {
        ui->btnSelectWind->setText(tr("Single Window"));
        const QFontMetrics metrics(font());
        QString shown = name;
        if (m_nElideWindowRecord > 0 && metrics.boundingRect(name).width() > m_nElideWindowRecord)
            shown = metrics.elidedText(name, Qt::ElideRight, m_nElideWindowRecord);
        ui->lblWindowRecord->setText(shown);
        ui->lblWindowRecord->setToolTip(name);
        if (RecordParameter::instance()->getVideoEnable() || m_nRecordWhat == RecordWhat_Window)
            ScreenRegion::instance()->hideRegionBox();
    } else if (state == BtnWin_Multiple) {
        ui->btnSelectWind->setText(name);
        onShowRegionBox();
    }
    ui->frameRecord->setEnabled(onCheckCanRec());
}

void MainWindow::initWindowState()
{
    switch (RecordParameter::instance()->getWindowModle()) {
    case WindowModle_Multiple:
        setVideoBtnState(BtnWin_Multiple, tr("Multiple Windows"));
        break;
    case WindowModle_Single: {
        // The chosen window's name comes from an open picker; without one
        // the mode's own name stands.
        QString name;
        if (m_pDlgLockWindow)
            name = m_pDlgLockWindow->property("windowName").toString();
        if (name.isEmpty())
            name = tr("Window Recorder");
        setVideoBtnState(BtnWin_Single, name);
        break;
    }
    default:
        setVideoBtnState(BtnWin_Multiple, tr("Exclude Windows"));
        break;
    }
}

// ---- permissions ---------------------------------------------------------------

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
    DlgSetPermissions guide(nullptr);
    guide.setMainWindow(m_pMainWindowBase);
    guide.setshowGuide(Privacy_Accessibility, true);
    guide.exec();
    showFrame();
}

void MainWindow::showPermissionsTips(Privacy_Setting setting, Permission_Result result)
{
    ScreenRegion::instance()->hideRegionBox();
    hideFrame();
    DlgSetPermissions guide(nullptr);
    guide.setMainWindow(m_pMainWindowBase);
    guide.setshowGuide(setting, result == Permission_NotDetermined);
    connect(&guide, &QDialog::rejected, this, &MainWindow::showFrame);
    guide.exec();
}

// ---- region ----------------------------------------------------------------------

void MainWindow::setEditRect(int w, int h)
{
    const QSignalBlocker blockWidth(ui->editWidth);
    const QSignalBlocker blockHeight(ui->editHeight);
    ui->editWidth->setCustomValue(w);
    ui->editHeight->setCustomValue(h);
}

void MainWindow::initCustomMenu()
{
    m_pCustomMenu = new QMenu(this);
    m_pCustomMenu->setObjectName(QStringLiteral("menuCustom"));
    m_pCustomMenu->addAction(ui->action1920x1080_1080p);
    m_pCustomMenu->addAction(ui->action1280x720_720p);
    m_pCustomMenu->addAction(ui->action854x480_480p);
    m_pCustomMenu->addSeparator();
    m_pCustomMenu->addAction(ui->action1024x768);
    m_pCustomMenu->addAction(ui->action640x480);
    m_pCustomMenu->addSeparator();
    m_pCustomMenu->addAction(ui->actionsleect);
    ui->btnCustom->setMenu(m_pCustomMenu);
    connect(m_pCustomMenu, &QMenu::triggered, this, &MainWindow::onCustomMenu);
    connect(ui->actionOptions, &QAction::triggered, this, &MainWindow::onShowOption);
}

void MainWindow::showCustomSizeMenu()
{
    const QSize display = displaySize();
    if (display.isEmpty())
        return;
    Log(kLogModule, 1, "MAXX:%d, MAXY:%d", display.width(), display.height());
    const struct
    {
        QAction* action;
        int width;
        int height;
    } presets[] = {
        {ui->action5120x2880, 5120, 2880}, {ui->action4096x2304, 4096, 2304},
        {ui->action1920x1080_1080p, 1920, 1080}, {ui->action1280x720_720p, 1280, 720},
        {ui->action854x480_480p, 854, 480}, {ui->action1024x768, 1024, 768},
        {ui->action640x480, 640, 480},
    };
    for (const auto& preset : presets)
        preset.action->setVisible(display.width() >= preset.width && display.height() >= preset.height);
}

void MainWindow::showCustomMenu()
{
    ui->btnCustom->setChecked(false);
    ui->btnCustom->showMenu();
    // A menu closed without a choice leaves the buttons as they were.
    ui->btnCustom->setChecked(!ui->btnFull->isChecked());
}

void MainWindow::onCustomMenu(QAction* action)
{
    ui->btnCustom->setChecked(true);
    ui->btnFull->setChecked(false);
    if (action == ui->actionsleect) {
        ScreenRegion::instance()->hideRegionBox();
        ScreenRegion::instance()->startSelect();
        return;
    }
    const QStringList parts = Utils::strSplitSkipEmpty(action->iconText(), QStringLiteral("x"));
    if (parts.size() != 2)
        return;
    const int factor = RecordParameter::instance()->isRetinaAndHalfSizeMode() ? 2 : 1;
    const QRect region = setCustomRegionBox(parts.at(0).toInt() * factor, parts.at(1).toInt() * factor, true);
    if (!region.isEmpty())
        ScreenRegion::instance()->showRegionBox(region);
}

QRect MainWindow::setCustomRegionBox(int w, int h, bool centre)
{
    RecordParameter* params = RecordParameter::instance();
    const QRect stored = params->getVideoRect();
    if (w == stored.width() && h == stored.height())
        return stored;
    const QSize display = displaySize();
    if (display.isEmpty())
        return stored;
    QSize size(w, h);
    if (params->iskeepRatio())
        size = lockedRatioSize(w, h, params->getRatio(), sender() == ui->editWidth, display);
    else
        size = QSize(qBound(kMinRegionSide, w, qMax(kMinRegionSide, display.width())),
                     qBound(kMinRegionSide, h, qMax(kMinRegionSide, display.height())));
    w = size.width();
    h = size.height();
    setEditRect(w, h);
    const QRect region = centre ? centredRegion(display, QSize(w, h)) : params->fixVideoRect(w, h, stored);
    params->setVideoRect(region);
    Log(kLogModule, 1, "setCustomRegionBox");
    return region;
}

QSize MainWindow::lockedRatioSize(int w, int h, double ratio, bool widthTyped, const QSize& display)
{
    const int maxW = qMax(kMinRegionSide, display.width());
    const int maxH = qMax(kMinRegionSide, display.height());
    if (ratio > 0.0) {
        if (widthTyped) {
            w = qMin(w, maxW);
            h = int(w / ratio);
            if (h > maxH) {
                h = maxH;
                w = int(ratio * h);
            }
        } else {
            h = qMin(h, maxH);
            w = int(ratio * h);
            if (w > maxW) {
                w = maxW;
                h = int(w / ratio);
            }
        }
    }
    // A ratio far from square can still ask for a side below the minimum.
    return QSize(qBound(kMinRegionSide, w, maxW), qBound(kMinRegionSide, h, maxH));
}

void MainWindow::onSizeChange(int /*value*/)
{
    const QRect region = setCustomRegionBox(ui->editWidth->customValue(), ui->editHeight->customValue(), false);
    if (!region.isEmpty())
        ScreenRegion::instance()->showRegionBox(region);
    ui->btnFull->setChecked(false);
    ui->btnCustom->setChecked(true);
}

void MainWindow::onSetFullRegionBox()
{
    ui->btnFull->setChecked(true);
    ui->btnCustom->setChecked(false);
    const QSize display = displaySize();
    if (display.isEmpty())
        return;
    setEditRect(display.width(), display.height());
    const QRect region(QPoint(0, 0), display);
    RecordParameter::instance()->setVideoRect(region);
    ScreenRegion::instance()->showRegionBox(region);
    Log(kLogModule, 1, "onSetFullRegionBox");
}

void MainWindow::onBtnLockClicked()
{
    if (m_pMainWindowBase)
        m_pMainWindowBase->saveWindowPos();
    RecordParameter* params = RecordParameter::instance();
    params->setKeepRatio(!params->iskeepRatio());
    const bool locked = params->iskeepRatio();
    ui->btnLockOff->setVisible(!locked);
    ui->btnLockOn->setVisible(locked);
    ScreenRegion::instance()->hideRegionBox();
    ScreenRegion::instance()->showRegionBox();
    if (m_pMainWindowBase)
        m_pMainWindowBase->loadDefaultWindowPos(0, 0, false);
}

void MainWindow::onEndSelectRegion(QRect rect)
{
    setEditRect(rect.width(), rect.height());
    RecordParameter::instance()->setVideoRect(rect);
    Log(kLogModule, 1, "onEndSelectRegion");
    ScreenRegion::instance()->showRegionBox(rect);
    VxSettings::instance()->setApplicationParam(kVideoRectKey, ScreenRegion::instance()->resultRegion());
    if (!isWindowPickerOpen() && m_pMainWindowBase) {
        m_pMainWindowBase->saveWindowPos();
        m_pMainWindowBase->show();
    }
}

void MainWindow::onShowRegionBox()
{
    RecordParameter* params = RecordParameter::instance();
    const bool video = params->getVideoEnable();
    Log(kLogModule, 1, "choose %d, video %d, window%d, dlg%p", m_nRecordWhat, video ? 1 : 0,
        params->getWindowModle(), static_cast<void*>(m_pDlgLockWindow.data()));
    if (displaySize().isEmpty())
        return;
    if (m_nRecordWhat == RecordWhat_Video && video) {
        ScreenRegion::instance()->showRegionBox(params->getVideoRect());
        if (params->getCamerastream())
            openCamera();
    } else if (m_nRecordWhat == RecordWhat_Window) {
        if (isWindowPickerOpen())
            ScreenRegion::instance()->showRegionBox(params->getVideoRect());
        else if (params->getCamerastream())
            openCamera();
    }
}

void MainWindow::onHideRegionBox()
{
    if (RecordParameter::instance()->getVideoEnable() || m_nRecordWhat == RecordWhat_Window)
        ScreenRegion::instance()->hideRegionBox();
}

void MainWindow::onShowWindowAndRegion()
{
    if (isWindowPickerOpen() || m_pVideoRecCtl)
        return;
    ui->actionOptions->setEnabled(true);
    if (m_pMainWindowBase)
        m_pMainWindowBase->showNormal();
    onShowRegionBox();
}

void MainWindow::onHideMainWindow()
{
    hideFrame();
}

void MainWindow::showWindow()
{
    // The bar is shown once it is placed, when the recording starts.
    if (m_bReminderOpen || m_eRoadState == Road_Starting)
        return;
    if (m_pVideoRecCtl) {
        if (m_pVideoRecCtl->isHidden())
            m_pVideoRecCtl->show();
        return;
    }
    if (m_pMainWindowBase && m_pMainWindowBase->isMinimized() && !isWindowPickerOpen()) {
        ui->actionOptions->setEnabled(true);
        m_pMainWindowBase->showNormal();
        onShowRegionBox();
    }
}

void MainWindow::hidePopupDialog()
{
    if (VxDialogBase::getPopupDialogCount() >= 1) {
        // Ended, not hidden: a hidden dialog would go on running its modal
        // loop unseen. The innermost first, so every loop can return.
        const QList<QDialog*> dialogs = VxDialogBase::getAllExecDialogs();
        for (auto it = dialogs.crbegin(); it != dialogs.crend(); ++it) {
            QPointer<QDialog> dialog(*it);
            if (dialog)
                dialog->reject();
        }
    }
    ShortcutTool::hideOptionDlg();
    if (m_pDlgLockWindow) {
        m_pDlgLockWindow->reject();
        delete m_pDlgLockWindow.data();
    }
}

void MainWindow::moveVideoCtlBar(QRect rect)
{
    if (!m_pVideoRecCtl)
        return;
    RecordParameter* params = RecordParameter::instance();
    if (!params->isHideFloat())
        m_pVideoRecCtl->show();
    const QRect full = DeviceManager::instance()->getFullScreenRect(params->getUseDisplayIndex());
    const int barWidth = m_pVideoRecCtl->geometry().width();
    const int barHeight = m_pVideoRecCtl->geometry().height();
    const QSize display = DeviceManager::instance()->getSelectedDisplayRect().size();
    Log(kLogModule, 1,
        "rect leftTop(%d,%d),size: %d*%d  |  VideoRecCtl: %d*%d  |  SelectedDisplayRect: %d*%d | FullDisplayRect "
        "leftTop(%d,%d),size: %d*%d",
        rect.left(), rect.top(), rect.width(), rect.height(), barWidth, barHeight, display.width(), display.height(),
        full.left(), full.top(), full.width(), full.height());
    const QPoint pos = videoCtlBarPos(rect, full, QSize(barWidth, barHeight), m_bBarAtCorner);
    Log(kLogModule, 1, "the end barRect leftTop(%d,%d),size: %d*%d ", pos.x(), pos.y(), barWidth, barHeight);
    m_pVideoRecCtl->setGeometry(pos.x(), pos.y(), barWidth, barHeight);
}

QPoint MainWindow::videoCtlBarPos(const QRect& region, const QRect& full, const QSize& bar, bool atCorner)
{
    if (atCorner)
        return QPoint(full.right() - bar.width(), full.top() + 5);
    int left = region.right() - bar.width();
    int top = 0;
    if (region.bottom() + bar.height() + 5 < full.bottom())
        top = region.bottom() + 5;
    else if (region.top() - bar.height() - 5 >= full.top())
        top = region.top() - bar.height() - 5;
    else
        top = region.top() + 5;
    if (left < full.left())
        left = full.left();
    return QPoint(left, top);
}

// ---- displays ----------------------------------------------------------------------

void MainWindow::onDisplayChange()
{
    const int count = DeviceManager::instance()->getDisplayCount();
    QStringList items;
    for (int i = 1; i <= count; ++i)
        items << QStringLiteral("Display %1").arg(i);
    int index = RecordParameter::instance()->getUseDisplayIndex();
    if (index < 0 || index >= count)
        index = 0;
    {
        // Refilled silently, then the display in use is applied once: the
        // refill alone would fall back to the first display each time.
        const QSignalBlocker block(ui->cmbDisplay);
        ui->cmbDisplay->clear();
        ui->cmbDisplay->addItems(items);
        ui->cmbDisplay->setCurrentIndex(count > 0 ? index : -1);
    }
    if (count > 0)
        onDisplayIndexChange(index);
}

void MainWindow::onDisplayIndexChange(int index)
{
    if (index < 0)
        return;
    const QStringList parts = Utils::strSplitSkipEmpty(ui->cmbDisplay->itemText(index), QStringLiteral(" "));
    const int display = parts.size() >= 2 ? parts.at(1).toInt() - 1 : 0;
    RecordParameter* params = RecordParameter::instance();
    DeviceManager* devices = DeviceManager::instance();
    params->setUseDisplayName(devices->getDisplayName(display));
    devices->setUseDisplay(display);
    const QSize size = displaySize();
    if (size.isEmpty())
        return;
    Log(kLogModule, 1, "MAXX:%d,MAXY:%d", size.width(), size.height());

    QRect region = params->getVideoRect();
    if (region.width() < kMinRegionSide || region.height() < kMinRegionSide)
        region = centredRegion(size, defaultRegionSize(size, qApp->devicePixelRatio()));
    else if (size.width() >= region.width() && size.height() >= region.height())
        region = centredRegion(size, region.size());
    else
        region = QRect(QPoint(0, 0), size);
    const bool full = region.size() == size;
    ui->btnFull->setChecked(full);
    ui->btnCustom->setChecked(!full);
    {
        const QSignalBlocker blockWidth(ui->editWidth);
        const QSignalBlocker blockHeight(ui->editHeight);
        ui->editWidth->setCustomRange(kMinRegionSide, size.width());
        ui->editHeight->setCustomRange(kMinRegionSide, size.height());
        ui->editWidth->setCustomValue(region.width());
        ui->editHeight->setCustomValue(region.height());
    }
    params->setVideoRect(region);
    Log(kLogModule, 1, "onDisplayIndexChange");
    if (params->getVideoEnable() || m_nRecordWhat == RecordWhat_Window) {
        ScreenRegion::instance()->hideRegionBox();
        onShowRegionBox();
    }
}

// ---- webcam ------------------------------------------------------------------------

void MainWindow::onSetCameraEnable(bool on)
{
    RecordParameter* params = RecordParameter::instance();
    params->setCamerastream(on);
    bool result = on;
    if (on) {
        DeviceManager* devices = DeviceManager::instance();
        int permission = devices->isPermissionCamera();
        if (permission != Permission_Authorized) {
            showPermissionsTips(Privacy_Camera, Permission_Result(permission));
            permission = devices->isPermissionCamera();
        }
        if (permission != Permission_Authorized) {
            ui->btnUseCamera->setBtnOnlyOff();
            params->setCamerastream(false);
            result = false;
        } else {
            m_bCameraOverlayOpen = true;
            openCamera();
        }
    } else {
        m_bCameraOverlayOpen = false;
        closeCamera();
    }
    ui->LblCamera->setEnabled(result);
    ui->btnCamera->setEnabled(result);
    ui->btnTakePhoto->setEnabled(result);
    ui->frameRecord->setEnabled(onCheckCanRec());
}

void MainWindow::openCamera()
{
    if (DeviceManager::instance()->isPermissionCamera() != Permission_Authorized) {
        RecordParameter::instance()->setOnlyRecordCamera(false);
        return;
    }
    Log(kLogModule, 1, "openCamera: the webcam window is not available");
}

void MainWindow::closeCamera()
{
    if (!m_pCameraDlg)
        return;
    delete m_pCameraDlg.data();
}

void MainWindow::onCameraRedord()
{
    // No camera can be listed until the webcam device layer exists.
    VxMessageBox::warning(m_pMainWindowBase, productName(),
                          tr("No camera devices detected. Please make sure your camera is connected and available."),
                          QMessageBox::Ok);
    // The webcam mode did not start: the mode before it stays.
    if (m_nRecordWhat == RecordWhat_Webcam)
        m_nRecordWhat = m_nPreRecordWhat;
}

void MainWindow::onbtnTakePhotoClicked()
{
    if (RecordParameter::instance()->getCamerastream() && m_pCameraDlg)
        Log(kLogModule, 1, "take photo: the webcam window is not available");
}

void MainWindow::onCameraChange()
{
    // Without a webcam device layer there is no camera to list.
    RecordParameter::instance()->setCamerastream(false);
    ui->frameCamera->setEnabled(false);
    ui->btnCameraNotUse->show();
    ui->btnCamera->hide();
}

void MainWindow::onCameraMenu(QAbstractButton* /*button*/)
{
}

void MainWindow::onCamerManager()
{
}

// ---- window picker -------------------------------------------------------------------

void MainWindow::onWindowSelect()
{
    selectWindow(true);
}

void MainWindow::selectWindow(bool fromUser)
{
    DeviceManager* devices = DeviceManager::instance();
    int permission = devices->isPermissionScreenCapture();
    if (permission != Permission_Authorized) {
        if (fromUser)
            showPermissionsTips(Privacy_ScreenCapture, Permission_Result(permission));
        permission = devices->isPermissionScreenCapture();
        if (permission != Permission_Authorized)
            return;
    }
    if (isWindowPickerOpen())
        return;
    Log(kLogModule, 1, "onWindowSelect: the window picker is not available");
    if (fromUser) {
        VxMessageBox::information(m_pMainWindowBase, productName(), tr("Choosing windows is not available yet."),
                                  QMessageBox::Ok);
    }
}

void MainWindow::onWindowSelectClose(int result)
{
    if (result == QDialog::Accepted)
        initWindowState();
    if (m_pDlgLockWindow)
        m_pDlgLockWindow->deleteLater();
    m_pDlgLockWindow = nullptr;
    if (m_bCameraOverlayOpen)
        openCamera();
    ui->actionOptions->setEnabled(true);
    SystemStatusBar::instance()->setActionEnable(true);
    showFrame();
}

// ---- around the mouse ------------------------------------------------------------------

void MainWindow::initAroundMouseMenu()
{
    m_pAroundMouseMenu = new QMenu(this);
    m_pAroundMouseMenu->setObjectName(QStringLiteral("menuAroundMouse"));
    m_pFollowAction = m_pAroundMouseMenu->addAction(tr("Follow the mouse"));
    m_pAroundMouseMenu->addSeparator();
    m_pAroundSubMenu = m_pAroundMouseMenu->addMenu(tr("Around mouse"));
    m_pAroundSubMenu->setObjectName(QStringLiteral("menuAroundSizes"));

    const QRect region = RecordParameter::instance()->getVideoRect();
    m_pCurrentAreaAction = m_pAroundSubMenu->addAction(
        tr("Current area (%1x%2)").arg(region.width()).arg(region.height()));
    m_aroundSizes.insert(m_pCurrentAreaAction, QSize());
    const struct
    {
        const char* text;
        int width;
        int height;
        bool separatorBefore;
    } sizes[] = {
        {"1920x1080 (1080p)", 1920, 1080, true},
        {"1280x720 (720p)", 1280, 720, false},
        {"854x480 (480p)", 854, 480, false},
        {"1024x768", 1024, 768, true},
        {"640x480", 640, 480, false},
        {"480x360", 480, 360, false},
        {"320x240", 320, 240, false},
        {"192x144", 192, 144, false},
        {"2436x1124 (iPhone X)", 2436, 1124, true},
        {"1920x1080 (iPhone 6/6s/7/8 Plus)", 1920, 1080, false},
        {"1334x750 (iPhone 6/6s/7/8)", 1334, 750, false},
        {"1136x640 (iPhone 5/5s)", 1136, 640, false},
        {"1024x768 (ipad)", 1024, 768, false},
    };
    for (const auto& size : sizes) {
        if (size.separatorBefore)
            m_pAroundSubMenu->addSeparator();
        QAction* action = m_pAroundSubMenu->addAction(QString::fromLatin1(size.text));
        m_aroundSizes.insert(action, QSize(size.width, size.height));
    }
    ui->btnAroundMouse->setMenu(m_pAroundMouseMenu);
    connect(m_pAroundSubMenu, &QMenu::triggered, this, &MainWindow::onAroundMouseRecord);
    connect(m_pAroundMouseMenu, &QMenu::triggered, this, &MainWindow::onSpecialMenu);
    connect(ui->btnAroundMouse, &QToolButton::clicked, this, [this] {
        m_pFollowAction->setText(tr("Follow the mouse"));
        m_pAroundSubMenu->setTitle(tr("Around mouse"));
        const QRect current = RecordParameter::instance()->getVideoRect();
        m_pCurrentAreaAction->setText(tr("Current area (%1x%2)").arg(current.width()).arg(current.height()));
        ui->btnAroundMouse->showMenu();
    });
}

void MainWindow::onSpecialMenu(QAction* action)
{
    if (action != m_pFollowAction || startingRefused("follow the mouse"))
        return;
    RecordParameter::instance()->setFollowMouse(true);
    onBtnRecClicked();
}

void MainWindow::onAroundMouseRecord(QAction* action)
{
    if (!m_aroundSizes.contains(action) || startingRefused("around the mouse"))
        return;
    QSize size = m_aroundSizes.value(action);
    if (action == m_pCurrentAreaAction) {
        const QRect region = RecordParameter::instance()->getVideoRect();
        if (region.width() < 65 || region.height() < 65)
            return;
        size = region.size();
    }
    RecordParameter::instance()->setAroundMouse(true);
    RecordParameter::instance()->setAroundMouseSize(size);
    onBtnRecClicked();
}

// ---- hotkeys and tasks -------------------------------------------------------------------

bool MainWindow::startingRefused(const char* what) const
{
    if (m_eRoadState != Road_Starting)
        return false;
    // Nothing runs yet that could be paused, stopped or shot, and a second
    // start would stack on the first.
    Log(kLogModule, 1, "%s refused: a recording is starting", what);
    return true;
}

void MainWindow::onHotKeyPressed(int id)
{
    Log(kLogModule, 1, "onHotKeyPressed:%d", id);
    if (!m_bHotkeyEnable || RecordParameter::instance()->m_bPreviewing) {
        Log(kLogModule, 1, "m_bHotkeyEable: false");
        return;
    }
    if (startingRefused("hotkey"))
        return;
    switch (id) {
    case RP_HotKey_Pause:
        onHotkeyPauseOrResume();
        break;
    case RP_HotKey_Stop:
        onHotkeyStartOrStop();
        break;
    case RP_HotKey_Snapshot:
        onHotkeySnap();
        break;
    case RP_HotKey_WebCam:
        if (m_pVideoRecCtl)
            Log(kLogModule, 1, "m_pVideoRecCtl can not change camera");
        else if (m_nRecordWhat == RecordWhat_Video && ui->btnUseCamera->isEnabled())
            ui->btnUseCamera->setBtnChecked(!RecordParameter::instance()->getCamerastream());
        break;
    case RP_HotKey_Float:
        onHotkeyRecbar();
        break;
    default:
        break;
    }
}

void MainWindow::onHotKeyEnable(bool enable)
{
    m_bHotkeyEnable = enable;
}

void MainWindow::onHotkeySnap()
{
    if (startingRefused("snapshot"))
        return;
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->onSnapshot();
    else
        onBtnSnapshot();
}

void MainWindow::onHotkeyPauseOrResume()
{
    if (startingRefused("pause or resume"))
        return;
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->pauseOrResume();
}

void MainWindow::onHotkeyRecbar()
{
    if (startingRefused("show or hide the control bar") || !m_pVideoRecCtl)
        return;
    if (m_pVideoRecCtl->isHidden())
        m_pVideoRecCtl->show();
    else
        m_pVideoRecCtl->hide();
}

void MainWindow::onTaskStartRec(int recwhat)
{
    TaskManage* tasks = TaskManage::instance();
    const RecordParameter* params = RecordParameter::instance();
    // A start under way has not set the recording flag yet in all its steps.
    if (tasks->isTasking || params->m_bRecording || params->m_bPreviewing || m_eRoadState != Road_Idle) {
        Log(kLogModule, 1, "Task start cancel, isTasking:%d, isRecording:%d, isPreview:%d", tasks->isTasking ? 1 : 0,
            params->m_bRecording || m_eRoadState != Road_Idle ? 1 : 0, params->m_bPreviewing ? 1 : 0);
        return;
    }
    if (recwhat == RecordWhat_Webcam) {
        m_nRecordWhat = RecordWhat_Webcam;
        m_nPreRecordWhat = RecordWhat_Home;
        hidePopupDialog();
        onCameraRedord();
        if (tasks->isOutOfDate())
            Log(kLogModule, 1, "Task start out of date");
        else
            Log(kLogModule, 1, "camera task start failed: camera state failed");
        return;
    }
    // Checked before anything else: a type that no page records must not
    // start whatever page happens to show.
    QString name;
    if (recwhat == RecordWhat_Video) {
        name = tr("Video Recorder");
    } else if (recwhat == RecordWhat_Audio) {
        name = tr("Audio Recorder");
    } else {
        Log(kLogModule, 1, "Task start failed: invalid record type");
        return;
    }
    hidePopupDialog();
    if (m_nRecordWhat != recwhat) {
        m_nPreRecordWhat = RecordWhat_Home;
        chooseRecorder(recwhat, name);
    }
    if (tasks->isOutOfDate()) {
        Log(kLogModule, 1, "Task start out of date");
        return;
    }
    tasks->isTasking = true;
    QTimer::singleShot(500, this, &MainWindow::onBtnRecClicked);
}

// ---- recording -----------------------------------------------------------------------------

bool MainWindow::checkAudioDriver()
{
    // The plug-in installer is not built yet: the source is there or not.
    return DeviceManager::instance()->checkVirtualAudioDriver();
}

void MainWindow::reUpdateMainData()
{
    RecordParameter* params = RecordParameter::instance();
    DeviceManager* devices = DeviceManager::instance();
    const bool tasking = TaskManage::instance()->isTasking;
    if (ui->btnUseMic->isChecked() && devices->isPermissionMicrophone() != Permission_Authorized && !tasking) {
        DlgSetPermissions guide(nullptr);
        guide.setMainWindow(m_pMainWindowBase);
        guide.setshowGuide(Privacy_Microphone, devices->isPermissionMicrophone() == Permission_NotDetermined);
        guide.exec();
        if (devices->isPermissionMicrophone() != Permission_Authorized)
            ui->btnUseMic->setBtnOnlyOff();
    }
    if (ui->btnUseCamera->isChecked() && devices->isPermissionCamera() != Permission_Authorized && !tasking) {
        DlgSetPermissions guide(nullptr);
        guide.setMainWindow(m_pMainWindowBase);
        guide.setshowGuide(Privacy_Camera, devices->isPermissionCamera() == Permission_NotDetermined);
        guide.exec();
        if (devices->isPermissionCamera() != Permission_Authorized)
            ui->btnUseCamera->setBtnOnlyOff();
    }
    params->setMicEnable(ui->btnUseMic->isChecked());
    params->setVideoEnable(ui->btnUseDisplay->isChecked());
    params->setCamerastream(ui->btnUseCamera->isChecked());
    params->setSysAudioEnable(ui->btnUseAudio->isChecked());
    ScreenRegion::instance()->hideRegionBox();
    const QRect stored = params->getVideoRect();
    const int width = ui->editWidth->customValue();
    const int height = ui->editHeight->customValue();
    if (width != stored.right() + 1 - stored.left() || height != stored.bottom() + 1 - stored.top())
        setCustomRegionBox(width, height, false);
}

void MainWindow::clearMouseModes()
{
    RecordParameter* params = RecordParameter::instance();
    params->setAroundMouse(false);
    params->setFollowMouse(false);
    m_bBarAtCorner = false;
}

void MainWindow::refuseStart(bool clearRecording)
{
    TaskManage::instance()->isTasking = false;
    if (clearRecording)
        RecordParameter::instance()->m_bRecording = false;
    // An armed mode would otherwise ride along with the next, ordinary start.
    clearMouseModes();
    m_eRoadState = Road_Idle;
    SystemStatusBar::instance()->setActionEnable(true);
}

bool MainWindow::forbiddenPlayerRuns() const
{
    VxProductInfo* info = VxProductInfo::instance();
    if (info->extendParam(QStringLiteral("ExcludeProgress"), QString()).toInt() == 0)
        return false;
    // An empty name is part of every process path: it names no player.
    const QString name = info->extendParam(QStringLiteral("ExcludeProgressName"), QString());
    if (name.isEmpty())
        return false;
    return OSServiceUtils::isRunningProcess(name);
}

bool MainWindow::askWindowGone()
{
    VxMessageBox box(m_pMainWindowBase);
    box.setIcon(2);
    box.setMsgTitle(productName());
    box.setWindowTitle(productName());
    box.setButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.addButton(tr("Re-select"), QMessageBox::Ok);
    box.addButton(tr("Continue"), QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    box.setLabelInfo(tr("If there is no valid window to record, please click Re-select to choose a valid window. "
                        "Click Continue, the recording will start with the default settings."));
    box.adjustSize();
    return box.exec() != QMessageBox::Ok;
}

void MainWindow::onBtnRecClicked()
{
    SystemStatusBar* status = SystemStatusBar::instance();
    TaskManage* tasks = TaskManage::instance();
    RecordParameter* params = RecordParameter::instance();
    if (m_eRoadState == Road_Recording && !m_pVideoRecCtl && !params->m_bRecording) {
        // The bar went without announcing an end: nothing records any more.
        Log(kLogModule, 1, "recording state left without a control bar; back to idle");
        m_eRoadState = Road_Idle;
    }
    if (m_eRoadState != Road_Idle) {
        // A start under way or a running recording owns the task flag and
        // the status item: this request leaves them alone.
        Log(kLogModule, 1, "start record cancel, recording:%d, preview:%d, canrec:%d ", 1,
            params->m_bPreviewing ? 1 : 0, onCheckCanRec() ? 0 : 1);
        return;
    }
    m_eRoadState = Road_Starting;
    status->setActionEnable(false);
    reUpdateMainData();

    if (tasks->isTasking && !onCheckCanRec()) {
        const QString text = m_nRecordWhat == RecordWhat_Audio
            ? tr("The microphone and speaker for the current audio recording are not enabled. It fails to start "
                 "recording with Task Schedule. Please reconfigure!")
            : tr("The current video recording settings are invalid. It fails to start recording with Task "
                 "Schedule. Please reconfigure!");
        VxMessageBox::warning(m_pMainWindowBase, productName(), text, QMessageBox::Ok);
        refuseStart(false);
        return;
    }
    const bool canRec = onCheckCanRec();
    if (m_pVideoRecCtl || params->m_bRecording || params->m_bPreviewing || !canRec) {
        Log(kLogModule, 1, "start record cancel, recording:%d, preview:%d, canrec:%d ", params->m_bRecording ? 1 : 0,
            params->m_bPreviewing ? 1 : 0, canRec ? 0 : 1);
        refuseStart(false);
        return;
    }
    params->m_bRecording = true;
    // The recorder consumes these while it prepares; the bar needs them
    // until the recording ends.
    m_bBarAtCorner = params->isAroundMouse() || params->isFollowMouse();

    if (m_nRecordWhat == RecordWhat_Window) {
        const bool single = params->getWindowModle() == WindowModle_Single;
        if (!WindowListManger::instance()->chechWindowVisible(params->getWindowList(), single)) {
            params->setWindowList(QList<int>());
            params->setVideoEnable(true);
            params->setWindowRecord(false);
            if (!askWindowGone()) {
                refuseStart(true);
                // After the refusal: the open picker keeps the status item's
                // panel closed.
                onWindowSelect();
                return;
            }
        } else if (single) {
            ui->btnUseCamera->setBtnChecked(false);
        }
    }

    if ((params->getVideoEnable() || params->isWindowRecord()) && forbiddenPlayerRuns()) {
        VxMessageBox::warning(nullptr, productName(),
                              tr("Golden Lion player does not allow program recording, please close the Golden "
                                 "Lion player before continuing to record other content."),
                              QMessageBox::Ok);
        refuseStart(true);
        onShowRegionBox();
        return;
    }

    if (params->getSysAudioEnable() && !checkAudioDriver()) {
        ui->btnUseAudio->setBtnOnlyOff();
        params->setSysAudioEnable(false);
        ui->lblAudio->hide();
        ui->lblAudioName->setEnabled(false);
        ui->lblAudioNotUse->show();
        ui->frameRecord->setEnabled(onCheckCanRec());
    }
    hideFrame();

    if (!VxSettings::instance()->applicationParam("HotkeyRemind", false).toBool() && !tasks->isTasking) {
        m_bReminderOpen = true;
        if (!m_pHotKeyMessage)
            m_pHotKeyMessage = new DlgHotKeyMessage(m_pMainWindowBase);
        m_pHotKeyMessage->setWindowTitle(productName());
        m_pHotKeyMessage->exec();
        Log("REC", 1, "DlgHotkeyMessage has been exited");
        m_bReminderOpen = false;
    }

    ScreenRegion::instance()->hideRegionBox();
    if (params->isHideTaskbar())
        OSServiceUtils::setDockHide(false);
    if (params->isHideDesktop())
        OSServiceUtils::setHideDesktopIcon(false);
    ui->actionOptions->setEnabled(false);
    hideFrame();

    m_pVideoRecCtl = new VideoRecCtlWdg(nullptr);
    m_pVideoRecCtl->setMainWindowBase(m_pMainWindowBase);
    if (!m_pVideoRecCtl->initRecord()) {
        // The temporary-folder check leaves no file path when the user gave
        // up in its prompt: that was an answer, not an engine failure.
        if (ScreenRecorder::instance()->getTmpFilePath().isEmpty()) {
            Log("REC", 1, "start given up in the temporary folder prompt");
            undoStart();
            onShowRegionBox();
        } else {
            onCreateRecordError();
        }
        return;
    }

    if (params->isCountDown() && !tasks->isTasking) {
        Log("REC", 1, "Show count Picture");
        m_pShowPicture = new ShowPicture(nullptr);
        connect(m_pShowPicture, &ShowPicture::showPicEnd, this, &MainWindow::releaseShowPic);
        m_pShowPicture->start();
        return;
    }
    // Lets the hidden frame and region box go before the capture starts.
    QPointer<MainWindow> self(this);
    QEventLoop pause;
    QTimer::singleShot(500, this, [&pause] { pause.quit(); });
    pause.exec();
    if (self)
        startRec();
}

void MainWindow::releaseShowPic()
{
    if (m_pShowPicture)
        m_pShowPicture->deleteLater();
    m_pShowPicture = nullptr;
    startRec();
}

void MainWindow::startRec()
{
    // The bar may have ended during the countdown or the pause (an engine
    // error stops it): then nothing is left to start and the status item
    // must not claim a recording.
    if (m_eRoadState != Road_Starting || !m_pVideoRecCtl || !RecordParameter::instance()->m_bRecording) {
        Log("REC", 1, "startRec: no prepared recording (state %d)", int(m_eRoadState));
        if (m_eRoadState == Road_Starting)
            undoStart();
        return;
    }
    SystemStatusBar* status = SystemStatusBar::instance();
    status->setActionEnable(true);
    status->setSysBarState(SysBar_Recording);
    hideFrame();
    m_eRoadState = Road_Recording;
    CEIPWrapper::instance()->MakeEvent(5000);
    m_pVideoRecCtl->start();
    RecordParameter* params = RecordParameter::instance();
    if (params->getVideoEnable() || params->isWindowRecord())
        moveVideoCtlBar(Utils::DisplayRectToScreen(params->getUseDisplayIndex(), params->getVideoRect()));
    if (!params->isHideFloat())
        m_pVideoRecCtl->show();
    if (params->isBeep())
        OSServiceUtils::beep();
}

void MainWindow::undoStart()
{
    SystemStatusBar* status = SystemStatusBar::instance();
    status->setActionEnable(true);
    if (m_pShowPicture) {
        m_pShowPicture->disconnect(this);
        m_pShowPicture->deleteLater();
        m_pShowPicture = nullptr;
    }
    // Not inside any of the bar's own handlers here.
    delete m_pVideoRecCtl.data();
    status->setSysBarState(SysBar_Idle);
    TaskManage::instance()->isTasking = false;
    RecordParameter::instance()->m_bRecording = false;
    clearMouseModes();
    m_eRoadState = Road_Idle;
    ui->actionOptions->setEnabled(true);
    OSServiceUtils::setDockHide(true);
    OSServiceUtils::setHideDesktopIcon(true);
    showFrame();
}

void MainWindow::onCreateRecordError()
{
    undoStart();
    const int answer = VxMessageBox::information(
        m_pMainWindowBase, productName(),
        tr("Failed to start recording, (error code: 4001), you can click OK to give feedback on this issue."),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    if (answer == QMessageBox::Ok)
        FeedBackDialog::showFeedBack(m_pMainWindowBase);
    onShowRegionBox();
}

void MainWindow::onRecordStop()
{
    if (m_bReminderOpen)
        return;
    RecordParameter* params = RecordParameter::instance();
    const bool wasStarting = m_eRoadState == Road_Starting;
    if (wasStarting) {
        // The bar of a start under way only announces an end once it gave
        // up the recording (an engine error in the countdown); any other
        // end belongs to someone else.
        if (!m_pVideoRecCtl || params->m_bRecording) {
            Log(kLogModule, 1, "recordStop while a recording is starting: not this one's");
            return;
        }
        Log(kLogModule, 1, "recordStop while starting: the start ends");
        if (m_pShowPicture) {
            m_pShowPicture->disconnect(this);
            m_pShowPicture->deleteLater();
            m_pShowPicture = nullptr;
        }
        SystemStatusBar::instance()->setActionEnable(true);
    }
    // The bar announced the end from inside its own handler: it goes once
    // that handler has returned.
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->deleteLater();
    m_pVideoRecCtl = nullptr;
    m_eRoadState = Road_Idle;
    clearMouseModes();

    TaskManage* tasks = TaskManage::instance();
    if (tasks->isTasking) {
        QTimer::singleShot(500, this, [this] { TaskManage::instance()->taskCompleted(m_pMainWindowBase, 0); });
    } else if (params->timerEnable()) {
        Log(kLogModule, 1, "timerEnable:%d stopway:%d,repeat:%d", params->timerEnable() ? 1 : 0,
            static_cast<int>(params->timerStopEvent()), params->TimerRepeat() ? 1 : 0);
        if (!params->TimerRepeat())
            params->setTimerEnable(false);
        if (params->timerStopEvent() != 0) {
            QTimer::singleShot(500, this, [this] {
                TaskManage::instance()->taskCompleted(m_pMainWindowBase,
                                                      RecordParameter::instance()->timerStopEvent());
            });
        }
    }
    // The timer may have just been switched off above.
    ui->recordHistory->onCheckDurationState(true);
    if (!isWindowPickerOpen() && !m_pVideoRecCtl) {
        ui->actionOptions->setEnabled(true);
        if (m_pMainWindowBase)
            m_pMainWindowBase->showNormal();
        onShowRegionBox();
    }
    OSServiceUtils::setDockHide(true);
    OSServiceUtils::setHideDesktopIcon(true);
}

void MainWindow::onHotkeyStartOrStop()
{
    if (startingRefused("start or stop"))
        return;
    // The webcam recorder's own start and stop come with its window.
    if (m_nRecordWhat != RecordWhat_Home) {
        startOrStop();
        return;
    }
    m_nPreRecordWhat = RecordWhat_Home;
    chooseRecorder(RecordWhat_Video, tr("Video Recorder"));
    QTimer::singleShot(500, this, &MainWindow::startOrStop);
}

void MainWindow::startOrStop()
{
    Log(kLogModule, 1, "startOrStop");
    if (startingRefused("start or stop"))
        return;
    const RecordParameter* params = RecordParameter::instance();
    if (m_pVideoRecCtl && params->m_bRecording) {
        m_pVideoRecCtl->onBtnStopClicked();
        return;
    }
    // The preview of the last recording is one of the running dialogs:
    // ending it would throw the recording away. The start below is refused
    // then anyway.
    if (!m_pVideoRecCtl && !params->m_bPreviewing)
        hidePopupDialog();
    onBtnRecClicked();
}

// ---- screenshots -----------------------------------------------------------------------------

namespace {

MainWindow::SaveFileChooser& saveFileChooser()
{
    static MainWindow::SaveFileChooser chooser;
    return chooser;
}

// Qt's writer name for a file suffix; empty when it writes no such format.
QByteArray writerFormat(const QString& suffix)
{
    QByteArray format = suffix.toLower().toLatin1();
    if (format == "jpg")
        format = "jpeg";
    else if (format == "tif")
        format = "tiff";
    return QImageWriter::supportedImageFormats().contains(format) ? format : QByteArray();
}

QString normalisedFormat(const QString& suffix)
{
    const QString lower = suffix.toLower();
    if (lower == QLatin1String("jpg"))
        return QStringLiteral("jpeg");
    if (lower == QLatin1String("tif"))
        return QStringLiteral("tiff");
    return lower;
}

} // namespace

void MainWindow::setSaveFileChooser(const SaveFileChooser& chooser)
{
    saveFileChooser() = chooser;
}

DlgSnapshot* MainWindow::snapshotEditor() const
{
    return m_pDlgSnapshot.data();
}

VideoRecCtlWdg* MainWindow::videoRecCtl() const
{
    return m_pVideoRecCtl.data();
}

void MainWindow::onBtnSnapshot()
{
    if (m_pDlgSnapshot)
        return;
    DeviceManager* devices = DeviceManager::instance();
    int permission = devices->isPermissionScreenCapture();
    if (permission != Permission_Authorized) {
        showPermissionsTips(Privacy_ScreenCapture, Permission_Result(permission));
        permission = devices->isPermissionScreenCapture();
    }
    VxSettings* settings = VxSettings::instance();
    if (permission != Permission_Authorized || settings->applicationParam("restart", false).toBool()) {
        settings->setApplicationParam("restart", false);
        return;
    }
    if (RecordParameter::instance()->isHideMainWhenScreenshot()) {
        Log(kLogModule, 1, "hide mainwindow when snapShot");
        ScreenRegion::instance()->hideRegionBox();
        hideFrame();
    }
    closeCamera();
    hidePopupDialog();

    m_pDlgSnapshot = new DlgSnapshot(nullptr, false);
    connect(m_pDlgSnapshot, &QDialog::finished, this, &MainWindow::releaseSnapshot);
    connect(m_pDlgSnapshot, &DlgSnapshot::paintToScreen, this, &MainWindow::onPaintToScreen);
    connect(m_pDlgSnapshot, &DlgSnapshot::pictureSave, this, &MainWindow::onSaveSnapPic);
    m_pDlgSnapshot->show();
    m_pDlgSnapshot->hide();
    m_pDlgSnapshot->createImageCapture();
}

void MainWindow::releaseSnapshot()
{
    // An editor whose picture was saved has been let go already.
    if (sender() && sender() != m_pDlgSnapshot.data())
        return;
    onShowRegionBox();
    if (m_pMainWindowBase && m_pMainWindowBase->isHidden())
        m_pMainWindowBase->show();
    // The editor is still inside its finished(int).
    if (m_pDlgSnapshot)
        m_pDlgSnapshot->deleteLater();
    m_pDlgSnapshot = nullptr;
}

void MainWindow::onSaveSnapPic(QString tempPath, QString filter)
{
    const QString filters = tr("PNG (*.png);;JPEG (*.jpg *.jpeg);;BMP (*.bmp);;GIF (*.gif);;TIFF (*.tiff);;Images "
                               "(*.png *.jpeg *.bmp *.gif *.tiff)");
    QString proposed = Utils::getSnapshotPath() + QLatin1Char('/') + QFileInfo(tempPath).fileName();
    proposed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QByteArray tempFormat = QImageReader::imageFormat(tempPath);

    bool editorGone = false;
    for (;;) {
        Log(kLogModule, 1, "show save dialog");
        QString chosen;
        if (saveFileChooser())
            chosen = saveFileChooser()(this, tr("Save as..."), proposed, filters, &filter);
        else
            chosen = QFileDialog::getSaveFileName(this, tr("Save as..."), proposed, filters, &filter);
        // A cancel is an answer whatever folder the program runs in.
        const bool cancelled = chosen.isEmpty() || chosen == QLatin1String(".");
        if (!cancelled) {
            const QString folder = QFileInfo(chosen).absolutePath();
            if (!VxFileUtils::isFolderPathWritable(folder)) {
                Utils::showMacWindowMessage(MsgType_Information, nullptr,
                                            tr("\"%1\" is not writable, please select another one.").arg(folder),
                                            MsgButton_Ok);
                proposed = chosen;
                continue;
            }
        }

        if (!editorGone) {
            editorGone = true;
            onShowRegionBox();
            if (m_pMainWindowBase && m_pMainWindowBase->isHidden())
                m_pMainWindowBase->show();
            // This runs inside the editor's own signal.
            if (m_pDlgSnapshot) {
                m_pDlgSnapshot->hide();
                m_pDlgSnapshot->deleteLater();
            }
            m_pDlgSnapshot = nullptr;
        }
        if (cancelled) {
            // The picture was handed over to be saved or dropped: dropped.
            QFile::remove(tempPath);
            return;
        }

        QString target = chosen;
        if (QFileInfo(target).suffix().isEmpty()) {
            // No suffix typed: the chosen filter's first one, so that the
            // name says what the file holds.
            const QRegularExpressionMatch match =
                QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
            target += QLatin1Char('.') + (match.hasMatch() ? match.captured(1) : QFileInfo(tempPath).suffix());
        }

        const QString wanted = normalisedFormat(QFileInfo(target).suffix());
        bool saved = false;
        const QImage image(tempPath);
        if (!image.isNull() && wanted == normalisedFormat(QString::fromLatin1(tempFormat))) {
            saved = OSServiceUtils::moveFile(tempPath, target);
        } else if (!image.isNull()) {
            // The content follows the suffix the user chose. A failed write
            // leaves a file the user chose to replace as it was.
            const QByteArray format = writerFormat(QFileInfo(target).suffix());
            QSaveFile out(target);
            saved = !format.isEmpty() && out.open(QIODevice::WriteOnly) && image.save(&out, format.constData())
                    && out.commit();
            if (saved)
                QFile::remove(tempPath);
        }
        if (!saved) {
            Utils::showMacWindowMessage(
                MsgType_Information, nullptr,
                tr("File exported to \"%1\" failed! Please select another one.").arg(target), MsgButton_Ok);
            proposed = target;
            continue;
        }

        Utils::setSnapshotPath(QFileInfo(target).absolutePath());
        double value = 0.0;
        const QString unit = Utils::getUtilOfSize(QFileInfo(target).size(), value);
        const QString size = QStringLiteral("%1%2").arg(qint64(value)).arg(unit);
        const QString resolution = QStringLiteral("%1*%2").arg(image.width()).arg(image.height());
        SignalsTransfer::instance()->addHistoryFile(target, 0, resolution, QString(), size);
        return;
    }
}

void MainWindow::onPaintToScreen(QImage image)
{
    auto* pinned = new DlgPaintToScreen(nullptr);
    pinned->setImg(image);
    connect(pinned, &QDialog::finished, this, &MainWindow::releasePaintToScreen);
    pinned->show();
}

void MainWindow::releasePaintToScreen()
{
    if (QObject* pinned = sender())
        pinned->deleteLater();
}
