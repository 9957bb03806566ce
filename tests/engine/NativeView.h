#pragma once

// A native window that leaves its contents to the engine, as the module's
// views do.

#include <QSize>
#include <QWidget>

namespace et {

class NativeView : public QWidget
{
public:
    // Shown at `size` when one is given.
    explicit NativeView(QSize size = QSize())
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        if (size.isValid()) {
            resize(size);
            show();
        }
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
};

} // namespace et
