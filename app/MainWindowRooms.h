#pragma once

#include <QMap>
#include <QPointer>
#include <QSize>

class AudioLevelFeed;
class CustomLEDFrame;
class FfMenu;
class QAction;
class QMenu;
class VxComboboxViewItemDelegate;

// The private state of the home window's rooms. Each is touched by its own
// room's file (app/MainWindow<Room>.cpp) only; MainWindow holds one of each.

// MainWindowRegion.cpp: the region's menus and the display list.
struct RegionRoom
{
    QMenu* m_pCustomMenu = nullptr;
    QMenu* m_pAroundMouseMenu = nullptr;
    QMenu* m_pAroundSubMenu = nullptr;
    QAction* m_pFollowAction = nullptr;
    QAction* m_pCurrentAreaAction = nullptr;
    QMap<QAction*, QSize> m_aroundSizes;
    QPointer<VxComboboxViewItemDelegate> m_pDisplayDelegate; // the display list's row painter
    bool m_bDisplayChangePending = false;   // a display change came while busy
};

// MainWindowRecording.cpp: hotkeys and the start's short pause.
struct RecordingRoom
{
    bool m_bHotkeyEnable = true;
    // Numbers each start that waits on the short pause, so that the pause of
    // a start that was undone starts nothing.
    int m_nStartSerial = 0;
};

// MainWindowWebcam.cpp: the camera menu.
struct WebcamRoom
{
    QMenu* m_pCameraPopup = nullptr;       // the camera menu, rebuilt on device changes
    FfMenu* m_pCameraList = nullptr;
};

// MainWindowAudioMeter.cpp: the Audio Recorder page's microphone level.
struct AudioMeterRoom
{
    CustomLEDFrame* m_pAudioMeter = nullptr;
    AudioLevelFeed* m_pAudioLevels = nullptr;
};
