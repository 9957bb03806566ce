#include "core/UnsavedRecording.h"

#include <QFileInfo>

#include "Screencast.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

namespace {
const char* const kKey = "outputVideo";
}

QString UnsavedRecording::find()
{
    const QString path = VxSettings::instance()->applicationParam(kKey, QString()).toString();
    if (!path.isEmpty() && QFileInfo(path).isFile())
        return path;
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
