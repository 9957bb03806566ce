#pragma once

class QMainWindow;

// Keeps a main window above ordinary and floating windows.
class windowLaval
{
public:
    void setTopMost(QMainWindow* w);
};
