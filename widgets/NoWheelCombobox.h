#pragma once

#include <QComboBox>

// A combo box inside a scrolling page: the wheel scrolls the page, never
// the selection, and the box takes no keyboard focus of its own.
class NoWheelCombobox : public QComboBox
{
    Q_OBJECT
public:
    explicit NoWheelCombobox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
