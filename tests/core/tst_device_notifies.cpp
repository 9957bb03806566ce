// Engine-thread notifications reach the GUI thread through the hub: the
// Device's four callbacks, hub signals with values, and what happens when
// the DeviceManager or the hub is gone while the engine still runs.
#include <QRect>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "core/DeviceManager.h"
#include "tests/support/FakeScreencast.h"
#include "core/SignalsTransfer.h"

namespace {

// Records on which thread each hub signal arrived, and with what.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(SignalsTransfer* hub)
    {
        auto note = [this](const QString& what) {
            events << what;
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        };
        connect(hub, &SignalsTransfer::displayChange, this, [=] { note("display"); });
        connect(hub, &SignalsTransfer::audioCaptureChange, this, [=] { note("capture"); });
        connect(hub, &SignalsTransfer::audioRenderChange, this, [=] { note("render"); });
        connect(hub, &SignalsTransfer::cameraDeviceChange, this, [=] { note("camera"); });
        connect(hub, &SignalsTransfer::RREndDrag, this,
                [=](QRect r) { note(QString("rect %1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())); });
        connect(hub, &SignalsTransfer::recordErrorOccur, this, [=](int code) { note(QString("error %1").arg(code)); });
        connect(hub, &SignalsTransfer::OnTrimOK, this,
                [=](double a, double b) { note(QString("trim %1 %2").arg(a).arg(b)); });
        connect(hub, &SignalsTransfer::cameraRecordFinish, this,
                [=](bool failed) { note(QString("finish %1").arg(failed)); });
        connect(hub, &SignalsTransfer::hotKeyEnable, this, [=](bool on) { note(QString("hotkeys %1").arg(on)); });
    }
    QStringList events;
    bool onGuiThread = true;
};

} // namespace

class TstDeviceNotifies : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void deviceCallbacksArriveOnGuiThread();
    void hubSignalsFromThreadKeepTheirValues();
    void releasedManagerHearsNothing();
    void releasedHubIsNotRecreatedByEngine();
    void hubReleaseWaitsForEngineEmission();
};

void TstDeviceNotifies::init()
{
    FakeScreencast::reset();
}

void TstDeviceNotifies::cleanup()
{
    DeviceManager::release();
    SignalsTransfer::release();
}

void TstDeviceNotifies::deviceCallbacksArriveOnGuiThread()
{
    Receiver receiver(SignalsTransfer::instance());
    DeviceManager::instance();
    QVERIFY(FakeScreencast::deviceListener() != nullptr);

    FakeScreencast::fireDisplayChanged();
    FakeScreencast::fireAudioCaptureChanged();
    FakeScreencast::fireAudioRenderChanged();
    FakeScreencast::fireVideoCaptureChanged();
    // Each fire joined its engine thread: the signals are queued, not run.
    QVERIFY(receiver.events.isEmpty());

    QTRY_COMPARE(receiver.events, (QStringList{"display", "capture", "render", "camera"}));
    QVERIFY(receiver.onGuiThread);
}

void TstDeviceNotifies::hubSignalsFromThreadKeepTheirValues()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    Receiver receiver(hub);
    std::thread engine([hub] {
        emit hub->RREndDrag(QRect(10, 20, 300, 200));
        emit hub->recordErrorOccur(SR_WindowClosed);
        emit hub->OnTrimOK(1.5, 12.25);
        emit hub->cameraRecordFinish(true);
        emit hub->hotKeyEnable(false);
    });
    engine.join();
    QVERIFY(receiver.events.isEmpty());
    QTRY_COMPARE(receiver.events, (QStringList{"rect 10,20,300,200", "error 5", "trim 1.5 12.25",
                                               "finish 1", "hotkeys 0"}));
    QVERIFY(receiver.onGuiThread);
}

void TstDeviceNotifies::releasedManagerHearsNothing()
{
    Receiver receiver(SignalsTransfer::instance());
    DeviceManager::instance();
    FakeScreencast::clearCalls();
    DeviceManager::release();

    // The listener is taken back from the engine before the Device goes.
    QCOMPARE(FakeScreencast::callsOf("RegisterDeviceNotifies"), QStringList{"RegisterDeviceNotifies(null)"});
    QVERIFY(FakeScreencast::deviceListener() == nullptr);

    FakeScreencast::fireDisplayChanged();
    FakeScreencast::fireVideoCaptureChanged();
    QTest::qWait(50);
    QVERIFY(receiver.events.isEmpty());

    // A new manager registers a new listener that works again.
    DeviceManager::instance();
    QVERIFY(FakeScreencast::deviceListener() != nullptr);
    FakeScreencast::fireDisplayChanged();
    QTRY_COMPARE(receiver.events, QStringList{"display"});
}

void TstDeviceNotifies::releasedHubIsNotRecreatedByEngine()
{
    // Shutdown releases the hub while the engine may still notify (a
    // DeviceManager made again by a late caller stays registered until the
    // engine stops).
    SignalsTransfer::instance();
    DeviceManager::instance();
    SignalsTransfer::release();

    FakeScreencast::fireDisplayChanged();
    FakeScreencast::fireAudioCaptureChanged();
    FakeScreencast::fireAudioRenderChanged();
    FakeScreencast::fireVideoCaptureChanged();
    QVERIFY(!SignalsTransfer::existing());

    // Stopping the engine after that is quiet as well.
    DeviceManager::release();
    uninitScreencast();
    QVERIFY(!SignalsTransfer::existing());
}

void TstDeviceNotifies::hubReleaseWaitsForEngineEmission()
{
    SignalsTransfer::instance();
    std::promise<void> holding;
    std::atomic<bool> emitted{false};
    std::thread engine([&] {
        auto hub = SignalsTransfer::existing();
        holding.set_value();
        // Give release() every chance to run into the emission.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        emit hub->displayChange();
        emitted = true;
    });
    holding.get_future().wait();
    SignalsTransfer::release();
    QVERIFY(emitted);
    engine.join();
    QVERIFY(!SignalsTransfer::existing());
}

QTEST_MAIN(TstDeviceNotifies)
#include "tst_device_notifies.moc"
