// The record-length panel inside a menu as the tool strip hosts it: the
// first-use form, and which ways of hiding it store the four timer keys.
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QWidgetAction>

#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "widgets/FfTimeSetting.h"

namespace {

const char* const kKeys[] = {"TimerEnable", "TimerDuration", "TimerStopEvent", "TimerRepeat"};

void forgetTimer()
{
    for (const char* key : kKeys)
        VxSettings::instance()->removeApplicationParam(QString::fromLatin1(key));
    RecordParameter::release();
}

template <typename T> T* child(QWidget* panel, const char* name)
{
    return panel->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestTimeSetting : public QObject
{
    Q_OBJECT

private:
    QPointer<QMenu> m_menu;
    QPointer<FfTimeSetting> m_panel;

    void openMenu()
    {
        m_menu = new QMenu;
        m_panel = new FfTimeSetting(m_menu);
        auto* action = new QWidgetAction(m_menu);
        action->setDefaultWidget(m_panel);
        m_menu->addAction(action);
        m_menu->popup(QPoint(10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(m_panel->isVisible(), 20000);
    }

private slots:
    void init() { forgetTimer(); }
    void cleanup() { delete m_menu.data(); }

    void firstUse()
    {
        openMenu();
        QVERIFY(!child<QCheckBox>(m_panel, "cbRecordLenth")->isChecked());
        auto* time = child<QTimeEdit>(m_panel, "timeEdit");
        QVERIFY(!time->isEnabled());
        QCOMPARE(time->time(), QTime(0, 3, 0));
        time->setTime(QTime(0, 0, 1));
        QCOMPARE(time->time(), QTime(0, 0, 3));
        QCOMPARE(child<QComboBox>(m_panel, "cbStopEvent")->currentIndex(), 0);
        QVERIFY(child<QRadioButton>(m_panel, "rbtOnce")->isChecked());
        QVERIFY(!child<QRadioButton>(m_panel, "rbtAlways")->isEnabled());
        QTest::mouseClick(child<QCheckBox>(m_panel, "cbRecordLenth"), Qt::LeftButton);
        QVERIFY(time->isEnabled() && child<QRadioButton>(m_panel, "rbtAlways")->isEnabled());
    }

    void hideStores_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<bool>("stores");
        QTest::newRow("menu closed") << "close" << true;
        QTest::newRow("menu destroyed while open") << "destroy" << false;
        QTest::newRow("language changed, then closed") << "language" << false;
    }
    void hideStores()
    {
        QFETCH(QString, cause);
        QFETCH(bool, stores);
        openMenu();
        child<QCheckBox>(m_panel, "cbRecordLenth")->click();
        child<QTimeEdit>(m_panel, "timeEdit")->setTime(QTime(0, 0, 5));
        child<QComboBox>(m_panel, "cbStopEvent")->setCurrentIndex(2);
        child<QRadioButton>(m_panel, "rbtAlways")->setChecked(true);
        QSignalSpy spy(m_panel.data(), &FfTimeSetting::statusChanged);
        if (cause == QLatin1String("destroy")) {
            delete m_menu.data();
        } else {
            if (cause == QLatin1String("language")) {
                QEvent change(QEvent::LanguageChange);
                QCoreApplication::sendEvent(m_menu, &change);
            }
            m_menu->hide();
        }
        VxSettings* settings = VxSettings::instance();
        for (const char* key : kKeys)
            QCOMPARE(settings->containsApplicationParam(QString::fromLatin1(key)), stores);
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
