#pragma once

#include <QScrollArea>

// Scrolls a section to the top of the view when asked to show it, which
// reads better for long settings pages than the minimal scroll.
class VxAutoMoveScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit VxAutoMoveScrollArea(QWidget* parent = nullptr);

    // Hides QScrollArea::ensureWidgetVisible (not virtual there).
    void ensureWidgetVisible(QWidget* w, int xmargin = 50, int ymargin = 50);
};
