#pragma once

// The engine's option records of one screen recording, built from plain
// values. Nothing here reads the settings or asks the engine anything: the
// recorder gathers the values, these functions only decide, so that each
// choice can be checked by comparing records.

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

#include "Screencast.h"
#include "core/RecordTypes.h"

namespace RecordOptions {

// How the recorded area moves with the pointer during one recording.
enum class MouseFollow {
    Fixed,      // the area stays put
    Draggable,  // the user may drag the area while recording
    Centred,    // the area is centred on the pointer
    Edges,      // the area follows once the pointer reaches an edge
};

// What a screen recording is made of, gathered from the settings and the
// engine before anything is built.
struct ScreenSettings {
    QRect region;                 // the stored area, display coordinates
    int fps = 30;
    int codec = RP_Codec_H264;
    int quality = RP_Quality_Medium;
    int format = RP_Format_MP4;   // the container the user chose
    bool systemSound = false;
    bool microphone = false;
    int audioQuality = RP_Quality_Medium;
    bool cursor = true;
    bool indicate = true;
    RP_MouseClick click = RP_MouseClick_None;
    MouseFollow follow = MouseFollow::Fixed;
    QSize around;                 // the centred area's size
    QRect display;                // the display in corner form, for Centred
    bool windowRecord = false;
    int windowMode = kWindowListNone;
    QList<int> windowIds;
    CRect windowSize{0, 0, 0, 0}; // {0, 0, w, h} of the one window
    bool excludeFloatBar = false;
    int cameraWindow = 0;         // the webcam window to take in, 0 for none
};

struct Container {
    OutputVideoFileType type = kOutputMp4;
    QString suffix;               // with its dot
};

struct WindowLists {
    WindowListOption option = kWindowListNone;
    QVector<unsigned int> include;
    QVector<unsigned int> exclude;
};

// Everything scVideoRecord takes besides the callback, the path and the
// boundary flag.
struct ScreenRecord {
    Container container;
    VideoOpt video{};
    AudioOpt audio{};
    MouseOpt mouse{};
    WindowLists lists;
    QSize frame;                  // the size of the recorded frames
};

// The stored QRect's right and bottom are inclusive; the engine's are not.
VideoOpt videoOpt(const QRect& region, int fps, int codec, int quality);
// The size asked for, or the whole display when that size does not fit.
CRect centredArea(const QSize& around, const QRect& display);
AudioOpt audioOpt(bool systemSound, bool microphone, int quality, int codec);
MouseOpt mouseOpt(bool cursor, bool indicate, RP_MouseClick click, MouseFollow follow);
// M4V and anything unknown are written as MP4.
Container containerFor(int format);
// The video codec kept when the container lists it, else the first listed;
// the sound codec paired with it. False when the container lists no video
// codec at all. Without lists (null) the video codec is kept, with AAC.
bool chooseCodecs(const AVFormatCodecs* listed, int wantedVideo, int& video, int& audio);
WindowLists windowLists(const ScreenSettings& s);
// The whole record set; false when the container offers no video codec.
bool screenRecord(const ScreenSettings& s, const AVFormatCodecs* listed, ScreenRecord& out);

} // namespace RecordOptions
