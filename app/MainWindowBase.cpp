#include "MainWindowBase.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "FeedBackDialog.h"
#include "Log.h"
#include "SystemStatusBar.h"
#include "TaskManage.h"
#include "VxSettings.h"
#include "ui_MainWindowBase.h"
#include "ui_TitleTool.h"

namespace {
const char* const kTopMostKey = "TopMost";
}

MainWindowBase::MainWindowBase(QWidget* parent)
    : VxMainWindowBase(parent)
    , m_pUi(new Ui::MainWindowBase)
    , m_pTitleUi(new Ui::TitleTool)
{
    m_pUi->setupUi(this);
    setWindowFlags(frameFlags(VxSettings::instance()->applicationParam(kTopMostKey, false).toBool()));

    // The home window takes this place once it exists; until then the client
    // area says what the program is.
    auto* clientLayout = new QVBoxLayout(m_pUi->vxMainWindowClient);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    m_pPlaceholder = new QLabel(tr("Screen Recorder"), m_pUi->vxMainWindowClient);
    m_pPlaceholder->setObjectName("lblPlaceholder");
    m_pPlaceholder->setAlignment(Qt::AlignCenter);
    m_pPlaceholder->setMinimumSize(480, 300);
    clientLayout->addWidget(m_pPlaceholder);

    TaskManage::instance()->setMainWidBase(this);
    appendStandardMenus(nullptr);
    postCreateDerivedMainWindow(true, true, nullptr);
    fillTitle();
    SystemStatusBar::instance()->setVisible(true);
}

MainWindowBase::~MainWindowBase()
{
    delete m_pTitleUi;
    delete m_pUi;
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
    setCustomTitleContents(m_pTitleFrame);
    connect(m_pTitleUi->btnFeedback, &QToolButton::clicked, this, &MainWindowBase::onFeedback);
    m_pTitleUi->btnMiniBar->hide();
    connect(m_pTitleUi->btnMiniBar, &QToolButton::clicked, this, &MainWindowBase::onShowMini);
    connect(m_pTitleUi->btnTopHint, &QToolButton::clicked, this, &MainWindowBase::onTopHint);
    m_pTitleUi->btnMiniBar->setToolTip(QString());
    m_pTitleUi->btnFeedback->setToolTip(tr("Feedback"));
    m_pTitleUi->btnTopHint->setToolTip(tr("Set/Cancel interface always in front"));
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
        Log("MainWindowBase", 1, "WindowStateChange: %d", static_cast<int>(change->oldState()));
    }
    return VxMainWindowBase::event(event);
}

void MainWindowBase::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
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
