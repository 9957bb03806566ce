#pragma once

// Media files for tests, made and read with FFmpeg's libraries (never its programs): known
// content to play and cut, and what a recording holds once decoded.

#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

#include <climits>

namespace testmedia {

// What a file holds: its first video and first audio stream.
struct Probe {
    bool ok = false;             // the file opens and has a stream
    QString container;           // libavformat's short name ("mov,mp4,...", "gif", "wav")
    double duration = 0.0;       // seconds, the longest stream
    QString videoCodec;          // "h264", "hevc", "prores", "gif"...; "" for none
    int width = 0;
    int height = 0;
    double fps = 0.0;            // average rate
    int frames = -1;             // pictures counted by decoding when asked, else -1
    QString audioCodec;          // "aac", "mp3", "pcm_s16le"...; "" for none
    int sampleRate = 0;
    int channels = 0;
    // Finer facts, as the container and the first streams name them.
    QString brand;               // the container's major brand ("isom", "qt  ")
    QString videoTag;            // the video's fourcc ("avc1", "hvc1", "ap4h")
    QString pixelFormat;         // "yuv420p", "yuva444p12le"...
    QString colourSpace;         // "bt709"...; "" when unspecified
    QString frameRate;           // the base rate as a fraction ("25/1")
    double videoDuration = 0.0;  // seconds of each stream, 0 when unknown
    double audioDuration = 0.0;
};
Probe probe(const QString& path, bool countFrames = false);

// Decoded pictures, in presentation order, with their times in seconds
// from the start of the file.
struct Picture {
    double time = 0.0;
    QImage image;                // Format_RGB32
};
QVector<Picture> pictures(const QString& path, int maxCount = INT_MAX);
// The same in Format_ARGB32, with the stream's own transparency.
QVector<Picture> picturesWithAlpha(const QString& path, int maxCount = INT_MAX);
// The picture seen at `seconds` (the last one starting at or before it).
QImage pictureAt(const QString& path, double seconds);

// The first sound stream, mixed to mono 16-bit at `rate`.
QVector<qint16> sound(const QString& path, int rate = 8000);

// A movie of `fps` pictures a second, each showing its number as a 4 x 4 grid, with a 1 kHz
// beep of 0.1 s each whole second (48 kHz stereo); H.264 + AAC, a GIF pictures only.
bool makeCountingMovie(const QString& path, double seconds, int fps = 30, QSize size = QSize(320, 240));
// The number a makeCountingMovie picture shows, at any scale (bars cut away first); -1 when
// it carries none.
int frameNumber(const QImage& picture);

// A tone of `frequency` Hz in the format of the suffix (wav, mp3, m4a...).
bool makeTone(const QString& path, double seconds, int frequency = 440, int channels = 2);
// The same with `cover` as the file's attached picture (mp3, m4a).
bool makeToneWithCover(const QString& path, double seconds, const QImage& cover, int frequency = 440,
                       int channels = 2);

} // namespace testmedia
