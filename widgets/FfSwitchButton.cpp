#include "widgets/FfSwitchButton.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTextOption>

#include "ui_FfSwitchButton.h"

namespace {
const int kSlideMs = 100;
}

FfSwitchButton::FfSwitchButton(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::FfSwitchButton)
    , m_strOnType(":/widgets/switch_on.png")
    , m_strOffType(":/widgets/switch_off.png")
{
    ui->setupUi(this);
    m_pAnimation = new QPropertyAnimation(ui->btnSwitch, "pos", this);
    m_pAnimation->setEasingCurve(QEasingCurve::Linear);
    m_pAnimation->setDuration(kSlideMs);
    connect(ui->btnSwitch, &QToolButton::clicked, this, &FfSwitchButton::onKnobClicked);
    ensurePolished();
}

FfSwitchButton::~FfSwitchButton()
{
    m_pAnimation->stop();
    delete ui;
}

QPoint FfSwitchButton::knobLeftPos() const
{
    return QPoint(1, 0);
}

QPoint FfSwitchButton::knobRightPos() const
{
    return QPoint(width() - height() - 1, 0);
}

bool FfSwitchButton::isSliding() const
{
    return m_pAnimation->state() == QAbstractAnimation::Running;
}

bool FfSwitchButton::toggle()
{
    if (isSliding())
        return false;
    if (m_bChecked) {
        m_pAnimation->setStartValue(knobRightPos());
        m_pAnimation->setEndValue(knobLeftPos());
    } else {
        m_pAnimation->setStartValue(knobLeftPos());
        m_pAnimation->setEndValue(knobRightPos());
    }
    m_pAnimation->start();
    m_bChecked = !m_bChecked;
    return true;
}

void FfSwitchButton::onKnobClicked()
{
    toggle();
    update();
    emit clicked(m_bChecked);
}

void FfSwitchButton::setBtnChecked(bool on)
{
    // A request made while the knob slides would otherwise be ignored by
    // toggle() and leave the switch in the opposite state of the one the
    // signal below announces.
    m_pAnimation->stop();
    m_bChecked = !on;
    toggle();
    update();
    emit clicked(on);
}

void FfSwitchButton::setBtnOnlyOff()
{
    m_bChecked = true;
    m_pAnimation->stop();
    toggle();
    update();
}

void FfSwitchButton::setOnType(const QString& path)
{
    m_strOnType = path;
    if (isVisible())
        loadTracks();
}

void FfSwitchButton::setOffType(const QString& path)
{
    m_strOffType = path;
    if (isVisible())
        loadTracks();
}

void FfSwitchButton::setPanColor(const QColor& color)
{
    m_clrPan = color;
    update();
}

void FfSwitchButton::setPanColorOff(const QColor& color)
{
    m_clrPanOff = color;
    update();
}

void FfSwitchButton::setDisablePanColor(const QColor& color)
{
    m_clrDisablePan = color;
    update();
}

void FfSwitchButton::onSkinChange()
{
    loadTracks();
    m_pAnimation->stop();
    const QVariant end = m_pAnimation->endValue();
    ui->btnSwitch->move(end.isValid() ? end.toPoint()
                                      : (m_bChecked ? knobRightPos() : knobLeftPos()));
    update();
}

void FfSwitchButton::setIcon(const QStringList& files, QIcon::State state)
{
    for (int i = 0; i < files.size() && i <= QIcon::Selected; ++i) {
        const QSize size = QImageReader(files.at(i)).size();
        m_icon.addFile(files.at(i), size, static_cast<QIcon::Mode>(i), state);
    }
}

QPixmap FfSwitchButton::loadTrack(const QString& path) const
{
    if (path.isEmpty())
        return QPixmap();
    QString file = path;
    if (devicePixelRatioF() > 1.0) {
        const QFileInfo info(path);
        const QString sharp = info.path() + "/" + info.baseName() + "@2x.png";
        // A skin without the sharp variant keeps its ordinary picture
        // rather than showing no track at all.
        if (QFileInfo::exists(sharp))
            file = sharp;
    }
    QIcon icon;
    icon.addPixmap(QPixmap(file));
    return icon.pixmap(size());
}

void FfSwitchButton::loadTracks()
{
    m_pixOn = loadTrack(m_strOnType);
    m_pixOff = loadTrack(m_strOffType);
    update();
}

void FfSwitchButton::placeKnob()
{
    if (isSliding())
        return;
    ui->btnSwitch->move(m_bChecked ? knobRightPos() : knobLeftPos());
}

void FfSwitchButton::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        const QPixmap& track = m_bChecked ? m_pixOn : m_pixOff;
        if (!track.isNull())
            painter.drawPixmap(rect(), track);

        QFont font = QApplication::font();
        font.setPixelSize(10);
        painter.setFont(font);
        if (!isEnabled())
            painter.setPen(m_clrDisablePan);
        else
            painter.setPen(m_bChecked ? m_clrPan : m_clrPanOff);

        const int w = width();
        const int h = height();
        const int kw = ui->btnSwitch->width();
        const int kh = ui->btnSwitch->height();
        const int left = m_bChecked ? w / 2 - (w - 1 - kw) / 2 - 1
                                    : (w - 1) - kw / 2 - (w - 1 - kw) / 2;
        const int top = h / 2 - (kh - 1) / 2 + 3;
        painter.drawText(QRectF(left, top, w - 1 - kw, kh - 1),
                         m_bChecked ? tr("ON") : tr("OFF"), QTextOption());
    }
    QFrame::paintEvent(event);
}

void FfSwitchButton::mouseReleaseEvent(QMouseEvent* event)
{
    toggle();
    update();
    emit clicked(m_bChecked);
    QFrame::mouseReleaseEvent(event);
}

void FfSwitchButton::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    loadTracks();
    placeKnob();
}

void FfSwitchButton::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::LanguageChange:
    case QEvent::StyleChange:
        update();
        break;
    default:
        break;
    }
}

void FfSwitchButton::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (isVisible())
        loadTracks();
    placeKnob();
}

bool FfSwitchButton::event(QEvent* event)
{
    const bool handled = QFrame::event(event);
    if (event->type() == QEvent::LayoutRequest)
        placeKnob();
    return handled;
}
