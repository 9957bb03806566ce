#include "widgets/VxAutoMoveScrollArea.h"

#include <QScrollBar>

VxAutoMoveScrollArea::VxAutoMoveScrollArea(QWidget* parent)
    : QScrollArea(parent)
{
}

void VxAutoMoveScrollArea::ensureWidgetVisible(QWidget* w, int xmargin, int ymargin)
{
    QScrollArea::ensureWidgetVisible(w, xmargin, ymargin);
    // mapTo() needs an ancestor; anything outside the area stays where the
    // base class left it.
    if (!w || !widget() || !widget()->isAncestorOf(w))
        return;

    QScrollBar* bar = verticalScrollBar();
    const int v = bar->value();
    const int t = w->mapTo(this, w->pos()).y();
    if (v < t) {
        bar->setValue(v + viewport()->height() - w->height());
        const int now = bar->value();
        const int t2 = w->mapTo(this, w->pos()).y();
        if (now != t2)
            bar->setValue(now + (t2 - now) / 2);
    }
}
