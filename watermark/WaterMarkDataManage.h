#pragma once

#include <QCoreApplication>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include "watermark/WaterMarkData.h"

class QWidget;

// The watermark presets: kept in "WaterMark.json" in the application's data
// folder, with the selected preset ("WatermarkIndex", -1 for none) handed to
// the capture engine before every video recording. GUI thread only.
//
// Without a preset file (or with one that holds no usable preset) the store
// starts with two presets: a text preset showing the product's name at the
// bottom right and a picture preset showing the application's icon at the
// top right.
class WaterMarkDataManage
{
    Q_DECLARE_TR_FUNCTIONS(WaterMarkDataManage)

public:
    static WaterMarkDataManage* instance();
    static void release();

    // The engine burns a picture into the frames; this draws the chosen
    // preset at the recording's size and tells the engine where it goes.
    // False, with the engine's picture cleared, when there is nothing to
    // draw; when a preset is chosen but cannot be used, `problem` (when
    // given) names it and says why, in words for the user.
    bool useWaterMark(QSize recordingSize, QString* problem = nullptr);
    // The preset's name; tr("No Watermark") for -1 and any index outside the
    // list.
    QString getWatermarkName(int index) const;
    // Under `r` (given in `anchor`'s coordinates) where the screen allows,
    // otherwise flipped to end at r's right edge or to sit above it.
    static void setPosShowDlg(QWidget* popup, QWidget* anchor, QRect r);
    // An empty list is never written: it would wipe the user's presets.
    void saveWaterMarkDataFile();
    // Draws the preset (the first one when the index is outside the list)
    // as it would look in a 1920x1080 recording into editImagePath().
    void saveCurWaterMarkEditImg(int index);

    const QList<WaterMarkData>& getWaterMarkDataList() const { return m_lstWaterMarkData; }
    // Replaces the presets; a selected index past the new end becomes -1.
    void setWaterMarkDataList(const QList<WaterMarkData>& list);
    static QList<WaterMarkData> defaultWaterMarkData();

    static QString dataFilePath();       // <data folder>/WaterMark.json
    static QString imageFolder();        // <data folder>/WaterMark
    static QString recordImagePath();    // the picture handed to the engine
    static QString editImagePath();      // the picture of saveCurWaterMarkEditImg

    // The selected preset, -1 for none; the tool strip reads and writes it.
    int m_nCurrentIndex = -1;

private:
    WaterMarkDataManage();
    ~WaterMarkDataManage() = default;
    WaterMarkDataManage(const WaterMarkDataManage&) = delete;
    WaterMarkDataManage& operator=(const WaterMarkDataManage&) = delete;

    bool loadWaterMarkDataFile();
    void checkIndex();

    QList<WaterMarkData> m_lstWaterMarkData;
};
