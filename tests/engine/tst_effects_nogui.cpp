// The engine used without widgets and without an X server: no border and
// no canvas (they need a QApplication), window sources refused with a
// reason, pointer effects that draw nothing, and a watermark that works.

#include "Screencast.h"
#include "rec/Factories.h"

#include <QtTest>

using namespace sc::rec;

class TstEffectsNoGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qunsetenv("DISPLAY"); }

    void withoutWidgetsOrDisplay()
    {
        RecordingSetup setup;
        setup.displayRect = QRect(0, 0, 800, 600);
        setup.area = QRect(10, 10, 200, 100);
        setup.boundary = true;
        setup.mouse.method = 1;
        setup.mouse.methodParam = 1;
        QVERIFY(!makeRecordingOverlay(setup));
        QVERIFY(!makeCanvas(setup, nullptr));

        for (WindowListOption option : {kWindowListSingle, kWindowListExclude, kWindowListInclude}) {
            setup.windowOption = option;
            setup.include = {0x200001u};
            std::string error;
            QVERIFY(!makeWindowSource(setup, error));
            QVERIFY(!error.empty());
        }

        // The pointer cannot be asked for: the frame stays as it was.
        setup.windowOption = kWindowListNone;
        setup.mouse = MouseOpt{};
        setup.mouse.cursor = 1;
        setup.mouse.indicate = 1;
        setup.mouse.clickType = 2;
        SetMouseNormalColor(0xffff0000u);
        auto decorators = makeDecorators(setup);
        QCOMPARE(decorators.size(), std::size_t(1));
        VideoFrame frame;
        frame.image = QImage(200, 100, QImage::Format_RGB32);
        frame.image.fill(Qt::white);
        frame.screenRect = setup.area;
        const QImage before = frame.image.copy();
        decorators.front()->decorate(frame);
        QCOMPARE(frame.image, before);
        // A controller that cannot find the pointer keeps the area.
        setup.mouse.method = 1;
        AreaController centred = makeAreaController(setup);
        QVERIFY(centred);
        QCOMPARE(centred(setup.area), setup.area);

        QTemporaryDir dir;
        QImage mark(4, 4, QImage::Format_ARGB32);
        mark.fill(qRgba(0, 0, 255, 255));
        QVERIFY(mark.save(dir.filePath("m.png")));
        SetWatermark(dir.filePath("m.png").toUtf8().constData(), 5, 6, 8, 8);
        decorators = makeDecorators(RecordingSetup());
        QCOMPARE(decorators.size(), std::size_t(1));
        decorators.front()->decorate(frame);
        QCOMPARE(frame.image.pixel(6, 7), qRgb(0, 0, 255));
        QCOMPARE(frame.image.pixel(12, 13), qRgb(0, 0, 255));
        QCOMPARE(frame.image.pixel(13, 14), qRgb(255, 255, 255));
        SetWatermark(nullptr, 0, 0, 0, 0);
    }
};

QTEST_GUILESS_MAIN(TstEffectsNoGui)
#include "tst_effects_nogui.moc"
