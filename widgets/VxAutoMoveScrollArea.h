#pragma once

#include <QScrollArea>

// A scroll area that brings a section up towards the top of the view
// instead of only just into view.
class VxAutoMoveScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit VxAutoMoveScrollArea(QWidget* parent = nullptr);

    // Hides QScrollArea::ensureWidgetVisible (not virtual there).
    void ensureWidgetVisible(QWidget* w, int xmargin = 50, int ymargin = 50);
};
