#pragma once

#include <QList>
#include <QPoint>

#include "ScreencastTypes.h"
#include "ScreencastObjects.h"

// The desktop's windows as the capture engine last listed them: ids,
// positions, visibility and the program's own webcam window.
class WindowListManger
{
public:
    static WindowListManger* instance();
    static void release();

    // Ids of the ordinary application windows, top of the stack first.
    QList<int> getWindowsList();
    // Id of this program's own "Webcam Recorder" window; 0 when it is not open.
    int getCameraWinId();
    // The two sizes the engine reports for the window (0, 0 when unknown).
    void getWindowsRect(int id, int& a, int& b);
    QPoint getWindowQPoint(int id);
    // False for an empty list. firstOnly: whether the first window is
    // visible; otherwise whether any of them is.
    bool chechWindowVisible(QList<int> ids, bool firstOnly);

private:
    WindowListManger() = default;
    ~WindowListManger() = default;
    WindowListManger(const WindowListManger&) = delete;
    WindowListManger& operator=(const WindowListManger&) = delete;

    void refresh(int filter);
    int itemCount() const;

    CBasePtr<CWindowListObject> m_pWindowList;
};
