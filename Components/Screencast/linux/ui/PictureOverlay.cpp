#include "ui/PictureOverlay.h"

#include "ui/OverlaySupport.h"
#include "ui/WindowGui.h"

#include <QBitmap>
#include <QDateTime>
#include <QPainter>
#include <QTimer>

namespace sc {
namespace ui {

namespace {

constexpr int kFadeStepMs = 20;

// The pixels that are not fully transparent.
QBitmap opaquePart(const QImage& picture)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QImage mask(argb.size(), QImage::Format_MonoLSB);
    mask.setColor(0, Qt::color0);
    mask.setColor(1, Qt::color1);
    mask.fill(0);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) > 0)
                mask.setPixel(x, y, 1);
        }
    }
    return QBitmap::fromImage(mask);
}

} // namespace

PictureWindow::PictureWindow(const QRect& display)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus
                           | Qt::WindowTransparentForInput),
      m_display(display)
{
    setObjectName(QStringLiteral("ScreenPicture"));
    setWindowTitle(QStringLiteral("Picture"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

QRect PictureWindow::placeFor(const QSize& size, const QRect& display)
{
    QSize fitted = size;
    if (fitted.width() > display.width() || fitted.height() > display.height())
        fitted.scale(display.size(), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));
    return QRect(display.x() + (display.width() - fitted.width()) / 2,
                 display.y() + (display.height() - fitted.height()) / 2, fitted.width(), fitted.height());
}

void PictureWindow::showPicture(const QImage& source)
{
    if (m_background.isNull()) {
        m_background = grabScreen(m_display);
        if (m_background.isNull()) {
            m_background = QImage(m_display.size(), QImage::Format_RGB32);
            m_background.fill(QColor(128, 128, 128));
        }
    }
    const QRect place = placeFor(source.size(), m_display);
    const QImage picture = source.size() == place.size()
        ? source
        : source.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_composed = m_background.copy(place.translated(-m_display.topLeft()));
    {
        QPainter painter(&m_composed);
        painter.drawImage(0, 0, picture);
    }
    if (m_fade) {
        m_fade->stop();
        setWindowOpacity(1.0);
    }
    setGeometry(place);
    setMask(opaquePart(picture));
    show();
    raise();
    update();
}

void PictureWindow::closePicture(int fadeMs)
{
    if (fadeMs <= 0 || !isVisible()) {
        if (m_fade)
            m_fade->stop();
        hide();
        return;
    }
    if (!m_fade) {
        m_fade = new QTimer(this);
        connect(m_fade, &QTimer::timeout, this, &PictureWindow::fadeStep);
    }
    m_fadeStart = QDateTime::currentMSecsSinceEpoch();
    m_fadeMs = fadeMs;
    m_fade->start(kFadeStepMs);
}

void PictureWindow::fadeStep()
{
    const qint64 passed = QDateTime::currentMSecsSinceEpoch() - m_fadeStart;
    if (passed >= m_fadeMs) {
        m_fade->stop();
        hide();
        setWindowOpacity(1.0);
        return;
    }
    setWindowOpacity(1.0 - double(passed) / double(m_fadeMs));
}

void PictureWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_composed);
}

// ---------------------------------------------------------------------------

QImage PictureObject::load(const char* path)
{
    if (!path || !*path)
        return QImage();
    QImage picture(QString::fromUtf8(path));
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return QImage();
    return picture;
}

PictureObject* PictureObject::create(const char* path)
{
    if (!overlaysAvailable())
        return nullptr;
    const QImage picture = load(path);
    const QRect display = selectedDisplayRect();
    if (picture.isNull() || display.isEmpty())
        return nullptr;
    PictureObject* object = new PictureObject;
    PictureWindow* window = nullptr;
    rec::runOnGui([&] {
        window = new PictureWindow(display);
        window->showPicture(picture);
    });
    object->m_window = window;
    return object;
}

void PictureObject::release()
{
    QPointer<PictureWindow> window = m_window;
    rec::runOnGui([window] { delete window.data(); });
    delete this;
}

int PictureObject::show(const char* path)
{
    const QImage picture = load(path);
    if (picture.isNull())
        return -1;
    QPointer<PictureWindow> window = m_window;
    rec::runOnGui([window, picture] {
        if (window)
            window->showPicture(picture);
    });
    return 0;
}

void PictureObject::close(int fadeMs)
{
    QPointer<PictureWindow> window = m_window;
    rec::runOnGui([window, fadeMs] {
        if (window)
            window->closePicture(fadeMs);
    });
}

} // namespace ui
} // namespace sc
