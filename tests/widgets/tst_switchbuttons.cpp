// The ON/OFF switch (state, slide, signals, painting) and the round GIF
// button (hover circle, click, disabled).
#include <QLabel>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "tests/support/WidgetTestHelpers.h"
#include "widgets/FfButtonGifBg.h"
#include "widgets/FfSwitchButton.h"

using testsupport::countNear;
using testsupport::sendMouse;

class TestSwitchButtons : public QObject
{
    Q_OBJECT

private:
    static QToolButton* knob(FfSwitchButton& sw) { return sw.findChild<QToolButton*>("btnSwitch"); }

    // A shown switch of the usual size; a slow slide keeps "during the
    // slide" true on a loaded machine (only the pace changes).
    static void prepare(FfSwitchButton& sw, bool slowSlide = false)
    {
        sw.setFixedSize(50, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        if (slowSlide)
            sw.findChild<QPropertyAnimation*>()->setDuration(1000);
    }

    static QList<bool> announced(const QSignalSpy& spy)
    {
        QList<bool> values;
        for (const QList<QVariant>& args : spy)
            values << args.at(0).toBool();
        return values;
    }

private slots:
    void setBtnCheckedSlidesAndSignals()
    {
        FfSwitchButton sw;
        prepare(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        sw.setBtnChecked(true);
        QVERIFY(sw.isChecked() && sw.isSliding());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), QPoint(50 - 22 - 1, 0));
        // A release on the track toggles back.
        sendMouse(&sw, QEvent::MouseButtonPress, QPoint(40, 11), Qt::LeftButton);
        sendMouse(&sw, QEvent::MouseButtonRelease, QPoint(40, 11), Qt::LeftButton);
        QVERIFY(!sw.isChecked());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), QPoint(1, 0));
        QCOMPARE(announced(spy), (QList<bool>{true, false}));
        // The knob keeps its end through a new size.
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        sw.setFixedSize(60, 22);
        QTRY_COMPARE(knob(sw)->pos(), QPoint(60 - 22 - 1, 0));
    }

    void clickDuringTheSlideChangesNothing()
    {
        FfSwitchButton sw;
        prepare(sw, true);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isSliding());
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isChecked());
        QCOMPARE(announced(spy), (QList<bool>{true, true})); // the unchanged state
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobRightPos());
    }

    void setBtnCheckedDuringTheSlideTakesTheState_data()
    {
        QTest::addColumn<bool>("request");
        QTest::newRow("back off") << false;
        QTest::newRow("on again") << true;
    }

    void setBtnCheckedDuringTheSlideTakesTheState()
    {
        QFETCH(bool, request);
        FfSwitchButton sw;
        prepare(sw, true);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton); // slides to ON
        QVERIFY(sw.isSliding());
        sw.setBtnChecked(request);
        QCOMPARE(announced(spy), (QList<bool>{true, request}));
        QCOMPARE(sw.isChecked(), request); // the announced state is the real one
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), request ? sw.knobRightPos() : sw.knobLeftPos());
    }

    void setBtnOnlyOffIsSilentEvenDuringASlide()
    {
        FfSwitchButton sw;
        prepare(sw, true);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isSliding());
        sw.setBtnOnlyOff();
        QVERIFY(!sw.isChecked());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        QCOMPARE(spy.count(), 1); // the click only
        // A new skin ends a slide at once.
        sw.setBtnChecked(true);
        sw.onSkinChange();
        QVERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobRightPos());
    }

    void paintsTheWordInItsColour()
    {
        FfSwitchButton sw;
        sw.setOnType(QString());
        sw.setOffType(QString());
        sw.setPanColor(QColor(255, 0, 0));
        sw.setPanColorOff(QColor(0, 0, 255));
        sw.setDisablePanColor(QColor(0, 200, 0));
        prepare(sw);
        const QImage off = sw.grab().toImage();
        QVERIFY(countNear(off, Qt::blue, 60) > 0);
        QCOMPARE(countNear(off, Qt::red, 60), 0);
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        const QImage on = sw.grab().toImage();
        QVERIFY(countNear(on, Qt::red, 60) > 0);
        QCOMPARE(countNear(on, Qt::blue, 60), 0);
        sw.setEnabled(false);
        QVERIFY(countNear(sw.grab().toImage(), QColor(0, 200, 0), 60) > 0);
    }

    void gifPlaysInsideTheCircleWhileEnabled()
    {
        FfButtonGifBg button;
        button.resize(100, 100);
        button.setNormalIcon(":/widgets/rec_start.png");
        button.setGifBg(":/widgets/rec_start.gif");
        button.show();
        QLabel* label = button.pictureLabel();
        QSignalSpy clicked(&button, &FfButtonGifBg::clicked);

        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(button.isPlaying() && label->movie());
        // The corner of the square lies outside the circle; its rim inside.
        sendMouse(label, QEvent::MouseMove, QPoint(2, 2));
        QVERIFY(!button.isPlaying() && !label->movie());
        sendMouse(label, QEvent::MouseMove, QPoint(36, 0));
        QVERIFY(button.isPlaying());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        QVERIFY(!button.isPlaying());

        sendMouse(label, QEvent::MouseMove, QPoint(30, 40));
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(30, 40), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!button.isPlaying());
        QVERIFY(!label->pixmap(Qt::ReturnByValue).isNull());

        // Disabled under the pointer (the start button as a recording starts).
        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        button.setEnabled(false);
        QVERIFY(!button.isPlaying() && !label->movie());
        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(!button.isPlaying());
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(36, 36), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(TestSwitchButtons)
#include "tst_switchbuttons.moc"
