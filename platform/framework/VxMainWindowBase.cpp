#include "platform/framework/VxMainWindowBase.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"

namespace {

Qt::WindowFlags asWindow(Qt::WindowFlags flags)
{
    return (flags & Qt::WindowType_Mask) ? flags : flags | Qt::Window;
}

} // namespace

VxMainWindowBase::VxMainWindowBase(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, asWindow(flags))
{
    m_pActionHolder = new QWidget(this);
    m_pActionHolder->setObjectName(QStringLiteral("vxActionHolder"));
    m_pActionHolder->hide();
    connect(VxResourceMgr::instance(), &VxResourceMgr::skinChanged, this, [this] { on_changeSkin(); });
}

VxMainWindowBase::~VxMainWindowBase() = default;

void VxMainWindowBase::appendStandardMenus(QMenuBar* menuBar)
{
    if (!menuBar)
        return;
    const QString name = VxProductInfo::instance()->productName();
    QMenu* menu = menuBar->addMenu(name);
    menu->setObjectName(QStringLiteral("vxApplicationMenu"));
    // Owned by the window, not the menu: rebuilding the menu clears it.
    auto* about = new QAction(tr("About %1").arg(name), this);
    about->setObjectName(QStringLiteral("vxActionAbout"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &VxMainWindowBase::showAboutDialog);
    auto* quit = new QAction(tr("Quit %1").arg(name), this);
    quit->setObjectName(QStringLiteral("vxActionQuit"));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // Actions reach the holder after the menu is made (preferences), so the
    // menu lists them afresh each time it opens.
    auto rebuild = [this, menu, about, quit] {
        menu->clear();
        const QList<QAction*> held = m_pActionHolder->actions();
        if (!held.isEmpty()) {
            menu->addActions(held);
            menu->addSeparator();
        }
        menu->addAction(about);
        menu->addSeparator();
        menu->addAction(quit);
    };
    rebuild();
    connect(menu, &QMenu::aboutToShow, this, rebuild);
}

void VxMainWindowBase::postCreateDerivedMainWindow(bool framed, bool resizable, QMenuBar* menuBar)
{
    // The size comes from the layout; the menu bar stays with its owner
    // (appendStandardMenus fills it).
    Q_UNUSED(resizable);
    Q_UNUSED(menuBar);
    QString title;
    if (!derivedProcGenerateWindowTitle(title) || title.isEmpty())
        title = VxProductInfo::instance()->productName();
    setWindowTitle(title);
    if (!framed && !(windowFlags() & Qt::FramelessWindowHint))
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ensureTitleArea();
}

QVBoxLayout* VxMainWindowBase::frameLayout()
{
    if (!layout()) {
        auto* box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
    }
    return qobject_cast<QVBoxLayout*>(layout());
}

void VxMainWindowBase::ensureTitleArea()
{
    if (!m_pTitleArea) {
        m_pTitleArea = new QWidget(this);
        m_pTitleArea->setObjectName(QStringLiteral("vxMainWindowTitle"));
        auto* row = new QHBoxLayout(m_pTitleArea);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
    }
    auto* box = qobject_cast<QBoxLayout*>(layout());
    if (!box)
        box = frameLayout();
    if (box && box->indexOf(m_pTitleArea) < 0)
        box->insertWidget(0, m_pTitleArea);
}

void VxMainWindowBase::setCustomTitleContents(QWidget* contents)
{
    if (contents == m_pTitleContents)
        return;
    delete m_pTitleContents;
    m_pTitleContents = contents;
    ensureTitleArea();
    if (contents)
        m_pTitleArea->layout()->addWidget(contents);
}

QWidget* VxMainWindowBase::customTitleContents() const
{
    return m_pTitleContents;
}

void VxMainWindowBase::setWindowFlags(Qt::WindowFlags flags)
{
    QWidget::setWindowFlags(asWindow(flags));
}

QString VxMainWindowBase::positionKey() const
{
    const QString name = objectName().isEmpty() ? QString::fromLatin1(metaObject()->className()) : objectName();
    return QStringLiteral("Window/%1/pos").arg(name);
}

void VxMainWindowBase::saveWindowPos()
{
    VxSettings::instance()->setApplicationParam(positionKey(), pos());
}

void VxMainWindowBase::loadDefaultWindowPos(int x, int y, bool center)
{
    // A position saved on a screen that is gone (unplugged monitor) would
    // put the window out of reach.
    const QVariant stored = VxSettings::instance()->applicationParam(positionKey());
    if (stored.userType() == QMetaType::QPoint && QGuiApplication::screenAt(stored.toPoint())) {
        move(stored.toPoint());
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (center && screen) {
        // Before the first show the window has not taken its final size yet.
        const QSize extent = isVisible() ? frameGeometry().size() : size().expandedTo(sizeHint());
        QRect rect(QPoint(0, 0), extent);
        rect.moveCenter(screen->availableGeometry().center());
        move(rect.topLeft());
        return;
    }
    move(x, y);
}

void VxMainWindowBase::setLargeIcon(const QString& path)
{
    setWindowIcon(QIcon(path));
}

void VxMainWindowBase::setAppEventLoopStarted()
{
    m_bLoopStarted = true;
}

bool VxMainWindowBase::isAppEventLoopStarted() const
{
    return m_bLoopStarted;
}

QWidget* VxMainWindowBase::actionHolder() const
{
    return m_pActionHolder;
}

void VxMainWindowBase::showAboutDialog()
{
    if (derivedProcShowAboutDialog())
        return;
    const VxProductInfo* info = VxProductInfo::instance();
    VxMessageBox::information(this, info->productName(),
                              tr("%1\nVersion %2 (%3)")
                                  .arg(info->productName(), info->productVersion(), info->programVersion()));
}

void VxMainWindowBase::showUpdateDialog(VxApplicationUpdate* update)
{
    if (derivedProcShowUpdateDialog(update))
        return;
    VxMessageBox::information(this, VxProductInfo::instance()->productName(),
                              tr("You are using the latest version."));
}

void VxMainWindowBase::on_changeSkin()
{
    style()->unpolish(this);
    style()->polish(this);
    update();
}

bool VxMainWindowBase::derivedProcGenerateWindowTitle(QString& title)
{
    Q_UNUSED(title);
    return false;
}

bool VxMainWindowBase::derivedProcShowAboutDialog()
{
    return false;
}

bool VxMainWindowBase::derivedProcShowUpdateDialog(VxApplicationUpdate* update)
{
    Q_UNUSED(update);
    return false;
}

bool VxMainWindowBase::doSomethingBeforeLanguageChanged(const QString& language)
{
    Q_UNUSED(language);
    return false;
}
