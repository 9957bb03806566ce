#pragma once

#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>

#include "core/RecordTypes.h"

class QWidget;

// Static helpers for folders, files, media facts, the standard message box,
// display conversion and the brand. Never instantiated, keeps no state.
// Paths handed to the capture engine are UTF-8.
class Utils
{
public:
    Utils() = delete;

    // The run brackets its native start-up with an autorelease pool on the
    // original platform; Linux has none, so the handle is only a token.
    static void* createAutoreleasePool();
    static void releaseAutoreleasePool(void* pool);
    static void autoreleasePoolPrint(const char* where);

    // ---- folders (created on demand with their parents) ------------------
    static void ensureExists(const QString& dir);
    static QString getAppDataLocation();      // "\" turned into "/", created
    static QString appDataLocation();         // as the system gives it, not created
    static QString selectRecorderTmpRoot();   // same as getAppDataLocation()
    static QString getAppLogPath();           // getAppDataLocation() + "/sr.log"
    // Where recordings are written while they run (the temp root).
    static QString getRecorderTmpRoot();
    static QString getOriginalRecorderTmpPath();
    // Defaults of the output folders (the settings dialog resets to them).
    static QString getOriginalVideoOutputPath();
    static QString getOriginalSnapshotPath();
    // "Path/VideoFolder" and "Path/ScreenshotsFolder", else the defaults.
    static QString getVideoOutputPath();
    static QString getSnapshotPath();
    static void setVideoOutputPath(const QString& dir);
    static void setSnapshotPath(const QString& dir);
    static void removeTempRoot();
    static void setFileSuffix(const QString& suffix);
    static QString getFileSuffix();
    static void setTempFilePath(const QString& path);

    // ---- sizes -------------------------------------------------------------
    // Makes the folder of `path` first, since the engine can only ask about
    // something that exists; ok is false when it could not answer.
    static qint64 freeDiskSize(const QString& path, bool& ok);
    // "KB" up to 1048576 bytes, "MB" up to 1073741824, "GB" above; `value`
    // is the size in that unit.
    static QString getUtilOfSize(qint64 bytes, double& value);
    // Two digits at least: 5 gives "05", -5 stays "-5".
    static QString toDoubleNumber(int n);

    // ---- media facts (from the engine) --------------------------------------
    static qint64 getFileSize(const QString& path);
    // A file name ending in exactly ".gif" is read as a GIF, anything else as
    // a media file.
    static double getMediaDuration(const QString& path);
    static double getAudioDuration();
    // (0, 0, width, height) of the picture; empty without a picture.
    static QRect getVideoRect(const QString& path);
    static bool RestorreAudioTempFiles();
    // Whether the engine offers a video codec for the container of an
    // RP_Format (MOV, M4V and GIF are their own containers, the rest MP4).
    static bool suportVidoeType(int fmt);
    static QMap<RP_CodecType, QString> getSupportCodecs(int fmt);

    // ---- files and programs ------------------------------------------------
    // Whether both paths lie on one file system (a rename can move between
    // them). `b`'s folder is created first.
    static bool isSameStorage(const QString& a, const QString& b);
    static QStringList strSplitSkipEmpty(const QString& s, const QString& sep);
    // Runs a program and waits up to 30 s; false when it could not start,
    // timed out (it is killed) or crashed.
    static bool excuteFileUseQProcess(const QString& program, const QStringList& args, int timeoutMs = 30000);
    // Whether the file's MD5 equals `md5` (hex, any case).
    static bool checkHash(const QString& file, const QString& md5);
    // Side files come as "<sum>  <name>"; only the sum matters.
    static QString getMD5FromFileContents(const QString& text);
    // Returns 0 when the file is there and its sum matches, 1 on failure and
    // 2 when the disk is too full; without `md5` the sum comes from
    // url + ".md5". A partial file is continued, not fetched again. Blocks
    // until the transfer ends: call it off the GUI thread.
    static int downloadFile(const QString& local, const QString& url, const QString& md5,
                            bool (*progress)(qint64, qint64, void*), void* user);

    // ---- message box, engine colours, display, window level ----------------
    // A modal VxMessageBox with the product's name as its title; the result
    // is a QMessageBox::StandardButton value.
    static int showMacWindowMessage(MsgType type, QWidget* parent, const QString& text,
                                    MsgButton buttons);
    // Colours of every engine box; once, after the engine started.
    static void setLineColor();
    // From one display's own coordinates to the desktop's.
    static QRect DisplayRectToScreen(int displayIndex, QRect r);
    // Keeps the window of `w` above ordinary windows without hiding it.
    static void setTopWindowLevel(QWidget* w);
    // Dark when the application palette's window colour is darker than its text.
    static bool applicationIsInDarkMode();

    // ---- brand -------------------------------------------------------------
    // The brand family key of VxProductInfo::brand(); "" for an unknown brand.
    static QString getProductBrandName();
    // The system-sound plug-in's display name of the brand family; "" for an
    // unknown brand.
    static QString getAudioDriverName();
    // The product's font family for `language`; the desktop's own font when
    // the product names none or names one this machine does not have.
    static QString productFontFamily(const QString& language);
};
