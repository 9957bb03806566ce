// The recording control bar against the engine double: the tick driven by
// hand with an injected monotonic clock, free space, sizes and media facts
// from the double, boxes and the preview answered by the modal driver.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <thread>

#include "core/CEIPWrapper.h"
#include "capture/DlgPaintToScreen.h"
#include "tests/support/FakeScreencast.h"
#include "capture/FfColor.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "recording/VideoRecCtlWdg.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

using testsupport::ScriptedTaskClient;

namespace {

const qint64 kThreshold = 0xFFFFFFFFLL;   // free space that stops a recording
const qint64 kPlenty = 100LL << 30;

QStringList historyHead()
{
    const QVariantList list = VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList();
    return list.isEmpty() ? QStringList() : list.first().toStringList();
}

int historyCount()
{
    return VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList().size();
}

// Telemetry events of this run, in order, as (id, data).
QList<QPair<int, QJsonObject>> telemetry()
{
    QList<QPair<int, QJsonObject>> events;
    QFile file(CEIPWrapper::instance()->telemetryFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains("id"))
            events << qMakePair(o.value("id").toInt(), o.value("data").toObject());
    }
    return events;
}

QString boxText(QWidget* modal)
{
    return ModalDriver::describe(modal).text;
}

bool isPreview(QWidget* modal)
{
    return modal->inherits("DlgVideoClip");
}

} // namespace

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

class TstControlBar : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clockAndPause();
    void sizeAndFreeSpaceTexts();
    void stopLockOpensAfterFourSeconds();
    void diskCheckEveryFiveSecondsAtTheThreshold();
    void gifLimitStopsAndAlwaysSaves();
    void lengthStopRules_data();
    void lengthStopRules();
    void forbiddenPlayerStopsThenWarns();
    void escStopsEvenWhileTheButtonIsLocked();
    void escWhileDrawingLeavesDrawingOnly();
    void editOnlyForAreaAndExcludeRecordings_data();
    void editOnlyForAreaAndExcludeRecordings();
    void regionDragHidesTheBar();
    void stopSavesAutomatically();
    void stopWithoutSaveAndSecondStops();
    void missingOrEmptyFileReportsWriteFailure_data();
    void missingOrEmptyFileReportsWriteFailure();
    void engineErrorFromAThreadShowsItsMessage_data();
    void engineErrorFromAThreadShowsItsMessage();
    void errorAfterTheUserStoppedIsIgnored();
    void barDestroyedWhileItsErrorBoxIsOpen();
    void stopRequestDuringTheDiskWarning();
    void snapshotEntersHistoryAndFliesOut();
    void audioOnlyRecording();
    void destroyingARunningBarStopsTheEngine();

private:
    // A bar whose recording runs (prepared, started, shown), as the home
    // window leaves it. The temp file holds `bytes` (none: no file).
    VideoRecCtlWdg* startBar(qint64 bytes = 4096);
    void tick(qint64 ms);
    QLabel* label(const char* name) const { return m_bar->findChild<QLabel*>(name); }
    QToolButton* button(const char* name) const { return m_bar->findChild<QToolButton*>(name); }
    FfColor* toolBar() const { return m_bar->findChild<FfColor*>("frameEdit"); }
    // A step that answers whatever comes: boxes get Ok (their texts are
    // kept), an auto-saving preview is left to save, any other preview is
    // closed without saving.
    void answerAnything(ModalDriver& driver, bool previewSaves);
    QString tempPath() const { return ScreenRecorder::instance()->getTmpFilePath(); }
    bool recording() const { return RecordParameter::instance()->m_bRecording; }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QPointer<VideoRecCtlWdg> m_bar;
    qint64 m_nowMs = 0;
    int m_nStops = 0;
    int m_nHistoryShows = 0;
    QStringList m_boxes;       // texts of the boxes answered
    QStringList m_previews;    // previews seen
    ScriptedTaskClient* m_pTaskClient = nullptr;
};

void TstControlBar::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    // As the home window does: the bar is discarded later, never inside
    // its own stop handling.
    connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, this, [this] {
        ++m_nStops;
        if (m_bar)
            m_bar->deleteLater();
    });
    connect(SignalsTransfer::instance(), &SignalsTransfer::showHistory, this, [this] { ++m_nHistoryShows; });
}

void TstControlBar::init()
{
    FakeScreencast::reset();
    FakeScreencast::setFreeSpace(kPlenty);
    RecordParameter* rp = RecordParameter::instance();
    rp->m_bRecording = rp->m_bPaused = rp->m_bPreviewing = rp->m_bRecBarHidden = false;
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
    TaskManage::instance()->isTasking = false;
    VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", QString());
    VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QString());
    VxSettings::instance()->removeApplicationParam("Path/SavefilesHistroy");
    QDir(Utils::getVideoOutputPath()).removeRecursively();
    m_nowMs = 1000000;   // any origin: only differences count
    m_nStops = m_nHistoryShows = 0;
    m_boxes.clear();
    m_previews.clear();
}

void TstControlBar::cleanup()
{
    if (m_bar) {
        RecordParameter::instance()->m_bRecording = false;
        delete m_bar.data();
    }
    flushDeletes();
    ScreenRecorder::instance()->stop();
    TaskManage::release();
    m_pTaskClient = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 5000);
    QVERIFY(SystemStatusBar::instance()->actionEnable());
}

VideoRecCtlWdg* TstControlBar::startBar(qint64 bytes)
{
    m_bar = new VideoRecCtlWdg();
    m_bar->setClock([this] { return m_nowMs; });
    if (!m_bar->initRecord())
        return nullptr;
    if (bytes >= 0) {
        QFile file(tempPath());
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write(QByteArray(int(bytes), 'v'));
    }
    MediaFileInfo info{};
    info.duration = 3.2;
    info.hasVideo = 1;
    info.width = 320;
    info.height = 240;
    FakeScreencast::setMediaInfo(tempPath(), info);
    RecordParameter::instance()->m_bRecording = true;   // the home window's part
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

void TstControlBar::answerAnything(ModalDriver& driver, bool previewSaves)
{
    driver.expect([this, previewSaves](QWidget* modal) {
        if (isPreview(modal)) {
            m_previews << modal->metaObject()->className();
            if (!previewSaves) {
                ModalDriver::forceClose(modal);
                return;
            }
            // Held until the preview has saved and closed itself, so that
            // the driver's next step goes to the next modal, not to it.
            QPointer<QWidget> preview(modal);
            QElapsedTimer clock;
            clock.start();
            while (preview && preview->isVisible() && clock.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return;
        }
        m_boxes << boxText(modal);
        if (auto* box = qobject_cast<VxMessageBox*>(modal)) {
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                ok->click();
                return;
            }
        }
        ModalDriver::forceClose(modal);
    });
}

// ---- the tick ------------------------------------------------------------

void TstControlBar::clockAndPause()
{
    QVERIFY(startBar());
    FakeScreenRecorder* engine = FakeScreencast::screenRecorder();
    QVERIFY(engine && engine->started);
    tick(999);
    QCOMPARE(label("lblLength")->text(), QString("00:00:00"));
    tick(1);
    QCOMPARE(label("lblLength")->text(), QString("00:00:01"));

    // Paused at 2.7 s: paused time does not count, and a second pause
    // (hotkey and button) does not count the stretch twice.
    m_nowMs += 1700;
    QTest::mouseClick(button("btnPause"), Qt::LeftButton);
    QVERIFY(engine->paused && RecordParameter::instance()->m_bPaused);
    QVERIFY(button("btnPause")->isHidden() && !button("btnResume")->isHidden());
    m_nowMs += 50000;
    QMetaObject::invokeMethod(m_bar, "onBtnPauseClicked");
    QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::pause"), 1);
    QTest::mouseClick(button("btnResume"), Qt::LeftButton);
    QVERIFY(!engine->paused && !RecordParameter::instance()->m_bPaused);
    QVERIFY(!button("btnPause")->isHidden() && button("btnResume")->isHidden());
    // Each stretch counts in whole seconds: 2 + 1.
    tick(1600);
    QCOMPARE(label("lblLength")->text(), QString("00:00:03"));
    // Past a day, where a wall-clock time of day would wrap.
    tick(qint64(25) * 3600 * 1000);
    QCOMPARE(label("lblLength")->text(), QString("25:00:03"));
    QVERIFY(recording());
}
void TstControlBar::sizeAndFreeSpaceTexts()
{
    QVERIFY(startBar(0));
    // An unknown amount of free space stops nothing and warns of nothing.
    FakeScreencast::failNext("GetFileSystemFreeSize");
    FakeScreencast::setFileSize(tempPath(), 1572864);
    tick(1000);
    QCOMPARE(label("lblSize")->text(), QString("1.50 MB/0.00 KB"));
    QVERIFY(recording() && !QApplication::activeModalWidget());
    // Free space is read again only on second 6.
    FakeScreencast::setFileSize(tempPath(), 2048);
    FakeScreencast::setFreeSpace(kPlenty / 2);
    tick(1000);
    QCOMPARE(label("lblSize")->text(), QString("2.00 KB/0.00 KB"));
    m_nowMs += 4000;
    tick(0);
    QCOMPARE(label("lblLength")->text(), QString("00:00:06"));
    QCOMPARE(label("lblSize")->text(), QString("2.00 KB/50.00 GB"));
}
void TstControlBar::stopLockOpensAfterFourSeconds()
{
    QVERIFY(startBar());
    QVERIFY(!button("btnStop")->isEnabled());
    tick(3999);
    QVERIFY(!button("btnStop")->isEnabled());
    QTest::mouseClick(button("btnStop"), Qt::LeftButton);
    QVERIFY(recording());
    tick(1);
    QVERIFY(button("btnStop")->isEnabled());

    ModalDriver driver;
    answerAnything(driver, true);
    QTest::mouseClick(button("btnStop"), Qt::LeftButton);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QVERIFY(!recording());
    QCOMPARE(m_nStops, 1);
}

void TstControlBar::diskCheckEveryFiveSecondsAtTheThreshold()
{
    QVERIFY(startBar());
    FakeScreencast::setFreeSpace(kThreshold + 1);
    tick(1000);   // second 1: read, one byte above the limit
    QVERIFY(recording());
    QCOMPARE(FakeScreencast::callCount("GetFileSystemFreeSize"), 1);
    FakeScreencast::setFreeSpace(kThreshold);
    for (int s = 2; s <= 5; ++s) {
        tick(1000);
        QVERIFY(recording());
    }
    QCOMPARE(FakeScreencast::callCount("GetFileSystemFreeSize"), 1);

    ModalDriver driver;
    answerAnything(driver, true);   // the warning
    answerAnything(driver, true);   // the preview saves what was recorded
    tick(1000);   // second 6: at the limit
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes.first().contains("insufficient recording space"), qPrintable(m_boxes.first()));
    QCOMPARE(m_previews.size(), 1);
    QVERIFY(!recording());
    QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::pause"), 1);
    QCOMPARE(m_nStops, 1);
}

void TstControlBar::gifLimitStopsAndAlwaysSaves()
{
    RecordParameter* rp = RecordParameter::instance();
    rp->setUsedVideoFmt(RP_Format_GIF);
    rp->setAutoSave(false);
    GIFFileInfo gif{};
    QVERIFY(startBar());
    QVERIFY(tempPath().endsWith(".gif"));
    gif.duration = 2.0;
    gif.width = 320;
    gif.height = 240;
    FakeScreencast::setGifInfo(tempPath(), gif);
    FakeScreenRecorder* engine = FakeScreencast::screenRecorder();
    engine->frames = 10;
    tick(1000);
    QVERIFY(recording());
    QVERIFY(label("lblSize")->text().startsWith("750.00 KB/"));   // 320*240*10 bytes

    ModalDriver driver;
    answerAnything(driver, true);   // a GIF is saved without asking
    engine->frames = 1610612736 / (320 * 240);
    tick(1000);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QVERIFY(!recording());
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(historyCount(), 1);
    QVERIFY(historyHead().value(0).startsWith("Video_"));
    QVERIFY(historyHead().value(0).endsWith(".gif"));
    QCOMPARE(m_nStops, 1);
}

void TstControlBar::lengthStopRules_data()
{
    QTest::addColumn<bool>("task");
    QTest::newRow("the record length") << false;
    QTest::newRow("a task's length wins over it") << true;
}

// A recording of limited length stops by itself on its last second and is
// saved without asking; the history is never shown after it.
void TstControlBar::lengthStopRules()
{
    QFETCH(bool, task);
    TaskManage* tm = TaskManage::instance();
    if (task) {
        tm->setClientFactory([this] { return m_pTaskClient = new ScriptedTaskClient(); });
        tm->setBusyCheck([] { return false; });
        tm->connectXPCServer();
        QVERIFY(m_pTaskClient);
        TaskInfo info;
        info.id = "t1";
        info.enabled = true;
        info.record.recwhat = 1;
        info.record.stopWay = TaskStopWay_Length;
        info.record.lengthSeconds = 5;
        m_pTaskClient->push(info);
        tm->isTasking = true;
    }
    RecordParameter* rp = RecordParameter::instance();
    rp->setAutoSave(false);
    rp->setTimerEnable(true);
    rp->setTimerDuration(QTime(0, 0, task ? 2 : 5));
    QVERIFY(startBar());
    for (int s = 1; s <= 4; ++s)
        tick(1000);
    QVERIFY(recording());
    ModalDriver driver;
    answerAnything(driver, true);
    tick(1000);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QVERIFY(!recording());
    QCOMPARE(historyCount(), 1);
    QCOMPARE(m_nHistoryShows, 0);
    QCOMPARE(m_nStops, 1);
    tm->isTasking = false;
}
void TstControlBar::forbiddenPlayerStopsThenWarns()
{
    // This test program stands in for the player: its path holds the name.
    VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", "1");
    VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName",
                                             QCoreApplication::applicationName());
    RecordParameter::instance()->setAutoSave(false);
    QVERIFY(startBar());
    tick(1000);   // no earlier second: not looked for yet
    QVERIFY(recording());

    ModalDriver driver;
    answerAnything(driver, false);   // the preview, closed unsaved
    answerAnything(driver, false);   // the warning, 300 ms after the stop
    tick(1000);
    QVERIFY(!recording());
    QVERIFY(driver.waitFinished(30000));
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 20000);
    VERIFY_DRIVER(driver);
    QVERIFY2(m_boxes.first().contains("Golden Lion player does not allow"), qPrintable(m_boxes.first()));
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(m_nStops, 1);
}

// ---- keys and drawing ------------------------------------------------------

void TstControlBar::escStopsEvenWhileTheButtonIsLocked()
{
    QVERIFY(startBar());
    tick(1000);
    QVERIFY(!button("btnStop")->isEnabled());
    ModalDriver driver;
    answerAnything(driver, true);
    QTest::keyClick(m_bar, Qt::Key_Escape);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QVERIFY(!recording());
    QCOMPARE(m_nStops, 1);
    flushDeletes();
    QVERIFY(!m_bar);
}

void TstControlBar::escWhileDrawingLeavesDrawingOnly()
{
    QVERIFY(startBar());
    QTest::mouseClick(button("btnEdit"), Qt::LeftButton);
    QVERIFY(!toolBar()->isHidden());
    auto* pen = toolBar()->findChild<QToolButton*>("btnPen");
    QVERIFY(pen);
    QTest::mouseClick(pen, Qt::LeftButton);
    QCOMPARE(FakeScreencast::screenRecorder()->canvas->shape, int(CanvasShapes_Pen));
    QVERIFY(!button("btnHide")->isEnabled());

    QTest::keyClick(m_bar, Qt::Key_Escape);
    QVERIFY(recording());
    QCOMPARE(FakeScreencast::screenRecorder()->canvas->shape, 0);
    QVERIFY(button("btnHide")->isEnabled());
    QVERIFY(toolBar()->isHidden());
    // The tool bar knows drawing was left: no tool stays selected, and the
    // next click on the pen starts it again instead of "stopping" it.
    QVERIFY(!pen->isChecked());
    QTest::mouseClick(button("btnEdit"), Qt::LeftButton);
    QTest::mouseClick(pen, Qt::LeftButton);
    QCOMPARE(FakeScreencast::screenRecorder()->canvas->shape, int(CanvasShapes_Pen));
    QTest::keyClick(m_bar, Qt::Key_Escape);

    ModalDriver driver;
    answerAnything(driver, true);
    QTest::keyClick(m_bar, Qt::Key_Escape);   // the second Esc stops
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QVERIFY(!recording());
}

void TstControlBar::editOnlyForAreaAndExcludeRecordings_data()
{
    QTest::addColumn<bool>("window");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("editable");
    QTest::newRow("area") << false << 1 << true;
    QTest::newRow("single window") << true << 1 << false;
    QTest::newRow("exclude windows") << true << 2 << true;
}

void TstControlBar::editOnlyForAreaAndExcludeRecordings()
{
    QFETCH(bool, window);
    QFETCH(int, mode);
    QFETCH(bool, editable);
    RecordParameter* rp = RecordParameter::instance();
    rp->setWindowRecord(window);
    rp->setWindowModle(mode);
    m_bar = new VideoRecCtlWdg();
    QCOMPARE(button("btnEdit")->isEnabled(), editable);
    QVERIFY(toolBar()->isHidden());
    QVERIFY(button("btnResume")->isHidden());
}

void TstControlBar::regionDragHidesTheBar()
{
    QVERIFY(startBar());
    QVERIFY(!RecordParameter::instance()->m_bRecBarHidden);
    std::thread engine([] {
        if (auto hub = SignalsTransfer::existing())
            emit hub->RRBeginDrag();
    });
    engine.join();
    QTRY_VERIFY_WITH_TIMEOUT(m_bar->isHidden(), 20000);
    QVERIFY(RecordParameter::instance()->m_bRecBarHidden);
    m_bar->show();
    QVERIFY(!RecordParameter::instance()->m_bRecBarHidden);
}

// ---- stop ------------------------------------------------------------------

void TstControlBar::stopSavesAutomatically()
{
    QVERIFY(startBar(2048));
    const QString temp = tempPath();
    tick(4000);
    ModalDriver driver;
    answerAnything(driver, true);
    QTest::mouseClick(button("btnStop"), Qt::LeftButton);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_previews.size(), 1);
    QVERIFY(m_boxes.isEmpty());

    // One file in the output folder, entered at the head of the history.
    const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Video_*.mp4"}, QDir::Files);
    QCOMPARE(saved.size(), 1);
    const QStringList head = historyHead();
    QCOMPARE(head.value(0), saved.first());
    QCOMPARE(head.value(2), QString("1"));
    QCOMPARE(head.value(3), QString("320*240"));
    QCOMPARE(head.value(4), QString("00:00:03"));
    QCOMPARE(head.value(5), QString("2.00KB"));
    QVERIFY(!QFile::exists(temp));

    QCOMPARE(m_nHistoryShows, 1);
    QCOMPARE(m_nStops, 1);
    QVERIFY(m_bar);   // discarded later, not inside its own stop
    flushDeletes();
    QVERIFY(!m_bar);
    QVERIFY(!RecordParameter::instance()->m_bRecording);
    QVERIFY(!RecordParameter::instance()->m_bPaused);
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);

    const auto events = telemetry();
    int stopped = -1;
    for (int i = 0; i < events.size(); ++i)
        if (events.at(i).first == 5001)
            stopped = i;
    QVERIFY(stopped >= 0 && stopped + 1 < events.size());
    QCOMPARE(events.at(stopped + 1).first, 5002);
    QCOMPARE(events.at(stopped + 1).second.value("key_Recording_Result").toInt(), 1);
}

void TstControlBar::stopWithoutSaveAndSecondStops()
{
    RecordParameter::instance()->setAutoSave(false);
    QVERIFY(startBar());
    QPointer<VideoRecCtlWdg> bar = m_bar;
    ModalDriver driver;
    driver.expect([this, bar](QWidget* modal) {
        m_previews << modal->metaObject()->className();
        // Stop requests while the preview is open: hotkey, Esc, the tick.
        bar->onBtnStopClicked();
        QTest::keyClick(bar, Qt::Key_Escape);
        m_nowMs += 10000;
        QMetaObject::invokeMethod(bar, "onShowMessage");
        ModalDriver::forceClose(modal); // closed without saving
    });
    bar->onBtnStopClicked();
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(historyCount(), 0);
    QCOMPARE(m_nHistoryShows, 0);
    QCOMPARE(m_nStops, 1);
}
void TstControlBar::missingOrEmptyFileReportsWriteFailure_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("missing") << qint64(-1);
    QTest::newRow("empty") << qint64(0);
}

void TstControlBar::missingOrEmptyFileReportsWriteFailure()
{
    QFETCH(qint64, bytes);
    QVERIFY(startBar(bytes));
    ModalDriver driver;
    answerAnything(driver, true);
    m_bar->onBtnStopClicked();
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_previews.size(), 0);   // no preview of nothing
    QCOMPARE(m_boxes, QStringList{"File writing failed!"});
    QCOMPARE(historyCount(), 0);
    QCOMPARE(m_nStops, 1);
    const auto events = telemetry();
    QVERIFY(!events.isEmpty());
    QCOMPARE(events.last().first, 5002);
    QCOMPARE(events.last().second.value("key_Recording_Result").toInt(), 0);
}

void TstControlBar::engineErrorFromAThreadShowsItsMessage_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("2") << 2 << "File writing failed!" << "3002";
    QTest::newRow("6") << 6 << "Microphone interruption!" << "2001";
    QTest::newRow("7 unknown") << 7 << "Unknown error!" << "3001";
}

void TstControlBar::engineErrorFromAThreadShowsItsMessage()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QVERIFY(startBar());
    tick(2000);
    QThread* boxThread = nullptr;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        boxThread = QThread::currentThread();
        m_boxes << boxText(modal);
        qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    answerAnything(driver, true);   // what was recorded goes to the preview

    // The double calls the recorder's callback on a std::thread.
    FakeScreencast::screenRecorder()->fireError(SRErrorCode(code));
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(boxThread, qApp->thread());
    QCOMPARE(m_boxes.size(), 1);
    const QString expected = QString("Recording is interrupted. %1 You can preview and save the recorded "
                                     "content (error code: %2).")
                                 .arg(message, shown);
    QCOMPARE(m_boxes.first(), expected);
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(historyCount(), 1);
    QCOMPARE(m_nStops, 1);
}

void TstControlBar::errorAfterTheUserStoppedIsIgnored()
{
    RecordParameter::instance()->setAutoSave(false);
    QVERIFY(startBar());
    QPointer<VideoRecCtlWdg> bar = m_bar;
    ModalDriver driver;
    driver.expect([this](QWidget* modal) {
        m_previews << modal->metaObject()->className();
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
    bar->onBtnStopClicked();
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);   // no box: an unexpected modal is a failure
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(m_nStops, 1);

    // And once the bar is gone, a late error reaches nothing.
    flushDeletes();
    QVERIFY(!m_bar);
    emit SignalsTransfer::instance()->recordErrorOccur(SR_FileWriteFailed);
    QTest::qWait(20);
    QVERIFY(!QApplication::activeModalWidget());
}

void TstControlBar::barDestroyedWhileItsErrorBoxIsOpen()
{
    QVERIFY(startBar());
    ModalDriver driver;
    driver.expect([this](QWidget* modal) {
        // The frame window goes away while the box is open.
        delete m_bar.data();
        m_boxes << boxText(modal);
        qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    emit SignalsTransfer::instance()->recordErrorOccur(SR_WindowClosed);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QTest::qWait(20);   // the 1 ms stop must not run on the deleted bar
    QVERIFY(!m_bar);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_nStops, 0);
    QVERIFY(!recording());
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

void TstControlBar::stopRequestDuringTheDiskWarning()
{
    QVERIFY(startBar());
    FakeScreencast::setFreeSpace(1024);
    ModalDriver driver;
    QPointer<VideoRecCtlWdg> bar = m_bar;
    driver.expect([this, bar](QWidget* modal) {
        m_boxes << boxText(modal);
        // The start/stop hotkey while the warning is open: the stop runs
        // (with its preview) and the bar is discarded.
        bar->onBtnStopClicked();
        flushDeletes();
    });
    answerAnything(driver, true);   // the preview of that stop
    answerAnything(driver, true);   // the warning again: Ok
    tick(1000);
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(m_nStops, 1);
    flushDeletes();
    QVERIFY(!m_bar);
}

// ---- snapshot, audio, destruction ---------------------------------------------

void TstControlBar::snapshotEntersHistoryAndFliesOut()
{
    QVERIFY(startBar());
    QTest::mouseClick(button("btnSnapshot"), Qt::LeftButton);
    const QStringList head = historyHead();
    QCOMPARE(head.size(), 6);
    QVERIFY(head.value(0).startsWith("Snapshot_"));
    QVERIFY(QFile::exists(head.value(1)));
    QCOMPARE(head.value(2), QString("0"));
    QCOMPARE(head.value(3), QString("320*200"));
    QCOMPARE(head.value(4), QString());
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(QFileInfo(head.value(1)).size(), value);
    QCOMPARE(head.value(5), QString::number(int(value)) + unit);

    // The fly-out runs without a local event loop and goes away by itself.
    QVERIFY(m_bar->findChild<DlgPaintToScreen*>());
    QTRY_VERIFY_WITH_TIMEOUT(!m_bar->findChild<DlgPaintToScreen*>(), 5000);
    QVERIFY(recording());

    // No image: nothing happens.
    FakeScreencast::screenRecorder()->snapshotWritesFile = false;
    m_bar->onSnapshot();
    QCOMPARE(historyCount(), 1);

    // Stopped while a fly-out plays: the stop returns at once (the fly-out
    // holds no loop) and the animation's end never reaches the deleted bar.
    FakeScreencast::screenRecorder()->snapshotWritesFile = true;
    m_bar->onSnapshot();
    QVERIFY(m_bar->findChild<DlgPaintToScreen*>());
    ModalDriver driver;
    answerAnything(driver, true);
    m_bar->onBtnStopClicked();
    QVERIFY(driver.waitFinished(30000));
    VERIFY_DRIVER(driver);
    flushDeletes();
    QVERIFY(!m_bar);
    QTest::qWait(400);
}

void TstControlBar::audioOnlyRecording()
{
    RecordParameter* rp = RecordParameter::instance();
    rp->setVideoEnable(false);
    rp->chooseVideoContent(false);
    rp->setMicEnable(true);
    rp->setAutoSave(false);
    QVERIFY(startBar(-1));
    QVERIFY(FakeScreencast::audioRecorder());
    QVERIFY(!FakeScreencast::screenRecorder());
    QVERIFY(!button("btnSnapshot")->isEnabled());
    QVERIFY(!button("btnEdit")->isEnabled());
    FakeScreencast::audioRecorder()->size = 3 * 1048576;
    tick(1000);
    QCOMPARE(label("lblSize")->text(), QString("3.00 MB/100.00 GB"));

    // Nothing recorded: reported, no preview.
    FakeScreencast::setAudioRecordDuration(0.0);
    {
        ModalDriver driver;
        answerAnything(driver, false);
        m_bar->onBtnStopClicked();
        QVERIFY(driver.waitFinished(30000));
        VERIFY_DRIVER(driver);
    }
    QCOMPARE(m_boxes, QStringList{"File writing failed!"});
    QCOMPARE(m_previews.size(), 0);
    QCOMPARE(m_nStops, 1);
    flushDeletes();

    // Sound recorded: the preview opens as audio.
    QVERIFY(startBar(-1));
    FakeScreencast::setAudioRecordDuration(3.0);
    ModalDriver second;
    answerAnything(second, false);
    m_bar->onBtnStopClicked();
    QVERIFY(second.waitFinished(30000));
    VERIFY_DRIVER(second);
    QCOMPARE(m_previews.size(), 1);
    QCOMPARE(m_nStops, 2);
}

void TstControlBar::destroyingARunningBarStopsTheEngine()
{
    QVERIFY(startBar());
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    delete m_bar.data();
    QVERIFY(!recording());
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    QCOMPARE(m_nStops, 0);
}

QTEST_MAIN(TstControlBar)
#include "tst_controlbar.moc"
