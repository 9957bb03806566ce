// The countdown with the installed pictures and the real engine, under the
// private X server.
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include "Screencast.h"
#include "app/ShowPicture.h"

namespace {

QImage screen()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// The pictures' disc colour, give or take the blending of the edges.
bool isAccent(QRgb pixel)
{
    return qAbs(qRed(pixel) - 0xd9) < 24 && qAbs(qGreen(pixel) - 0x25) < 24 && qAbs(qBlue(pixel) - 0x2b) < 24;
}

} // namespace

class TestCountdownE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the private X server (scripts/with-test-env.sh)");
        QCOMPARE(scInitialize(), 0);
    }

    void cleanupTestCase()
    {
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            scUninitialize();
    }

    void picturesOnScreen()
    {
        ShowPicture::setDurations(1500, 200);
        ShowPicture countdown;
        QCOMPARE(countdown.pictureCount(), 5);
        bool ended = false;
        connect(&countdown, &ShowPicture::showPicEnd, [&] { ended = true; });
        const QImage before = screen();
        const QPoint centre(before.width() / 2, before.height() / 2);
        // A point on the disc left of the digit, and one well outside it.
        const QPoint onDisc = centre - QPoint(110, 0);
        const QPoint outside = centre - QPoint(200, 0);
        QVERIFY(!isAccent(before.pixel(onDisc)));

        countdown.start();
        QImage shown;
        QVERIFY(QTest::qWaitFor(
            [&] {
                shown = screen();
                return isAccent(shown.pixel(onDisc));
            },
            5000));
        QCOMPARE(shown.pixel(outside), before.pixel(outside));
        QVERIFY(isAccent(shown.pixel(centre + QPoint(110, 0))));   // centred

        QVERIFY(QTest::qWaitFor([&] { return ended; }, 10000));
        QTest::qWait(100);
        QVERIFY(!isAccent(screen().pixel(onDisc)));
    }
};

QTEST_MAIN(TestCountdownE2e)
#include "tst_countdown_e2e.moc"
