#include "capture/DlgPaintToScreen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

namespace {

const int kCloseSize = 20;
// Darkest step of the shadow, right at the picture's edge.
const int kShadowAlpha = 90;
// Long enough for the windows under a cut-out margin to repaint it.
const int kBackdropDelayMs = 150;

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
    m_pBackdropTimer = new QTimer(this);
    m_pBackdropTimer->setSingleShot(true);
    m_pBackdropTimer->setInterval(kBackdropDelayMs);
    connect(m_pBackdropTimer, &QTimer::timeout, this, &DlgPaintToScreen::takeBackdrop);
    resize(2 * m_nMargin, 2 * m_nMargin);
}

DlgPaintToScreen::~DlgPaintToScreen() = default;

void DlgPaintToScreen::setImg(const QImage& image)
{
    m_image = image;
    resize(image.width() + 2 * m_nMargin, image.height() + 2 * m_nMargin);
    if (!image.offset().isNull())
        move(image.offset() - QPoint(m_nMargin, m_nMargin));
    update();
}

void DlgPaintToScreen::setShadow(bool shadow)
{
    m_nMargin = shadow ? kShadow : 0;
    m_backdrop = QPixmap();
    clearMask();
}

QRect DlgPaintToScreen::pictureRect() const
{
    return rect().adjusted(m_nMargin, m_nMargin, -m_nMargin, -m_nMargin);
}

void DlgPaintToScreen::takeBackdropSoon()
{
    if (m_nMargin == 0)
        return;
    setMask(QRegion(pictureRect()));
    m_pBackdropTimer->start();
}

void DlgPaintToScreen::takeBackdrop()
{
    if (m_nMargin == 0 || m_bDragging || !isVisible())
        return;
    if (QScreen* screen = this->screen()) {
        const QRect at = geometry();
        const QPixmap shot = screen->grabWindow(0, at.x(), at.y(), at.width(), at.height());
        if (shot.size() == at.size())
            m_backdrop = shot;
    }
    clearMask();
    update();
}

DlgPaintToScreen* DlgPaintToScreen::flyOut(QWidget* parent, const QImage& image, const QRect& from, const QRect& to)
{
    auto* window = new DlgPaintToScreen(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setShowClose(false);
    window->setShadow(false);
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

void DlgPaintToScreen::showEvent(QShowEvent* event)
{
    VxDialogBase::showEvent(event);
    takeBackdropSoon();
}

void DlgPaintToScreen::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter p(this);
    const QRect inner = pictureRect();
    if (m_nMargin > 0) {
        if (m_backdrop.isNull())
            p.fillRect(rect(), palette().window());
        else
            p.drawPixmap(0, 0, m_backdrop);
        // One ring per pixel, fading out quadratically away from the picture.
        for (int d = 1; d <= m_nMargin; ++d) {
            const double fade = 1.0 - double(d - 1) / m_nMargin;
            p.setPen(QColor(0, 0, 0, int(kShadowAlpha * fade * fade)));
            p.drawRect(inner.adjusted(-d, -d, d - 1, d - 1));
        }
    }
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
    m_pClose->setGeometry(width() - m_nMargin - kCloseSize - 4, m_nMargin + 4, kCloseSize, kCloseSize);
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
        // The copy of what lay beneath is wrong anywhere else: the margin
        // shows the desktop itself until the drop.
        if (m_nMargin > 0 && mask().isEmpty())
            setMask(QRegion(pictureRect()));
        move(event->globalPos() - m_dragOffset);
        event->accept();
        return;
    }
    VxDialogBase::mouseMoveEvent(event);
}

void DlgPaintToScreen::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_bDragging) {
        m_bDragging = false;
        takeBackdropSoon();
    }
    VxDialogBase::mouseReleaseEvent(event);
}
