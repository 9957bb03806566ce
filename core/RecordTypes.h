#pragma once

// Enumerations shared by the settings model, the windows and the services.
// Values are stored in settings and task records: never renumber them.
// RecStopEvent lives with the task record (schedule/TaskInfo.h).
// The ones read from settings have int as their type: a stored number
// outside the listed ones is then a value the code can look at and refuse,
// not undefined behaviour.

// Container and image formats.
enum RP_Format : int {
    RP_Format_MP4 = 0,
    RP_Format_MOV = 1,
    RP_Format_M4V = 2,
    RP_Format_GIF = 3,
    RP_Format_M4A = 4,
    RP_Format_CAF = 5,
    RP_Format_MP3 = 6,
    RP_Format_OGG = 7,
    RP_Format_OPUS = 8,
    RP_Format_FLAC = 9,
    RP_Format_WMA = 10,
    RP_Format_PNG = 11,
    RP_Format_JPG = 12,
    RP_Format_BMP = 13,
    RP_Format_TIFF = 14
};

// Video codecs.
enum RP_CodecType : int {
    RP_Codec_None = 0,
    RP_Codec_H264 = 1,
    RP_Codec_HEVC = 2,
    RP_Codec_ProRes422 = 3,
    RP_Codec_ProRes4444 = 4,
    RP_Codec_GIF = 5
};

enum RP_CodecQuality : int {
    RP_Quality_Lowest = 1,
    RP_Quality_Low = 2,
    RP_Quality_Medium = 3,
    RP_Quality_High = 4,
    RP_Quality_Highest = 5,
    RP_Quality_Lossless = 6
};

// Mouse click effect.
enum RP_MouseClick : int {
    RP_MouseClick_None = 0,
    RP_MouseClick_Status = 1,
    RP_MouseClick_Blink = 2
};

// Global hotkey ids.
enum RP_HotKey {
    RP_HotKey_Pause = 0,
    RP_HotKey_Stop = 1,
    RP_HotKey_Snapshot = 2,
    RP_HotKey_WebCam = 3,
    RP_HotKey_Float = 4
};

// Default corner of the webcam overlay.
enum RP_DefalutPos {
    RP_Pos_TopLeft = 0,
    RP_Pos_TopRight = 1,
    RP_Pos_Center = 2,
    RP_Pos_BottomLeft = 3,
    RP_Pos_BottomRight = 4
};

// Index of a webcam resolution preset (0..10).
enum CameraResolution {
    CameraResolution_First = 0,
    CameraResolution_Last = 10
};

// Permission kinds.
enum Privacy_Setting {
    Privacy_Camera = 0,
    Privacy_Microphone = 1,
    Privacy_ScreenCapture = 2,
    Privacy_Accessibility = 3
};

enum Permission_Result {
    Permission_NotDetermined = 0,
    Permission_Denied = 1,
    Permission_Authorized = 2
};

// Why a permission reads refused: the guide tells a missing device from
// one that is there but closed to this user.
enum Permission_Refusal {
    Refusal_None = 0,
    Refusal_NoDevice = 1,  // no camera; a sound server without any input
    Refusal_NoAccess = 2,  // a camera whose device file this user may not open
    Refusal_NoService = 3  // no sound server answers; the X server refuses
};

// Recorder kind: home window mode, preset menu and task record.
enum RecordWhat {
    RecordWhat_Home = 0,
    RecordWhat_Video = 1,
    RecordWhat_Audio = 2,
    RecordWhat_Window = 3,
    RecordWhat_Webcam = 4
};

enum WindowModle {
    WindowModle_Single = 1,
    WindowModle_Exclude = 2,
    WindowModle_Multiple = 3
};

// Kind of a saved file; All only in the history filter.
enum HistoryFileType {
    HistoryFile_Image = 0,
    HistoryFile_Video = 1,
    HistoryFile_Audio = 2,
    HistoryFile_All = 3
};

// Status-bar item state.
enum SysBarState {
    SysBar_Idle = 0,
    SysBar_Recording = 1,
    SysBar_Previewing = 2,
    SysBar_Paused = 3
};

// Icon of the standard message box.
enum MsgType {
    MsgType_Information = 0,
    MsgType_Warning = 1,
    MsgType_Critical = 2,
    MsgType_Question = 3
};

// Which buttons Utils::showMacWindowMessage offers.
enum MsgButton {
    MsgButton_Ok = 0,         // the box's own buttons, Ok as default
    MsgButton_Default = 1,    // the box's own buttons and default
    MsgButton_OkCancel = 2,
    MsgButton_YesNoCancel = 3
};

// Preferences page.
enum SETTINGPAGE {
    SETTINGPAGE_Mouse = 0,
    SETTINGPAGE_Output = 1,
    SETTINGPAGE_HotKey = 2,
    SETTINGPAGE_Record = 3
};
