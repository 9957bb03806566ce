#include "core/UnsavedRecording.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "Screencast.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"

namespace {

const char* const kKey = "outputVideo";

// The names this program gives its recordings in the temporary folder: the
// screen recorder's movie in each container, and the webcam's movie.
bool isOwnName(const QString& name)
{
    const QString screen = QStringLiteral(".") + VxProductInfo::instance()->productNativeName();
    static const QStringList suffixes{QStringLiteral(".mp4"), QStringLiteral(".mov"), QStringLiteral(".gif")};
    for (const QString& suffix : suffixes) {
        if (name == screen + suffix)
            return true;
    }
    return name == QLatin1String(".CaptureCamera.mov");
}

// The setting can be edited by anyone who can write the settings file: only
// a file this program made is offered, so that Discard never deletes
// anything else.
bool isOwnRecording(const QString& path)
{
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return false;
    const QFileInfo file(path);
    // Symbolic links are followed to where they lead, and that must still
    // be inside the temporary folder.
    const QString real = file.canonicalFilePath();
    if (real.isEmpty() || !QFileInfo(real).isFile())
        return false;
    const QString sound = QFileInfo(QString::fromUtf8(GetAudioRecordFile())).canonicalFilePath();
    if (!sound.isEmpty() && real == sound)
        return true;
    const QString root = QDir(Utils::getRecorderTmpRoot()).canonicalPath();
    return !root.isEmpty() && QFileInfo(real).absolutePath() == root && isOwnName(QFileInfo(real).fileName())
           && isOwnName(file.fileName());
}

} // namespace

QString UnsavedRecording::find()
{
    const QString path = VxSettings::instance()->applicationParam(kKey, QString()).toString();
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        if (isOwnRecording(path))
            return path;
        Log("UnsavedRecording", LogLevel::Error, "\"%s\" is not a recording of this program: not offered",
            path.toUtf8().constData());
        forget();
    }
    if (!Utils::RestorreAudioTempFiles())
        return QString();
    const QString sound = QString::fromUtf8(GetAudioRecordFile());
    if (sound.isEmpty() || !QFileInfo(sound).isFile())
        return QString();
    remember(sound);
    return sound;
}

void UnsavedRecording::remember(const QString& path)
{
    VxSettings::instance()->setApplicationParam(kKey, path);
}

void UnsavedRecording::forget()
{
    VxSettings::instance()->setApplicationParam(kKey, QString());
}

bool UnsavedRecording::hasPictures(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile() && !Utils::getVideoRect(path).isEmpty();
}
