#include "app/MainWindowBase.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/DlgQuitMessage.h"
#include "feedback/FeedBackDialog.h"
#include "platform/log/Log.h"
#include "app/MainWindow.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "capture/UnsavedOffer.h"
#include "core/UnsavedRecording.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "ui_MainWindowBase.h"
#include "ui_TitleTool.h"

namespace {
const char* const kLogModule = "MainWindowBase";
const char* const kTopMostKey = "TopMost";
const char* const kRemindCloseKey = "RemindClose";
}

MainWindowBase::MainWindowBase(QWidget* parent)
    : VxMainWindowBase(parent)
    , m_pUi(new Ui::MainWindowBase)
    , m_pTitleUi(new Ui::TitleTool)
{
    m_pUi->setupUi(this);

    m_pMainWindow = new MainWindow(nullptr);
    m_pMainWindow->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    setWindowFlags(frameFlags(VxSettings::instance()->applicationParam(kTopMostKey, false).toBool()));

    // The home window only owns its content; the content lives here.
    auto* clientLayout = new QVBoxLayout(m_pUi->vxMainWindowClient);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    clientLayout->addWidget(m_pMainWindow->takeCentralWidget());
    m_pMainWindow->hide();

    m_pMainWindow->setMainWindowBase(this);
    TaskManage::instance()->setMainWidBase(this);

    appendStandardMenus(m_pMainWindow->menuBar());
    postCreateDerivedMainWindow(true, true, m_pMainWindow->menuBar());
    setupDockClickHandler();

    QAction* preferences = m_pMainWindow->preferenceAction();
    actionHolder()->addAction(preferences);
    preferences->setMenuRole(QAction::PreferencesRole);

    fillTitle();
    m_pMainWindow->initCore();
    SystemStatusBar::instance()->setVisible(true);
}

MainWindowBase::~MainWindowBase()
{
    // The home window stops the capture engine on its way out.
    delete m_pMainWindow;
    m_pMainWindow = nullptr;
    if (TaskManage::instance()->mainWidBase() == this)
        TaskManage::instance()->setMainWidBase(nullptr);
    delete m_pTitleUi;
    m_pTitleUi = nullptr;
    delete m_pUi;
    m_pUi = nullptr;
}

Qt::WindowFlags MainWindowBase::frameFlags(bool topMost) const
{
    Qt::WindowFlags flags = Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    if (topMost)
        flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

void MainWindowBase::fillTitle()
{
    m_pTitleFrame = new QFrame();
    m_pTitleUi->setupUi(m_pTitleFrame);
    QFile sheet(QStringLiteral(":/home/home.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        m_pTitleFrame->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    // Without a desktop-wide menu bar the application menu (preferences,
    // About, Quit) sits at the start of the title row.
    if (QMenuBar* bar = m_pMainWindow->menuBar()) {
        bar->setNativeMenuBar(false);
        m_pTitleUi->horizontalLayout->insertWidget(0, bar);
    }
    setCustomTitleContents(m_pTitleFrame);

    connect(m_pTitleUi->btnFeedback, &QToolButton::clicked, this, &MainWindowBase::onFeedback);
    m_pTitleUi->btnMiniBar->hide();
    connect(m_pTitleUi->btnMiniBar, &QToolButton::clicked, this, &MainWindowBase::onShowMini);
    connect(m_pTitleUi->btnTopHint, &QToolButton::clicked, this, &MainWindowBase::onTopHint);
    m_pTitleUi->btnMiniBar->setToolTip(QString());
    m_pTitleUi->btnFeedback->setToolTip(tr("Feedback"));
    m_pTitleUi->btnTopHint->setToolTip(tr("Set/Cancel interface always in front"));

    m_pTitleUi->btnFeedback->setIcon(QIcon(QStringLiteral(":/home/feedback.svg")));
    QIcon pin(QStringLiteral(":/home/pin_off.svg"));
    pin.addFile(QStringLiteral(":/home/pin_on.svg"), QSize(), QIcon::Normal, QIcon::On);
    m_pTitleUi->btnTopHint->setIcon(pin);
    // The window opens with the stored level: the pin says so.
    m_pTitleUi->btnTopHint->setCheckable(true);
    m_pTitleUi->btnTopHint->setChecked(VxSettings::instance()->applicationParam(kTopMostKey, false).toBool());

    connect(SystemStatusBar::instance(), &SystemStatusBar::sigShowMain, this, &MainWindowBase::onShowMainRequested);
}

void MainWindowBase::onShowMainRequested()
{
    if (m_pMainWindow && m_pMainWindow->isWindowPickerOpen())
        return;
    QWidget* target = nullptr;
    if (VxDialogBase::getPopupDialogCount() == 0) {
        target = this;
    } else {
        // One running dialog is what the user was in; with several, which
        // one to raise cannot be told.
        const QList<QDialog*> dialogs = VxDialogBase::getAllExecDialogs();
        if (dialogs.size() == 1)
            target = dialogs.first();
    }
    if (!target)
        return;
    if (target->isHidden() || target->isMinimized())
        target->showNormal();
    // Also when it is only covered by other windows.
    target->raise();
    target->activateWindow();
}

void MainWindowBase::endForSession(int signalNumber)
{
    Log(kLogModule, LogLevel::Info, "ending for signal %d", signalNumber);
    if (m_pMainWindow)
        m_pMainWindow->finishRecordingForQuit();
    QCoreApplication::quit();
}

void MainWindowBase::setupDockClickHandler()
{
    // X11 desktops have no dock icon to hook; the status-bar item brings a
    // hidden window back instead.
    Log(kLogModule, LogLevel::Info, "No dock click handler on this desktop");
}

void MainWindowBase::dockIconClicked()
{
    Log(kLogModule, LogLevel::Info, "Dock icon clicked!");
    emit SignalsTransfer::instance()->dockIconClicked();
}

QString MainWindowBase::appFontConf(const QString& /*language*/)
{
    return QString();
}

bool MainWindowBase::fontExist(const QString& family)
{
    return QFontDatabase().families().contains(family, Qt::CaseSensitive);
}

void MainWindowBase::onFeedback()
{
    FeedBackDialog::showFeedBack(this);
}

void MainWindowBase::onMenuBtnClicked()
{
    QTimer::singleShot(10, this, &MainWindowBase::onDropdownShow);
}

void MainWindowBase::onTopHint()
{
    hide();
    const bool topMost = VxSettings::instance()->applicationParam(kTopMostKey, false).toBool();
    setWindowFlags(frameFlags(!topMost));
    VxSettings::instance()->setApplicationParam(kTopMostKey, !topMost);
    show();
    m_pTitleUi->btnTopHint->setChecked(VxSettings::instance()->applicationParam(kTopMostKey, false).toBool());
}

void MainWindowBase::on_changeSkin()
{
    if (!m_pMainWindow) {
        VxMainWindowBase::on_changeSkin();
        return;
    }
    m_pMainWindow->onSaveFramePos();
    VxMainWindowBase::on_changeSkin();
    QTimer::singleShot(10, m_pMainWindow, &MainWindow::onLoadFramePos);
    m_pMainWindow->updateComboBox();
}

void MainWindowBase::setNormalIcon(const QString& path)
{
    m_strNormalIcon = path;
    SystemStatusBar::instance()->setNormalIcon(path);
}

void MainWindowBase::setPauseIcon(const QString& path)
{
    m_strPauseIcon = path;
    SystemStatusBar::instance()->setPauseIcon(path);
}

void MainWindowBase::setRecordingIcon(const QString& paths)
{
    m_strRecordingIcon = paths;
    SystemStatusBar::instance()->setRecordingIcon(paths);
}

bool MainWindowBase::event(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const Qt::WindowStates old = change->oldState() & ~Qt::WindowActive;
        Log(kLogModule, LogLevel::Info, "WindowStateChange: %d", static_cast<int>(change->oldState()));
        // From the plain state to minimised, maximised or full screen: the
        // region box would stand over a window that is no longer there.
        const Qt::WindowStates now = windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
        if (old == Qt::WindowNoState && now != Qt::WindowNoState && m_pMainWindow)
            m_pMainWindow->onHideRegionBox();
    }
    return VxMainWindowBase::event(event);
}

MainWindowBase::CloseAnswer MainWindowBase::askHowToClose()
{
    if (!VxSettings::instance()->applicationParam(kRemindCloseKey, false).toBool()) {
        DlgQuitMessage question(this);
        if (question.exec() != QDialog::Accepted)
            return Close_Keep;
    }
    return RecordParameter::instance()->isCloseWhenClose() ? Close_Quit : Close_Tray;
}

void MainWindowBase::closeEvent(QCloseEvent* event)
{
    if (m_pMainWindow)
        m_pMainWindow->onHideRegionBox();
    // Only the user's own close (from the window manager) is a question; a
    // close the program or a tool driving it asks for simply ends the run.
    const CloseAnswer answer = event->spontaneous() ? askHowToClose() : Close_Quit;
    if (answer == Close_Quit) {
        event->accept();
        // Like an end from outside: a recording under way is kept as a file.
        if (m_pMainWindow)
            m_pMainWindow->finishRecordingForQuit();
        QCoreApplication::quit();
        return;
    }
    event->ignore();
    if (!m_pMainWindow)
        return;
    if (answer == Close_Tray)
        m_pMainWindow->sendToStatusBar();
    else
        m_pMainWindow->onShowRegionBox();
}

void MainWindowBase::showEvent(QShowEvent* event)
{
    VxMainWindowBase::showEvent(event);
    if (m_pMainWindow) {
        m_pMainWindow->hideFloatWindow();
        m_pMainWindow->onShowRegionBox();
    }
}

void MainWindowBase::changeEvent(QEvent* event)
{
    VxMainWindowBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange && m_pTitleFrame) {
        SystemStatusBar::instance()->changeLanguage();
        m_pTitleUi->btnMiniBar->setToolTip(tr("Mini"));
        m_pTitleUi->btnFeedback->setToolTip(tr("Feedback"));
        m_pTitleUi->btnTopHint->setToolTip(tr("Set/Cancel interface always in front"));
    }
}

bool MainWindowBase::derivedProcGenerateWindowTitle(QString& /*title*/)
{
    return false;
}

bool MainWindowBase::doSomethingBeforeLanguageChanged(const QString& /*language*/)
{
    return false;
}

bool MainWindowBase::refuseFrameworkDialog(const char* hook) const
{
    const RecordParameter* params = RecordParameter::instance();
    const bool refuse = params->m_bRecording || params->isOnlyRecordCamera()
        || TaskManage::instance()->isWaitTaskStart() || (m_pMainWindow && m_pMainWindow->isWindowPickerOpen());
    if (refuse)
        Log(kLogModule, LogLevel::Info, "%s", hook);
    return refuse;
}

bool MainWindowBase::derivedProcShowAboutDialog()
{
    return refuseFrameworkDialog("derivedProcShowAboutDialog");
}

bool MainWindowBase::derivedProcShowUpdateDialog(VxApplicationUpdate* /*update*/)
{
    return refuseFrameworkDialog("derivedProcShowUpdateDialog");
}

void MainWindowBase::checkUnSaveFile()
{
    const QString path = UnsavedRecording::find();
    if (path.isEmpty())
        return;
    const int answer = VxMessageBox::warning(this, VxProductInfo::instance()->productName(""),
                                             tr("An unsaved recording was detected. Restore it now?"),
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
                                             QMessageBox::Cancel, false);
    if (answer != QMessageBox::Yes)
        return;
    hide();
    if (UnsavedOffer::restore(path, this) == 1)
        SignalsTransfer::instance()->showHistoryThen(this, [this] { show(); });
    else
        show();
}

