#include "capture/UnsavedOffer.h"

#include <QFile>

#include "capture/DlgVideoClip.h"
#include "core/UnsavedRecording.h"
#include "platform/framework/VxMainWindowBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/log/Log.h"

int UnsavedOffer::restore(const QString& path, VxMainWindowBase* frame)
{
    DlgVideoClip clip(path, frame, frame, UnsavedRecording::hasPictures(path), false);
    return clip.exec();
}

bool UnsavedOffer::settleBeforeRecording(VxMainWindowBase* frame)
{
    const QString path = UnsavedRecording::find();
    if (path.isEmpty())
        return true;
    const int answer = VxMessageBox::choose(
        frame, VxProductInfo::instance()->productName(QString()),
        QObject::tr("The last recording was neither saved nor discarded. Restore it now, or discard it and "
                    "start the new recording?"),
        {{QMessageBox::Yes, QObject::tr("Restore")},
         {QMessageBox::Discard, QObject::tr("Discard")},
         {QMessageBox::Cancel, QObject::tr("Cancel")}});
    if (answer == QMessageBox::Discard) {
        Log("UnsavedOffer", LogLevel::Info, "unsaved recording discarded before a start");
        QFile::remove(path);
        UnsavedRecording::forget();
        return true;
    }
    if (answer != QMessageBox::Yes)
        return false;
    restore(path, frame);
    // Closed without saving or discarding, it is still the one to keep.
    return UnsavedRecording::find().isEmpty();
}
