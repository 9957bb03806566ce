// The real engine against a real X server: start and stop, and displays.
//
// Most cases use the test environment's X server ($DISPLAY, one Xvfb
// screen). The multi-display case starts a private Xvfb of its own, so that
// adding RandR monitors cannot disturb tests running beside it.

#include "EngineTestSupport.h"

#include "Screencast.h"

#include <QByteArray>
#include <QtTest>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace enginetest;

namespace {

bool sameRect(const CRect& a, const CRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

QByteArray text(const CRect& r)
{
    return QByteArray::number(r.left) + "," + QByteArray::number(r.top) + "," + QByteArray::number(r.right)
           + "," + QByteArray::number(r.bottom);
}

} // namespace

class TstEngineDisplay : public QObject {
    Q_OBJECT

    // An X server resets, refusing connections for a moment, whenever its
    // last client leaves. The test environment's window manager keeps it
    // from doing so; this connection does the same where none runs.
    std::unique_ptr<XConnection> m_keepServer;

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY"), "DISPLAY is not set: run the e2e tests inside scripts/with-test-env.sh");
        m_keepServer.reset(new XConnection(nullptr));
        QVERIFY(m_keepServer->ok());
    }

    void init() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanup() { scUninitialize(); }

    // The test server has one screen: one display, as large as the root
    // window that a connection of our own sees.
    void oneDisplayAsLargeAsTheScreen()
    {
        XConnection x(nullptr);
        QVERIFY(x.ok());
        const int width = x.screen->width_in_pixels;
        const int height = x.screen->height_in_pixels;

        QCOMPARE(GetDisplayCount(), 1);
        const DisplayInfo* info = GetDisplayInfo(0);
        QVERIFY(info);
        QVERIFY(std::strlen(info->name) > 0);
        QVERIFY2(sameRect(info->frame, CRect{0, 0, double(width), double(height)}), text(info->frame));
        QCOMPARE(info->scale, 1.0);
        QVERIFY(info->primary != 0);
        QVERIFY(!GetDisplayInfo(1));
        QVERIFY(!GetDisplayInfo(-1));

        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), width);
        QCOMPARE(GetSelectedDisplayHeight(), height);
    }

    void conversionOnTheOnlyDisplay()
    {
        UseDisplay(0);
        const CRect onePixel{10, 20, 10, 20};
        QVERIFY(sameRect(ConvertDisplayRectToScreen(0, onePixel), onePixel));
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(onePixel), onePixel));
        // A display that does not exist leaves the rectangle as it is.
        const CRect r{1, 2, 3, 4};
        QVERIFY(sameRect(ConvertDisplayRectToScreen(3, r), r));
        QVERIFY(sameRect(ConvertDisplayRectToScreen(-1, r), r));
    }

    void initialiseTwiceAndStopTwice()
    {
        QCOMPARE(scInitialize(), int(kScInitOk));   // already running: no second connection
        QCOMPARE(GetDisplayCount(), 1);
        scUninitialize();
        // Stopped: nothing is there any more, and nothing is created.
        QCOMPARE(GetDisplayCount(), 0);
        QVERIFY(!GetDisplayInfo(0));
        QCOMPARE(GetSelectedDisplayWidth(), 0);
        QVERIFY(!scFindWindow(1));
        scUninitialize();
        // And it starts again.
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(scFindWindow(1));
    }

    void noDisplayFailsCleanly_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<bool>("unset");
        QTest::newRow("unset") << QByteArray() << true;
        QTest::newRow("no server there") << QByteArray(":99999") << false;
    }
    void noDisplayFailsCleanly()
    {
        QFETCH(QByteArray, display);
        QFETCH(bool, unset);
        scUninitialize();
        {
            ScopedEnv env("DISPLAY", unset ? nullptr : display.constData());
            QCOMPARE(scInitialize(), int(kScInitNoDisplay));
            QCOMPARE(GetDisplayCount(), 0);
            QVERIFY(!GetDisplayInfo(0));
            QCOMPARE(GetSelectedDisplayHeight(), 0);
            QVERIFY(!scFindWindow(1));
            // The file facts do not need the display.
            QVERIFY(GetAVFormatCodecs(kOutputMp4));
            QVERIFY(GetFileSystemFreeSize("/tmp") > 0);
            scUninitialize();
        }
        // A failed start leaves nothing behind that spoils the next one.
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
    }

    // Start, stop and queries from several threads at once must neither
    // crash nor give a half-built answer.
    void startStopAndQueriesFromManyThreads()
    {
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&bad, t] {
                for (int i = 0; i < 40; ++i) {
                    if (t % 3 == 0) {
                        if (scInitialize() != kScInitOk)
                            ++bad;
                        if (i % 4 == 3)
                            scUninitialize();
                    } else {
                        const int n = GetDisplayCount();
                        if (n != 0 && n != 1)
                            ++bad;
                        if (const DisplayInfo* d = GetDisplayInfo(0)) {
                            if (d->frame.right <= d->frame.left || d->scale != 1.0)
                                ++bad;
                        }
                    }
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        QCOMPARE(bad.load(), 0);
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
    }

    // Two monitors side by side on a private server: the primary one is
    // display 0 wherever it lies, rectangles move by its origin, and the
    // list follows monitor changes without a restart.
    void twoDisplaysOnAPrivateServer()
    {
        scUninitialize();
        PrivateDisplay display("1600x600x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        XConnection& x = display.x;
        QVERIFY(addMonitor(x, "LEFT-1", 0, 0, 800, 600, false, firstOutput(x)));
        QVERIFY(addMonitor(x, "RIGHT-1", 800, 0, 800, 600, true));

        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 2);
        const DisplayInfo* first = GetDisplayInfo(0);
        QVERIFY(first);
        QCOMPARE(QByteArray(first->name), QByteArray("RIGHT-1"));
        QVERIFY(first->primary != 0);
        QVERIFY2(sameRect(first->frame, CRect{800, 0, 1600, 600}), text(first->frame));
        const DisplayInfo* second = GetDisplayInfo(1);
        QVERIFY(second);
        QCOMPARE(QByteArray(second->name), QByteArray("LEFT-1"));
        QVERIFY(second->primary == 0);
        QVERIFY2(sameRect(second->frame, CRect{0, 0, 800, 600}), text(second->frame));

        const CRect r{10, 20, 110, 220};
        QVERIFY2(sameRect(ConvertDisplayRectToScreen(0, r), CRect{810, 20, 910, 220}),
                 text(ConvertDisplayRectToScreen(0, r)));
        QVERIFY(sameRect(ConvertDisplayRectToScreen(1, r), r));

        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), 800);
        QVERIFY2(sameRect(ConvertCurrentScreenRectToDisplay(CRect{810, 20, 910, 220}), r),
                 text(ConvertCurrentScreenRectToDisplay(CRect{810, 20, 910, 220})));
        UseDisplay(1);
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(r), r));

        // The primary monitor goes away: the other one becomes display 0
        // and the main display, display 1 no longer exists, and a selection
        // of it falls back to display 0.
        QVERIFY(deleteMonitor(x, "RIGHT-1"));
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(!GetDisplayInfo(1));
        const DisplayInfo* left = GetDisplayInfo(0);
        QVERIFY(left);
        QCOMPARE(QByteArray(left->name), QByteArray("LEFT-1"));
        QVERIFY(left->primary != 0);
        QCOMPARE(GetSelectedDisplayWidth(), 800);
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(r), r));
        UseDisplay(0);
        scUninitialize();
    }
};

QTEST_GUILESS_MAIN(TstEngineDisplay)
#include "tst_engine_display.moc"
