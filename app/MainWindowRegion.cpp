#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalBlocker>

#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/RegionGeometry.h"
#include "preferences/ShortcutTool.h"
#include "core/RecordingSession.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "recording/DlgLockWindow.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "widgets/VxComboboxViewItemDelegate.h"
#include "ui_MainWindow.h"

// The recording region of the home window: the screen switch, the size
// boxes and their menus, the ratio lock, the displays, the region box and
// the control bar's place over it, and the around- and follow-mouse menu.

namespace {
const char* const kLogModule = homewindow::logModule();

// The encoders take even sizes only and the region box rounds down to
// them: the fields and the stored region say what will be recorded.
QSize recordedSize(int w, int h)
{
    return QSize(w / 2 * 2, h / 2 * 2);
}
} // namespace

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
        Log(kLogModule, LogLevel::Info, "onSetVideoEnable: no display, region left unset");
    } else {
        const qreal ratio = qApp->devicePixelRatio();
        const QRect fallback = centredRegion(display, defaultRegionSize(display, ratio));
        const QRect stored = VxSettings::instance()->applicationParam(homewindow::videoRectKey(), fallback).toRect();
        const QRect region = fitStoredRegion(stored, display, ratio);
        setEditRect(region.width(), region.height());
        ScreenRegion::instance()->showRegionBox(region);
        // A refused screen permission switches video off from inside the
        // box's permission check; that answer stands.
        if (!params->getVideoEnable())
            return;
        params->setVideoRect(region);
        Log(kLogModule, LogLevel::Info, "onSetVideoEnable");
        const bool full = region.size() == display;
        ui->btnFull->setChecked(full);
        ui->btnCustom->setChecked(!full);
    }
    checkAccessibily();
    ui->btnAroundMouse->setEnabled(true);
}


// ---- region ----------------------------------------------------------------------

void MainWindow::setEditRect(int w, int h)
{
    const QSignalBlocker blockWidth(ui->editWidth);
    const QSignalBlocker blockHeight(ui->editHeight);
    ui->editWidth->setCustomValue(w);
    ui->editHeight->setCustomValue(h);
}

void MainWindow::setEditRange(const QSize& display)
{
    // A range that clamps the present value must not pass for a user's
    // size change.
    const QSignalBlocker blockWidth(ui->editWidth);
    const QSignalBlocker blockHeight(ui->editHeight);
    ui->editWidth->setCustomRange(kMinRegionSide, display.width());
    ui->editHeight->setCustomRange(kMinRegionSide, display.height());
}

void MainWindow::initCustomMenu()
{
    m_region.m_pCustomMenu = new QMenu(this);
    m_region.m_pCustomMenu->setObjectName(QStringLiteral("menuCustom"));
    m_region.m_pCustomMenu->addAction(ui->action1920x1080_1080p);
    m_region.m_pCustomMenu->addAction(ui->action1280x720_720p);
    m_region.m_pCustomMenu->addAction(ui->action854x480_480p);
    m_region.m_pCustomMenu->addSeparator();
    m_region.m_pCustomMenu->addAction(ui->action1024x768);
    m_region.m_pCustomMenu->addAction(ui->action640x480);
    m_region.m_pCustomMenu->addSeparator();
    m_region.m_pCustomMenu->addAction(ui->actionsleect);
    ui->btnCustom->setMenu(m_region.m_pCustomMenu);
    connect(m_region.m_pCustomMenu, &QMenu::triggered, this, &MainWindow::onCustomMenu);
    connect(ui->actionOptions, &QAction::triggered, this, &MainWindow::onShowOption);
}

void MainWindow::showCustomSizeMenu()
{
    const QSize display = displaySize();
    if (display.isEmpty())
        return;
    Log(kLogModule, LogLevel::Info, "MAXX:%d, MAXY:%d", display.width(), display.height());
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
    size = recordedSize(size.width(), size.height());
    w = size.width();
    h = size.height();
    setEditRect(w, h);
    const QRect region = centre ? centredRegion(display, QSize(w, h)) : params->fixVideoRect(w, h, stored);
    params->setVideoRect(region);
    Log(kLogModule, LogLevel::Info, "setCustomRegionBox");
    return region;
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
    Log(kLogModule, LogLevel::Info, "onSetFullRegionBox");
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
    rect.setSize(recordedSize(rect.width(), rect.height()));
    setEditRect(rect.width(), rect.height());
    RecordParameter::instance()->setVideoRect(rect);
    Log(kLogModule, LogLevel::Info, "onEndSelectRegion");
    ScreenRegion::instance()->showRegionBox(rect);
    VxSettings::instance()->setApplicationParam(homewindow::videoRectKey(), ScreenRegion::instance()->resultRegion());
    if (!isWindowPickerOpen() && m_pMainWindowBase) {
        m_pMainWindowBase->saveWindowPos();
        m_pMainWindowBase->show();
    }
}

bool MainWindow::displayBusy() const
{
    return !RecordingSession::instance()->isIdle();
}

void MainWindow::onShowRegionBox()
{
    RecordParameter* params = RecordParameter::instance();
    // The editable box never stands over a recording under way, nor over
    // the control bar's stop and preview.
    if (RecordingSession::instance()->isRecording() || m_pVideoRecCtl)
        return;
    if (m_region.m_bDisplayChangePending && !params->m_bPreviewing) {
        // Applying it puts the box up where one belongs.
        m_region.m_bDisplayChangePending = false;
        onDisplayChange();
        return;
    }
    const bool video = params->getVideoEnable();
    Log(kLogModule, LogLevel::Info, "choose %d, video %d, window%d, dlg%p", m_nRecordWhat, video ? 1 : 0,
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
    if (m_bReminderOpen || RecordingSession::instance()->isStarting())
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
    // Placed before it shows: a bar shown first appears for a moment where
    // the window system puts new windows, and its place read right then is
    // that one. A bar never shown has no size of its own yet.
    if (!m_pVideoRecCtl->testAttribute(Qt::WA_Resized))
        m_pVideoRecCtl->adjustSize();
    const QRect full = DeviceManager::instance()->getFullScreenRect(params->getUseDisplayIndex());
    const int barWidth = m_pVideoRecCtl->width();
    const int barHeight = m_pVideoRecCtl->height();
    const QSize display = DeviceManager::instance()->getSelectedDisplayRect().size();
    Log(kLogModule, LogLevel::Info,
        "rect leftTop(%d,%d),size: %d*%d  |  VideoRecCtl: %d*%d  |  SelectedDisplayRect: %d*%d | FullDisplayRect "
        "leftTop(%d,%d),size: %d*%d",
        rect.left(), rect.top(), rect.width(), rect.height(), barWidth, barHeight, display.width(), display.height(),
        full.left(), full.top(), full.width(), full.height());
    const QPoint pos = videoCtlBarPos(rect, full, QSize(barWidth, barHeight), m_bBarAtCorner);
    Log(kLogModule, LogLevel::Info, "the end barRect leftTop(%d,%d),size: %d*%d ", pos.x(), pos.y(), barWidth, barHeight);
    m_pVideoRecCtl->setGeometry(pos.x(), pos.y(), barWidth, barHeight);
    if (!params->isHideFloat())
        m_pVideoRecCtl->show();
}

// ---- displays ----------------------------------------------------------------------

void MainWindow::onDisplayChange()
{
    // Re-centring the region now would move it under a running recording:
    // it waits until the box is shown again.
    if (displayBusy()) {
        Log(kLogModule, LogLevel::Info, "display change noted for later");
        m_region.m_bDisplayChangePending = true;
        return;
    }
    m_region.m_bDisplayChangePending = false;
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
    // A fresh painter per list: the old one goes once the new one is in.
    QPointer<VxComboboxViewItemDelegate> old = m_region.m_pDisplayDelegate;
    m_region.m_pDisplayDelegate = new VxComboboxViewItemDelegate(ui->cmbDisplay);
    // Room for the check picture that marks the display in use.
    m_region.m_pDisplayDelegate->setTextLeftMargin(28);
    ui->cmbDisplay->setItemDelegate(m_region.m_pDisplayDelegate);
    delete old.data();
    updateComboBox();
    if (count > 0)
        onDisplayIndexChange(index);
}

void MainWindow::updateComboBox()
{
    if (!m_region.m_pDisplayDelegate)
        return;
    // A skin that sets no colours still gets the home window's own.
    const auto pick = [](const QColor& color, const char* fallback) {
        return color.isValid() ? color : QColor(QLatin1String(fallback));
    };
    m_region.m_pDisplayDelegate->setTextColorH(pick(m_clrHover, "#ffffff"));
    m_region.m_pDisplayDelegate->setTextColorN(pick(m_clrNormal, "#3c4650"));
    m_region.m_pDisplayDelegate->setBacColorH(pick(m_clrBacHover, "#d9252b"));
    m_region.m_pDisplayDelegate->setBacColorN(pick(m_clrBacNormal, "#ffffff"));
    m_region.m_pDisplayDelegate->useStandardCheckImage();
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
    Log(kLogModule, LogLevel::Info, "MAXX:%d,MAXY:%d", size.width(), size.height());

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
    setEditRange(size);
    setEditRect(region.width(), region.height());
    params->setVideoRect(region);
    // Another display, or the same one at another size: the presets that
    // no longer fit leave the menu, those that fit again come back.
    showCustomSizeMenu();
    Log(kLogModule, LogLevel::Info, "onDisplayIndexChange");
    if (params->getVideoEnable() || m_nRecordWhat == RecordWhat_Window) {
        ScreenRegion::instance()->hideRegionBox();
        onShowRegionBox();
    }
}

// ---- around the mouse ------------------------------------------------------------------

void MainWindow::initAroundMouseMenu()
{
    m_region.m_pAroundMouseMenu = new QMenu(this);
    m_region.m_pAroundMouseMenu->setObjectName(QStringLiteral("menuAroundMouse"));
    m_region.m_pFollowAction = m_region.m_pAroundMouseMenu->addAction(tr("Follow the mouse"));
    m_region.m_pAroundMouseMenu->addSeparator();
    m_region.m_pAroundSubMenu = m_region.m_pAroundMouseMenu->addMenu(tr("Around mouse"));
    m_region.m_pAroundSubMenu->setObjectName(QStringLiteral("menuAroundSizes"));

    const QRect region = RecordParameter::instance()->getVideoRect();
    m_region.m_pCurrentAreaAction = m_region.m_pAroundSubMenu->addAction(
        tr("Current area (%1x%2)").arg(region.width()).arg(region.height()));
    m_region.m_aroundSizes.insert(m_region.m_pCurrentAreaAction, QSize());
    // The entry's text starts with its size, so the size is written once.
    const struct
    {
        int width;
        int height;
        const char* note;
        bool separatorBefore;
    } sizes[] = {
        {1920, 1080, "1080p", true},
        {1280, 720, "720p", false},
        {854, 480, "480p", false},
        {1024, 768, nullptr, true},
        {640, 480, nullptr, false},
        {480, 360, nullptr, false},
        {320, 240, nullptr, false},
        {192, 144, nullptr, false},
        {2436, 1124, "iPhone X", true},
        {1920, 1080, "iPhone 6/6s/7/8 Plus", false},
        {1334, 750, "iPhone 6/6s/7/8", false},
        {1136, 640, "iPhone 5/5s", false},
        {1024, 768, "ipad", false},
    };
    for (const auto& size : sizes) {
        if (size.separatorBefore)
            m_region.m_pAroundSubMenu->addSeparator();
        QString text = QStringLiteral("%1x%2").arg(size.width).arg(size.height);
        if (size.note)
            text += QStringLiteral(" (%1)").arg(QLatin1String(size.note));
        QAction* action = m_region.m_pAroundSubMenu->addAction(text);
        m_region.m_aroundSizes.insert(action, QSize(size.width, size.height));
    }
    ui->btnAroundMouse->setMenu(m_region.m_pAroundMouseMenu);
    connect(m_region.m_pAroundSubMenu, &QMenu::triggered, this, &MainWindow::onAroundMouseRecord);
    connect(m_region.m_pAroundMouseMenu, &QMenu::triggered, this, &MainWindow::onSpecialMenu);
    connect(ui->btnAroundMouse, &QToolButton::clicked, this, [this] {
        m_region.m_pFollowAction->setText(tr("Follow the mouse"));
        m_region.m_pAroundSubMenu->setTitle(tr("Around mouse"));
        const QRect current = RecordParameter::instance()->getVideoRect();
        m_region.m_pCurrentAreaAction->setText(tr("Current area (%1x%2)").arg(current.width()).arg(current.height()));
        ui->btnAroundMouse->showMenu();
    });
}

void MainWindow::onSpecialMenu(QAction* action)
{
    if (action != m_region.m_pFollowAction || startingRefused("follow the mouse"))
        return;
    RecordParameter::instance()->setFollowMouse(true);
    onBtnRecClicked();
}

void MainWindow::onAroundMouseRecord(QAction* action)
{
    if (!m_region.m_aroundSizes.contains(action) || startingRefused("around the mouse"))
        return;
    QSize size = m_region.m_aroundSizes.value(action);
    if (action == m_region.m_pCurrentAreaAction) {
        const QRect region = RecordParameter::instance()->getVideoRect();
        if (region.width() < 65 || region.height() < 65)
            return;
        size = region.size();
    }
    RecordParameter::instance()->setAroundMouse(true);
    RecordParameter::instance()->setAroundMouseSize(size);
    onBtnRecClicked();
}
