#pragma once

// Helpers of the unit tests that build the module's windows. Header-only:
// they use the module's classes, which only the unit tests link.

#include "MainWindowBase.h"
#include "TaskClientCall.h"

#include <QCoreApplication>

#include <memory>

namespace testsupport {

// A task daemon that is always there, lists no task and hands out
// whatever task the test pushes.
class ScriptedTaskClient : public ITaskClient
{
public:
    bool connectToDaemon() override { return true; }
    bool isConnected() const override { return true; }
    bool listTasks(TaskList& tasks) override
    {
        tasks.clear();
        return true;
    }
    bool isWaitTaskStart(bool& waiting) override
    {
        waiting = false;
        return true;
    }
    bool requestPowerAction(int) override { return false; }
    void push(const TaskInfo& task) { emit startTaskRequested(task); }
};

// The frame window with the home window in it, made and shown on first
// use.
class ShownFrame
{
public:
    MainWindowBase* get()
    {
        if (!m_frame) {
            m_frame.reset(new MainWindowBase(nullptr));
            m_frame->show();
            // The page machine starts from the event loop.
            QCoreApplication::processEvents();
        }
        return m_frame.get();
    }
    void reset() { m_frame.reset(); }

private:
    std::unique_ptr<MainWindowBase> m_frame;
};

} // namespace testsupport
