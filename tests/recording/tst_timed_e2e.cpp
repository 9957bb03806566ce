// A timed recording with the real engine, after the start countdown, ends by itself
// at its length; the timer is off again, and the end action reaches the power interface.
#include <QApplication>
#include <QtTest>

#include <memory>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/ShowPicture.h"
#include "core/RecordingSession.h"
#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "schedule/PowerAction.h"
#include "schedule/TaskManage.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/HomeE2e.h"
#include "tests/support/media/TestMedia.h"
#include "tests/support/ModalDriver.h"

using namespace testsupport;

namespace {

const QRect kRegion(200, 150, 320, 240);
const int kLong = 30000;

struct PowerLog : IPowerAction
{
    QStringList* calls;
    explicit PowerLog(QStringList* log) : calls(log) {}
    bool shutdown() override { return *calls << "shut down", true; }
    bool sleep() override { return *calls << "sleep", true; }
};

} // namespace

class TstTimedE2e : public QObject
{
    Q_OBJECT

private slots:
    void timedRecordingEndsAndShutsDown()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QApplication::setQuitOnLastWindowClosed(false);
        VxSettings* settings = VxSettings::instance();
        for (const char* key : {"Video/AudioEnable", "Video/MicEnable", "CameraEnable"})
            settings->setApplicationParam(key, false);
        settings->setApplicationParam("CountDown", true);
        ShowPicture::setDurations(900, 100);   // the installed pictures, about a second in all
        settings->setApplicationParam("HotkeyRemind", true);
        QStringList powerCalls;
        TaskManage::instance()->setPowerAction(std::unique_ptr<IPowerAction>(new PowerLog(&powerCalls)));
        TaskManage::instance()->setCountdownTickInterval(20);

        std::unique_ptr<MainWindowBase> frame(new MainWindowBase(nullptr));
        MainWindow* home = showVideoPage(frame.get(), RP_Quality_Medium, kLong);
        QVERIFY(home);
        RecordParameter* rp = RecordParameter::instance();
        rp->setTimerEnable(true);
        rp->setTimerDuration(QTime(0, 0, 3));
        rp->setTimerStopEvent(RecStopEvent_ShutDown);
        rp->setTimerRepeat(false);
        home->onEndSelectRegion(kRegion);
        QDir(Utils::getVideoOutputPath()).removeRecursively();

        // No stop from here: the length alone ends it, the preview saves by
        // itself, and the end action waits for its countdown to run out.
        ModalDriver driver(kLong);
        QStringList callsWhileCounting;
        auto closesByItself = [&](QWidget* modal) {
            QPointer<QWidget> open(modal);
            callsWhileCounting = powerCalls;
            (void)QTest::qWaitFor([&open] { return !open || !open->isVisible(); }, kLong);
        };
        driver.expect(closesByItself, "DlgVideoClip");
        driver.expect(closesByItself, "DlgAutoShutdownTips");
        home->onBtnRecClicked();
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Recording), kLong);
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        DRIVER_DONE(driver, kLong);
        QVERIFY(callsWhileCounting.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(powerCalls, QStringList{"shut down"}, kLong);
        QVERIFY(!settings->applicationParam("TimerEnable").toBool());   // once only

        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"*.mp4"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        const testmedia::Probe facts = testmedia::probe(Utils::getVideoOutputPath() + "/" + saved.first());
        QVERIFY(facts.ok);
        // One frame either way, and what the engine needs to start capturing.
        QVERIFY2(facts.duration >= 2.5 && facts.duration <= 3.0 + 1.0 / 30 + 0.5,
                 qPrintable(QString::number(facts.duration)));
    }
};

QTEST_MAIN(TstTimedE2e)
#include "tst_timed_e2e.moc"
