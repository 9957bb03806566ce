#include "app/MainWindow.h"

#include <QDialog>
#include <QFontMetrics>

#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/SystemStatusBar.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/log/Log.h"
#include "recording/ScreenRegion.h"
#include "ui_MainWindow.h"

// The webcam and the window picker as the home window reaches them. Neither
// the webcam window nor the picker is built yet: these paths say so and
// keep the rest of the window consistent until they are.

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

// ---- webcam ------------------------------------------------------------------------

void MainWindow::onSetCameraEnable(bool on)
{
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
    if (!grantedAfterTips(Privacy_ScreenCapture, &DeviceManager::isPermissionScreenCapture, fromUser))
        return;
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
