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

// How often a task comes round.
enum TaskRepeat {
    TaskRepeat_Once = 0,
    TaskRepeat_Daily = 1,
    TaskRepeat_Weekdays = 2  // on the days set in TaskInfo::weekdays
};

// One scheduled task as the daemon keeps it.
struct TaskInfo
{
    QString id;
    QString name;
    bool enabled = false;
    // The first run; repeating tasks take its time of day.
    QDateTime startTime;
    int repeat = TaskRepeat_Once;
    int weekdays = 0;  // bit 0 Monday .. bit 6 Sunday
    RecordInfo record;

    QJsonObject toJson() const;
    static TaskInfo fromJson(const QJsonObject& obj);

    // The first run strictly after `after` (any run from startTime on when
    // `after` is invalid); invalid when the task never runs again.
    QDateTime nextRun(const QDateTime& after) const;
    // The task as it runs at `run`: a stop time of day moves to that run's
    // day (the next day when it is not later than the start).
    TaskInfo forRun(const QDateTime& run) const;
};

// Where the task daemon listens: in the user's runtime folder, or where
// SR_TASK_SOCKET says (so that a test's daemon and program meet somewhere
// private). Empty when that folder is open to other users; `problem` then
// says why.
QString taskDaemonSocketName(QString* problem = nullptr);

using TaskList = QList<TaskInfo>;

Q_DECLARE_METATYPE(TaskInfo)
