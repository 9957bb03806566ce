#pragma once

#include <QSlider>

// A slider that jumps to the pressed position; a drag then carries on from
// there as if the handle had been grabbed.
class VxSlider : public QSlider
{
    Q_OBJECT
public:
    explicit VxSlider(QWidget* parent = nullptr);

    int pixelPosToRangeValue(int pos) const;
    int rangeValueToPixelPos(int value) const;

    // A value the owner keeps with the slider; the slider does not use it.
    void setFlagValue(int value) { m_nFlagValue = value; }
    int getFlagValue() const { return m_nFlagValue; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    // Start of the handle centre's travel and its length, in pixels along
    // the orientation.
    void travel(int& start, int& span) const;

    int m_nFlagValue = 0;
};
