#include "app/MainWindow.h"

#include <QComboBox>
#include <QTimer>

#include "app/FfFloatWindow.h"
#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/RecordHistoryTool.h"
#include "core/RecordingSession.h"
#include "core/RecordParameter.h"
#include "platform/log/Log.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "ui_MainWindow.h"
#include "widgets/FfSwitchButton.h"

// The floating panel that stands in for the home window while it waits in
// the status bar: made on first use, filled from the home window's own
// sources, and every wish it reports runs the home window's own handler.

namespace {
const char* const kLogModule = homewindow::logModule();
}

FfFloatWindow* MainWindow::floatWindow() const
{
    return m_pFloatWindow.data();
}

void MainWindow::sendToStatusBar()
{
    if (isWindowPickerOpen() || !m_pMainWindowBase)
        return;
    Log(kLogModule, LogLevel::Info, "home window sent to the status bar");
    onHideRegionBox();
    hideFrame();
    if (!m_pFloatWindow)
        createFloatWindow();
    refreshFloatWindow();
    m_pFloatWindow->show();
}

void MainWindow::hideFloatWindow()
{
    if (m_pFloatWindow)
        m_pFloatWindow->hide();
}

void MainWindow::createFloatWindow()
{
    m_pFloatWindow = new FfFloatWindow(nullptr);
    FfFloatWindow* panel = m_pFloatWindow.data();
    panel->setMainwindow(this);
    connect(panel, &FfFloatWindow::start, this, &MainWindow::onHotkeyStartOrStop);
    connect(panel, &FfFloatWindow::showMain, this, &MainWindow::onShowWindowAndRegion);
    connect(panel, &FfFloatWindow::taskTriggered, this, [this] {
        onShowWindowAndRegion();
        ui->recordHistory->onShowTaskDlg();
    });
    connect(panel, &FfFloatWindow::showOptions, this, &MainWindow::onShowOption);
    connect(panel, &FfFloatWindow::snapshot, this, &MainWindow::onHotkeySnap);
    // Each switch runs its own handler when it is set (setBtnChecked emits
    // clicked): calling the handler here as well would ask twice.
    connect(panel, &FfFloatWindow::speakerChanged, this, [this](bool on) {
        ui->btnUseAudio->setBtnChecked(on);
        refreshFloatWindow();
    });
    connect(panel, &FfFloatWindow::microphonerChanged, this, [this](bool on) {
        ui->btnUseMic->setBtnChecked(on);
        refreshFloatWindow();
    });
    connect(panel, &FfFloatWindow::switchOffMoniter, this, [this](bool on) { ui->btnUseDisplay->setBtnChecked(on); });
    connect(panel, &FfFloatWindow::changeMoniter, this, [this](int index) {
        if (index < ui->cmbDisplay->count())
            ui->cmbDisplay->setCurrentIndex(index);
        refreshFloatWindow();
    });
    connect(panel, &FfFloatWindow::switchOffCamera, this, [this](bool on) { ui->btnUseCamera->setBtnChecked(on); });
    // The camera window opens a moment after the switch; the choice waits
    // for it.
    connect(panel, &FfFloatWindow::changeCamera, this, [this](int index) {
        QTimer::singleShot(0, this, [this, index] {
            const QStringList cameras = CameraManager::instance()->getCameras();
            if (m_pCameraDlg && index < cameras.size())
                m_pCameraDlg->onCameraItemChanged(cameras.at(index));
            refreshFloatWindow();
        });
    });
}

void MainWindow::refreshFloatWindow()
{
    if (!m_pFloatWindow)
        return;
    const RecordParameter* params = RecordParameter::instance();
    QStringList displays;
    for (int i = 0; i < ui->cmbDisplay->count(); ++i)
        displays << ui->cmbDisplay->itemText(i);
    m_pFloatWindow->setDisplays(displays, params->getVideoEnable() ? ui->cmbDisplay->currentIndex() : -1);
    CameraManager* cameraManager = CameraManager::instance();
    const QStringList cameras = cameraManager->getCameras();
    const QString shown =
        cameraManager->isCameraRunning() ? cameraManager->openCameraName() : cameraManager->chosenCamera();
    m_pFloatWindow->setCameras(cameras,
                               params->getCamerastream() && !cameras.isEmpty() ? qMax(0, cameras.indexOf(shown)) : -1);
    m_pFloatWindow->setSoundStates(params->getSysAudioEnable(), params->getMicEnable());
    // From the tiles the start picks the video recorder itself.
    m_pFloatWindow->setCanStart(RecordingSession::instance()->isIdle() && (m_nRecordWhat == RecordWhat_Home || onCheckCanRec()));
}
