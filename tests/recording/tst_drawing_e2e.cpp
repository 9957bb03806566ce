// Drawing while recording with the real engine and real clicks (xdotool through
// the window manager): a size and a colour chosen after the Pen apply to the
// Pen, the stroke in the movie has that width and colour, and each callout
// steps the bar's number.
#include <QApplication>
#include <QtTest>
#include <QSpinBox>
#include <QToolButton>

#include <memory>

#include "capture/FfColor.h"
#include "core/RecordingSession.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/VideoRecCtlWdg.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/HomeE2e.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/media/TestMedia.h"

using namespace testsupport;

namespace {

const int kLong = 30000;

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// A click where the user sees the widget, through the X server.
bool clickOn(QWidget* widget)
{
    const QPoint at = widget->mapToGlobal(widget->rect().center());
    return xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())})
        && xdotool({"click", "1"});
}

bool dragAcross(const QPoint& from, const QPoint& to)
{
    QStringList steps{"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"};
    for (int i = 1; i <= 8; ++i) {
        const QPoint p = from + (to - from) * i / 8;
        steps << "mousemove" << "--sync" << QString::number(p.x()) << QString::number(p.y()) << "sleep" << "0.05";
    }
    steps << "mouseup" << "1";
    return xdotool(steps);
}

bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 90;
}

// Rows of `colour` crossed by a vertical line through x in the picture.
int thicknessAt(const QImage& picture, int x, const QColor& colour)
{
    int rows = 0;
    for (int y = 0; y < picture.height(); ++y)
        rows += near(picture.pixelColor(x, y), colour);
    return rows;
}

} // namespace

class TstDrawingE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool");
        QApplication::setQuitOnLastWindowClosed(false);
        VxSettings* settings = VxSettings::instance();
        for (const char* key : {"Video/AudioEnable", "Video/MicEnable", "CameraEnable"})
            settings->setApplicationParam(key, false);
        settings->setApplicationParam("CountDown", false);
        settings->setApplicationParam("HotkeyRemind", true);
    }

    // Each row: the recorded region; the bar lies inside it (at its top) or below it.
    void sizeAndColourAfterThePen_data()
    {
        QTest::addColumn<QRect>("region");
        QTest::newRow("bar inside the region") << QRect(0, 0, 960, 1080);
        QTest::newRow("bar below the region") << QRect(100, 100, 800, 600);
    }

    void sizeAndColourAfterThePen()
    {
        QFETCH(QRect, region);
        if (!tempSpaceAbove(0xFFFFFFFFLL))
            QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
        std::unique_ptr<MainWindowBase> frame(new MainWindowBase(nullptr));
        MainWindow* home = showVideoPage(frame.get(), RP_Quality_High, kLong);
        QVERIFY(home);
        RecordParameter::instance()->setTimerEnable(false);
        RecordParameter::instance()->setAutoSave(true);
        home->onEndSelectRegion(region);
        QDir(Utils::getVideoOutputPath()).removeRecursively();

        home->onBtnRecClicked();
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Recording), kLong);
        VideoRecCtlWdg* bar = home->videoRecCtl();
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), kLong);
        auto* tools = bar->findChild<FfColor*>("frameEdit");
        const auto button = [tools](const char* name) { return tools->findChild<QToolButton*>(name); };

        QVERIFY(clickOn(bar->findChild<QToolButton*>("btnEdit")));
        QTRY_VERIFY_WITH_TIMEOUT(tools->isVisible(), kLong);
        QTest::qWait(300);   // the window manager follows the bar's new height
        QVERIFY(clickOn(button("btnPen")));
        QTRY_VERIFY_WITH_TIMEOUT(button("btnPen")->isChecked(), kLong);
        QVERIFY(clickOn(button("btnSizeLarge")));
        QTRY_VERIFY_WITH_TIMEOUT(button("btnSizeLarge")->isChecked(), 10000);
        const QColor blue(0x00, 0x7a, 0xff);
        QVERIFY(clickOn(button("btnPalette5")));
        QTRY_COMPARE_WITH_TIMEOUT(tools->getColor(), blue, 10000);
        QCOMPARE(tools->getPainterSize(), 8);

        // A level stroke across the region's lower half, clear of the bar.
        const int y = region.top() + region.height() * 3 / 4;
        QVERIFY(dragAcross(QPoint(region.left() + 100, y), QPoint(region.left() + 500, y)));

        // Each callout placed steps the bar's number on to the next one.
        auto* number = tools->findChild<QSpinBox*>("spinNumber");
        QVERIFY(clickOn(button("btnNumber")));
        QTRY_VERIFY_WITH_TIMEOUT(number->isVisible(), 10000);
        QCOMPARE(number->value(), 1);
        for (int placed = 1; placed <= 2; ++placed) {
            const QPoint at(region.left() + 550 + 60 * placed, region.top() + region.height() / 2);
            QVERIFY(xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())})
                    && xdotool({"click", "1"}));
            QTRY_COMPARE_WITH_TIMEOUT(number->value(), placed + 1, 10000);
        }
        QTest::qWait(1500);

        ModalDriver driver(kLong);
        driver.expect([](QWidget* modal) {
            QPointer<QWidget> open(modal);
            (void)QTest::qWaitFor([&open] { return !open || !open->isVisible(); }, kLong);
        }, "DlgVideoClip");
        // Saved: the history opens on the new file.
        driver.rejectDialog("RecordHistoryDlg");
        bar->onBtnStopClicked();
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        DRIVER_DONE(driver, kLong);

        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"*.mp4"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY(facts.ok);
        const QImage last = testmedia::pictureAt(path, qMax(0.0, facts.duration - 0.3));
        QCOMPARE(last.size(), region.size());
        const int thickness = thicknessAt(last, 300, blue);
        QVERIFY2(thickness >= 7 && thickness <= 10, qPrintable(QString::number(thickness)));
        QCOMPARE(thicknessAt(last, 300, QColor(0xff, 0x3b, 0x30)), 0);   // nothing in the old red
    }
};

QTEST_MAIN(TstDrawingE2e)
#include "tst_drawing_e2e.moc"
