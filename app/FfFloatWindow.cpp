#include "app/FfFloatWindow.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWidgetAction>

#include "widgets/CusMenuItemIconStyle.h"
#include "capture/DlgPaintToScreen.h"
#include "ui_FfFloatWindow.h"

namespace {

const int kPollMs = 50;
const int kSlideMs = 100;
const int kTabSide = 40;
// The tab window is a little larger than its picture so that the pointer
// finds it easily at the very edge.
const int kTabGrow = 18;

QImage svgImage(const QString& path, int side)
{
    return QIcon(path).pixmap(QSize(side, side)).toImage();
}

QIcon onOffIcon(const QString& on, const QString& off)
{
    QIcon icon(off);
    icon.addFile(on, QSize(), QIcon::Normal, QIcon::On);
    return icon;
}

} // namespace

QRadioButton* addWidgetAction(QMenu* menu, const QString& text, int index, bool checked)
{
    auto* button = new QRadioButton(text, menu);
    button->setProperty("Index", index);
    button->setChecked(checked);
    auto* action = new QWidgetAction(menu);
    action->setDefaultWidget(button);
    menu->addAction(action);
    return button;
}

FfFloatWindow::FfFloatWindow(QWidget* parent)
    : VxWidgetBase(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , ui(new Ui::FfFloatWindow)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    ui->setupUi(this);
    postCreateDerivedWidget(false, false, nullptr);
    QFile sheet(QStringLiteral(":/float/float.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));

    m_imgTab = svgImage(QStringLiteral(":/float/tab.svg"), kTabSide);

    m_pContextMenu = new QMenu(this);
    // The entries carry the panel's own pictures, at a size that matches
    // its buttons rather than the style's small icons.
    m_pMenuStyle = new CusMenuItemIconStyle;
    m_pMenuStyle->setParent(this);
    m_pContextMenu->setStyle(m_pMenuStyle);
    m_pStartAction = m_pContextMenu->addAction(QIcon(QStringLiteral(":/float/rec.svg")), QString());
    m_pShowMainAction = m_pContextMenu->addAction(QIcon(QStringLiteral(":/float/home.svg")), QString());
    m_pTaskAction = m_pContextMenu->addAction(QIcon(QStringLiteral(":/schedule/clock.svg")), QString());
    m_pMoniterMenu = new QMenu(this);
    m_pMoniterMenu->setObjectName(QStringLiteral("miniMoniterMenu"));
    m_pCameraMenu = new QMenu(this);
    m_pCameraMenu->setObjectName(QStringLiteral("miniCameraMenu"));
    setDisplays({}, -1);
    setCameras({}, -1);

    applyIcons();
    connectButtons();
    setSoundStates(false, false);
    changeLanguage();

    connect(this, &FfFloatWindow::mouseMove, this, &FfFloatWindow::startQueue);
    m_pPoll = new QTimer(this);
    m_pPoll->setInterval(kPollMs);
    connect(m_pPoll, &QTimer::timeout, this, &FfFloatWindow::poll);
}

FfFloatWindow::~FfFloatWindow()
{
    delete m_pTab.data();
    qDeleteAll(m_slides);
    delete ui;
}

void FfFloatWindow::applyIcons()
{
    ui->btnbackToMainWin->setIcon(QIcon(QStringLiteral(":/float/home.svg")));
    ui->btnOptions->setIcon(QIcon(QStringLiteral(":/float/options.svg")));
    ui->btnPersetMenu->setIcon(QIcon(QStringLiteral(":/float/menu.svg")));
    ui->btnMoniter->setIcon(onOffIcon(QStringLiteral(":/float/display_on.svg"), QStringLiteral(":/float/display_off.svg")));
    ui->btnMoniterOff->setIcon(QIcon(QStringLiteral(":/float/display_off.svg")));
    ui->btnCamera->setIcon(onOffIcon(QStringLiteral(":/float/camera_on.svg"), QStringLiteral(":/float/camera_off.svg")));
    ui->btnCameraOff->setIcon(QIcon(QStringLiteral(":/float/camera_off.svg")));
    ui->btnSpeaker->setIcon(QIcon(QStringLiteral(":/float/speaker_on.svg")));
    ui->btnSpeakerOff->setIcon(QIcon(QStringLiteral(":/float/speaker_off.svg")));
    ui->btnMicrophone->setIcon(QIcon(QStringLiteral(":/float/mic_on.svg")));
    ui->btnMicrophoneOff->setIcon(QIcon(QStringLiteral(":/float/mic_off.svg")));
    ui->btnSnapshot->setIcon(QIcon(QStringLiteral(":/float/snapshot.svg")));
    ui->btnStart->setIcon(QIcon(QStringLiteral(":/float/rec.svg")));
    ui->btnStart->setIconSize(QSize(26, 26));
    // One checkable button per source shows both states; the spare "off"
    // buttons of the form stay out of the way.
    ui->btnMoniterOff->hide();
    ui->btnCameraOff->hide();
}

void FfFloatWindow::connectButtons()
{
    connect(ui->btnStart, &QToolButton::clicked, this, &FfFloatWindow::start);
    connect(m_pStartAction, &QAction::triggered, this, &FfFloatWindow::start);
    connect(m_pShowMainAction, &QAction::triggered, this, [this] {
        hide();
        emit showMain();
    });
    connect(ui->btnbackToMainWin, &QToolButton::clicked, m_pShowMainAction, &QAction::trigger);
    connect(m_pTaskAction, &QAction::triggered, this, &FfFloatWindow::taskTriggered);
    connect(ui->btnOptions, &QToolButton::clicked, this, &FfFloatWindow::showOptions);
    connect(ui->btnSnapshot, &QToolButton::clicked, this, &FfFloatWindow::snapshot);
    connect(ui->btnPersetMenu, &QToolButton::clicked, this, [this] {
        m_pContextMenu->popup(ui->btnPersetMenu->mapToGlobal(QPoint(0, ui->btnPersetMenu->height())));
    });
    connect(ui->btnSpeaker, &QToolButton::clicked, this, [this] { emit speakerChanged(false); });
    connect(ui->btnSpeakerOff, &QToolButton::clicked, this, [this] { emit speakerChanged(true); });
    connect(ui->btnMicrophone, &QToolButton::clicked, this, [this] { emit microphonerChanged(false); });
    connect(ui->btnMicrophoneOff, &QToolButton::clicked, this, [this] { emit microphonerChanged(true); });
    // The click only opens the menu: the state changes by the entry picked.
    const auto opener = [this](QToolButton* button, QMenu* menu) {
        button->setChecked(!button->isChecked());
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    };
    connect(ui->btnMoniter, &QToolButton::clicked, this, [this, opener] { opener(ui->btnMoniter, m_pMoniterMenu); });
    connect(ui->btnCamera, &QToolButton::clicked, this, [this, opener] { opener(ui->btnCamera, m_pCameraMenu); });
}

void FfFloatWindow::setCanStart(bool can)
{
    m_pStartAction->setEnabled(can);
    ui->btnStart->setEnabled(can);
}

void FfFloatWindow::changeLanguage()
{
    ui->retranslateUi(this);
    m_pStartAction->setText(tr("Start recording"));
    m_pShowMainAction->setText(tr("Show main interface"));
    m_pTaskAction->setText(tr("Task schedule"));
    for (QMenu* menu : {m_pMoniterMenu, m_pCameraMenu}) {
        for (QAction* action : menu->actions()) {
            auto* holder = qobject_cast<QWidgetAction*>(action);
            auto* entry = holder ? qobject_cast<QRadioButton*>(holder->defaultWidget()) : nullptr;
            if (entry && entry->property("Index").toInt() == -1)
                entry->setText(tr("OFF"));
        }
    }
    updateDeviceTips();
}

void FfFloatWindow::setDisplays(const QStringList& names, int current)
{
    fillMenu(m_pMoniterMenu, names, current, true);
    ui->btnMoniter->setChecked(current >= 0);
    updateDeviceTips();
}

void FfFloatWindow::setCameras(const QStringList& names, int current)
{
    fillMenu(m_pCameraMenu, names, current, false);
    ui->btnCamera->setChecked(current >= 0);
    // Without a camera there is nothing to choose.
    ui->btnCamera->setEnabled(!names.isEmpty());
    updateDeviceTips();
}

void FfFloatWindow::setSoundStates(bool speaker, bool microphone)
{
    ui->btnSpeaker->setVisible(speaker);
    ui->btnSpeakerOff->setVisible(!speaker);
    ui->btnMicrophone->setVisible(microphone);
    ui->btnMicrophoneOff->setVisible(!microphone);
}

void FfFloatWindow::fillMenu(QMenu* menu, const QStringList& names, int current, bool display)
{
    // Later, not now: a refill may come from inside an entry's own click.
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        action->deleteLater();
    }
    QList<QRadioButton*> entries;
    entries << addWidgetAction(menu, tr("OFF"), -1, current < 0);
    for (int i = 0; i < names.size(); ++i)
        entries << addWidgetAction(menu, names.at(i), i, i == current);
    for (QRadioButton* entry : entries)
        connect(entry, &QRadioButton::clicked, this, [this, entry, display] { onMenuEntry(entry, display); });
}

void FfFloatWindow::onMenuEntry(QRadioButton* entry, bool display)
{
    QMenu* menu = display ? m_pMoniterMenu : m_pCameraMenu;
    QToolButton* button = display ? ui->btnMoniter : ui->btnCamera;
    menu->hide();
    const int index = entry->property("Index").toInt();
    button->setChecked(index >= 0);
    if (display) {
        for (QAction* action : menu->actions()) {
            auto* holder = qobject_cast<QWidgetAction*>(action);
            if (holder && holder->defaultWidget() == entry)
                emit actionTriggeredFromFloatWindow(action);
        }
        emit switchOffMoniter(index >= 0);
        if (index >= 0)
            emit changeMoniter(index);
    } else {
        emit switchOffCamera(index >= 0);
        if (index >= 0)
            emit changeCamera(index);
    }
    updateDeviceTips();
}

void FfFloatWindow::updateDeviceTips()
{
    ui->btnMoniter->setToolTip(ui->btnMoniter->isChecked() ? tr("Display (ON)") : tr("Display (OFF)"));
    ui->btnCamera->setToolTip(ui->btnCamera->isChecked() ? tr("Webcam (ON)") : tr("Webcam (OFF)"));
}

bool FfFloatWindow::anyMenuVisible() const
{
    return m_pContextMenu->isVisible() || m_pMoniterMenu->isVisible() || m_pCameraMenu->isVisible();
}

QRect FfFloatWindow::desktop() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

// ---- sliding at the edges -------------------------------------------------------------

void FfFloatWindow::poll()
{
    if (!isVisible())
        return;
    const QPoint pointer = QCursor::pos();
    m_bMouseIn = geometry().contains(pointer) || (m_pTab && m_pTab->isVisible() && m_pTab->geometry().contains(pointer));
    if (!m_slides.isEmpty())
        return;
    if (m_bMouseIn && m_bDocked) {
        m_bDocked = false;
        slideIn();
    } else if (!m_bMouseIn && !m_bDocked && !anyMenuVisible()) {
        m_bDocked = true;
        slideOut();
    }
}

void FfFloatWindow::slideOut()
{
    if (!m_bOffScreen || m_bDragging)
        return;
    const QRect panel = geometry();
    const QPoint s = desktop().bottomRight();
    const QSize tab = m_imgTab.size();
    if (panel.left() <= -13) {
        m_ptDocked = QPoint(m_ptRest.x() - panel.width(), m_ptRest.y());
        m_ptTab = QPoint(int(-0.25 * tab.width()), m_ptRest.y());
    } else if (panel.right() >= s.x() + 15) {
        m_ptDocked = QPoint(m_ptRest.x() + panel.width(), m_ptRest.y());
        m_ptTab = QPoint(int(s.x() - 0.75 * tab.width()), m_ptRest.y());
    } else if (panel.top() <= -12) {
        m_ptDocked = QPoint(m_ptRest.x(), m_ptRest.y() - panel.height());
        m_ptTab = QPoint(m_ptRest.x(), int(-0.25 * tab.height()));
    } else if (panel.bottom() >= s.y() + 12) {
        m_ptDocked = QPoint(m_ptRest.x(), m_ptRest.y() + panel.height());
        m_ptTab = QPoint(m_ptRest.x(), int(s.y() - 0.75 * tab.height()));
    } else {
        m_bOffScreen = false;
        return;
    }
    queueSlide(m_ptRest, m_ptDocked, false);
}

void FfFloatWindow::slideIn()
{
    if (!m_bOffScreen || m_bDragging)
        return;
    queueSlide(pos(), m_ptRest, true);
}

void FfFloatWindow::queueSlide(const QPoint& from, const QPoint& to, bool mouseIn)
{
    auto* slide = new QPropertyAnimation(this, "pos");
    slide->setStartValue(from);
    slide->setEndValue(to);
    slide->setDuration(kSlideMs);
    slide->setEasingCurve(QEasingCurve::Linear);
    slide->setProperty("isMouseIn", mouseIn);
    connect(slide, &QPropertyAnimation::finished, this, &FfFloatWindow::onSlideFinished);
    m_slides.append(slide);
    emit mouseMove();
}

void FfFloatWindow::startQueue()
{
    if (m_slides.isEmpty() || m_slides.first()->state() == QAbstractAnimation::Running)
        return;
    m_slides.first()->start();
}

void FfFloatWindow::onSlideFinished()
{
    auto* slide = qobject_cast<QPropertyAnimation*>(sender());
    if (!slide)
        return;
    m_slides.removeOne(slide);
    const bool mouseIn = slide->property("isMouseIn").toBool();
    slide->deleteLater();
    if (m_pTab) {
        if (mouseIn) {
            m_pTab->hide();
        } else {
            m_pTab->setGeometry(QRect(m_ptTab, m_imgTab.size() + QSize(kTabGrow, kTabGrow)));
            m_pTab->show();
        }
    }
    startQueue();
}

// ---- window events --------------------------------------------------------------------

void FfFloatWindow::showEvent(QShowEvent* event)
{
    VxWidgetBase::showEvent(event);
    // The pointer is watched only while the strip is up.
    m_pPoll->start();
    if (!m_pTab) {
        m_pTab = new DlgPaintToScreen(nullptr);
        m_pTab->setShowClose(false);
        m_pTab->setShadow(false);   // the tab's picture brings its own
        // Opaque: without a compositor a see-through corner would show the
        // window's own background colour.
        // Drawn at the size the tab window gets, so nothing is scaled.
        const QSize window = m_imgTab.size() + QSize(kTabGrow, kTabGrow);
        QImage picture(window, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.drawImage(0, 0, svgImage(QStringLiteral(":/float/tab_shadow.svg"), window.width()));
        painter.drawImage(0, 0, svgImage(QStringLiteral(":/float/tab.svg"), window.width()));
        painter.end();
        m_pTab->setImg(picture);
    }
    if (!m_ptRest.isNull()) {
        move(m_ptRest);
        m_bDocked = true;
        slideOut();
    }
}

void FfFloatWindow::hideEvent(QHideEvent* event)
{
    m_pPoll->stop();
    // A slide left over would move a window nobody sees.
    qDeleteAll(m_slides);
    m_slides.clear();
    if (m_pTab) {
        m_pTab->close();
        delete m_pTab.data();
    }
    VxWidgetBase::hideEvent(event);
}

void FfFloatWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        m_pContextMenu->popup(event->globalPos());
    } else if (event->button() == Qt::LeftButton) {
        m_bDragging = true;
        m_ptDragOffset = event->globalPos() - pos();
    }
    VxWidgetBase::mousePressEvent(event);
}

void FfFloatWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging) {
        move(event->globalPos() - m_ptDragOffset);
        m_bOffScreen = !desktop().contains(geometry());
    }
    VxWidgetBase::mouseMoveEvent(event);
}

void FfFloatWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_bDragging) {
        m_bDragging = false;
        // Just dropped, it stands in full view whatever the poll last did.
        m_bDocked = false;
        // Where the user let go is where the strip comes back to after a
        // slide; the slide-out is measured from here too.
        m_ptRest = pos();
    }
    VxWidgetBase::mouseReleaseEvent(event);
}

void FfFloatWindow::changeEvent(QEvent* event)
{
    VxWidgetBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        changeLanguage();
}
