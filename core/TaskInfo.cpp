#include "core/TaskInfo.h"

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
    task.record = RecordInfo::fromJson(obj.value("record").toObject());
    return task;
}
