#include "watermark/WaterMarkDataManage.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QScreen>
#include <QWidget>

#include "platform/log/Log.h"
#include "Screencast.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"

namespace {

const char* const kLog = "WaterMark";
const char* const kIndexKey = "WatermarkIndex";
const char* const kListKey = "WaterMarkList";

WaterMarkDataManage* g_pWaterMark = nullptr;

void clearEngineWatermark()
{
    SetWatermark(nullptr, 0, 0, 0, 0);
}

} // namespace

WaterMarkDataManage* WaterMarkDataManage::instance()
{
    if (!g_pWaterMark)
        g_pWaterMark = new WaterMarkDataManage();
    return g_pWaterMark;
}

void WaterMarkDataManage::release()
{
    delete g_pWaterMark;
    g_pWaterMark = nullptr;
}

WaterMarkDataManage::WaterMarkDataManage()
{
    m_nCurrentIndex = VxSettings::instance()->applicationParam(QLatin1String(kIndexKey), -1).toInt();
    if (!loadWaterMarkDataFile())
        m_lstWaterMarkData = defaultWaterMarkData();
    checkIndex();
}

QString WaterMarkDataManage::dataFilePath()
{
    return Utils::getAppDataLocation() + QStringLiteral("/WaterMark.json");
}

QString WaterMarkDataManage::imageFolder()
{
    return Utils::getAppDataLocation() + QStringLiteral("/WaterMark");
}

QString WaterMarkDataManage::recordImagePath()
{
    return imageFolder() + QStringLiteral("/RecordWaterMark.png");
}

QString WaterMarkDataManage::editImagePath()
{
    return imageFolder() + QStringLiteral("/WaterMarkEdit.png");
}

QList<WaterMarkData> WaterMarkDataManage::defaultWaterMarkData()
{
    WaterMarkData text;
    text.m_strWaterMarkName = tr("Text Watermark");
    text.m_bPic = false;
    text.m_strText = VxProductInfo::instance()->productName();
    text.m_nPosition = WaterMarkData::BottomRight;

    WaterMarkData picture;
    picture.m_strWaterMarkName = tr("Picture Watermark");
    picture.m_bPic = true;
    picture.m_strPicPath = VxResourceMgr::instance()->applicationLargeIconPath();
    picture.m_nPicSize = 8;
    picture.m_nPosition = WaterMarkData::TopRight;
    picture.m_bShadow = false;

    return {text, picture};
}

bool WaterMarkDataManage::loadWaterMarkDataFile()
{
    QFile file(dataFilePath());
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        Log(kLog, LogLevel::Error, "cannot read %s", qPrintable(file.fileName()));
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        Log(kLog, LogLevel::Error, "preset file %s unreadable: %s", qPrintable(file.fileName()), qPrintable(error.errorString()));
        return false;
    }
    QList<WaterMarkData> list;
    const QJsonArray presets = doc.object().value(QLatin1String(kListKey)).toArray();
    for (const QJsonValue& value : presets) {
        if (value.isObject())
            list << WaterMarkData::fromJson(value.toObject());
    }
    if (list.isEmpty())
        return false;
    m_lstWaterMarkData = list;
    return true;
}

void WaterMarkDataManage::checkIndex()
{
    if (m_nCurrentIndex < -1 || m_nCurrentIndex >= m_lstWaterMarkData.size())
        m_nCurrentIndex = -1;
}

void WaterMarkDataManage::setWaterMarkDataList(const QList<WaterMarkData>& list)
{
    m_lstWaterMarkData = list;
    checkIndex();
}

void WaterMarkDataManage::saveWaterMarkDataFile()
{
    if (m_lstWaterMarkData.isEmpty())
        return;
    QJsonArray presets;
    for (const WaterMarkData& data : m_lstWaterMarkData)
        presets.append(data.toJson());
    QJsonObject root;
    root.insert(QStringLiteral("version"), 1);
    root.insert(QLatin1String(kListKey), presets);

    // Written whole or not at all: a half-written file would lose every
    // preset at the next start.
    QSaveFile file(dataFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit())
        Log(kLog, LogLevel::Error, "cannot write %s: %s", qPrintable(file.fileName()), qPrintable(file.errorString()));
}

void WaterMarkDataManage::saveCurWaterMarkEditImg(int index)
{
    if (m_lstWaterMarkData.isEmpty())
        return;
    if (index < 0 || index >= m_lstWaterMarkData.size())
        index = 0;
    const QImage image = m_lstWaterMarkData.at(index).render(QSize(1920, 1080));
    Utils::ensureExists(imageFolder());
    if (image.isNull() || !image.save(editImagePath(), "PNG"))
        Log(kLog, LogLevel::Error, "watermark %d not prepared", index);
}

bool WaterMarkDataManage::useWaterMark(QSize recordingSize, QString* problem)
{
    const int index = m_nCurrentIndex;
    if (index < 0 || index >= m_lstWaterMarkData.size()) {
        clearEngineWatermark();
        return false;
    }
    const WaterMarkData& data = m_lstWaterMarkData.at(index);
    auto refuse = [&](const QString& why) {
        Log(kLog, LogLevel::Warning, "watermark %d not used for %dx%d: %s", index, recordingSize.width(), recordingSize.height(),
            qPrintable(why));
        if (problem)
            *problem = tr("The watermark \"%1\" cannot be used. %2").arg(data.m_strWaterMarkName, why);
        clearEngineWatermark();
        return false;
    };
    QString why;
    const QImage image = data.render(recordingSize, &why);
    if (image.isNull())
        return refuse(why);
    const QString path = recordImagePath();
    Utils::ensureExists(imageFolder());
    if (!image.save(path, "PNG"))
        return refuse(tr("Its picture cannot be written to \"%1\".").arg(path));
    const QPoint at = data.placeIn(recordingSize, image.size());
    Log(kLog, LogLevel::Info, "use watermark %d at (%d,%d) %dx%d in %dx%d", index, at.x(), at.y(), image.width(),
        image.height(), recordingSize.width(), recordingSize.height());
    SetWatermark(path.toUtf8().constData(), at.x(), at.y(), image.width(), image.height());
    return true;
}

QString WaterMarkDataManage::getWatermarkName(int index) const
{
    if (index < 0 || index >= m_lstWaterMarkData.size())
        return tr("No Watermark");
    return m_lstWaterMarkData.at(index).m_strWaterMarkName;
}

void WaterMarkDataManage::setPosShowDlg(QWidget* popup, QWidget* anchor, QRect r)
{
    if (!popup || !anchor || !r.isValid())
        return;
    const QPoint topLeft = anchor->mapToGlobal(r.topLeft());
    const QPoint bottomRight = anchor->mapToGlobal(r.bottomRight());
    QScreen* screen = anchor->screen();
    const QRect area = screen ? screen->geometry() : QRect();

    int x = topLeft.x();
    int y = bottomRight.y() + 1;
    if (area.isValid()) {
        if (x + popup->width() > area.right() + 1)
            x = bottomRight.x() + 1 - popup->width();
        if (y + popup->height() > area.bottom() + 1)
            y = topLeft.y() - popup->height();
    }
    popup->move(x, y);
}
