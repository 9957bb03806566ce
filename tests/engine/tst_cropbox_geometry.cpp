// Where the region box goes when it is dragged or resized: kept on the
// display, never under the least size, the opposite side fixed, and the
// ratio kept when asked; and the cross-hair's size tip, whose format comes
// from outside. Plain arithmetic: no display needed.
#include "ui/CropBoxGeometry.h"
#include "ui/OverlaySupport.h"

#include <QtTest>

using namespace sc::ui;

namespace {

const QRect kDisplay(0, 0, 1920, 1080);

BoxLimits limits(bool keepRatio = false, double ratio = 1.0, const QRect& display = kDisplay)
{
    BoxLimits l;
    l.display = display;
    l.minSize = 32;
    l.keepRatio = keepRatio;
    l.ratio = ratio;
    return l;
}

} // namespace

class TstCropBoxGeometry : public QObject {
    Q_OBJECT

private slots:
    void fitted_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("inside stays") << QRect(100, 100, 400, 300) << QRect(100, 100, 400, 300);
        QTest::newRow("past the right edge moves") << QRect(1800, 100, 400, 300) << QRect(1520, 100, 400, 300);
        QTest::newRow("above the top moves") << QRect(10, -20, 400, 300) << QRect(10, 0, 400, 300);
        QTest::newRow("larger than the display") << QRect(-5, -5, 4000, 3000) << QRect(0, 0, 1920, 1080);
        QTest::newRow("empty gets the least size") << QRect(50, 60, 0, 0) << QRect(50, 60, 32, 32);
    }
    void fitted()
    {
        QFETCH(QRect, box);
        QFETCH(QRect, expected);
        QCOMPARE(fittedBox(box, limits()), expected);
    }

    void moved()
    {
        const QRect box(100, 100, 400, 300);
        QCOMPARE(movedBox(box, QPoint(60, 40), limits()), QRect(160, 140, 400, 300));
        QCOMPARE(movedBox(box, QPoint(-500, 0), limits()), QRect(0, 100, 400, 300));
        QCOMPARE(movedBox(box, QPoint(5000, 5000), limits()), QRect(1520, 780, 400, 300));
        // A display that does not start at the origin.
        const QRect side(1920, 0, 1280, 1024);
        QCOMPARE(movedBox(QRect(2000, 100, 400, 300), QPoint(-500, 0), limits(false, 1.0, side)),
                 QRect(1920, 100, 400, 300));
        QCOMPARE(resizedBox(box, BoxGrip::Move, QPoint(60, 40), limits()), QRect(160, 140, 400, 300));
    }

    // Free resizing: the grabbed sides follow the pointer, the others stay.
    void resizedFree_data()
    {
        QTest::addColumn<int>("grip");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expected");
        const QRect b(100, 100, 400, 300);   // right 500, bottom 400 (exclusive)
        QTest::newRow("right") << int(BoxGrip::Right) << QPoint(50, 999) << QRect(100, 100, 450, 300);
        QTest::newRow("left") << int(BoxGrip::Left) << QPoint(-30, 7) << QRect(70, 100, 430, 300);
        QTest::newRow("bottom right") << int(BoxGrip::BottomRight) << QPoint(50, 30) << QRect(100, 100, 450, 330);
        QTest::newRow("top left") << int(BoxGrip::TopLeft) << QPoint(-50, -30) << QRect(50, 70, 450, 330);
        QTest::newRow("bottom left") << int(BoxGrip::BottomLeft) << QPoint(10, 10) << QRect(110, 100, 390, 310);
        QTest::newRow("past the opposite side: least size") << int(BoxGrip::Right) << QPoint(-1000, 0)
                                                            << QRect(100, 100, 32, 300);
        QTest::newRow("left past the display") << int(BoxGrip::Left) << QPoint(-1000, 0)
                                               << QRect(0, 100, 500, 300);
        QTest::newRow("corner past the display") << int(BoxGrip::BottomRight) << QPoint(5000, 5000)
                                                 << QRect(100, 100, 1820, 980);
        QTest::newRow("none") << int(BoxGrip::None) << QPoint(50, 50) << b;
    }
    void resizedFree()
    {
        QFETCH(int, grip);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expected);
        QCOMPARE(resizedBox(QRect(100, 100, 400, 300), BoxGrip(grip), delta, limits()), expected);
    }

    // Keeping 16:9: a side anchor sizes the other dimension about the
    // middle; at a corner the dimension the pointer moved further leads;
    // the display and the least size still bound the box.
    void resizedKeepingRatio_data()
    {
        QTest::addColumn<QRect>("start");
        QTest::addColumn<int>("grip");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expected");
        const QRect b(400, 300, 320, 180);   // middle at y 390, x 560
        QTest::newRow("right side") << b << int(BoxGrip::Right) << QPoint(160, 0) << QRect(400, 255, 480, 270);
        QTest::newRow("bottom side") << b << int(BoxGrip::Bottom) << QPoint(0, 90) << QRect(320, 300, 480, 270);
        QTest::newRow("corner, width leads") << b << int(BoxGrip::BottomRight) << QPoint(160, 10)
                                             << QRect(400, 300, 480, 270);
        QTest::newRow("corner, height leads") << b << int(BoxGrip::TopLeft) << QPoint(-10, -90)
                                              << QRect(240, 210, 480, 270);
        QTest::newRow("shrunk to the least size") << b << int(BoxGrip::Right) << QPoint(-1000, 0)
                                                  << QRect(400, 374, 57, 32);
        QTest::newRow("right side to the display's edge") << b << int(BoxGrip::Right) << QPoint(5000, 0)
                                                          << QRect(400, 0, 1520, 855);
        QTest::newRow("side grows off the bottom: moved up") << QRect(400, 800, 320, 180) << int(BoxGrip::Right)
                                                             << QPoint(480, 0) << QRect(400, 630, 800, 450);
        QTest::newRow("corner bounded by the height") << QRect(100, 700, 320, 180) << int(BoxGrip::BottomRight)
                                                      << QPoint(1000, 1000) << QRect(100, 700, 676, 380);
    }
    void resizedKeepingRatio()
    {
        QFETCH(QRect, start);
        QFETCH(int, grip);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expected);
        QCOMPARE(resizedBox(start, BoxGrip(grip), delta, limits(true, 16.0 / 9.0)), expected);
    }

    // Only %d (twice) and %% are read from the format; anything else gives
    // the plain tip instead of reaching a printf.
    void sizeTip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "640 x 360";
        QTest::newRow("program's") << "%d x %d" << "640 x 360";
        QTest::newRow("words and percent") << "W %d, H %d (100%%)" << "W 640, H 360 (100%)";
        QTest::newRow("one number") << "%d px" << "640 x 360";
        QTest::newRow("a string conversion") << "%s %d %d" << "640 x 360";
        QTest::newRow("a pointer write") << "%d %d %n" << "640 x 360";
        QTest::newRow("a trailing percent") << "%d %d %" << "640 x 360";
        QTest::newRow("not ASCII") << "%d \u00d7 %d" << "640 \u00d7 360";
    }
    void sizeTip()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(sizeTipText(format.toStdString(), 640, 360), expected);
    }

    void ratios()
    {
        QCOMPARE(ratioOf(1920, 1080), 16.0 / 9.0);
        QCOMPARE(ratioOf(0, 1080), 1.0);
        QCOMPARE(ratioOf(100, -3), 1.0);
    }
};

QTEST_APPLESS_MAIN(TstCropBoxGeometry)
#include "tst_cropbox_geometry.moc"
