#pragma once

// Shared set-up of the recording driver's tests: a clean settings store and
// fresh singletons for every case, and the telemetry written since a mark.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include "core/CEIPWrapper.h"
#include "core/DeviceManager.h"
#include "tests/support/FakeScreencast.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "platform/framework/VxSettings.h"
#include "watermark/WaterMarkDataManage.h"
#include "core/WindowListManger.h"

namespace DriverTest {

// Every singleton the driver touches goes, and so does the settings file,
// so each case starts from the defaults.
inline void resetWorld()
{
    ScreenRecorder::release();
    ScreenRecorder::setFolderChooser(nullptr);
    WaterMarkDataManage::release();
    RecordParameter::release();
    WindowListManger::release();
    DeviceManager::release();
    const QString settingsFile = VxSettings::instance()->fileName();
    VxSettings::release();
    QFile::remove(settingsFile);
    FakeScreencast::reset();
    SystemStatusBar::instance()->setActionEnable(true);
}

// Telemetry events written after a mark, as {id, data}.
class Telemetry
{
public:
    Telemetry() { m_nSkip = lines().size(); }

    QList<QJsonObject> events(int id) const
    {
        QList<QJsonObject> result;
        const QList<QByteArray> all = lines();
        for (int i = m_nSkip; i < all.size(); ++i) {
            const QJsonObject event = QJsonDocument::fromJson(all.at(i)).object();
            if (event.value(QStringLiteral("id")).toInt() == id)
                result << event.value(QStringLiteral("data")).toObject();
        }
        return result;
    }

private:
    static QList<QByteArray> lines()
    {
        QFile file(CEIPWrapper::instance()->telemetryFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> result;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                result << line;
        }
        return result;
    }

    int m_nSkip = 0;
};

} // namespace DriverTest
