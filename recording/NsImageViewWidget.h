#pragma once

#include <QWidget>

#include "Screencast.h"

// A native child window the engine draws a live window preview into. Qt
// keeps its hands off the contents: it neither paints nor clears them.
class NsImageViewWidget : public QWidget
{
    Q_OBJECT
public:
    explicit NsImageViewWidget(QWidget* parent = nullptr);

    // The X window to hand to the engine; creating it makes the widget native.
    ScNativeView nativeView();

    QPaintEngine* paintEngine() const override { return nullptr; }
};
