// The ON/OFF switch (state, slide, signals, painting) and the round GIF
// button (hover circle, click, disabled).
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QMovie>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "widgets/FfButtonGifBg.h"
#include "widgets/FfSwitchButton.h"
#include "tests/support/WidgetTestHelpers.h"

using testsupport::countNear;
using testsupport::sendMouse;

namespace {

// How far a painted pixel may be from the colour asked for.
constexpr int kTolerance = 60;

} // namespace

class TestSwitchButtons : public QObject
{
    Q_OBJECT

private:
    static QToolButton* knob(FfSwitchButton& sw) { return sw.findChild<QToolButton*>("btnSwitch"); }

    // A slide long enough that "during the slide" holds on a loaded
    // machine; only the pace changes.
    static void slowSlide(FfSwitchButton& sw)
    {
        auto* animation = sw.findChild<QPropertyAnimation*>();
        QVERIFY(animation);
        QCOMPARE(animation->duration(), 100);
        animation->setDuration(1000);
    }

    // A shown switch of the usual size.
    static void prepare(FfSwitchButton& sw)
    {
        sw.setFixedSize(50, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
    }

private slots:

    void setBtnCheckedSlidesAndSignals()
    {
        FfSwitchButton sw;
        prepare(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        sw.setBtnChecked(true);
        QVERIFY(sw.isChecked());
        QVERIFY(sw.isSliding());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), QPoint(50 - 22 - 1, 0));

        sw.setBtnChecked(false);
        QVERIFY(!sw.isChecked());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), QPoint(1, 0));
    }

    void releaseOnTheTrackToggles()
    {
        FfSwitchButton sw;
        prepare(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        sendMouse(&sw, QEvent::MouseButtonPress, QPoint(40, 11), Qt::LeftButton);
        sendMouse(&sw, QEvent::MouseButtonRelease, QPoint(40, 11), Qt::LeftButton);
        QVERIFY(sw.isChecked());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
    }

    void clickDuringTheSlideChangesNothing()
    {
        FfSwitchButton sw;
        prepare(sw);
        slowSlide(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isSliding());
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isChecked());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), true); // the unchanged state
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
        prepare(sw);
        slowSlide(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        QTest::mouseClick(knob(sw), Qt::LeftButton); // slides to ON
        QVERIFY(sw.isSliding());
        sw.setBtnChecked(request);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), request);
        QCOMPARE(sw.isChecked(), request); // the announced state is the real one
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), request ? sw.knobRightPos() : sw.knobLeftPos());
        QCOMPARE(sw.isChecked(), request);
    }

    void setBtnOnlyOffIsSilent()
    {
        FfSwitchButton sw;
        prepare(sw);
        slowSlide(sw);
        QSignalSpy spy(&sw, &FfSwitchButton::clicked);
        sw.setBtnOnlyOff(); // from unchecked: slides from the right end
        QVERIFY(!sw.isChecked());
        QVERIFY(sw.isSliding());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        sw.setBtnOnlyOff();
        QVERIFY(!sw.isChecked());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        // Even in the middle of a slide.
        QTest::mouseClick(knob(sw), Qt::LeftButton);
        QVERIFY(sw.isSliding());
        sw.setBtnOnlyOff();
        QVERIFY(!sw.isChecked());
        QTRY_VERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobLeftPos());
        QCOMPARE(spy.count(), 2); // the setBtnChecked and the click only
    }

    void knobKeepsItsEndThroughLayouts()
    {
        FfSwitchButton sw;
        prepare(sw);
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        sw.setFixedSize(60, 22);
        QTRY_COMPARE(knob(sw)->pos(), QPoint(60 - 22 - 1, 0));
        // A layout pass of its own (the knob's size hint changes).
        knob(sw)->setIconSize(QSize(16, 16));
        QApplication::sendPostedEvents();
        QCOMPARE(knob(sw)->pos(), sw.knobRightPos());
    }

    void onSkinChangeEndsTheSlideAtOnce()
    {
        FfSwitchButton sw;
        prepare(sw);
        sw.setBtnChecked(true);
        QVERIFY(sw.isSliding());
        sw.onSkinChange();
        QVERIFY(!sw.isSliding());
        QCOMPARE(knob(sw)->pos(), sw.knobRightPos());
        QVERIFY(sw.isChecked());
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
        QImage off = sw.grab().toImage();
        QVERIFY(countNear(off, Qt::blue, kTolerance) > 0);
        QCOMPARE(countNear(off, Qt::red, kTolerance), 0);
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        QImage on = sw.grab().toImage();
        QVERIFY(countNear(on, Qt::red, kTolerance) > 0);
        QCOMPARE(countNear(on, Qt::blue, kTolerance), 0);
        sw.setEnabled(false);
        QImage disabled = sw.grab().toImage();
        QVERIFY(countNear(disabled, QColor(0, 200, 0), kTolerance) > 0);
        QCOMPARE(countNear(disabled, Qt::red, kTolerance), 0);
    }

    void tracksFollowTheState()
    {
        FfSwitchButton sw;
        prepare(sw);
        // The built-in tracks: green when ON, grey when OFF.
        const QColor offCentre = sw.grab().toImage().pixelColor(45, 11);
        sw.setBtnChecked(true);
        QTRY_VERIFY(!sw.isSliding());
        const QColor onCentre = sw.grab().toImage().pixelColor(5, 11);
        QVERIFY2(onCentre.green() > onCentre.red() + 40, qPrintable(onCentre.name()));
        QVERIFY2(qAbs(offCentre.red() - offCentre.green()) < 20, qPrintable(offCentre.name()));
    }

    // ------------------------------------------------------------ GIF button

    void gifPlaysInsideTheCircle()
    {
        FfButtonGifBg button;
        button.resize(100, 100);
        button.setNormalIcon(":/widgets/rec_start.png");
        button.setGifBg(":/widgets/rec_start.gif");
        button.show();
        QLabel* label = button.pictureLabel();
        QSignalSpy clicked(&button, &FfButtonGifBg::clicked);

        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(button.isPlaying());
        QCOMPARE(button.radius(), 36);
        QVERIFY(label->movie());
        // The corner of the square lies outside the circle.
        sendMouse(label, QEvent::MouseMove, QPoint(2, 2));
        QVERIFY(!button.isPlaying());
        QVERIFY(!label->movie());
        // On the circle itself: r >= distance.
        sendMouse(label, QEvent::MouseMove, QPoint(36, 0));
        QVERIFY(button.isPlaying());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        QVERIFY(!button.isPlaying());

        sendMouse(label, QEvent::MouseMove, QPoint(30, 40));
        QVERIFY(button.isPlaying());
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(30, 40), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!button.isPlaying());
        QVERIFY(!label->pixmap(Qt::ReturnByValue).isNull());
    }

    void disabledGifButtonNeitherPlaysNorClicks()
    {
        FfButtonGifBg button;
        button.setNormalIcon(":/widgets/rec_start.png");
        button.setGifBg(":/widgets/rec_start.gif");
        QLabel* label = button.pictureLabel();
        QSignalSpy clicked(&button, &FfButtonGifBg::clicked);

        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(button.isPlaying());
        // Disabled under the pointer (the start button as a recording starts).
        button.setEnabled(false);
        QVERIFY(!button.isPlaying());
        QVERIFY(!label->movie());

        sendMouse(label, QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(!button.isPlaying());
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(36, 36), Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        button.setEnabled(true);
        sendMouse(label, QEvent::MouseButtonRelease, QPoint(36, 36), Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void gifButtonFocusOut()
    {
        FfButtonGifBg button;
        button.setGifBg(":/widgets/rec_start.gif");
        sendMouse(button.pictureLabel(), QEvent::MouseMove, QPoint(36, 36));
        QVERIFY(button.isPlaying());
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(&button, &out);
        QVERIFY(!button.isPlaying());
    }
};

QTEST_MAIN(TestSwitchButtons)
#include "tst_switchbuttons.moc"
