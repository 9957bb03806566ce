// The watermark preset store: default presets, the preset file's round
// trip, the selected index, and the picture handed to the engine.
#include <QtTest>
#include <QImage>

#include <memory>

#include "tests/support/FakeScreencast.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "watermark/WaterMarkDataManage.h"
#include "watermark/WaterMarkPicture.h"
#include "tests/watermark/HostilePictures.h"

namespace {

WaterMarkDataManage* fresh()
{
    WaterMarkDataManage::release();
    return WaterMarkDataManage::instance();
}

WaterMarkData textPreset(const QString& name, int position)
{
    WaterMarkData d;
    d.m_strWaterMarkName = name;
    d.m_bPic = false;
    d.m_strText = QStringLiteral("Sample %1").arg(name);
    d.m_nPosition = position;
    return d;
}

} // namespace

class TstWaterMark : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        WaterMarkDataManage::release();
        FakeScreencast::reset();
        QFile::remove(WaterMarkDataManage::dataFilePath());
        VxSettings::instance()->removeApplicationParam("WatermarkIndex");
    }

    void cleanupTestCase() { WaterMarkDataManage::release(); }

    void defaultPresetsWithoutFile()
    {
        WaterMarkDataManage* store = fresh();
        const QList<WaterMarkData>& list = store->getWaterMarkDataList();
        QCOMPARE(list.size(), 2);
        QVERIFY(!list.at(0).m_bPic);
        QCOMPARE(list.at(0).m_strText, VxProductInfo::instance()->productName());
        QVERIFY(!QImage(list.at(1).m_strPicPath).isNull());
        // Defaults are not written until asked; with none chosen the engine is
        // told to draw nothing.
        QVERIFY(!QFile::exists(WaterMarkDataManage::dataFilePath()));
        QVERIFY(!store->useWaterMark(QSize(1920, 1080)));
        QVERIFY(FakeScreencast::watermark().nullPath);
    }

    void savedListRoundTrips()
    {
        WaterMarkData picture;
        picture.m_strWaterMarkName = "Logo";
        picture.m_bPic = true;
        picture.m_strPicPath = "/somewhere/logo.png";
        picture.m_lstMargin = {1, 2, 3, 4};
        WaterMarkData text = textPreset("Ünïcode ✓", WaterMarkData::TopCenter);
        text.m_clrText = QColor(10, 20, 30, 40);
        const QList<WaterMarkData> list{picture, text};

        WaterMarkDataManage* store = fresh();
        store->setWaterMarkDataList(list);
        store->saveWaterMarkDataFile();
        QVERIFY(QFile::exists(Utils::getAppDataLocation() + "/WaterMark.json"));
        store = fresh();
        QCOMPARE(store->getWaterMarkDataList().size(), 2);
        for (int i = 0; i < list.size(); ++i)
            QVERIFY2(store->getWaterMarkDataList().at(i) == list.at(i), qPrintable(QString("preset %1").arg(i)));
        // An empty list is not saved over the presets.
        store->setWaterMarkDataList({});
        store->saveWaterMarkDataFile();
        QCOMPARE(fresh()->getWaterMarkDataList().size(), 2);
    }

    void unreadableFileGivesDefaultsAndStaysUntouched()
    {
        const QString path = WaterMarkDataManage::dataFilePath();
        const QByteArray broken = "{\"WaterMarkList\": [ {\"name\": ";
        QVERIFY(testsupport::writeFile(path, broken));
        QCOMPARE(fresh()->getWaterMarkDataList().size(), 2);
        QCOMPARE(testsupport::readFile(path), broken);
        // A file without a usable preset counts as none too.
        QVERIFY(testsupport::writeFile(path, "{\"WaterMarkList\": [1, \"x\"]}"));
        QCOMPARE(fresh()->getWaterMarkDataList().size(), 2);
    }

    void selectedIndex_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("none stored") << QVariant() << -1;
        QTest::newRow("last") << QVariant(1) << 1;
        QTest::newRow("past the end") << QVariant(2) << -1;
    }

    void selectedIndex()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        if (stored.isValid())
            VxSettings::instance()->setApplicationParam("WatermarkIndex", stored);
        QCOMPARE(fresh()->m_nCurrentIndex, expected);
        // A shorter list drops a selection past its end.
        WaterMarkDataManage* store = WaterMarkDataManage::instance();
        store->m_nCurrentIndex = 1;
        store->setWaterMarkDataList({textPreset("Only", 0)});
        QCOMPARE(store->m_nCurrentIndex, -1);
    }

    void presetValuesAreBroughtIntoRange()
    {
        const QJsonObject o{{"name", "Odd"}, {"isPic", false}, {"text", "x"}, {"opacity", 500}, {"position", 42},
                            {"margin", QJsonArray{5, -9}}};
        const WaterMarkData d = WaterMarkData::fromJson(o);
        QCOMPARE(d.m_nOpacity, 100);
        QCOMPARE(d.m_nPosition, int(WaterMarkData::BottomRight));
        QCOMPARE(d.m_lstMargin, (QList<int>{5, 0, 24, 24}));
    }

    void picturePresetScalesWithTheFrame()
    {
        WaterMarkDataManage* store = fresh();
        store->m_nCurrentIndex = 1; // the default picture preset: 8 % of the width
        QVERIFY(store->useWaterMark(QSize(1280, 720)));
        const FakeScreencast::Watermark mark = FakeScreencast::watermark();
        QCOMPARE(mark.width, qRound(1280 * 0.08));
        QCOMPARE(QImage(mark.path).width(), mark.width);
        QCOMPARE(mark.x + mark.width, 1280 - qRound(24.0 * 720 / 1080));
    }

    void unusablePresetClearsTheEngine()
    {
        WaterMarkData missing;
        missing.m_strWaterMarkName = "Gone";
        missing.m_bPic = true;
        missing.m_strPicPath = "/no/such/picture.png";
        WaterMarkData empty = textPreset("Blank", 0);
        empty.m_strText = "   ";
        WaterMarkDataManage* store = fresh();
        store->setWaterMarkDataList({missing, empty, textPreset("Fine", 0)});

        for (int index : {0, 1}) {
            store->m_nCurrentIndex = 2;
            QVERIFY(store->useWaterMark(QSize(640, 480)));
            store->m_nCurrentIndex = index;
            QVERIFY(!store->useWaterMark(QSize(640, 480)));
            QVERIFY(FakeScreencast::watermark().nullPath);
        }

        // The picture file cannot be written.
        const testsupport::UnwritablePath unwritable;
        QVERIFY(unwritable.ok());
        bool used = true;
        {
            testsupport::ScopedEnv env("XDG_DATA_HOME", unwritable.path("data").toUtf8().constData());
            used = store->useWaterMark(QSize(640, 480));
        }
        QVERIFY(!used);
        QVERIFY(FakeScreencast::watermark().nullPath);
    }

    void hostilePictures_data()
    {
        hostile::addRows();
    }

    // Refused at once and without decoding, with the preset and the reason
    // named; the engine draws nothing.
    void hostilePictures()
    {
        QFETCH(QString, file);
        QFETCH(QString, words);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = hostile::make(dir, file);
        QVERIFY(!path.isEmpty());
        WaterMarkData logo;
        logo.m_strWaterMarkName = "Logo";
        logo.m_bPic = true;
        logo.m_strPicPath = path;
        WaterMarkDataManage* store = fresh();
        store->setWaterMarkDataList({logo});
        store->m_nCurrentIndex = 0;

        std::unique_ptr<hostile::PipeRelease> release;
        if (file == "pipe.png")
            release = std::make_unique<hostile::PipeRelease>(path, 3000);
        QString problem;
        const bool used = store->useWaterMark(QSize(1920, 1080), &problem);
        if (release) {
            release->stop();
            QVERIFY2(!release->released(), "the picture was read from a pipe that had to be opened for it");
        }
        QVERIFY(!used);
        QVERIFY(FakeScreencast::watermark().nullPath);
        QVERIFY2(problem.contains("\"Logo\"") && problem.contains(words), qPrintable(problem));
    }

    // A picture larger than the frame is decoded at the frame's size.
    void largePictureReadAtFrameSize()
    {
        QTemporaryDir dir;
        QImage big(4000, 2000, QImage::Format_RGB32);
        big.fill(Qt::red);
        const QString path = dir.filePath("big.jpg");
        QVERIFY(big.save(path));
        QString error;
        QCOMPARE(WaterMarkPicture::read(path, QSize(640, 480), &error).size(), QSize(640, 320));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(WaterMarkPicture::read(path, QSize(), &error).size(), big.size());
    }
};

QTEST_MAIN(TstWaterMark)
#include "tst_watermark.moc"
