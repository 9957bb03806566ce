// How the switch really looks on an X server: the track's colour and the
// knob at its end.
#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include "widgets/FfSwitchButton.h"

namespace {

bool isGreenish(const QColor& c)
{
    return c.green() > c.red() + 40 && c.green() > c.blue() + 20;
}

} // namespace

class TestWidgetsRender : public QObject
{
    Q_OBJECT

private slots:
    void switchesOnAndOff()
    {
        QVERIFY2(QGuiApplication::platformName() == "xcb",
                 "runs inside the private X server (scripts/with-test-env.sh)");
        // The pointer away from the windows: no hover highlight in the grabs.
        QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* on = new FfSwitchButton(&window);
        auto* off = new FfSwitchButton(&window);
        for (FfSwitchButton* sw : {on, off}) {
            sw->setFixedSize(50, 22);
            sw->setPanColor(Qt::white);
            sw->setPanColorOff(QColor("#505050"));
            layout->addWidget(sw);
        }
        on->setBtnChecked(true);
        off->setBtnOnlyOff();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(!on->isSliding() && !off->isSliding(), 30000);

        // ON: green track at the left, white knob at the right.
        const QImage onImage = on->grab().toImage();
        QVERIFY(isGreenish(onImage.pixelColor(4, 11)));
        const QColor knobOn = onImage.pixelColor(50 - 22 - 1 + 10, 11);
        QVERIFY2(knobOn.lightness() > 220, qPrintable(knobOn.name()));
        // OFF: grey track at the right, knob at the left.
        const QImage offImage = off->grab().toImage();
        const QColor trackOff = offImage.pixelColor(46, 11);
        QVERIFY2(!isGreenish(trackOff) && trackOff.lightness() > 150, qPrintable(trackOff.name()));
        const QColor knobOff = offImage.pixelColor(1 + 10, 11);
        QVERIFY2(knobOff.lightness() > 220, qPrintable(knobOff.name()));
    }
};

QTEST_MAIN(TestWidgetsRender)
#include "tst_widgets_render.moc"
