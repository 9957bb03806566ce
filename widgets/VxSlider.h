#pragma once

#include <QSlider>

// QSlider steps by a page on a click outside the handle; this one moves
// the handle under the pointer and lets the same press go on as a drag.
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
