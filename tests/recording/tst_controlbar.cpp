// The recording control bar against the engine double, its tick driven by hand
// on an injected clock, boxes and the preview answered by the modal driver.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <thread>

#include <time.h>

#include "app/SystemStatusBar.h"
#include "capture/DlgPaintToScreen.h"
#include "core/CEIPWrapper.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"
#include "recording/ScreenRecorder.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/SessionHelpers.h"
#include "tests/support/WidgetTestHelpers.h"

using testsupport::historyHead;

namespace {

const qint64 kThreshold = 0xFFFFFFFFLL;   // free space that stops a recording

int historyCount() { return VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList().size(); }

// The recording results (telemetry 5002) written so far.
QList<int> results()
{
    QList<int> found;
    for (const QByteArray& line : testsupport::readFile(CEIPWrapper::instance()->telemetryFilePath()).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("id").toInt() == 5002)
            found << o.value("data").toObject().value("key_Recording_Result").toInt();
    }
    return found;
}

} // namespace

class TstControlBar : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        // As the home window does: the bar is discarded later, never inside
        // its own stop handling.
        connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, this, [this] {
            ++m_nStops;
            if (m_bar)
                m_bar->deleteLater();
        });
    }

    void init()
    {
        FakeScreencast::reset();
        RecordParameter* rp = RecordParameter::instance();
        testsupport::resetSession();
        rp->m_bRecBarHidden = false;
        rp->setVideoEnable(true);
        rp->setWindowRecord(false);
        rp->setWindowModle(0);
        rp->chooseVideoContent(true);
        rp->setMicEnable(false);
        rp->setSysAudioEnable(false);
        rp->setCamerastream(false);
        rp->setOnlyRecordCamera(false);
        rp->setVideoRect(QRect(0, 0, 320, 240));
        rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_Medium);
        rp->setUsedVideoFmt(RP_Format_MP4);
        rp->setAutoSave(true);
        rp->setTimerEnable(false);
        VxSettings::instance()->removeApplicationParam("Path/SavefilesHistroy");
        QDir(Utils::getVideoOutputPath()).removeRecursively();
        // As after the home window's offer: no earlier recording is kept.
        UnsavedRecording::forget();
        m_nowMs = 1000000;   // any origin: only differences count
        m_bSystemClock = false;
        m_nStops = m_nPreviews = 0;
        m_boxes.clear();
    }

    void cleanup()
    {
        if (m_bar) {
            testsupport::resetSession();
            delete m_bar.data();
        }
        flushDeletes();
        ScreenRecorder::instance()->stop();
        TaskManage::release();
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 5000);
        QVERIFY(SystemStatusBar::instance()->actionEnable());
    }

    void clockAndPause()
    {
        QVERIFY(startBar());
        FakeScreenRecorder* engine = FakeScreencast::screenRecorder();
        QVERIFY(engine && engine->started);
        tick(999);
        QCOMPARE(length(), QString("00:00:00"));
        tick(1);
        QCOMPARE(length(), QString("00:00:01"));

        // Paused at 2.7 s: paused time does not count, and a second pause
        // (hotkey and button) does not count the stretch twice.
        m_nowMs += 1700;
        QTest::mouseClick(button("btnPause"), Qt::LeftButton);
        QVERIFY(engine->paused && RecordParameter::instance()->m_bPaused);
        m_nowMs += 50000;
        QMetaObject::invokeMethod(m_bar, "onBtnPauseClicked");
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::pause"), 1);
        QTest::mouseClick(button("btnResume"), Qt::LeftButton);
        QVERIFY(!engine->paused && !RecordParameter::instance()->m_bPaused);
        // Each stretch counts in whole seconds: 2 + 1.
        tick(1600);
        QCOMPARE(length(), QString("00:00:03"));
        // Past a day, where a wall-clock time of day would wrap.
        tick(qint64(25) * 3600 * 1000);
        QCOMPARE(length(), QString("25:00:03"));
        QVERIFY(recording());
    }

    void firstTickReadsTheFirstSecond()
    {
        m_bSystemClock = true;
        QVERIFY(startBar());
        auto* size = m_bar->findChild<QLabel*>("lblSize");
        QTRY_VERIFY_WITH_TIMEOUT(!size->text().isEmpty(), 20000);   // the first tick ran
        QVERIFY2(length() != "00:00:00", "the first tick came before the first second");
    }

    void unknownFreeSpaceStopsNothing()
    {
        QVERIFY(startBar());
        FakeScreencast::failNext("GetFileSystemFreeSize");
        tick(1000);
        QCOMPARE(FakeScreencast::callCount("GetFileSystemFreeSize"), 1);
        QVERIFY(recording() && !QApplication::activeModalWidget());
    }

    void diskCheckEveryFiveSecondsAtTheThreshold()
    {
        QVERIFY(startBar());
        FakeScreencast::setFreeSpace(kThreshold + 1);
        tick(1000);   // second 1: read, one byte above the limit
        FakeScreencast::setFreeSpace(kThreshold);
        for (int s = 2; s <= 5; ++s)
            tick(1000);
        QVERIFY(recording());
        QCOMPARE(FakeScreencast::callCount("GetFileSystemFreeSize"), 1);

        ModalDriver driver;
        answerAnything(driver, true);   // the warning
        answerAnything(driver, true);   // the preview saves what was recorded
        tick(1000);   // second 6: at the limit
        DRIVER_DONE(driver, 30000);
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes.first().contains("insufficient recording space"), qPrintable(m_boxes.first()));
        QCOMPARE(m_nPreviews, 1);
        QCOMPARE(historyCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
    }

    void escStopsEvenWhileTheButtonIsLocked()
    {
        QVERIFY(startBar());
        tick(1000);
        QVERIFY(!button("btnStop")->isEnabled());
        ModalDriver driver;
        answerAnything(driver, true);
        QTest::keyClick(m_bar, Qt::Key_Escape);
        DRIVER_DONE(driver, 30000);
        QVERIFY(!recording());
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
    }

    void stopSavesAutomatically()
    {
        QVERIFY(startBar(2048));
        const QString temp = tempPath();
        stopAnswered();
        QCOMPARE(m_nPreviews, 1);
        QVERIFY(m_boxes.isEmpty());

        // One file in the output folder, entered at the head of the history.
        const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Video_*.mp4"}, QDir::Files);
        QCOMPARE(saved.size(), 1);
        QCOMPARE(historyHead().mid(2), (QStringList{"1", "320*240", "00:00:03", "2.00KB"}));
        QCOMPARE(historyHead().value(0), saved.first());
        QVERIFY(!QFile::exists(temp));
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_bar, 30000);   // discarded by the receiver, later
        QVERIFY(!RecordParameter::instance()->m_bRecording);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCOMPARE(results().value(results().size() - 1), 1);
    }

    void stopWithoutSaveAndSecondStops()
    {
        RecordParameter::instance()->setAutoSave(false);
        QVERIFY(startBar());
        QPointer<VideoRecCtlWdg> bar = m_bar;
        ModalDriver driver;
        driver.expect([this, bar](QWidget* modal) {
            ++m_nPreviews;
            // Stop requests while the preview is open: hotkey, Esc, the tick.
            bar->onBtnStopClicked();
            QTest::keyClick(bar, Qt::Key_Escape);
            m_nowMs += 10000;
            QMetaObject::invokeMethod(bar, "onShowMessage");
            ModalDriver::forceClose(modal); // closed without saving
        });
        bar->onBtnStopClicked();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(m_nPreviews, 1);
        QCOMPARE(historyCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
    }

    // A stop runs no loop inside its caller: it returns with its window
    // open (the preview, or the box of nothing recorded), stop requests then
    // change nothing, and the road goes on once the window is gone.
    void stopReturnsWithItsWindowOpen_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("save");
        QTest::newRow("preview saves") << qint64(4096) << true;
        QTest::newRow("preview closed") << qint64(4096) << false;
        QTest::newRow("nothing recorded") << qint64(0) << false;
    }

    void stopReturnsWithItsWindowOpen()
    {
        QFETCH(qint64, bytes);
        QFETCH(bool, save);
        RecordParameter* rp = RecordParameter::instance();
        rp->setAutoSave(false);
        QVERIFY(startBar(bytes));
        QObject scope;
        int histories = 0;
        bool windowGoneAtStop = false;
        SignalsTransfer* hub = SignalsTransfer::instance();
        connect(hub, &SignalsTransfer::showHistory, &scope, [&histories] { ++histories; });
        connect(hub, &SignalsTransfer::recordStop, &scope,
                [&windowGoneAtStop, rp] { windowGoneAtStop = !rp->m_bPreviewing && !QApplication::activeModalWidget(); });

        QVERIFY2(testsupport::returnsWithoutLoop([this] { m_bar->onBtnStopClicked(); }),
                 "the stop ran an event loop inside its caller");
        QPointer<QWidget> window = QApplication::activeModalWidget();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->objectName(), QString(bytes > 0 ? "DlgVideoClip" : "VxMessageBox"));
        QCOMPARE(rp->m_bPreviewing, bytes > 0);
        QVERIFY(!rp->m_bRecording && m_bar && m_bar->isHidden());
        QVERIFY(!SystemStatusBar::instance()->actionEnable() || bytes > 0);

        // The start/stop hotkey, Esc and the tick while it is open.
        m_bar->onBtnStopClicked();
        QTest::keyClick(m_bar, Qt::Key_Escape);
        tick(10000);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), window.data());
        QCOMPARE(m_nStops, 0);
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);

        if (save)
            QTest::mouseClick(window->findChild<QPushButton*>("btnSave"), Qt::LeftButton);
        else if (auto* box = qobject_cast<VxMessageBox*>(window.data()))
            box->button(QMessageBox::Ok)->click();
        else
            static_cast<QDialog*>(window.data())->done(QDialog::Rejected);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
        QVERIFY2(windowGoneAtStop, "the road went on before its window was gone");
        QVERIFY(!window);
        QCOMPARE(histories, save ? 1 : 0);
        QCOMPARE(historyCount(), save ? 1 : 0);
        QVERIFY(SystemStatusBar::instance()->actionEnable());
        QTRY_VERIFY_WITH_TIMEOUT(!m_bar, 30000);
    }

    void missingOrEmptyFileReportsWriteFailure_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("missing") << qint64(-1);
        QTest::newRow("empty") << qint64(0);
    }

    void missingOrEmptyFileReportsWriteFailure()
    {
        QFETCH(qint64, bytes);
        QVERIFY(startBar(bytes));
        stopAnswered();
        QCOMPARE(m_nPreviews, 0);   // no preview of nothing
        QCOMPARE(m_boxes, QStringList{"File writing failed!"});
        QCOMPARE(historyCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
        QCOMPARE(results().value(results().size() - 1, -1), 0);
    }

    void engineErrorFromAThreadShowsItsMessage_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("cause");
        QTest::addColumn<QByteArray>("reason");   // the engine's words
        QTest::addColumn<QString>("message");
        const QString tail = " You can preview and save the recorded content (error code: %1).";
        const QByteArray none;
        QTest::newRow("2") << 2 << 0 << none << "File writing failed!" + tail.arg(3002);
        QTest::newRow("7 unknown") << 7 << 0 << none << "Unknown error!" + tail.arg(3001);
        QTest::newRow("6 microphone") << 6 << int(SR_CauseMicrophoneLost) << none << "Microphone interruption!" + tail.arg(2001);
        QTest::newRow("6 system sound") << 6 << int(SR_CauseSystemSoundLost) << none << "System sound interruption!" + tail.arg(2001);
        QTest::newRow("6 sound server") << 6 << int(SR_CauseSoundServerLost) << none << "The sound server stopped!" + tail.arg(2001);
        QTest::newRow("1 screen size") << 1 << int(SR_CauseScreenChanged) << none << "The screen size changed!" + tail.arg(3001);
        QTest::newRow("1 unknown cause") << 1 << 99 << none << "Unknown error!" + tail.arg(3001);
        // The engine's reason takes the table's place; the code stays.
        QTest::newRow("2 disk full") << 2 << 0 << QByteArray("The disk is full.") << "The disk is full." + tail.arg(3002);
        QTest::newRow("2 read-only") << 2 << 0 << QByteArray("The folder /mnt/rec is read-only.")
                                     << "The folder /mnt/rec is read-only." + tail.arg(3002);
        QTest::newRow("6 with cause") << 6 << int(SR_CauseSoundServerLost) << QByteArray("The sound server stopped.")
                                      << "The sound server stopped." + tail.arg(2001);
    }

    void engineErrorFromAThreadShowsItsMessage()
    {
        QFETCH(int, code);
        QFETCH(int, cause);
        QFETCH(QByteArray, reason);
        QFETCH(QString, message);
        QVERIFY(startBar());
        tick(2000);
        QThread* boxThread = nullptr;
        bool refused = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            boxThread = QThread::currentThread();
            refused = pauseAndResumeRefused();
            m_boxes << ModalDriver::describe(modal).text;
            qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        answerAnything(driver, true);   // what was recorded goes to the preview

        // The double calls the recorder's callback on a std::thread.
        FakeScreencast::screenRecorder()->fireError(SRErrorCode(code), cause, reason);
        DRIVER_DONE(driver, 30000);
        QCOMPARE(boxThread, qApp->thread());
        QVERIFY(refused);
        QCOMPARE(m_boxes, QStringList{"Recording is interrupted. " + message});
        QCOMPARE(m_nPreviews, 1);
        QCOMPARE(historyCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
    }

    void errorAfterTheUserStoppedIsIgnored()
    {
        RecordParameter::instance()->setAutoSave(false);
        QVERIFY(startBar());
        ModalDriver driver;
        driver.expect([this](QWidget* modal) {
            ++m_nPreviews;
            // The error queued before the stop is delivered in here.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            ModalDriver::forceClose(modal);
        });
        // Raised on an engine thread just before the user's stop.
        std::thread engine([] {
            if (auto hub = SignalsTransfer::existing())
                emit hub->recordErrorOccur(SR_BufferFull);
        });
        engine.join();
        m_bar->onBtnStopClicked();
        DRIVER_DONE(driver, 30000);   // no box: an unexpected modal is a failure
        QCOMPARE(m_nPreviews, 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);

        // And once the bar is gone, a late error reaches nothing.
        flushDeletes();
        QVERIFY(!m_bar);
        emit SignalsTransfer::instance()->recordErrorOccur(SR_FileWriteFailed);
        QTest::qWait(20);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void barDestroyedWhileItsErrorBoxIsOpen()
    {
        QVERIFY(startBar());
        ModalDriver driver;
        driver.expect([this](QWidget* modal) {
            // The frame window goes away while the box is open.
            delete m_bar.data();
            m_boxes << ModalDriver::describe(modal).text;
            qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        emit SignalsTransfer::instance()->recordErrorOccur(SR_WindowClosed);
        DRIVER_DONE(driver, 30000);
        QTest::qWait(20);   // the 1 ms stop must not run on the deleted bar
        QVERIFY(!m_bar);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_nStops, 0);
        QVERIFY(!recording());
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    void stopRequestDuringTheDiskWarning()
    {
        QVERIFY(startBar());
        FakeScreencast::setFreeSpace(1024);
        ModalDriver driver;
        QPointer<VideoRecCtlWdg> bar = m_bar;
        bool refused = false;
        driver.expect([this, bar, &refused](QWidget* modal) {
            m_boxes << ModalDriver::describe(modal).text;
            refused = pauseAndResumeRefused();
            // The start/stop hotkey while the warning is open: the stop runs
            // (with its preview) and the bar is discarded.
            bar->onBtnStopClicked();
            flushDeletes();
        });
        answerAnything(driver, true);   // the preview of that stop
        answerAnything(driver, true);   // the warning again: Ok
        tick(1000);
        DRIVER_DONE(driver, 30000);
        QVERIFY(refused);
        QCOMPARE(m_nPreviews, 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
        flushDeletes();
        QVERIFY(!m_bar);
    }

    void snapshotFliesOut()
    {
        QVERIFY(startBar());
        QTest::mouseClick(button("btnSnapshot"), Qt::LeftButton);
        QVERIFY(historyHead().value(0).startsWith("Snapshot_"));
        QVERIFY(QFile::exists(historyHead().value(1)));
        // The fly-out runs without a local event loop and goes away by itself.
        QVERIFY(m_bar->findChild<DlgPaintToScreen*>());
        QTRY_VERIFY_WITH_TIMEOUT(!m_bar->findChild<DlgPaintToScreen*>(), 5000);

        // Stopped while a fly-out plays: the stop returns at once (the fly-out
        // holds no loop) and the animation's end never reaches the deleted bar.
        m_bar->onSnapshot();
        QVERIFY(m_bar->findChild<DlgPaintToScreen*>());
        stopAnswered();
        flushDeletes();
        QVERIFY(!m_bar);
        QTest::qWait(400);
    }

    // A look changed before any tool: announced with no tool, it starts no
    // drawing and leaves the bar free to hide; with a tool it restarts it.
    void lookChangedWithoutATool()
    {
        QVERIFY(startBar());
        QTest::mouseClick(button("btnEdit"), Qt::LeftButton);
        QTest::mouseClick(button("btnPalette5"), Qt::LeftButton);
        QVERIFY(button("btnHide")->isEnabled());
        QCOMPARE(FakeScreencast::callCount("CScreenCanvasObject::start"), 0);
        QTest::mouseClick(button("btnPen"), Qt::LeftButton);
        QTest::mouseClick(button("btnSizeLarge"), Qt::LeftButton);
        QVERIFY(!button("btnHide")->isEnabled());
        const QStringList starts = FakeScreencast::callsOf("CScreenCanvasObject::start");
        QCOMPARE(starts.size(), 2);
        QVERIFY2(starts.last().endsWith(", 8)"), qPrintable(starts.last()));
    }

    void audioOnlyRecording()
    {
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(false);
        rp->chooseVideoContent(false);
        rp->setMicEnable(true);
        rp->setAutoSave(false);
        QVERIFY(startBar(-1));
        QVERIFY(FakeScreencast::audioRecorder() && !FakeScreencast::screenRecorder());
        // No picture to take or draw on: the level meter stands in their place.
        QVERIFY(button("btnSnapshot")->isHidden() && button("btnEdit")->isHidden());
        QVERIFY(m_bar->findChild<QWidget*>("ledLevels"));

        // Nothing recorded: reported, no preview.
        FakeScreencast::setAudioRecordDuration(0.0);
        stopAnswered(false);
        QCOMPARE(m_boxes, QStringList{"File writing failed!"});
        QCOMPARE(m_nPreviews, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_nStops, 1, 30000);
    }

    void destroyingARunningBarStopsTheEngine()
    {
        QVERIFY(startBar());
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);
        delete m_bar.data();
        QVERIFY(!recording());
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCOMPARE(m_nStops, 0);
    }

    // The stop road as the session hears it: stopping, the preview, its
    // save, and idle before the end is announced.
    void stopRoadReportsEachState()
    {
        using S = RecordingSession;
        QVERIFY(startBar(2048));
        RecordingSession* session = RecordingSession::instance();
        QList<int> states;
        int stateAtEnd = -1;
        connect(session, &RecordingSession::stateChanged, this, [&](RecordingSession::State state) { states << state; });
        const QMetaObject::Connection atEnd = connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, this,
                                                      [&] { stateAtEnd = session->state(); });
        stopAnswered();
        session->disconnect(this);
        disconnect(atEnd);
        QCOMPARE(states, (QList<int>{S::Session_Stopping, S::Session_Previewing, S::Session_Saving,
                                     S::Session_Previewing, S::Session_Idle}));
        QCOMPARE(stateAtEnd, int(S::Session_Idle));
        QCOMPARE(m_nStops, 1);
    }

    // The bar goes while it reports that nothing was recorded: the road
    // ends with it, nothing is left stopping for the next start to trip on.
    void barDestroyedInItsStopRoad()
    {
        QVERIFY(startBar(0));
        int stateInBox = -1;
        ModalDriver driver;
        driver.expect([this, &stateInBox](QWidget* modal) {
            stateInBox = RecordingSession::instance()->state();
            delete m_bar.data();
            qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        m_bar->onBtnStopClicked();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(stateInBox, int(RecordingSession::Session_Stopping));
        QVERIFY(!m_bar);
        QCOMPARE(m_nStops, 0);
        QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle));
    }

private:
    // A bar whose recording runs (prepared, started, shown), as the home
    // window leaves it. The temp file holds `bytes` (none: no file).
    VideoRecCtlWdg* startBar(qint64 bytes = 4096);
    void tick(qint64 ms);
    // Stops with the bar's button; the driver answers what comes; returns
    // once the stop has ended.
    void stopAnswered(bool previewSaves = true);
    QToolButton* button(const char* name) const { return m_bar->findChild<QToolButton*>(name); }
    QString length() const { return m_bar->findChild<QLabel*>("lblLength")->text(); }
    // A step that answers whatever comes: boxes get Ok (texts kept), an auto-saving preview
    // saves, any other preview is closed unsaved.
    void answerAnything(ModalDriver& driver, bool previewSaves);
    QString tempPath() const { return ScreenRecorder::instance()->getTmpFilePath(); }
    bool recording() const { return RecordParameter::instance()->m_bRecording; }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    // Pause and resume asked for (hotkey) while a box is open: both refused.
    bool pauseAndResumeRefused()
    {
        const int before = FakeScreencast::callCount("CScreenRecoderObject::resume");
        m_bar->pauseOrResume();
        const bool paused = RecordParameter::instance()->m_bPaused;
        m_bar->pauseOrResume();
        return !paused && FakeScreencast::callCount("CScreenRecoderObject::resume") == before;
    }

    QPointer<VideoRecCtlWdg> m_bar;
    bool m_bSystemClock = false;   // the next bar runs on the system's clock
    qint64 m_nowMs = 0;
    // recordStop() comes from the event loop once the stop's last window
    // has closed: waited for, never read at once.
    int m_nStops = 0;
    QStringList m_boxes;       // texts of the boxes answered
    int m_nPreviews = 0;
};

VideoRecCtlWdg* TstControlBar::startBar(qint64 bytes)
{
    m_bar = new VideoRecCtlWdg();
    if (!m_bSystemClock)
        m_bar->setClock([this] { return m_nowMs; });
    if (!m_bar->initRecord())
        return nullptr;
    if (bytes >= 0 && !testsupport::writeFile(tempPath(), QByteArray(int(bytes), 'v')))
        return nullptr;
    MediaFileInfo info{};
    info.duration = 3.2;
    info.hasVideo = 1;
    info.width = 320;
    info.height = 240;
    FakeScreencast::setMediaInfo(tempPath(), info);
    testsupport::driveSession(RecordingSession::Session_Recording);   // the home window's part
    if (m_bSystemClock) {
        // Started 20-45 ms past a whole second: a coarse one-second timer rounds its first
        // timeout down to it, 20-45 ms early.
        auto phaseMs = [] {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            return now.tv_nsec / 1000000;
        };
        while (phaseMs() < 20 || phaseMs() >= 45)
            QThread::usleep(500);
    }
    m_bar->start();
    m_bar->show();
    FakeScreencast::clearCalls();
    return m_bar;
}

void TstControlBar::tick(qint64 ms)
{
    m_nowMs += ms;
    QVERIFY(QMetaObject::invokeMethod(m_bar, "onShowMessage"));
}

void TstControlBar::stopAnswered(bool previewSaves)
{
    const int stops = m_nStops;
    ModalDriver driver;
    answerAnything(driver, previewSaves);
    m_bar->onBtnStopClicked();
    DRIVER_DONE(driver, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(m_nStops, stops + 1, 30000);
}

void TstControlBar::answerAnything(ModalDriver& driver, bool previewSaves)
{
    driver.expect([this, previewSaves](QWidget* modal) {
        if (modal->inherits("DlgVideoClip")) {
            ++m_nPreviews;
            if (!previewSaves)
                return ModalDriver::forceClose(modal);
            // Held until the preview has saved and closed itself, so that
            // the driver's next step goes to the next modal, not to it.
            QPointer<QWidget> preview(modal);
            (void)QTest::qWaitFor([preview] { return !preview || !preview->isVisible(); }, 10000);
            return;
        }
        m_boxes << ModalDriver::describe(modal).text;
        auto* box = qobject_cast<VxMessageBox*>(modal);
        if (box && box->button(QMessageBox::Ok))
            return box->button(QMessageBox::Ok)->click();
        ModalDriver::forceClose(modal);
    });
}

QTEST_MAIN(TstControlBar)
#include "tst_controlbar.moc"
