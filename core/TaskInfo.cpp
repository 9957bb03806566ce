#include "core/TaskInfo.h"

#include <QDir>
#include <QFileInfo>

#include "core/UserRuntime.h"

namespace {

// Times travel as ISO 8601 with the offset, so the daemon and the program
// agree even when one of them runs with another time zone.
QString timeToText(const QDateTime& t)
{
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeFromText(const QString& text)
{
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

} // namespace

QJsonObject RecordInfo::toJson() const
{
    QJsonObject obj;
    obj.insert("recwhat", recwhat);
    obj.insert("stopWay", stopWay);
    obj.insert("lengthSeconds", static_cast<double>(lengthSeconds));
    obj.insert("stopTime", timeToText(stopTime));
    obj.insert("endAction", static_cast<int>(endAction));
    return obj;
}

RecordInfo RecordInfo::fromJson(const QJsonObject& obj)
{
    RecordInfo info;
    info.recwhat = obj.value("recwhat").toInt(1);
    const int way = obj.value("stopWay").toInt(TaskStopWay_Manual);
    info.stopWay = (way >= TaskStopWay_Manual && way <= TaskStopWay_Time) ? way : TaskStopWay_Manual;
    info.lengthSeconds = static_cast<qint64>(obj.value("lengthSeconds").toDouble(0));
    info.stopTime = timeFromText(obj.value("stopTime").toString());
    const int action = obj.value("endAction").toInt(RecStopEvent_Nothing);
    info.endAction = (action >= RecStopEvent_Nothing && action <= RecStopEvent_Exit)
                         ? static_cast<RecStopEvent>(action)
                         : RecStopEvent_Nothing;
    return info;
}

QJsonObject TaskInfo::toJson() const
{
    QJsonObject obj;
    obj.insert("id", id);
    obj.insert("name", name);
    obj.insert("enabled", enabled);
    obj.insert("startTime", timeToText(startTime));
    obj.insert("repeat", repeat);
    obj.insert("weekdays", weekdays);
    obj.insert("record", record.toJson());
    return obj;
}

TaskInfo TaskInfo::fromJson(const QJsonObject& obj)
{
    TaskInfo task;
    task.id = obj.value("id").toString();
    task.name = obj.value("name").toString();
    task.enabled = obj.value("enabled").toBool(false);
    task.startTime = timeFromText(obj.value("startTime").toString());
    const int repeat = obj.value("repeat").toInt(TaskRepeat_Once);
    task.repeat = (repeat >= TaskRepeat_Once && repeat <= TaskRepeat_Weekdays) ? repeat : TaskRepeat_Once;
    task.weekdays = obj.value("weekdays").toInt(0) & 0x7f;
    task.record = RecordInfo::fromJson(obj.value("record").toObject());
    return task;
}

QDateTime TaskInfo::nextRun(const QDateTime& after) const
{
    if (!startTime.isValid())
        return QDateTime();
    if (repeat == TaskRepeat_Once)
        return (!after.isValid() || startTime > after) ? startTime : QDateTime();
    const int mask = repeat == TaskRepeat_Daily ? 0x7f : weekdays;
    if (mask == 0)
        return QDateTime();
    QDate day = (after.isValid() && after > startTime) ? after.date() : startTime.date();
    // A week and a day covers every weekday even when today's run is past.
    for (int i = 0; i < 8; ++i, day = day.addDays(1)) {
        const QDateTime run(day, startTime.time(), startTime.timeSpec());
        if ((mask & (1 << (day.dayOfWeek() - 1))) && run >= startTime && (!after.isValid() || run > after))
            return run;
    }
    return QDateTime();
}

TaskInfo TaskInfo::forRun(const QDateTime& run) const
{
    TaskInfo task = *this;
    task.startTime = run;
    if (repeat != TaskRepeat_Once && record.stopWay == TaskStopWay_Time && record.stopTime.isValid()) {
        QDateTime stop(run.date(), record.stopTime.time(), run.timeSpec());
        if (stop <= run)
            stop = stop.addDays(1);
        task.record.stopTime = stop;
    }
    return task;
}

QString taskDaemonSocketName(QString* problem)
{
    static const QString kName = QStringLiteral("ScreenRecorderTaskDaemon");
    const QString forced = qEnvironmentVariable("SR_TASK_SOCKET");
    if (QDir::isAbsolutePath(forced))
        return UserRuntime::isPrivateFolder(QFileInfo(forced).absolutePath(), problem) ? forced : QString();
    // A bare name would land in the shared temp folder: only our own
    // runtime folder is trusted.
    const QString dir = UserRuntime::folder(problem);
    if (dir.isEmpty())
        return QString();
    return dir + QLatin1Char('/') + (forced.isEmpty() ? kName : forced);
}
