// The level meter reads only the values it is given, and shows each bar's
// level (five times the magnitude, capped) in its painted pixels.

#include "widgets/CustomLEDFrame.h"

#include <QImage>
#include <QtTest>

#include <vector>

class TstLevelsMeter : public QObject {
    Q_OBJECT
private slots:
    void readsOnlyCountValues_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<float>("level");
        QTest::addColumn<int>("litBars");
        QTest::newRow("every bar") << 112 << 0.5f << 56;
        QTest::newRow("negative by magnitude") << 112 << -0.3f << 56;
        QTest::newRow("short array") << 11 << 0.5f << 6;
        QTest::newRow("one value") << 1 << 0.5f << 1;
        QTest::newRow("none") << 0 << 0.5f << 0;
    }
    void readsOnlyCountValues()
    {
        QFETCH(int, count);
        QFETCH(float, level);
        QFETCH(int, litBars);
        CustomLEDFrame meter;
        meter.setProperty("rectColor", "#ff0000,#ff0000");
        meter.setProperty("colorGradient", "0,1");
        meter.setProperty("volumeWidth", "4");
        meter.setProperty("volumeSpacing", "3");   // a bar every 6 pixels
        meter.resize(360, 40);
        CustomLEDFrame::startRecord();

        // The values past `count` stand for memory the caller does not own.
        std::vector<float> levels(2 * CustomLEDFrame::kBars, level);
        meter.setVolume(count, levels.data());
        const QImage shot = meter.grab().toImage();
        for (int bar = 0; bar < CustomLEDFrame::kBars; ++bar) {
            const bool lit = shot.pixelColor(6 + 6 * bar, 38) == QColor(Qt::red);
            QVERIFY2(lit == (bar < litBars), qPrintable(QString("bar %1").arg(bar)));
        }
        for (int i = count; i < int(levels.size()); ++i)
            QCOMPARE(levels[std::size_t(i)], level);
    }
};

QTEST_MAIN(TstLevelsMeter)
#include "tst_levels_meter.moc"
