// The record-length panel in a menu as the tool strip hosts it: its
// first-use form, and which ways of hiding it store the four timer keys.
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QRadioButton>
#include <QtTest>
#include <QTimeEdit>
#include <QWidgetAction>

#include <memory>

#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "widgets/FfTimeSetting.h"

class TestTimeSetting : public QObject
{
    Q_OBJECT

private slots:
    void hideStores_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::newRow("menu closed") << "close";
        QTest::newRow("menu destroyed while open") << "destroy";
        QTest::newRow("language changed, then closed") << "language";
    }
    void hideStores()
    {
        QFETCH(QString, cause);
        VxSettings* settings = VxSettings::instance();
        const QStringList keys{"TimerEnable", "TimerDuration", "TimerStopEvent", "TimerRepeat"};
        for (const QString& key : keys)
            settings->removeApplicationParam(key);
        RecordParameter::release();
        std::unique_ptr<QMenu> menu(new QMenu);
        auto* panel = new FfTimeSetting(menu.get());
        auto* action = new QWidgetAction(menu.get());
        action->setDefaultWidget(panel);
        menu->addAction(action);
        menu->popup(QPoint(10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 20000);

        auto* box = panel->findChild<QCheckBox*>("cbRecordLenth");
        auto* time = panel->findChild<QTimeEdit*>("timeEdit");
        auto* event = panel->findChild<QComboBox*>("cbStopEvent");
        auto* always = panel->findChild<QRadioButton*>("rbtAlways");
        QVERIFY(!box->isChecked() && !time->isEnabled() && !always->isEnabled() && !always->isChecked());
        QCOMPARE(time->time(), QTime(0, 3));
        QCOMPARE(event->currentIndex(), 0);
        time->setTime(QTime(0, 0, 1));
        QCOMPARE(time->time(), QTime(0, 0, 3));
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(time->isEnabled() && always->isEnabled());
        time->setTime(QTime(0, 0, 5));
        event->setCurrentIndex(2);
        always->setChecked(true);

        QSignalSpy spy(panel, &FfTimeSetting::statusChanged);
        if (cause == "destroy") {
            menu.reset();
        } else {
            QEvent change(QEvent::LanguageChange);
            if (cause == "language")
                QCoreApplication::sendEvent(menu.get(), &change);
            menu->hide();
        }
        const bool stores = cause == "close";
        for (const QString& key : keys)
            QCOMPARE(settings->containsApplicationParam(key), stores);
        QCOMPARE(spy.count(), stores ? 1 : 0);
        if (!stores)
            return;
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        RecordParameter::release();
        RecordParameter* rp = RecordParameter::instance();
        QVERIFY(rp->timerEnable() && rp->TimerRepeat());
        QCOMPARE(rp->timerDuration(), QTime(0, 0, 5));
        QCOMPARE(int(rp->timerStopEvent()), 2);
    }
};

QTEST_MAIN(TestTimeSetting)
#include "tst_timesetting.moc"
