#pragma once

#include <QSpinBox>

// A size box that reports committed values only: typing is silent, the
// value is reported when the user leaves the box or confirms it with a
// key, and the arrow keys report at once as usual.
class CustomSpin : public QSpinBox
{
    Q_OBJECT
public:
    explicit CustomSpin(QWidget* parent = nullptr);

    // Sizes in engine pixels; halved for the display in the half-size mode.
    void setCustomValue(int v);
    void setCustomRange(int min, int max);
    int customValue() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void reportIfChanged();

    // The value the owner last heard of. Every valueChanged that really
    // goes out updates it, so a value reported by a key is not reported a
    // second time when the box loses focus.
    int m_nFocusValue = 0;
};
