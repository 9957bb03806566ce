#pragma once

// Helpers of the end-to-end tests: programs to run, the newest history entry, free room.

#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

#include <QProcess>

namespace testsupport {

// What the program printed; empty when it failed or did not end in time.
inline QByteArray runProgram(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(program, args);
    if (p.waitForFinished(timeoutMs))
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    p.kill();
    p.waitForFinished(5000);
    return QByteArray();
}

// The newest entry of the saved-files history; empty without one.
inline QStringList historyHead()
{
    const QVariantList list = VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList();
    return list.isEmpty() ? QStringList() : list.first().toStringList();
}

// Whether the temporary folder has more than `bytes` free (true when that
// cannot be told): at or below its limit the program asks or refuses first.
inline bool tempSpaceAbove(qint64 bytes)
{
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(Utils::getRecorderTmpRoot() + "/x", ok);
    return !ok || free > bytes;
}

} // namespace testsupport
