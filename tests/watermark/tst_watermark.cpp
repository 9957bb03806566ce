// The watermark preset store: default presets, the preset file's round
// trip, the selected index, and the picture handed to the engine.
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include "tests/support/FakeScreencast.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "watermark/WaterMarkDataManage.h"

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

void writeFile(const QByteArray& bytes)
{
    QFile file(WaterMarkDataManage::dataFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TstWaterMark : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void defaultPresetsWithoutFile();
    void savedListRoundTrips();
    void unreadableFileGivesDefaultsAndStaysUntouched();
    void selectedIndex_data();
    void selectedIndex();
    void presetValuesAreBroughtIntoRange();

    void textPresetIsRenderedForTheFrame_data();
    void textPresetIsRenderedForTheFrame();
    void picturePresetScalesWithTheFrame();
    void unusablePresetClearsTheEngine();

    void popupPlacement();
};

void TstWaterMark::init()
{
    WaterMarkDataManage::release();
    FakeScreencast::reset();
    QFile::remove(WaterMarkDataManage::dataFilePath());
    VxSettings::instance()->removeApplicationParam("WatermarkIndex");
}

void TstWaterMark::cleanupTestCase()
{
    WaterMarkDataManage::release();
}

void TstWaterMark::defaultPresetsWithoutFile()
{
    WaterMarkDataManage* store = fresh();
    const QList<WaterMarkData>& list = store->getWaterMarkDataList();
    QCOMPARE(list.size(), 2);
    QVERIFY(!list.at(0).m_bPic);
    QCOMPARE(list.at(0).m_strText, VxProductInfo::instance()->productName());
    QVERIFY(!QImage(list.at(1).m_strPicPath).isNull());
    QCOMPARE(store->getWatermarkName(2), QString("No Watermark"));
    // Defaults are not written until asked; with none chosen the engine is
    // told to draw nothing.
    QVERIFY(!QFile::exists(WaterMarkDataManage::dataFilePath()));
    QVERIFY(!store->useWaterMark(QSize(1920, 1080)));
    QVERIFY(FakeScreencast::watermark().nullPath);
}

void TstWaterMark::savedListRoundTrips()
{
    WaterMarkData picture;
    picture.m_strWaterMarkName = "Logo";
    picture.m_bPic = true;
    picture.m_strPicPath = "/somewhere/logo.png";
    picture.m_nPicSize = 33;
    picture.m_nOpacity = 45;
    picture.m_lstMargin = {1, 2, 3, 4};
    picture.m_bShadow = false;
    WaterMarkData text = textPreset("Caption", WaterMarkData::TopCenter);
    text.m_strFontFamily = "DejaVu Sans";
    text.m_nFontSize = 48;
    text.m_bItalic = true;
    text.m_clrText = QColor(10, 20, 30, 40);
    text.m_clrShadow = QColor(200, 100, 50);
    text.m_nShadowOffset = 7;
    const QList<WaterMarkData> list{picture, text, textPreset("Ünïcode ✓", WaterMarkData::Center)};

    WaterMarkDataManage* store = fresh();
    store->setWaterMarkDataList(list);
    store->saveWaterMarkDataFile();
    QVERIFY(QFile::exists(Utils::getAppDataLocation() + "/WaterMark.json"));

    store = fresh();
    QCOMPARE(store->getWaterMarkDataList().size(), 3);
    for (int i = 0; i < list.size(); ++i)
        QVERIFY2(store->getWaterMarkDataList().at(i) == list.at(i), qPrintable(QString("preset %1").arg(i)));
    QCOMPARE(store->getWatermarkName(2), QString("Ünïcode ✓"));
    // An empty list is not saved over the presets.
    store->setWaterMarkDataList({});
    store->saveWaterMarkDataFile();
    QCOMPARE(fresh()->getWaterMarkDataList().size(), 3);
}

void TstWaterMark::unreadableFileGivesDefaultsAndStaysUntouched()
{
    const QByteArray broken = "{\"WaterMarkList\": [ {\"name\": ";
    writeFile(broken);
    QCOMPARE(fresh()->getWaterMarkDataList().size(), 2);
    QFile file(WaterMarkDataManage::dataFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), broken);
    file.close();

    // A file without a usable preset counts as none too.
    writeFile("{\"WaterMarkList\": [1, \"x\"]}");
    QCOMPARE(fresh()->getWaterMarkDataList().size(), 2);
}

void TstWaterMark::selectedIndex_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("none stored") << QVariant() << -1;
    QTest::newRow("first") << QVariant(0) << 0;
    QTest::newRow("last") << QVariant(1) << 1;
    QTest::newRow("past the end") << QVariant(2) << -1;
    QTest::newRow("far past the end") << QVariant(57) << -1;
    QTest::newRow("below -1") << QVariant(-4) << -1;
}

void TstWaterMark::selectedIndex()
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

void TstWaterMark::presetValuesAreBroughtIntoRange()
{
    QJsonObject o;
    o.insert("name", "Odd");
    o.insert("isPic", false);
    o.insert("text", "x");
    o.insert("opacity", 500);
    o.insert("position", 42);
    o.insert("picSize", -3);
    o.insert("margin", QJsonArray{5, -9});
    o.insert("textColor", "not a colour");
    const WaterMarkData d = WaterMarkData::fromJson(o);
    QCOMPARE(d.m_nOpacity, 100);
    QCOMPARE(d.m_nPosition, int(WaterMarkData::BottomRight));
    QCOMPARE(d.m_nPicSize, 1);
    QCOMPARE(d.m_lstMargin, (QList<int>{5, 0, 24, 24}));
    QCOMPARE(d.m_clrText, WaterMarkData().m_clrText);
    QCOMPARE(d.m_nFontSize, WaterMarkData().m_nFontSize);
}

void TstWaterMark::textPresetIsRenderedForTheFrame_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QSize>("frame");
    QTest::newRow("bottom right, 720p") << int(WaterMarkData::BottomRight) << QSize(1280, 720);
    QTest::newRow("top left, 1080p") << int(WaterMarkData::TopLeft) << QSize(1920, 1080);
    QTest::newRow("centre, small window") << int(WaterMarkData::Center) << QSize(300, 200);
}

void TstWaterMark::textPresetIsRenderedForTheFrame()
{
    QFETCH(int, position);
    QFETCH(QSize, frame);
    WaterMarkDataManage* store = fresh();
    store->setWaterMarkDataList({textPreset("A", position)});
    store->m_nCurrentIndex = 0;

    QVERIFY(store->useWaterMark(frame));
    const FakeScreencast::Watermark mark = FakeScreencast::watermark();
    QVERIFY(!mark.nullPath);
    QCOMPARE(mark.path, WaterMarkDataManage::recordImagePath());
    const QImage image(mark.path);
    QCOMPARE(image.size(), QSize(mark.width, mark.height));
    QVERIFY(mark.width > 0 && mark.height > 0);

    const int margin = qRound(24.0 * frame.height() / 1080);
    if (position == WaterMarkData::BottomRight) {
        QCOMPARE(mark.x + mark.width, frame.width() - margin);
        QCOMPARE(mark.y + mark.height, frame.height() - margin);
    } else if (position == WaterMarkData::TopLeft) {
        QCOMPARE(mark.x, margin);
        QCOMPARE(mark.y, margin);
    } else {
        QCOMPARE(mark.x, (frame.width() - mark.width) / 2);
        QCOMPARE(mark.y, (frame.height() - mark.height) / 2);
    }
    // Something is drawn, and not at full opacity (80 %).
    int maxAlpha = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            maxAlpha = qMax(maxAlpha, qAlpha(image.pixel(x, y)));
    QVERIFY(maxAlpha > 100);
    QVERIFY(maxAlpha < 255);
}

void TstWaterMark::picturePresetScalesWithTheFrame()
{
    WaterMarkDataManage* store = fresh();
    store->m_nCurrentIndex = 1; // the default picture preset: 8 % of the width
    QVERIFY(store->useWaterMark(QSize(1280, 720)));
    FakeScreencast::Watermark mark = FakeScreencast::watermark();
    QCOMPARE(mark.width, qRound(1280 * 0.08));
    QCOMPARE(mark.y, qRound(24.0 * 720 / 1080));
    QCOMPARE(mark.x + mark.width, 1280 - qRound(24.0 * 720 / 1080));

    QVERIFY(store->useWaterMark(QSize(1920, 1080)));
    mark = FakeScreencast::watermark();
    QCOMPARE(mark.width, qRound(1920 * 0.08));
    QCOMPARE(QImage(mark.path).width(), mark.width);
}

void TstWaterMark::unusablePresetClearsTheEngine()
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
    // An empty frame cannot hold a watermark.
    store->m_nCurrentIndex = 2;
    QVERIFY(!store->useWaterMark(QSize(0, 0)));
    QVERIFY(FakeScreencast::watermark().nullPath);

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

void TstWaterMark::popupPlacement()
{
    QWidget anchor;
    anchor.resize(200, 40);
    QWidget popup(nullptr, Qt::Popup);
    popup.resize(150, 100);
    const QRect screen = anchor.screen()->geometry();

    // Room below: below the rectangle, left-aligned.
    anchor.move(screen.left() + 100, screen.top() + 100);
    const QRect r(10, 5, 60, 20);
    WaterMarkDataManage::setPosShowDlg(&popup, &anchor, r);
    QPoint corner = anchor.mapToGlobal(r.bottomLeft());
    QCOMPARE(popup.pos(), QPoint(corner.x(), corner.y() + 1));

    // At the right edge: right-aligned to the rectangle's right edge.
    anchor.move(screen.right() - 150, screen.top() + 100);
    WaterMarkDataManage::setPosShowDlg(&popup, &anchor, r);
    corner = anchor.mapToGlobal(r.bottomRight());
    QCOMPARE(popup.pos(), QPoint(corner.x() + 1 - popup.width(), corner.y() + 1));

    // At the bottom: above the rectangle.
    anchor.move(screen.left() + 100, screen.bottom() - 60);
    WaterMarkDataManage::setPosShowDlg(&popup, &anchor, r);
    const QPoint top = anchor.mapToGlobal(r.topLeft());
    QCOMPARE(popup.pos(), QPoint(top.x(), top.y() - popup.height()));
}

QTEST_MAIN(TstWaterMark)
#include "tst_watermark.moc"
