#include "app/SystemStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QTime>
#include <QTimer>
#include <QWidgetAction>

#include "app/FrmTrayMenu.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxProductInfo.h"

namespace {
SystemStatusBar* g_pInstance = nullptr;

const int kFrameMs = 1000;

// Nothing records while a start is prepared or a stop hands its file over:
// the icon is the idle one then.
SysBarState iconStateOf(RecordingSession::State state)
{
    switch (state) {
    case RecordingSession::Session_Recording:
        return SysBar_Recording;
    case RecordingSession::Session_Paused:
        return SysBar_Paused;
    case RecordingSession::Session_Previewing:
    case RecordingSession::Session_Saving:
        return SysBar_Previewing;
    case RecordingSession::Session_Idle:
    case RecordingSession::Session_Starting:
    case RecordingSession::Session_Countdown:
    case RecordingSession::Session_Stopping:
        break;
    }
    return SysBar_Idle;
}

// Built-in pictures; the skin replaces them through the frame window.
const char* const kDefaultNormalIcon = ":/tray/tray_normal.png";
const char* const kDefaultPauseIcon = ":/tray/tray_pause.png";
const char* const kDefaultRecordingIcon = ":/tray/tray_rec1.png;:/tray/tray_rec2.png";

const int kBrandInsertAt = 10;
} // namespace

QString adjustFileName(const QString& path)
{
    if (VxProductInfo::instance()->brand() != QLatin1String("Halvind"))
        return path;
    const QFileInfo info(path);
    QString base = info.baseName();
    // QString::insert pads a short name with blanks up to the index; a
    // name shorter than that takes the suffix at its end instead.
    base.insert(qMin(kBrandInsertAt, base.size()), QLatin1String("_halvind"));
    return info.path() + "/" + base;
}

SystemStatusBar::SystemStatusBar()
    : QSystemTrayIcon(nullptr)
    , m_pMenu(new QMenu())
    , m_pTimer(new QTimer(this))
    , m_pClickTimer(new QTimer(this))
    , m_secondSource([] { return QTime::currentTime().second(); })
{
    m_pMenu->setObjectName("SystemTrayMenu");

    m_pPanel = new FrmTrayMenu(m_pMenu);
    m_pPanelAction = new QWidgetAction(m_pMenu);
    m_pPanelAction->setDefaultWidget(m_pPanel);
    m_pMenu->addAction(m_pPanelAction);
    m_pSeparator = m_pMenu->addSeparator();
    m_pFloatPanelAction = m_pMenu->addAction(tr("Hide Float Panel"));
    m_pExitAction = m_pMenu->addAction(tr("Exit"));

    m_pTimer->setInterval(kFrameMs);
    m_pClickTimer->setSingleShot(true);
    connect(m_pClickTimer, &QTimer::timeout, this, &SystemStatusBar::onSingleClick);
    // The icon shows the recording session's state as it reports it.
    connect(RecordingSession::instance(), &RecordingSession::stateChanged, this,
            [this](RecordingSession::State state) { setSysBarState(iconStateOf(state)); });

    connect(this, &QSystemTrayIcon::activated, this, &SystemStatusBar::onActivated);

    // The menu goes first: whatever a receiver starts (a countdown, a
    // capture, a modal box) must not find the popup still open and
    // holding the pointer.
    connect(m_pPanel, &FrmTrayMenu::sigSnap, m_pMenu, &QMenu::hide);
    connect(m_pPanel, &FrmTrayMenu::sigStartOrStop, m_pMenu, &QMenu::hide);
    connect(m_pPanel, &FrmTrayMenu::sigPauseOrResume, m_pMenu, &QMenu::hide);
    connect(m_pPanel, &FrmTrayMenu::sigSetting, m_pMenu, &QMenu::hide);
    connect(m_pPanel, &FrmTrayMenu::sigHome, m_pMenu, &QMenu::hide);

    connect(m_pPanel, &FrmTrayMenu::sigSnap, this, &SystemStatusBar::sigSnap);
    connect(m_pPanel, &FrmTrayMenu::sigStartOrStop, this, &SystemStatusBar::onPanelStartOrStop);
    connect(m_pPanel, &FrmTrayMenu::sigPauseOrResume, this, &SystemStatusBar::sigPauseOrResume);
    connect(m_pPanel, &FrmTrayMenu::sigSetting, this, &SystemStatusBar::onPanelSetting);
    connect(m_pPanel, &FrmTrayMenu::sigHome, this, &SystemStatusBar::onPanelHome);

    connect(m_pFloatPanelAction, &QAction::triggered, this, &SystemStatusBar::sigHide);
    connect(m_pExitAction, &QAction::triggered, this, [this] {
        // Listeners finish what must not be lost before the loop ends.
        emit sigExit();
        QCoreApplication::quit();
    });
    connect(m_pTimer, &QTimer::timeout, this, &SystemStatusBar::onRecTimerOut);

    setNormalIcon(kDefaultNormalIcon);
    setPauseIcon(kDefaultPauseIcon);
    setRecordingIcon(kDefaultRecordingIcon);
}

SystemStatusBar::~SystemStatusBar()
{
    m_pTimer->stop();
    delete m_pMenu; // the panel and the actions go with it
}

SystemStatusBar* SystemStatusBar::instance()
{
    if (!g_pInstance)
        g_pInstance = new SystemStatusBar();
    return g_pInstance;
}

namespace {
// The recording windows reach the tray through StatusItem only.
const bool g_statusItemRegistered = (StatusItem::setFactory([]() -> StatusItem* { return SystemStatusBar::instance(); }), true);
} // namespace

QMetaObject::Connection SystemStatusBar::connectShowPreview(QObject* receiver, std::function<void()> slot)
{
    return connect(this, &SystemStatusBar::sigShowPreview, receiver, std::move(slot), Qt::QueuedConnection);
}

void SystemStatusBar::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

QIcon SystemStatusBar::loadIcon(const QString& path)
{
    return QIcon(QPixmap(adjustFileName(path)));
}

void SystemStatusBar::setSysBarState(SysBarState state)
{
    m_eState = state;
    switch (state) {
    case SysBar_Idle:
        m_pTimer->stop();
        setIcon(loadIcon(m_strNormalIcon));
        break;
    case SysBar_Recording:
        m_pTimer->start(kFrameMs);
        // The first tick is a second away: show the first frame now rather
        // than leaving the icon blank (several frames are not one path).
        if (!m_lstRecordingFrames.isEmpty())
            setIcon(QIcon(m_lstRecordingFrames.first()));
        else
            setIcon(loadIcon(m_strRecordingIcon));
        break;
    case SysBar_Previewing:
    case SysBar_Paused:
        m_pTimer->stop();
        setIcon(loadIcon(m_strPauseIcon));
        break;
    default:
        break;
    }
}

void SystemStatusBar::setNormalIcon(const QString& path)
{
    m_strNormalIcon = path;
    setIcon(loadIcon(path));
}

void SystemStatusBar::setPauseIcon(const QString& path)
{
    m_strPauseIcon = path;
}

void SystemStatusBar::setRecordingIcon(const QString& paths)
{
    m_strRecordingIcon = paths;
    m_lstRecordingFrames.clear();
    const QStringList parts = paths.split(';', Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (const QString& part : parts)
        m_lstRecordingFrames.append(QPixmap(adjustFileName(part)));
}

void SystemStatusBar::onRecTimerOut()
{
    if (m_lstRecordingFrames.isEmpty())
        return;
    const int second = m_secondSource ? m_secondSource() : QTime::currentTime().second();
    const int count = m_lstRecordingFrames.size();
    const int index = ((second % count) + count) % count;
    setIcon(QIcon(m_lstRecordingFrames.at(index)));
}

void SystemStatusBar::setSecondSource(std::function<int()> source)
{
    m_secondSource = std::move(source);
}

void SystemStatusBar::setRecordInfo(const QString& duration, const QString& size)
{
    m_pPanel->setRecordInfo(duration, size);
}

void SystemStatusBar::setActionEnable(bool enable)
{
    m_bActionEnable = enable;
}

void SystemStatusBar::setCanRec(bool can)
{
    m_bCanRec = can;
}

void SystemStatusBar::setHomeEnable(bool enable)
{
    m_bHomeEnable = enable;
}

void SystemStatusBar::setStopEnable(bool enable)
{
    m_pPanel->setStopEnable(enable);
}

void SystemStatusBar::changeLanguage()
{
    m_pExitAction->setText(tr("Exit"));
}

void SystemStatusBar::onPanelStartOrStop()
{
    RecordParameter* param = RecordParameter::instance();
    if (param->isOnlyRecordCamera())
        emit sigShowCamera();
    else if (!param->m_bRecording)
        emit sigShowMain();
    emit sigStartOrStop();
}

void SystemStatusBar::onPanelSetting()
{
    emit sigShowMain();
    emit sigSetting();
}

void SystemStatusBar::onPanelHome()
{
    emit sigShowMain();
    emit sigHome();
}

void SystemStatusBar::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
    // A StatusNotifierItem host reports no double click; its middle click
    // (secondary activation) stands for it.
    case QSystemTrayIcon::MiddleClick:
        m_pClickTimer->stop();
        onDoubleClick();
        break;
    case QSystemTrayIcon::Trigger:
        // A menu opened at the first press would grab the pointer and
        // swallow the second press of a double click: it waits until no
        // second press can come.
        if (!m_pClickTimer->isActive())
            m_pClickTimer->start(QApplication::doubleClickInterval());
        break;
    default:
        break;
    }
}

void SystemStatusBar::onDoubleClick()
{
    RecordParameter* param = RecordParameter::instance();
    if (param->m_bPreviewing)
        emit sigShowPreview();
    else if (param->m_bRecording && !param->isOnlyRecordCamera())
        emit sigShowRecBar();
    else if (param->isOnlyRecordCamera())
        emit sigShowCamera();
    else
        emit sigShowMain();
}

void SystemStatusBar::onSingleClick()
{
    RecordParameter* param = RecordParameter::instance();
    if (VxDialogBase::getPopupDialogCount() != 0 && !param->m_bPreviewing && !param->m_bRecording)
        return;
    if (!m_bActionEnable)
        return;
    if (param->m_bPreviewing)
        return;

    updateTrayStatus();
    // Without a tray the item has no geometry; the pointer is the best
    // anchor then. popup() keeps the menu on the screen when the panel
    // sits at the bottom edge.
    const QRect area = geometry();
    const QPoint at = area.isValid() ? area.bottomLeft() : QCursor::pos();
    m_pMenu->popup(at);
    m_pMenu->activateWindow();
}

void SystemStatusBar::updateTrayStatus()
{
    RecordParameter* param = RecordParameter::instance();

    m_pFloatPanelAction->setVisible(false);
    m_pExitAction->setVisible(false);
    m_pPanel->setVisible(false);
    m_pPanelAction->setVisible(false);
    m_pSeparator->setVisible(false);

    if (!param->m_bPreviewing) {
        m_pPanelAction->setVisible(true);
        m_pPanel->setVisible(true);
        m_pSeparator->setVisible(true);
        m_pExitAction->setVisible(true);
    }

    if (!param->m_bRecording) {
        m_pPanel->initNormal();
        if (param->isOnlyRecordCamera()) {
            m_pPanel->setRecEnable(true);
            m_pPanel->setOtherEnable(false);
        } else {
            m_pPanel->setRecEnable(m_bHomeEnable ? m_bCanRec : true);
            m_pPanel->setOtherEnable(true);
            m_pPanel->setHomeEnable(m_bHomeEnable);
        }
        return;
    }

    m_pExitAction->setVisible(false);
    m_pPanel->initRecording();
    m_pPanel->initPasuing(param->m_bPaused);
    if (param->isOnlyRecordCamera()) {
        m_pPanel->setSnapshotEnabled(true);
    } else {
        m_pFloatPanelAction->setVisible(true);
        m_pFloatPanelAction->setText(param->m_bRecBarHidden ? tr("Show Float Panel")
                                                            : tr("Hide Float Panel"));
        m_pPanel->setSnapshotEnabled(param->getVideoEnable() || param->isWindowRecord());
    }
}
