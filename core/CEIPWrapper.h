#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <mutex>

// The process-wide telemetry recorder. Each event is one line of JSON in the
// run's own file; the version record is always the file's first line. The
// files of the last five runs are kept, older ones go when a run's file is
// made. Safe to call from any thread.
class CEIPWrapper
{
public:
    struct SRecord_Info
    {
        QString videoFormat;
        QString videoQuality;
        QString auidoQuality;
        QString videoResolution;
        QString videoFrameRate;
        QString Mouse_Mode;
        QString Windows_Mode;
        QString Exclude_Windows;
        QString RecordAudio;
        QString Task_Record;
        QString VideoStream;
        QString AudioSystem;
        QString AudioMic;
        QString AudioVirtual;
        QString CameraStream;
        QString AppFullScreen;
    };

    // Event ids.
    enum {
        kEvent_RunStarted = 3000,
        kEvent_RunEnded = 3999,
        kEvent_Record_Info = 4000,
        kEvent_RecordingStarted = 5000,
        kEvent_RecordingStopped = 5001,
        kEvent_Recording_Result = 5002,
        kEvent_Save_Result = 5003
    };

    static CEIPWrapper* instance();
    static void release();

    void MakeEvent_CEIP_Version();
    void MakeEvent(int id);
    void MakeEvent_kModular_Recording_Result(int result);
    void MakeEvent_kModular_Record_Info(const SRecord_Info& info);
    void MakeEvent_kModular_Save_Result(int result);
    void Submit();

    // The run's file (it exists once the first record is written).
    QString telemetryFilePath() const;
    // The folder that holds every run's file.
    static QString telemetryDir();

private:
    CEIPWrapper();
    ~CEIPWrapper();
    CEIPWrapper(const CEIPWrapper&) = delete;
    CEIPWrapper& operator=(const CEIPWrapper&) = delete;

    void writeEvent(int id, const QJsonObject& data);
    // Caller holds m_mutex.
    bool ensureOpenLocked();
    void writeLineLocked(const QJsonObject& obj);

    // std::mutex rather than QMutex: the thread sanitizer sees it.
    mutable std::mutex m_mutex;
    QString m_strPath;
    QFile m_file;
    bool m_bOpenFailed = false;
    bool m_bSubmitted = false;
};
