#include "core/CEIPWrapper.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include "platform/log/Log.h"

// Lines are plain JSON. The file stays on the user's machine until a
// submitter takes it, so scrambling it would hide nothing from its owner,
// while plain lines can be read by people, tests and tools alike.

namespace {

std::mutex g_instanceMutex;
CEIPWrapper* g_pInstance = nullptr;

QString runFilePath()
{
    const QString dir = CEIPWrapper::telemetryDir();
    const QString base = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))
                         + QLatin1Char('-') + QString::number(QCoreApplication::applicationPid());
    QString path = dir + QLatin1Char('/') + base + QStringLiteral(".jsonl");
    for (int n = 1; QFileInfo::exists(path); ++n)
        path = dir + QLatin1Char('/') + base + QStringLiteral("_%1.jsonl").arg(n);
    return path;
}

// Runs kept on disk, this one included. The names start with the time of
// the run, so their order is the order of the runs.
const int kKeptRuns = 5;

void dropOldRuns(const QString& current)
{
    const QFileInfo info(current);
    QStringList runs = info.dir().entryList({QStringLiteral("*.jsonl")}, QDir::Files, QDir::Name);
    runs.removeAll(info.fileName());
    for (int i = 0; i < runs.size() - (kKeptRuns - 1); ++i)
        QFile::remove(info.dir().filePath(runs.at(i)));
}

} // namespace

CEIPWrapper::CEIPWrapper()
    : m_strPath(runFilePath())
{
}

CEIPWrapper::~CEIPWrapper()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file.isOpen())
        m_file.close();
}

CEIPWrapper* CEIPWrapper::instance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_pInstance)
        g_pInstance = new CEIPWrapper();
    return g_pInstance;
}

void CEIPWrapper::release()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    delete g_pInstance;
    g_pInstance = nullptr;
}

QString CEIPWrapper::telemetryDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/ScreenRecorder/telemetry");
}

QString CEIPWrapper::telemetryFilePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strPath;
}

void CEIPWrapper::MakeEvent_CEIP_Version()
{
    // Opening the file writes the version record; calling this first only
    // makes the file exist from the start of the run.
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureOpenLocked();
}

void CEIPWrapper::MakeEvent(int id)
{
    writeEvent(id, QJsonObject());
}

void CEIPWrapper::MakeEvent_kModular_Recording_Result(int result)
{
    QJsonObject data;
    data.insert(QStringLiteral("key_Recording_Result"), result);
    writeEvent(kEvent_Recording_Result, data);
}

void CEIPWrapper::MakeEvent_kModular_Record_Info(const SRecord_Info& info)
{
    QJsonObject data;
    data.insert(QStringLiteral("key_videoFormat"), info.videoFormat);
    data.insert(QStringLiteral("key_videoQuality"), info.videoQuality);
    data.insert(QStringLiteral("key_auidoQuality"), info.auidoQuality);
    data.insert(QStringLiteral("key_videoResolution"), info.videoResolution);
    data.insert(QStringLiteral("key_videoFrameRate"), info.videoFrameRate);
    data.insert(QStringLiteral("key_Mouse_Mode"), info.Mouse_Mode);
    data.insert(QStringLiteral("key_Windows_Mode"), info.Windows_Mode);
    data.insert(QStringLiteral("key_Exclude_Windows"), info.Exclude_Windows);
    data.insert(QStringLiteral("key_RecordAudio"), info.RecordAudio);
    data.insert(QStringLiteral("key_Task_Record"), info.Task_Record);
    data.insert(QStringLiteral("key_VideoStream"), info.VideoStream);
    data.insert(QStringLiteral("key_AudioSystem"), info.AudioSystem);
    data.insert(QStringLiteral("key_AudioMic"), info.AudioMic);
    data.insert(QStringLiteral("key_AudioVirtual"), info.AudioVirtual);
    data.insert(QStringLiteral("key_CameraStream"), info.CameraStream);
    data.insert(QStringLiteral("key_AppFullScreen"), info.AppFullScreen);
    writeEvent(kEvent_Record_Info, data);
}

void CEIPWrapper::MakeEvent_kModular_Save_Result(int result)
{
    QJsonObject data;
    data.insert(QStringLiteral("key_Save_Result"), result);
    writeEvent(kEvent_Save_Result, data);
}

void CEIPWrapper::Submit()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file.isOpen())
        m_file.flush();
    if (m_bSubmitted)
        return;
    m_bSubmitted = true;
    // No submitter program exists on this system: the file stays where it is.
    Log("CEIP", LogLevel::Info, "telemetry of this run kept at %s (no submitter)", qPrintable(m_strPath));
}

void CEIPWrapper::writeEvent(int id, const QJsonObject& data)
{
    QJsonObject event;
    event.insert(QStringLiteral("id"), id);
    event.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    event.insert(QStringLiteral("data"), data);

    std::lock_guard<std::mutex> lock(m_mutex);
    if (ensureOpenLocked())
        writeLineLocked(event);
}

bool CEIPWrapper::ensureOpenLocked()
{
    if (m_file.isOpen())
        return true;
    if (m_bOpenFailed)
        return false;
    m_file.setFileName(m_strPath);
    if (!QDir().mkpath(QFileInfo(m_strPath).absolutePath())
        || !m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        // Telemetry never stands in the user's way: log once, drop events.
        m_bOpenFailed = true;
        Log("CEIP", LogLevel::Error, "cannot write telemetry file %s: %s", qPrintable(m_strPath),
            qPrintable(m_file.errorString()));
        return false;
    }
    QJsonObject version;
    version.insert(QStringLiteral("Version"), 1);
    writeLineLocked(version);
    dropOldRuns(m_strPath);
    return true;
}

void CEIPWrapper::writeLineLocked(const QJsonObject& obj)
{
    QByteArray line = QJsonDocument(obj).toJson(QJsonDocument::Compact);
    line.append('\n');
    if (m_file.write(line) != line.size())
        Log("CEIP", LogLevel::Error, "telemetry line not written: %s", qPrintable(m_file.errorString()));
    m_file.flush();
}
