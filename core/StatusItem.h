#pragma once

#include <QMetaObject>
#include <QString>

#include <functional>

#include "core/RecordTypes.h"

class QObject;

// The tray item as the recording windows below the app see it. The app's
// SystemStatusBar is the one real implementation and registers itself when
// the module loads; until something is registered (a library test without
// the app) the calls go nowhere.
class StatusItem
{
public:
    static StatusItem* instance();
    static void setFactory(StatusItem* (*factory)());

    virtual void setSysBarState(SysBarState state) = 0;
    virtual void setRecordInfo(const QString& duration, const QString& size) = 0;
    virtual void setActionEnable(bool enable) = 0;
    virtual void setStopEnable(bool enable) = 0;
    // Runs `slot` in `receiver`'s thread whenever the user asks the tray for
    // the preview window.
    virtual QMetaObject::Connection connectShowPreview(QObject* receiver, std::function<void()> slot) = 0;

protected:
    virtual ~StatusItem() = default;
};
