// The recording driver over the engine double: each mode's engine call, refusals,
// temporary-folder prompts, still names, the GIF limit, engine-thread callbacks.
#include <QAbstractButton>
#include <QtTest>

#include "app/SystemStatusBar.h"
#include "core/CEIPWrapper.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/log/Log.h"
#include "platform/framework/VxSettings.h"
#include "recording/RecordOptions.h"
#include "recording/ScreenRecorder.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "watermark/WaterMarkDataManage.h"

using Setup = std::function<void(RecordParameter*)>;
using Record = FakeScreencast::VideoRecordCall;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Record)

namespace {

QString show(const CRect& r) { return QStringLiteral("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom); }
template <class T> QString show(const QVector<T>& ids)
{
    QStringList texts;
    for (T id : ids)
        texts << QString::number(id);
    return texts.join(',');
}

// The whole record in one line, so that a mismatch shows both.
QString show(const Record& r)
{
    const VideoOpt& v = r.video;
    const AudioOpt& a = r.audio;
    const MouseOpt& m = r.mouse;
    return QStringLiteral("type %1 %2 | video %3 window %4 fps %5 codec %6 quality %7 | sound %8 %9 codec %10 quality %11 "
                          "channels %12 | mouse %13 %14 click %15 method %16/%17 | lists %18 +[%19] -[%20]")
        .arg(int(r.type)).arg(r.path, show(v.rect), show(v.windowRect)).arg(v.fps).arg(v.codec).arg(v.quality)
        .arg(int(a.render)).arg(int(a.capture)).arg(a.codec).arg(a.quality).arg(a.channels).arg(int(m.cursor))
        .arg(int(m.indicate)).arg(m.clickType).arg(m.method).arg(m.methodParam).arg(int(r.option))
        .arg(show(r.include), show(r.exclude));
}

// The data of the telemetry events `id` written so far.
QList<QJsonObject> telemetry(int id)
{
    QList<QJsonObject> events;
    for (const QByteArray& line : testsupport::readFile(CEIPWrapper::instance()->telemetryFilePath()).split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value("id").toInt() == id)
            events << event.value("data").toObject();
    }
    return events;
}

// Hub signals as they arrive, and whether all came on the GUI thread.
class HubListener : public QObject
{
public:
    HubListener()
    {
        SignalsTransfer* hub = SignalsTransfer::instance();
        connect(hub, &SignalsTransfer::recordErrorOccur, this, [this](int code) { note(QString("error %1").arg(code)); });
        connect(hub, &SignalsTransfer::RRBeginDrag, this, [this] { note("begin drag"); });
        connect(hub, &SignalsTransfer::RREndDrag, this, [this](QRect r) {
            note(QString("end drag %1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
        });
    }
    QStringList events;
    bool allOnGuiThread = true;

private:
    void note(const QString& what)
    {
        events << what;
        allOnGuiThread = allOnGuiThread && QThread::currentThread() == qApp->thread();
    }
};

// A step that keeps the warning box's text and presses `button` (Cancel
// is labelled "Continue" on a box that may be passed over).
ModalDriver::Action answer(int button, QString* text = nullptr, QString* cancelText = nullptr)
{
    return [=](QWidget* modal) {
        auto* box = qobject_cast<VxMessageBox*>(modal);
        if (box && text)
            *text = box->labelInfo();
        if (box && cancelText && box->button(QMessageBox::Cancel))
            *cancelText = box->button(QMessageBox::Cancel)->text();
        if (QAbstractButton* pressed = box ? box->button(QMessageBox::StandardButton(button)) : nullptr)
            pressed->click();
        else
            ModalDriver::forceClose(modal);
    };
}

FakeScreencast::Window window(unsigned int id, CRect frame, const QString& title = "Editor",
                              const QString& owner = QString())
{
    FakeScreencast::Window w;
    w.id = id;
    w.title = title;
    w.owner = owner;
    w.frame = frame;
    return w;
}

} // namespace

class TstRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        ScreenRecorder::release();
        ScreenRecorder::setFolderChooser(nullptr);
        WaterMarkDataManage::release();
        RecordParameter::release();
        WindowListManger::release();
        DeviceManager::release();
        const QString settingsFile = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(settingsFile);
        FakeScreencast::reset();
        SystemStatusBar::instance()->setActionEnable(true);
    }
    void cleanupTestCase() { init(); }

    void modes_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<Record>("expected"); // the path without the folder

        // The stored QRect(100, 50, 640x480) has inclusive corners; the
        // engine's right and bottom are exclusive.
        Record region;
        region.type = kOutputMp4;
        region.path = ".mp4";
        region.video = VideoOpt{CRect{100, 50, 740, 530}, CRect{0, 0, 0, 0}, 25, 1, 4, 0};
        region.audio = AudioOpt{1, 0, 1, 2, 2};
        region.mouse = MouseOpt{1, 1, 0, 2, 0, 0};
        auto with = [region](const std::function<void(Record&)>& change) {
            Record r = region;
            change(r);
            return r;
        };
        auto mouse = [](int click, int method, int param, int cursor = 1) { return MouseOpt{int8_t(cursor), 1, 0, click, method, param}; };
        auto windows = [](int mode, QList<int> ids) {
            return Setup([=](RecordParameter* p) { p->setWindowRecord(true); p->setWindowModle(mode); p->setWindowList(ids); });
        };

        QTest::newRow("region") << Setup([](RecordParameter*) {}) << region;
        QTest::newRow("GIF: no sound, the GIF codec")
            << Setup([](RecordParameter* p) { p->setUsedVideoFmt(RP_Format_GIF); p->setMicEnable(true); })
            << with([](Record& r) { r.type = kOutputGif; r.path = ".gif"; r.video.codec = 5; r.audio.render = 0; });
        QTest::newRow("M4V written as MP4") << Setup([](RecordParameter* p) { p->setUsedVideoFmt(RP_Format_M4V); }) << region;
        QTest::newRow("MOV ProRes 422 with PCM16")
            << Setup([](RecordParameter* p) { p->setUsedVideoFmt(RP_Format_MOV); p->setVideoOpt(25, RP_Codec_ProRes422, RP_Quality_High); })
            << with([](Record& r) { r.type = kOutputMov; r.path = ".mov"; r.video.codec = 3; r.audio.codec = 2; });
        QTest::newRow("MOV ProRes 4444 without PCM24: AAC")
            << Setup([](RecordParameter* p) {
                   FakeScreencast::setCodecs(kOutputMov, {4}, {1, 2});
                   p->setUsedVideoFmt(RP_Format_MOV);
                   p->setVideoOpt(25, RP_Codec_ProRes4444, RP_Quality_High);
               })
            << with([](Record& r) { r.type = kOutputMov; r.path = ".mov"; r.video.codec = 4; r.audio.codec = 1; });
        QTest::newRow("codec not offered: the first listed, its first sound codec")
            << Setup([](RecordParameter*) { FakeScreencast::setCodecs(kOutputMp4, {5}, {2, 1}); })
            << with([](Record& r) { r.video.codec = 5; r.audio.codec = 2; });
        QTest::newRow("no codec lists: kept, with AAC")
            << Setup([](RecordParameter* p) { FakeScreencast::setNoCodecs(kOutputMp4); p->setVideoOpt(25, RP_Codec_ProRes422, RP_Quality_High); })
            << with([](Record& r) { r.video.codec = 3; });
        QTest::newRow("draggable, click shown")
            << Setup([](RecordParameter* p) { p->setMoveRegion(true); p->setMouseClick(RP_MouseClick_Status); })
            << with([=](Record& r) { r.mouse = mouse(1, 1, 1); });
        QTest::newRow("centred on the mouse")
            << Setup([](RecordParameter* p) { p->setAroundMouse(true); p->setAroundMouseSize(QSize(800, 600)); })
            << with([=](Record& r) { r.video.rect = CRect{0, 0, 800, 600}; r.mouse = mouse(2, 1, 0); });
        QTest::newRow("centred, larger than the display: the display")
            << Setup([](RecordParameter* p) { p->setAroundMouse(true); p->setAroundMouseSize(QSize(2000, 720)); })
            << with([=](Record& r) { r.video.rect = CRect{0, 0, 1920, 1080}; r.mouse = mouse(2, 1, 0); });
        QTest::newRow("one window: its size, no cursor") << windows(1, {77, 78}) << with([=](Record& r) {
            r.video.windowRect = CRect{0, 0, 800, 600};
            r.mouse = mouse(2, 0, 0, 0);
            r.option = WindowListOption(1);
            r.include = {77, 78};
        });
        QTest::newRow("excluded windows, the webcam taken in")
            << Setup([=](RecordParameter* p) { windows(2, {5, 6})(p); p->setCamerastream(true); })
            << with([](Record& r) { r.option = WindowListOption(2); r.include = {900}; r.exclude = {5, 6}; });
        QTest::newRow("only the included windows") << windows(3, {77, 78})
                                                   << with([](Record& r) { r.option = WindowListOption(3); r.include = {77, 78}; });
        QTest::newRow("unknown window mode passes without lists") << windows(7, {5, 6})
                                                                  << with([](Record& r) { r.option = WindowListOption(7); });
        QTest::newRow("the control bar left out") << Setup([](RecordParameter* p) { p->setExcludeFloatBar(true); })
                                                  << with([](Record& r) { r.option = WindowListOption(2); });
    }

    void modes()
    {
        QFETCH(Setup, setup);
        QFETCH(Record, expected);
        FakeScreencast::setWindows({window(77, CRect{300, 200, 1100, 800})});
        FakeScreencast::setWindowsForFilter(kWindowFilterOwn,
                                            {window(900, CRect{0, 0, 320, 240}, "Webcam Recorder", QCoreApplication::applicationName())});
        prepareRegion();
        RecordParameter* p = RecordParameter::instance();
        setup(p);

        QVERIFY(ScreenRecorder::instance()->recordVideo());
        Record call = FakeScreencast::lastVideoRecord();
        QVERIFY(call.callback);
        QVERIFY(call.path.startsWith(m_strBase));
        call.path = call.path.mid(m_strBase.size());
        QCOMPARE(show(call), show(expected));
        QCOMPARE(VxSettings::instance()->applicationParam("outputVideo").toString(), m_strBase + expected.path);
        // Centring and following hold for one recording only.
        QVERIFY(!p->isAroundMouse());
        QVERIFY(!p->isFollowMouse());
    }

    // Each row: a setup and the log lines of recordVideo, in order (the
    // module tag and level of each line included).
    void recordVideoLogLines_data()
    {
        QTest::addColumn<bool>("centred");
        QTest::addColumn<QStringList>("lines");
        const QStringList common = {
            "[ScreenRecorder] INFO: record video use format of videoCodec:1,  audioCodec:1",
            "[ScreenRecorder] INFO: -----------record video info-----------",
            "[ScreenRecorder] INFO: video Rect(%1) CodecType:1 FileFormat:0",
            "[ScreenRecorder] INFO: video Render:1, Capture:0, codetype:1",
            "[ScreenRecorder] INFO: window Option type:0",
            "[ScreenRecorder] INFO: Include count:0 Exclude count:0",
            "[ScreenRecorder] INFO: -----------show info end-----------",
            "[ScreenRecorder] ERROR: scVideoRecord",
            "[ScreenRecorder] ERROR: scVideoRecord",
        };
        QStringList region = common;
        region[2] = region[2].arg("100.000000,50.000000, 740.000000,530.000000");
        QTest::newRow("region") << false << region;
        QStringList centred = QStringList{"[ScreenRecorder] INFO: MouseMethod::Center, sz(2000,720)",
                                          "[ScreenRecorder] INFO: MouseMethod::Center, video Rect(0,0, "
                                          "1920.000000,1080.000000)"}
                              + common;
        centred[4] = centred[4].arg("0.000000,0.000000, 1920.000000,1080.000000");
        QTest::newRow("centred, larger than the display") << true << centred;
    }

    void recordVideoLogLines()
    {
        QFETCH(bool, centred);
        QFETCH(QStringList, lines);
        prepareRegion();
        if (centred) {
            RecordParameter::instance()->setAroundMouse(true);
            RecordParameter::instance()->setAroundMouseSize(QSize(2000, 720));
        }
        QTemporaryDir dir;
        const QString logFile = dir.filePath("sr.log");
        QCOMPARE(SetLogfile(logFile.toUtf8().constData()), 0);
        // The first log file also gets the lines written before it: only
        // what follows the mark counts.
        Log("tst_recorder", LogLevel::Info, "mark");
        const bool recorded = ScreenRecorder::instance()->recordVideo();
        SetLogfile(nullptr);
        QVERIFY(recorded);
        QFile file(logFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList logged;
        const QString text = QString::fromUtf8(file.readAll());
        for (const QString& line : text.mid(text.indexOf("[tst_recorder] INFO: mark")).split('\n')) {
            const int at = line.indexOf("[ScreenRecorder]");
            if (at >= 0)
                logged << line.mid(at);
        }
        QCOMPARE(logged, lines);
    }

    void codecFallbackIsSaved()
    {
        prepareRegion(RP_Format_MP4);
        RecordParameter* p = RecordParameter::instance();
        p->setVideoOpt(60, RP_Codec_HEVC, RP_Quality_Highest);
        // Not offered by the container: the first listed codec, and a later run
        // reads the replacement with the other options unchanged.
        FakeScreencast::setCodecs(kOutputMp4, {1}, {1});
        QVERIFY(ScreenRecorder::instance()->recordVideo());
        QCOMPARE(FakeScreencast::lastVideoRecord().video.codec, 1);
        RecordParameter::release();
        QCOMPARE(int(RecordParameter::instance()->getVideoCodecType()), 1);
        QCOMPARE(RecordParameter::instance()->getVideoFrameRate(), 60);
        QCOMPARE(int(RecordParameter::instance()->getVideoQuality()), int(RP_Quality_Highest));
    }

    void refusals()
    {
        // No checked temporary folder: nothing would say where the file goes.
        RecordParameter* p = RecordParameter::instance();
        QVERIFY(!ScreenRecorder::instance()->recordVideo());

        // One window, but none chosen, or the chosen one is gone.
        prepareRegion();
        p->setWindowRecord(true);
        p->setWindowModle(1);
        p->setWindowList({});
        QVERIFY(!ScreenRecorder::instance()->recordVideo());
        p->setWindowList({404});
        QVERIFY(!ScreenRecorder::instance()->recordVideo());
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
    }

    void engineRefusalReportsFailure()
    {
        prepareRegion();
        const int before = telemetry(5002).size();
        ScreenRecorder* rec = ScreenRecorder::instance();
        FakeScreencast::setLastErrorText("The folder /r is read-only.");
        FakeScreencast::failNext("scVideoRecord");
        QVERIFY(!rec->recordVideo());
        QCOMPARE(rec->startErrorText(), QString("The folder /r is read-only."));
        FakeScreencast::setLastErrorText("No sound server is running.");
        FakeScreencast::failNext("scAudioRecord");
        QVERIFY(!rec->recordAudio());
        QCOMPARE(rec->startErrorText(), QString("No sound server is running."));
        const QList<QJsonObject> results = telemetry(5002).mid(before);
        QCOMPARE(results.size(), 2);
        QCOMPARE(results.first().value("key_Recording_Result").toInt(), 0);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);

        // A recording the engine accepts carries no old reason.
        QVERIFY(rec->recordAudio());
        QVERIFY(rec->startErrorText().isEmpty());
        FakeScreencast::setLastErrorText(QString());
        rec->stop();
    }

    void suffixIsNotAppendedTwice()
    {
        prepareRegion(RP_Format_MP4);
        ScreenRecorder* rec = ScreenRecorder::instance();
        QVERIFY(rec->recordVideo());
        QVERIFY(rec->recordVideo());
        QCOMPARE(FakeScreencast::lastVideoRecord().path, m_strBase + ".mp4");
        RecordParameter::instance()->setUsedVideoFmt(RP_Format_MOV);
        QVERIFY(rec->recordVideo());
        QCOMPARE(FakeScreencast::lastVideoRecord().path, m_strBase + ".mov");
        // Sound alone: the engine keeps its own files, the base path has no suffix.
        QVERIFY(rec->recordAudio());
        QCOMPARE(rec->getTmpFilePath(), m_strBase);
    }

    void freeSpaceThresholds_data()
    {
        QTest::addColumn<qint64>("freeBytes");
        QTest::addColumn<QString>("warning");  // empty: none
        QTest::addColumn<bool>("records");
        QTest::newRow("0xFFFFFFFF refused") << qint64(0xFFFFFFFFLL) << "no less than 4GB" << false;
        QTest::newRow("0x100000000 warned") << qint64(0x100000000LL) << "no less than 8GB" << true;
        QTest::newRow("0x200000000 quiet") << qint64(0x200000000LL) << QString() << true;
        QTest::newRow("unknown is not full") << qint64(-1) << QString() << true;
    }

    void freeSpaceThresholds()
    {
        QFETCH(qint64, freeBytes);
        QFETCH(QString, warning);
        QFETCH(bool, records);
        if (freeBytes < 0)
            FakeScreencast::failNext("GetFileSystemFreeSize");
        else
            FakeScreencast::setFreeSpace(freeBytes);
        const QString root = Utils::getRecorderTmpRoot();

        ModalDriver driver;
        QString text, cancelText;
        if (!warning.isEmpty())
            driver.expect(answer(QMessageBox::Cancel, &text, &cancelText), "VxMessageBox");
        QCOMPARE(ScreenRecorder::instance()->checkTempfilePath(), records);
        DRIVER_DONE(driver, 30000);
        QVERIFY(text.contains(warning));
        QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), records ? root + "/.ScreenRecorder" : QString());
        // A warning may be passed over with "Continue"; a refusal may not.
        if (!warning.isEmpty())
            QCOMPARE(cancelText, records ? QString("Continue") : QString("Cancel"));
        QCOMPARE(SystemStatusBar::instance()->actionEnable(), warning.isEmpty());
        QVERIFY(FakeScreencast::calls().contains(QString("GetFileSystemFreeSize(\"%1\")").arg(root)));
    }

    // The temporary folder refuses files: a full volume gets the words of
    // too little space, a name the file system cannot take says so.
    void tempFolderProblemSaysWhy()
    {
        const testsupport::FullVolume full({"data"});
        if (!full.ok())
            QSKIP("no tmpfs can be mounted here");
        const QString tooLong = QDir::homePath() + "/" + QString(300, QLatin1Char('n'));
        const QStringList homes{full.path("data"), tooLong};
        QStringList texts, roots;
        for (const QString& home : homes) {
            const testsupport::ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(home).constData());
            roots << Utils::getRecorderTmpRoot();
            ModalDriver driver;
            QString text, cancelText;
            driver.expect(answer(QMessageBox::Cancel, &text, &cancelText), "VxMessageBox");
            QVERIFY(!ScreenRecorder::instance()->checkTempfilePath());
            DRIVER_DONE(driver, 30000);
            QCOMPARE(cancelText, QString("Cancel"));
            texts << text;
        }
        QVERIFY2(texts[0].contains("no less than 4GB"), qPrintable(texts[0]));
        QCOMPARE(texts[1], QString("The name \"%1\" is too long for the file system.").arg(roots[1]));
    }

    void changePathLoop()
    {
        QTemporaryDir scratch;
        const testsupport::UnwritablePath blocked;
        QVERIFY(blocked.ok());
        const QString unwritable = blocked.path("temp");
        const QString tight = scratch.filePath("tight");
        QVERIFY(QDir().mkpath(tight));
        const QString root = Utils::getRecorderTmpRoot();
        FakeScreencast::setFreeSpace(root, 0xFFFFFFFFLL);
        FakeScreencast::setFreeSpace(tight, 0x1FFFFFFFFLL);
        QStringList asked;
        QStringList answers{QString(), unwritable, tight};   // the first folder dialog cancelled
        ScreenRecorder::setFolderChooser([&](const QString& title, const QString& start) {
            asked << title + "|" + start;
            return answers.takeFirst();
        });

        // "Change path" cancelled: back to the warning; an unwritable folder is told so; the next
        // folder goes through the whole check, its 8 GB warning answered with "Continue".
        ModalDriver driver;
        QVector<QString> texts(5);
        for (int i = 0; i < 5; ++i)
            driver.expect(answer(i < 4 ? QMessageBox::Ok : QMessageBox::Cancel, &texts[i]), "VxMessageBox");
        QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
        DRIVER_DONE(driver, 30000);
        QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), QDir::cleanPath(tight) + "/.ScreenRecorder");
        QVERIFY(texts[0].contains("4GB") && texts[1].contains("4GB") && texts[3].contains("4GB") && texts[4].contains("8GB"));
        QCOMPARE(texts[2], QString("\"%1\" is not writable.").arg(QDir::cleanPath(unwritable)));
        const QString question = "Select Temporary Folder|" + root;
        QCOMPARE(asked, QStringList({question, question, question}));
    }

    void snapshotNames()
    {
        startRegionRecording();
        ScreenRecorder* rec = ScreenRecorder::instance();
        const QString folder = Utils::getSnapshotPath();
        auto second = [] { return QDateTime::currentDateTime().toString("yy-MM-dd_hh-mm-ss"); };

        // Three within one second are numbered; tried again in the next second
        // when a boundary fell between them.
        QStringList paths;
        QString stamp;
        for (int attempt = 0; attempt < 5 && paths.isEmpty(); ++attempt) {
            stamp = second();
            paths = QStringList{rec->snapshot(), rec->snapshot(), rec->snapshot()};
            if (second() != stamp) {
                paths.clear();
                QTRY_VERIFY_WITH_TIMEOUT(second() != stamp, 5000);
            }
        }
        QVERIFY2(!paths.isEmpty(), "no three snapshots within one second");
        const QString base = folder + "/Snapshot_" + stamp;
        QCOMPARE(paths, (QStringList{base + ".png", base + "(1).png", base + "(2).png"}));
        for (const QString& p : paths)
            QVERIFY(QFile::exists(p));

        // Files of an earlier run with the names to come are never overwritten.
        const QDateTime now = QDateTime::currentDateTime();
        QStringList earlier;
        for (int s = 0; s < 3; ++s) {
            earlier << folder + "/Snapshot_" + now.addSecs(s).toString("yy-MM-dd_hh-mm-ss") + ".png";
            QVERIFY(testsupport::writeFile(earlier.last(), "earlier"));
        }
        const QString next = rec->snapshot();
        QVERIFY(!next.isEmpty() && !earlier.contains(next) && !paths.contains(next));
        for (const QString& p : earlier)
            QCOMPARE(testsupport::readFile(p), QByteArray("earlier"));
    }

    void engineErrorArrivesQueuedOnGuiThread()
    {
        HubListener listener;
        startRegionRecording();
        const int before = telemetry(5002).size();
        ScreenRecorder* rec = ScreenRecorder::instance();
        int code = -1;
        QVERIFY(!rec->recordError(code));

        // Stored at once by the engine thread, delivered only through the GUI
        // thread's event loop.
        FakeScreencast::screenRecorder()->fireError(SR_FileWriteFailed);
        QVERIFY(rec->recordError(code));
        QCOMPARE(code, 2);
        QVERIFY(listener.events.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(listener.events, QStringList{"error 2"}, 20000);
        QVERIFY(listener.allOnGuiThread);
        QCOMPARE(telemetry(5002).size(), before + 1);

        // A new preparation forgets the error.
        QVERIFY(rec->recordVideo());
        QVERIFY(!rec->recordError(code));
    }

    void regionDragEndIsAppliedOnGuiThread()
    {
        HubListener listener;
        startRegionRecording();
        RecordParameter* p = RecordParameter::instance();
        const QRect before = p->getVideoRect();
        CRecoderCallback* engine = FakeScreencast::screenRecorder()->callback;
        FakeScreencast::runOnEngineThread([engine] { engine->OnRecordingRegionBeginDrag(); });
        QTRY_COMPARE_WITH_TIMEOUT(listener.events, QStringList{"begin drag"}, 20000);

        FakeScreencast::runOnEngineThread([engine] { engine->OnRecordingRegionEndDrag(CRect{100, 120, 500, 420}); });
        // The engine thread has returned and wrote nothing itself.
        QCOMPARE(p->getVideoRect(), before);
        QTRY_COMPARE_WITH_TIMEOUT(listener.events.size(), 2, 20000);
        QCOMPARE(listener.events.last(), QString("end drag 100,120 400x300"));
        QCOMPARE(p->getVideoRect(), QRect(100, 120, 400, 300));
        QVERIFY(listener.allOnGuiThread);
    }

    void gifSizeAndLimit()
    {
        ScreenRecorder* rec = ScreenRecorder::instance();
        QCOMPARE(rec->getGifSize(), qint64(0)); // nothing records
        FakeScreencast::setWindows({window(12, CRect{0, 0, 800, 600})});
        RecordParameter* p = RecordParameter::instance();
        p->setUsedVideoFmt(RP_Format_GIF);
        p->setVideoRect(QRect(0, 0, 1920, 1080));
        QVERIFY(rec->checkTempfilePath());
        QVERIFY(rec->recordVideo());
        FakeScreencast::screenRecorder()->frames = 775;
        QCOMPARE(rec->getGifSize(), qint64(1920) * 1080 * 775);
        // trunc(1610612736 / (1920 * 1080)) = 776 frames.
        FakeScreencast::screenRecorder()->frames = 776;
        QCOMPARE(rec->getGifSize(), qint64(-1));

        // No stored region and a region recording: no estimate, no division.
        p->setVideoRect(QRect());
        QVERIFY(rec->recordVideo());
        FakeScreencast::screenRecorder()->frames = 10;
        QCOMPARE(rec->getGifSize(), qint64(0));
        // One window: its frames count against the limit.
        p->setWindowRecord(true);
        p->setWindowModle(1);
        p->setWindowList({12});
        QVERIFY(rec->recordVideo());
        FakeScreencast::screenRecorder()->frames = 10;
        QCOMPARE(rec->getGifSize(), qint64(800) * 600 * 10);
        FakeScreencast::screenRecorder()->frames = 1610612736 / (800 * 600);
        QCOMPARE(rec->getGifSize(), qint64(-1));
    }

    // A chosen watermark that cannot be used is named with its reason
    // before the engine starts; the recording goes on without it.
    void unusableWatermarkToldBeforeRecording()
    {
        prepareRegion();
        WaterMarkData logo;
        logo.m_strWaterMarkName = "Logo";
        logo.m_bPic = true;
        logo.m_strPicPath = Utils::getRecorderTmpRoot() + "/no-such-logo.png";
        WaterMarkDataManage::instance()->setWaterMarkDataList({logo});
        WaterMarkDataManage::instance()->m_nCurrentIndex = 0;

        ModalDriver driver;
        QString text;
        int startedBeforeBox = -1;
        driver.expect(
            [&](QWidget* modal) {
                startedBeforeBox = FakeScreencast::callsOf("scVideoRecord").size();
                answer(QMessageBox::Ok, &text)(modal);
            },
            "VxMessageBox");
        QVERIFY(ScreenRecorder::instance()->recordVideo());
        DRIVER_DONE(driver, 30000);
        QVERIFY2(text.contains("\"Logo\"") && text.contains("does not exist") && text.contains("goes on without it"),
                 qPrintable(text));
        QCOMPARE(startedBeforeBox, 0);
        QCOMPARE(FakeScreencast::callsOf("scVideoRecord").size(), 1);
        QVERIFY(FakeScreencast::watermark().nullPath);

        // A scheduled recording does not wait on the box: nobody may be
        // there to answer it.
        ScreenRecorder::instance()->stop();
        QVERIFY(RecordingSession::instance()->beginTask());
        QVERIFY(ScreenRecorder::instance()->recordVideo());
        RecordingSession::instance()->endTask();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(FakeScreencast::callsOf("scVideoRecord").size(), 2);
    }

private:
    // A region recording's settings, the temporary folder checked.
    void prepareRegion(RP_Format format = RP_Format_MP4);

    void startRegionRecording()
    {
        RecordParameter::instance()->setVideoRect(QRect(0, 0, 1920, 1080));
        RecordParameter::instance()->setUsedVideoFmt(RP_Format_MP4);
        QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
        QVERIFY(ScreenRecorder::instance()->recordVideo());
        ScreenRecorder::instance()->start();
        QVERIFY(FakeScreencast::screenRecorder());
    }
    QString m_strBase;
};

void TstRecorder::prepareRegion(RP_Format format)
{
    RecordParameter* p = RecordParameter::instance();
    p->setVideoRect(QRect(100, 50, 640, 480));
    p->setVideoOpt(25, RP_Codec_H264, RP_Quality_High);
    p->setUsedVideoFmt(format);
    p->setAudioQuality(RP_Quality_Low);
    p->setSysAudioEnable(true);
    p->setMicEnable(false);
    p->setMouseRecorder(true);
    p->setMouseShow(true);
    p->setMouseClick(RP_MouseClick_Blink);
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    m_strBase = ScreenRecorder::instance()->getTmpFilePath();
    QCOMPARE(m_strBase, Utils::getRecorderTmpRoot() + "/.ScreenRecorder");
}

QTEST_MAIN(TstRecorder)
#include "tst_recorder.moc"
