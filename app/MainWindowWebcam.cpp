#include "app/MainWindow.h"

#include <QDialog>
#include <QFontMetrics>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>
#include <QWidgetAction>

#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/FfMenu.h"
#include "app/RecordHistoryTool.h"
#include "app/SystemStatusBar.h"
#include "core/RecordingSession.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "recording/DlgLockWindow.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "widgets/FfSwitchButton.h"
#include "ui_MainWindow.h"

// The webcam and the window picker as the home window reaches them.

using homewindow::productName;

namespace {
const char* const kLogModule = homewindow::logModule();
} // namespace

// ---- window modes --------------------------------------------------------------------

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
            name = m_pDlgLockWindow->getWindowName();
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

// ---- webcam ------------------------------------------------------------------------

CameraDlg* MainWindow::webcamRecorder() const
{
    return m_pCameraDlg && m_pCameraDlg->isRecorder() ? m_pCameraDlg.data() : nullptr;
}

void MainWindow::onSetCameraEnable(bool on)
{
    // The photo's fly-out is still running in the window: come back later.
    if (m_pCameraDlg && m_pCameraDlg->isSanping()) {
        QTimer::singleShot(100, this, [this, on] { onSetCameraEnable(on); });
        return;
    }
    RecordParameter* params = RecordParameter::instance();
    params->setCamerastream(on);
    bool result = on;
    if (on) {
        if (!grantedAfterTips(Privacy_Camera, &DeviceManager::isPermissionCamera)) {
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
    RecordParameter* params = RecordParameter::instance();
    if (DeviceManager::instance()->isPermissionCamera() != Permission_Authorized) {
        params->setOnlyRecordCamera(false);
        return;
    }
    if (m_pCameraDlg)
        return;
    auto* dlg = new CameraDlg(params->isOnlyRecordCamera(), m_pMainWindowBase);
    m_pCameraDlg = dlg;
    dlg->setMainWindowBase(m_pMainWindowBase);
    onCameraChange();
    connect(dlg, &CameraDlg::closes, ui->btnUseCamera, &FfSwitchButton::setBtnChecked, Qt::QueuedConnection);
    connect(dlg, &CameraDlg::moved, this, &MainWindow::onEndSelectRegion);
    connect(SystemStatusBar::instance(), &SystemStatusBar::sigShowCamera, dlg, &QWidget::showNormal);
    dlg->show();
    QPoint centred;
    if (m_pMainWindowBase) {
        const QRect frame = m_pMainWindowBase->geometry();
        centred = QPoint(frame.left() + frame.width() / 2, frame.top() + frame.height() / 2)
                  - QPoint(dlg->width() / 2, dlg->height() / 2);
    }
    if (dlg->isRecorder()) {
        dlg->move(VxSettings::instance()->applicationParam(QStringLiteral("CameraPos"), centred).toPoint());
        dlg->resize(1047, 745);
    } else {
        // The overlay starts in the corner the webcam options chose.
        dlg->resizeView();
        dlg->moveToDefaultPos();
    }
}

void MainWindow::closeCamera()
{
    if (!m_pCameraDlg)
        return;
    // The recording in the preview, or the history over it, still needs
    // the window.
    if (RecordParameter::instance()->m_bPreviewing || ui->recordHistory->isShowHistory()) {
        QTimer::singleShot(1000, this, &MainWindow::closeCamera);
        return;
    }
    // A webcam recording is never thrown away: the window stops it into the
    // preview and closes after it, as its own close box does; its closing
    // then comes back here through the camera switch.
    if (m_pCameraDlg->holdsRecording()) {
        m_pCameraDlg->close();
        return;
    }
    dropCamera();
}

void MainWindow::dropCamera()
{
    if (!m_pCameraDlg)
        return;
    if (m_nRecordWhat == RecordWhat_Webcam)
        m_nRecordWhat = m_nPreRecordWhat;
    RecordParameter* params = RecordParameter::instance();
    if (params->isOnlyRecordCamera()) {
        // Whatever the window was recording or previewing went with it.
        RecordingSession::instance()->finish();
        ui->recordHistory->onCheckDurationState(true);
        onShowWindowAndRegion();
    }
    // A photo still flying out is the window's child and goes with it.
    CameraDlg* dlg = m_pCameraDlg.data();
    m_pCameraDlg = nullptr;
    dlg->disconnect(this);
    dlg->disconnect(ui->btnUseCamera);
    delete dlg;
}

void MainWindow::onCameraRedord()
{
    if (CameraManager::instance()->getCameras().isEmpty()) {
        VxMessageBox::warning(m_pMainWindowBase, productName(),
                              tr("No camera devices detected. Please make sure your camera is connected and available."),
                              QMessageBox::Ok);
        // The webcam mode did not start: the mode before it stays.
        if (m_nRecordWhat == RecordWhat_Webcam)
            m_nRecordWhat = m_nPreRecordWhat;
        return;
    }
    if (!grantedAfterTips(Privacy_Camera, &DeviceManager::isPermissionCamera))
        return;
    // An overlay open before gives way to the recorder; the mode just
    // chosen stays.
    const int mode = m_nRecordWhat;
    dropCamera();
    m_nRecordWhat = mode;
    if (!isWindowPickerOpen()) {
        onSaveFramePos();
        hideFrame();
    }
    ScreenRegion::instance()->hideRegionBox();
    RecordParameter::instance()->setOnlyRecordCamera(true);
    openCamera();
}

void MainWindow::onbtnTakePhotoClicked()
{
    if (RecordParameter::instance()->getCamerastream() && m_pCameraDlg)
        m_pCameraDlg->snapshot();
}

void MainWindow::onCameraChange()
{
    if (m_webcam.m_pCameraPopup) {
        m_webcam.m_pCameraPopup->hide();
        m_webcam.m_pCameraPopup->deleteLater();
    }
    if (m_webcam.m_pCameraList)
        m_webcam.m_pCameraList->deleteLater();
    const QStringList cameras = CameraManager::instance()->getCameras();
    const QString chosen = CameraManager::instance()->chosenCamera();
    m_webcam.m_pCameraPopup = new QMenu;
    m_webcam.m_pCameraList = new FfMenu;
    if (cameras.isEmpty()) {
        RecordParameter::instance()->setCamerastream(false);
        ui->frameCamera->setEnabled(false);
        ui->btnCameraNotUse->show();
        ui->btnCamera->hide();
    } else {
        const QFontMetrics metrics(font());
        for (int i = 0; i < cameras.size(); ++i) {
            auto* button = new QRadioButton;
            const QString& name = cameras[i];
            button->setText(metrics.boundingRect(name).width() > 150 ? metrics.elidedText(name, Qt::ElideRight, 150)
                                                                     : name);
            button->setProperty("Index", i);
            button->setToolTip(name);
            button->setChecked(name == chosen);
            m_webcam.m_pCameraList->addButton(button);
        }
        ui->frameCamera->setEnabled(true);
        ui->btnCameraNotUse->hide();
        ui->btnCamera->show();
    }
    auto* action = new QWidgetAction(m_webcam.m_pCameraPopup);
    action->setDefaultWidget(m_webcam.m_pCameraList);
    m_webcam.m_pCameraPopup->addAction(action);
    ui->btnCamera->setMenu(m_webcam.m_pCameraPopup);
    connect(m_webcam.m_pCameraList, &FfMenu::buttonClicked, this, &MainWindow::onCameraMenu);
    connect(m_webcam.m_pCameraList, &FfMenu::manageClicked, this, &MainWindow::onCamerManager);
    m_webcam.m_pCameraList->setManagerBtnVisable(false);
}

void MainWindow::onCameraMenu(QAbstractButton* button)
{
    if (m_webcam.m_pCameraPopup)
        m_webcam.m_pCameraPopup->hide();
    if (m_pCameraDlg && button)
        m_pCameraDlg->onCameraItemChanged(button->toolTip());
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
    if (!grantedAfterTips(Privacy_ScreenCapture, &DeviceManager::isPermissionScreenCapture, fromUser))
        return;
    if (isWindowPickerOpen())
        return;
    if (m_pCameraDlg)
        closeCamera();
    hideFrame();
    onHideRegionBox();
    ui->actionOptions->setEnabled(false);

    m_pDlgLockWindow = new DlgLockWindow(m_pMainWindowBase);
    connect(m_pDlgLockWindow.data(), &QDialog::finished, this, &MainWindow::onWindowSelectClose, Qt::QueuedConnection);
    connect(m_pDlgLockWindow.data(), &DlgLockWindow::showRegionBox, this, [this](bool show) {
        if (show)
            onShowRegionBox();
        else
            onHideRegionBox();
    });
    SystemStatusBar::instance()->setActionEnable(false);
    m_pDlgLockWindow->show();
    m_pDlgLockWindow->initModeSelected();
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
