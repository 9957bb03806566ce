#include "widgets/FfButtonGifBg.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPixmap>

#include <cmath>

FfButtonGifBg::FfButtonGifBg(QWidget* parent)
    : QFrame(parent)
    , m_pLabel(new QLabel(this))
    , m_pMovie(new QMovie())
{
    m_pLabel->setObjectName("lblGif");
    m_pLabel->setAlignment(Qt::AlignCenter);
    m_pLabel->setMouseTracking(true);
    m_pLabel->installEventFilter(this);
}

FfButtonGifBg::~FfButtonGifBg()
{
    m_pLabel->removeEventFilter(this);
    m_pLabel->clear();
    m_pMovie->stop();
    delete m_pMovie;
}

void FfButtonGifBg::setGifBg(const QString& path)
{
    m_strGifBg = path;
    m_pMovie->stop();
    m_pMovie->setFileName(path);
    if (m_pMovie->jumpToFrame(0)) {
        const QSize first = m_pMovie->currentPixmap().size();
        if (!first.isEmpty())
            m_pLabel->setFixedSize(first);
    }
    placeLabel();
}

void FfButtonGifBg::setNormalIcon(const QString& path)
{
    m_strNormalIcon = path;
    if (!m_bPlaying)
        showStill();
    // Without a GIF to size it, the label takes the picture's size.
    if (m_strGifBg.isEmpty())
        m_pLabel->adjustSize();
    placeLabel();
}

void FfButtonGifBg::placeLabel()
{
    m_pLabel->move((width() - m_pLabel->width()) / 2, (height() - m_pLabel->height()) / 2);
}

void FfButtonGifBg::play()
{
    if (m_bPlaying)
        return;
    m_bPlaying = true;
    m_pLabel->setMovie(m_pMovie);
    m_pMovie->start();
}

void FfButtonGifBg::showStill()
{
    m_bPlaying = false;
    m_pMovie->stop();
    m_pLabel->setPixmap(QPixmap(m_strNormalIcon));
}

bool FfButtonGifBg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pLabel && isEnabled()) {
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint p = mouse->localPos().toPoint();
            const int lw = m_pLabel->width();
            const int lh = m_pLabel->height();
            const int dx = std::abs(p.x() - lw / 2);
            const int dy = std::abs(p.y() - lh / 2);
            if (m_nRadius == 0)
                m_nRadius = qMin(lw, lh) / 2;
            const int distance = static_cast<int>(std::sqrt(double(dx) * dx + double(dy) * dy));
            if (m_nRadius >= distance)
                play();
            else if (m_bPlaying)
                showStill();
            break;
        }
        case QEvent::MouseButtonRelease:
            // Back to rest before the signal: a receiver may open a modal
            // or disable the button.
            showStill();
            emit clicked();
            break;
        case QEvent::FocusOut:
        case QEvent::Leave:
            if (m_bPlaying)
                showStill();
            break;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void FfButtonGifBg::paintEvent(QPaintEvent* event)
{
    placeLabel();
    QFrame::paintEvent(event);
}

void FfButtonGifBg::focusOutEvent(QFocusEvent* event)
{
    if (m_bPlaying && isEnabled())
        showStill();
    QFrame::focusOutEvent(event);
}

void FfButtonGifBg::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    placeLabel();
}

void FfButtonGifBg::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    // Disabled while the pointer was over it (the start button is disabled
    // as the recording starts): the GIF would otherwise play on until the
    // button is enabled again and the pointer leaves.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_bPlaying)
        showStill();
}
