#include "preferences/HotKeyCallback.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "core/SignalsTransfer.h"

namespace {

// On the GUI thread. The hub is not created here: a hotkey during shutdown,
// after the hub was released, has nobody left to tell. The handle is let go
// before emitting, because the receivers run whole recordings from this
// signal and engine threads must not wait on the hub meanwhile.
void emitHotKeyPressed(int id)
{
    SignalsTransfer* hub = SignalsTransfer::existing().get();
    if (hub)
        emit hub->hotKeyPressed(id);
}

} // namespace

namespace callback {

void onAction(int id)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread()) {
        emitHotKeyPressed(id);
        return;
    }
    QMetaObject::invokeMethod(app, [id] { emitHotKeyPressed(id); }, Qt::QueuedConnection);
}

} // namespace callback
