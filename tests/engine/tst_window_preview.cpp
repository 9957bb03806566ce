// The window picker's live preview on the real engine, and window titles
// cut without breaking a character.

#include "EngineTestSupport.h"
#include "NativeView.h"

#include "core/EngineCore.h"
#include "Screencast.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace {

using et::waitUntil;
using et::XConn;

const QRgb kRed = qRgb(220, 30, 30);
const QRgb kGreen = qRgb(30, 200, 60);

struct View : et::NativeView {
    View() : et::NativeView(QSize(320, 240)) {}
};

// How many pixels of the view show `rgb`.
int pixelsOf(View& view, QRgb rgb)
{
    const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
    int n = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            n += et::near(shot.pixel(x, y), rgb, 30) ? 1 : 0;
    return n;
}

} // namespace

class TstWindowPreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanupTestCase() { scUninitialize(); }

    void titleCutOnCharacter_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("fits") << QByteArray("abc") << 8 << QByteArray("abc");
        QTest::newRow("exactly full") << QByteArray("abcdefg") << 8 << QByteArray("abcdefg");
        QTest::newRow("ascii cut") << QByteArray("abcdefghij") << 8 << QByteArray("abcdefg");
        QTest::newRow("two-byte split") << QByteArray("abcdef\xc3\xa9") << 8 << QByteArray("abcdef");
        QTest::newRow("two-byte fits") << QByteArray("abcde\xc3\xa9x") << 8 << QByteArray("abcde\xc3\xa9");
        QTest::newRow("three-byte split") << QByteArray("abcde\xe2\x82\xac") << 8 << QByteArray("abcde");
        QTest::newRow("four-byte split") << QByteArray("abcd\xf0\x9f\x98\x80") << 8 << QByteArray("abcd");
        QTest::newRow("only the terminator") << QByteArray("\xc3\xa9") << 1 << QByteArray();
        QTest::newRow("title field") << QByteArray(254, 'a') + "\xe2\x82\xac" << 256 << QByteArray(254, 'a');
    }
    void titleCutOnCharacter()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, size);
        QFETCH(QByteArray, expected);
        std::vector<char> field(std::size_t(size) + 1, 'X');   // one guard byte behind the field
        sc::copyText(field.data(), std::size_t(size), text.toStdString());
        QCOMPARE(QByteArray(field.data()), expected);
        QCOMPARE(field[std::size_t(size) - 1], '\0');
        QCOMPARE(field[std::size_t(size)], 'X');
    }

    // One window, then only a chosen window on black, then nothing chosen:
    // the view follows each choice, and releasing stops the drawing thread.
    void previewFollowsTheChoice()
    {
        XConn x;
        QVERIFY(x.ok());
        const xcb_window_t a = x.window(QRect(40, 40, 400, 300), kRed);
        const xcb_window_t b = x.window(QRect(500, 80, 320, 240), kGreen);
        View view;
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const int threadsBefore = et::threadCount();

        CBasePtr<CWindowCompositedImageObject> preview = scCreateWindowCompositedImage(ScNativeView(view.winId()));
        QVERIFY(preview);
        QVERIFY(!scCreateWindowCompositedImage(ScNativeView(0)));

        const unsigned int onlyA[] = {a};
        preview->show(kWindowListSingle, onlyA, 1);
        // The window fills the view of the same ratio.
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOf(view, kRed) > 160 * 120 * 9 / 10, 30000);

        const unsigned int onlyB[] = {b};
        preview->show(kWindowListInclude, onlyB, 1);
        QVERIFY(waitUntil([&] { return pixelsOf(view, kGreen) > 20 && pixelsOf(view, kRed) == 0; }));

        preview->show(kWindowListInclude, nullptr, 0);
        QVERIFY(waitUntil([&] { return pixelsOf(view, kGreen) == 0 && pixelsOf(view, kRed) == 0; }));

        preview.reset();
        QTRY_COMPARE_WITH_TIMEOUT(et::threadCount(), threadsBefore, 30000);
        x.destroy(a);
        x.destroy(b);
    }
};

QTEST_MAIN(TstWindowPreview)
#include "tst_window_preview.moc"
