// The ON/OFF switch (state, slide, signals) and the round GIF button (hover
// circle, click, disabled).
#include <QLabel>
#include <QtTest>
#include <QToolButton>

#include "tests/support/WidgetTestHelpers.h"
#include "widgets/FfButtonGifBg.h"
#include "widgets/FfSwitchButton.h"

using testsupport::sendMouse;

namespace {

QToolButton* knob(FfSwitchButton& sw)
{
    return sw.findChild<QToolButton*>("btnSwitch");
}

QList<bool> announced(const QSignalSpy& spy)
{
    QList<bool> values;
    for (const QList<QVariant>& args : spy)
        values << args.at(0).toBool();
    return values;
}

} // namespace

class TestSwitchButtons : public QObject
{
    Q_OBJECT

private:
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

private slots:
    void slidesAndSignals()
    {
        FfSwitchButton sw;
        prepare(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
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

    void setDuringTheSlideTakesTheState_data()
    {
        QTest::addColumn<int>("request"); // 0 off, 1 on, 2 off without a signal
        QTest::newRow("back off") << 0;
        QTest::newRow("on again") << 1;
        QTest::newRow("only off") << 2;
    }

    void setDuringTheSlideTakesTheState()
    {
        QFETCH(int, request);
        FfSwitchButton sw;
        prepare(sw, true);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton); // slides to ON
        QVERIFY(sw.isSliding());
        if (request == 2)
            sw.setBtnOnlyOff();
        else
            sw.setBtnChecked(request == 1);
        QCOMPARE(announced(spy), request == 2 ? QList<bool>{true} : (QList<bool>{true, request == 1}));
        QCOMPARE(sw.isChecked(), request == 1); // the announced state is the real one
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), request == 1 ? sw.knobRightPos() : sw.knobLeftPos());
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
        // The corner of the square lies outside the circle.
        sendMouse(label, QEvent::MouseMove, QPoint(2, 2));
        QVERIFY(!button.isPlaying() && !label->movie());
        sendMouse(label, QEvent::MouseMove, QPoint(30, 40));
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(30, 40), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!button.isPlaying());

        // Disabled under the pointer (the start button as a recording starts).
        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        button.setEnabled(false);
        QVERIFY(!button.isPlaying() && !label->movie());
        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(36, 36), Qt::LeftButton);
        QVERIFY(!button.isPlaying());
        QCOMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(TestSwitchButtons)
#include "tst_switchbuttons.moc"
