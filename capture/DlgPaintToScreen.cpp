#include "capture/DlgPaintToScreen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QToolButton>

namespace {

const int kCloseSize = 20;
// The screenshot editor's edge colour: the pinned picture keeps its look.
const QColor kFrame(30, 144, 255);

QIcon closeIcon()
{
    QPixmap pixmap(kCloseSize, kCloseSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawEllipse(QRectF(1, 1, kCloseSize - 2, kCloseSize - 2));
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(7, 7), QPointF(13, 13));
    p.drawLine(QPointF(13, 7), QPointF(7, 13));
    return QIcon(pixmap);
}

} // namespace

DlgPaintToScreen::DlgPaintToScreen(QWidget* parent)
    : VxDialogBase(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint, true)
{
    setObjectName(QStringLiteral("DlgPaintToScreen"));
    setMouseTracking(true);

    m_pClose = new QToolButton(this);
    m_pClose->setObjectName(QStringLiteral("btnClose"));
    m_pClose->setToolTip(tr("Close"));
    m_pClose->setIcon(closeIcon());
    m_pClose->setIconSize(QSize(kCloseSize, kCloseSize));
    m_pClose->setAutoRaise(true);
    m_pClose->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_pClose->setFocusPolicy(Qt::NoFocus);
    m_pClose->hide();
    connect(m_pClose, &QToolButton::clicked, this, &DlgPaintToScreen::close);
    resize(2 * kBorder, 2 * kBorder);
}

DlgPaintToScreen::~DlgPaintToScreen() = default;

void DlgPaintToScreen::setImg(const QImage& image)
{
    m_image = image;
    resize(image.width() + 2 * kBorder, image.height() + 2 * kBorder);
    if (!image.offset().isNull())
        move(image.offset() - QPoint(kBorder, kBorder));
    update();
}

DlgPaintToScreen* DlgPaintToScreen::flyOut(QWidget* parent, const QImage& image, const QRect& from, const QRect& to)
{
    auto* window = new DlgPaintToScreen(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setShowClose(false);
    window->setImg(image);
    window->setGeometry(from);
    window->show();
    auto* animation = new QPropertyAnimation(window, "geometry", window);
    animation->setStartValue(from);
    animation->setEndValue(to);
    connect(animation, &QPropertyAnimation::finished, window, &QWidget::close);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return window;
}

void DlgPaintToScreen::setShowClose(bool show)
{
    m_bShowClose = show;
    if (!show)
        m_pClose->hide();
}

void DlgPaintToScreen::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter p(this);
    p.fillRect(rect(), kFrame);
    const QRect inner = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    if (inner.width() > 0 && inner.height() > 0 && !m_image.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(inner, m_image);
    }
}

void DlgPaintToScreen::resizeEvent(QResizeEvent* event)
{
    VxDialogBase::resizeEvent(event);
    placeClose();
}

void DlgPaintToScreen::placeClose()
{
    m_pClose->setGeometry(width() - kBorder - kCloseSize - 4, kBorder + 4, kCloseSize, kCloseSize);
}

void DlgPaintToScreen::enterEvent(QEvent* event)
{
    VxDialogBase::enterEvent(event);
    if (m_bShowClose) {
        placeClose();
        m_pClose->show();
        m_pClose->raise();
    }
}

void DlgPaintToScreen::leaveEvent(QEvent* event)
{
    VxDialogBase::leaveEvent(event);
    m_pClose->hide();
}

// A frameless window has no title bar to move it by: it is dragged by the
// picture itself.
void DlgPaintToScreen::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bDragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    VxDialogBase::mousePressEvent(event);
}

void DlgPaintToScreen::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
        return;
    }
    VxDialogBase::mouseMoveEvent(event);
}

void DlgPaintToScreen::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bDragging = false;
    VxDialogBase::mouseReleaseEvent(event);
}
