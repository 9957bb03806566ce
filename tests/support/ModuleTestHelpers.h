#pragma once

// Helpers of the unit tests that build the module's windows.

#include "app/MainWindowBase.h"
#include "schedule/TaskClientCall.h"

#include <QtTest>

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

    // The frame's widget of that name; a warning names the one missing.
    template <class T>
    T* child(const char* name)
    {
        T* widget = get()->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("no widget %s", name);
        return widget;
    }

    // A tile click on the home window, then the page animation to its end.
    void chooseTile(const char* tile)
    {
        QWidget* w = child<QWidget>(tile);
        QVERIFY(w);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
        QTRY_COMPARE(child<QWidget>("frameAVContent")->x(), 0);
    }

private:
    std::unique_ptr<MainWindowBase> m_frame;
};

} // namespace testsupport
