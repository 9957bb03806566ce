#include "widgets/CustomLEDFrame.h"

#include "widgets/UIHelper.h"

#include <QLinearGradient>
#include <QPainter>
#include <QStringList>

#include <cmath>

namespace {

// Shared by every meter: one recording's end blanks them all.
bool g_bFinished = false;

constexpr int kFirstLeft = 5;

} // namespace

CustomLEDFrame::CustomLEDFrame(QWidget* parent) : QFrame(parent), m_bars(kBars)
{
    // Before any layout the bars sit side by side a spacing apart, left
    // edge to left edge, as the first meters did; a set spacing or width
    // lays them out edge to edge.
    for (int i = 0; i < kBars; ++i)
        m_bars[i] = QRect(kFirstLeft + i * m_spacing, 0, m_width, 0);
}

void CustomLEDFrame::setMainWindow(QWidget* mainWindow)
{
    m_mainWindow = mainWindow;
    UIHelper::moveParentWidgetCenter(this, mainWindow, true);
}

void CustomLEDFrame::setVolume(int count, float* levels)
{
    if (!levels)
        return;
    const int h = height();
    for (int i = 0; i < kBars; ++i) {
        if (g_bFinished)
            return;
        QRect& bar = m_bars[i];
        if (2 * i >= count) {
            // No value for this bar: it shows silence rather than memory
            // past the caller's array.
            bar.setTop(h);
            bar.setHeight(0);
            continue;
        }
        float& v = levels[2 * i];
        v = std::fabs(v);
        v = std::min(1.0f, 5.0f * v);
        bar.setTop(int(h - v * h));
        int barHeight = int(h * v);
        if (barHeight > 0)
            barHeight = int(h * v - 1.0);
        bar.setHeight(barHeight);
    }
    update();
}

void CustomLEDFrame::startRecord() { g_bFinished = false; }

void CustomLEDFrame::finishRecord() { g_bFinished = true; }

void CustomLEDFrame::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        const bool stopped = m_colors.size() != m_stops.size() || m_colors.isEmpty();
        for (const QRect& bar : qAsConst(m_bars)) {
            if (g_bFinished) {
                g_bFinished = false;
                break;
            }
            // Unlit tracks in a faint first colour: a silent meter still
            // reads as a meter rather than as an empty box.
            if (!m_colors.isEmpty()) {
                QColor unlit = m_colors.first();
                unlit.setAlpha(45);
                painter.fillRect(QRect(bar.left(), 0, bar.width(), height()), unlit);
            }
            QLinearGradient gradient(bar.left(), bar.bottom(), bar.left(), 0);
            if (!stopped) {
                for (int k = 0; k < m_colors.size(); ++k)
                    gradient.setColorAt(qBound(0.0, double(m_stops[k]), 1.0), m_colors[k]);
            }
            painter.fillRect(bar, gradient);
        }
    }
    QFrame::paintEvent(event);
}

void CustomLEDFrame::layoutBars()
{
    int left = kFirstLeft;
    for (int i = 0; i < kBars; ++i) {
        QRect& bar = m_bars[i];
        bar.moveLeft(left);
        bar.setWidth(m_width);
        left = bar.right() + m_spacing;
    }
}

void CustomLEDFrame::setRectColor(const QString& text)
{
    for (const QString& part : text.split(',')) {
        QColor colour;
        colour.setNamedColor(part.trimmed());
        m_colors.append(colour);
    }
    update();
}

QString CustomLEDFrame::rectColor() const
{
    // With no colour set the bars have no colour either.
    return m_colors.isEmpty() ? QString() : m_colors.last().name();
}

void CustomLEDFrame::setColorGradient(const QString& text)
{
    for (const QString& part : text.split(','))
        m_stops.append(part.trimmed().toFloat());
    update();
}

QString CustomLEDFrame::colorGradient() const
{
    return m_stops.isEmpty() ? QStringLiteral("1") : QString::number(double(m_stops.last()), 'g', 6);
}

void CustomLEDFrame::setVolumeSpacing(const QString& text)
{
    m_spacing = text.toInt(nullptr, 10);
    layoutBars();
    update();
}

QString CustomLEDFrame::volumeSpacing() const { return QString::number(m_spacing); }

void CustomLEDFrame::setVolumeWidth(const QString& text)
{
    m_width = text.toInt(nullptr, 10);
    layoutBars();
    update();
}

QString CustomLEDFrame::volumeWidth() const { return QString::number(m_width); }
