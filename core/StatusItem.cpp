#include "core/StatusItem.h"

namespace {

class SilentStatusItem : public StatusItem
{
public:
    void setSysBarState(SysBarState) override {}
    void setRecordInfo(const QString&, const QString&) override {}
    void setActionEnable(bool) override {}
    void setStopEnable(bool) override {}
    QMetaObject::Connection connectShowPreview(QObject*, std::function<void()>) override { return {}; }
};

StatusItem* (*g_factory)() = nullptr;

} // namespace

StatusItem* StatusItem::instance()
{
    if (g_factory)
        return g_factory();
    static SilentStatusItem silent;
    return &silent;
}

void StatusItem::setFactory(StatusItem* (*factory)())
{
    g_factory = factory;
}
