#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

// What happens when a recording ends. The values are stored in the settings
// ("TimerStopEvent") and in the daemon's task records, so they never change.
enum RecStopEvent {
    RecStopEvent_Nothing = 0,
    RecStopEvent_ShutDown = 1,
    RecStopEvent_Sleep = 2,
    RecStopEvent_Exit = 3
};

// How a scheduled recording is stopped.
enum TaskStopWay {
    TaskStopWay_Manual = 0,  // the user stops it
    TaskStopWay_Length = 1,  // after lengthSeconds of recording
    TaskStopWay_Time = 2     // at stopTime
};

// The recording rule of one scheduled task.
struct RecordInfo
{
    int recwhat = 1;  // 1 video, 2 audio, 4 webcam (the home window's modes)
    int stopWay = TaskStopWay_Manual;
    qint64 lengthSeconds = 0;
    QDateTime stopTime;
    RecStopEvent endAction = RecStopEvent_Nothing;

    QJsonObject toJson() const;
    // Unknown or out-of-range values fall back to the harmless default
    // (stop by hand, do nothing at the end): a damaged record must never
    // switch the machine off.
    static RecordInfo fromJson(const QJsonObject& obj);
};

// One scheduled task as the daemon keeps it.
struct TaskInfo
{
    QString id;
    QString name;
    bool enabled = false;
    QDateTime startTime;
    RecordInfo record;

    QJsonObject toJson() const;
    static TaskInfo fromJson(const QJsonObject& obj);
};

using TaskList = QList<TaskInfo>;

Q_DECLARE_METATYPE(TaskInfo)
