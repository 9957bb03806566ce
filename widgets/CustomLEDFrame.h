#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QRect>
#include <QVector>

// A meter of 56 vertical bars, each filled from the bottom to its level
// with a vertical gradient. Colours, stops, spacing and width come as text
// properties so that a style sheet can set them, e.g.
//   CustomLEDFrame { qproperty-rectColor: "#3ac47d,#f0c040,#e0483e";
//                    qproperty-colorGradient: "0,0.7,1"; }
// Each colour and stop is appended to the lists, in order.
class CustomLEDFrame : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString rectColor READ rectColor WRITE setRectColor)
    Q_PROPERTY(QString colorGradient READ colorGradient WRITE setColorGradient)
    Q_PROPERTY(QString volumeSpacing READ volumeSpacing WRITE setVolumeSpacing)
    Q_PROPERTY(QString volumeWidth READ volumeWidth WRITE setVolumeWidth)
public:
    static constexpr int kBars = 56;

    explicit CustomLEDFrame(QWidget* parent = nullptr);

    // Centres the meter on the main window (shown as a window of its own).
    void setMainWindow(QWidget* mainWindow);

    // `levels` holds two floats per bar; bar i shows |levels[2i]| x 5,
    // capped at 1, written back into the array. Only the first `count`
    // floats are read: bars past them fall to nothing.
    void setVolume(int count, float* levels);

    // Every meter of the process drops levels from finishRecord() until the
    // next startRecord(), and paints one empty frame after it.
    static void startRecord();
    static void finishRecord();

    void setRectColor(const QString& text);
    QString rectColor() const;
    void setColorGradient(const QString& text);
    QString colorGradient() const;
    void setVolumeSpacing(const QString& text);
    QString volumeSpacing() const;
    void setVolumeWidth(const QString& text);
    QString volumeWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutBars();

    QWidget* m_mainWindow = nullptr;
    QList<QColor> m_colors;
    QList<float> m_stops;
    int m_spacing = 2;
    int m_width = 4;
    QVector<QRect> m_bars;
};
