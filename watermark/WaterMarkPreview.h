#pragma once

#include <QPoint>
#include <QWidget>

#include "watermark/WaterMarkData.h"

// A 16:9 stand-in for a recording with the preset drawn on it as the
// engine will burn it in. Dragging the watermark picks the anchor and the
// margins that put it where it was dropped.
class WaterMarkPreview : public QWidget
{
    Q_OBJECT
public:
    // The frame the preview stands for; sizes of a preset are given for it.
    static QSize referenceFrame() { return QSize(1920, WaterMarkData::kReferenceHeight); }

    explicit WaterMarkPreview(QWidget* parent = nullptr);

    void setData(const WaterMarkData& data);
    const WaterMarkData& data() const { return m_data; }

    // Where the watermark lies, and the 16:9 frame it lies in, in the
    // widget's own coordinates.
    QRect markRect() const;
    QRect frameRect() const;

    // Anchor and margins (in reference pixels) that make placeIn put an
    // image of `size` with its top-left at `topLeft` of the reference frame.
    static void placeAt(WaterMarkData& data, QPoint topLeft, QSize size);

    int heightForWidth(int width) const override { return width * 9 / 16; }
    bool hasHeightForWidth() const override { return true; }

signals:
    // The user dropped the watermark somewhere else.
    void placed(const WaterMarkData& data);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double scale() const;

    WaterMarkData m_data;
    QImage m_image;          // the preset at the reference size
    bool m_bDragging = false;
    bool m_bOver = false;     // the pointer was over the mark at its last move
    QPoint m_grab;           // pointer minus the mark's corner, widget pixels
};
