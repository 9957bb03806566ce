// The recording driver over the engine double: the option records of each
// recording mode compared as values, codec choice and its fallback, the
// refusals, the temporary-folder prompts, still-image names, the canvas,
// the GIF limit and the engine's callbacks arriving from engine threads.
#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "app/SystemStatusBar.h"
#include "core/CEIPWrapper.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"
#include "recording/RecordOptions.h"
#include "recording/ScreenRecorder.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "watermark/WaterMarkDataManage.h"

using Setup = std::function<void(RecordParameter*)>;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(VideoOpt)
Q_DECLARE_METATYPE(AudioOpt)
Q_DECLARE_METATYPE(MouseOpt)
Q_DECLARE_METATYPE(CRect)

namespace {

QString show(const CRect& r) { return QStringLiteral("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom); }
QString show(const VideoOpt& v)
{
    return QStringLiteral("rect %1 window %2 fps %3 codec %4 quality %5 reserved %6")
        .arg(show(v.rect), show(v.windowRect)).arg(v.fps).arg(v.codec).arg(v.quality).arg(v.reserved);
}
QString show(const AudioOpt& a)
{
    return QStringLiteral("render %1 capture %2 codec %3 quality %4 channels %5")
        .arg(int(a.render)).arg(int(a.capture)).arg(a.codec).arg(a.quality).arg(a.channels);
}
QString show(const MouseOpt& m)
{
    return QStringLiteral("cursor %1 indicate %2 reserved %3 click %4 method %5/%6")
        .arg(int(m.cursor)).arg(int(m.indicate)).arg(int(m.reserved)).arg(m.clickType).arg(m.method).arg(m.methodParam);
}

// Records compared whole, field by field, with both shown on a mismatch.
#define COMPARE_RECORD(actual, expected) QCOMPARE(show(actual), show(expected))

// Telemetry events written after a mark.
class Telemetry
{
public:
    Telemetry() : m_nSkip(lines().size()) {}
    QList<QJsonObject> events(int id) const
    {
        QList<QJsonObject> result;
        const QList<QByteArray> all = lines();
        for (int i = m_nSkip; i < all.size(); ++i) {
            const QJsonObject event = QJsonDocument::fromJson(all.at(i)).object();
            if (event.value("id").toInt() == id)
                result << event.value("data").toObject();
        }
        return result;
    }

private:
    static QList<QByteArray> lines()
    {
        QList<QByteArray> result;
        for (const QByteArray& line : testsupport::readFile(CEIPWrapper::instance()->telemetryFilePath()).split('\n')) {
            if (!line.trimmed().isEmpty())
                result << line;
        }
        return result;
    }
    int m_nSkip;
};

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
        connect(hub, &SignalsTransfer::canvasNumChange, this, [this](int n) { note(QString("number %1").arg(n)); });
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

// What a step saw of a warning box before pressing `button`.
struct BoxSeen
{
    QString text;
    QString cancelText;
};

ModalDriver::Action answer(int button, BoxSeen* seen = nullptr)
{
    return [button, seen](QWidget* modal) {
        auto* box = qobject_cast<VxMessageBox*>(modal);
        QAbstractButton* pressed = box ? box->button(QMessageBox::StandardButton(button)) : nullptr;
        if (box && seen) {
            seen->text = box->labelInfo();
            QAbstractButton* cancel = box->button(QMessageBox::Cancel);
            seen->cancelText = cancel ? cancel->text() : QString();
        }
        if (pressed)
            pressed->click();
        else
            ModalDriver::forceClose(modal);
    };
}

#define DRIVER_DONE(driver)                                                              \
    QVERIFY((driver).waitFinished(30000));                                                    \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

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
    void init();
    void cleanupTestCase() { init(); }

    void modes_data();
    void modes();
    void codecChoice_data();
    void codecChoice();
    void codecFallbackIsSaved();
    void refusals();
    void engineRefusalReportsFailure();
    void suffixIsNotAppendedTwice();
    void soundOnlyRecording();

    void freeSpaceThresholds_data();
    void freeSpaceThresholds();
    void changePathLoop();
    void unwritableTemporaryRootIsRefused();

    void snapshotNames();
    void snapshotFormatsAndFailures();
    void rectToQRect_data();
    void rectToQRect();

    void engineErrorArrivesQueuedOnGuiThread();
    void regionDragEndIsAppliedOnGuiThread();
    void canvas();
    void gifSizeAndLimit();

private:
    // A region recording's settings, the temporary folder checked.
    void prepareRegion(RP_Format format = RP_Format_MP4);
    void startRegionRecording();
    QString m_strBase;
};

void TstRecorder::init()
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

void TstRecorder::startRegionRecording()
{
    RecordParameter::instance()->setVideoRect(QRect(0, 0, 1920, 1080));
    RecordParameter::instance()->setUsedVideoFmt(RP_Format_MP4);
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    ScreenRecorder::instance()->start();
    QVERIFY(FakeScreencast::screenRecorder());
}

// ---- the records of each mode ------------------------------------------------

void TstRecorder::modes_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<VideoOpt>("video");
    QTest::addColumn<AudioOpt>("audio");
    QTest::addColumn<MouseOpt>("mouse");
    QTest::addColumn<int>("option");
    QTest::addColumn<QVector<unsigned int>>("include");
    QTest::addColumn<QVector<unsigned int>>("exclude");

    // The stored QRect(100, 50, 640x480) has inclusive corners; the
    // engine's right and bottom are exclusive.
    const VideoOpt region{CRect{100, 50, 740, 530}, CRect{0, 0, 0, 0}, 25, 1, 4, 0};
    const AudioOpt sound{1, 0, 1, 2, 2};
    const MouseOpt mouse{1, 1, 0, 2, 0, 0};
    const QVector<unsigned int> none;
    auto with = [](MouseOpt m, int click, int method, int param, int cursor = 1) {
        m.clickType = click;
        m.method = method;
        m.methodParam = param;
        m.cursor = int8_t(cursor);
        return m;
    };
    VideoOpt centred = region;
    centred.rect = CRect{0, 0, 800, 600};
    VideoOpt wholeDisplay = region;
    wholeDisplay.rect = CRect{0, 0, 1920, 1080};
    VideoOpt oneWindow = region;
    oneWindow.windowRect = CRect{0, 0, 800, 600};
    VideoOpt gif = region;
    gif.codec = 5;

    QTest::newRow("region") << Setup([](RecordParameter*) {}) << ".mp4" << region << sound << mouse << 0 << none << none;
    QTest::newRow("GIF: no sound, the GIF codec")
        << Setup([](RecordParameter* p) { p->setUsedVideoFmt(RP_Format_GIF); p->setMicEnable(true); })
        << ".gif" << gif << AudioOpt{0, 0, 1, 2, 2} << mouse << 0 << none << none;
    QTest::newRow("M4V written as MP4") << Setup([](RecordParameter* p) { p->setUsedVideoFmt(RP_Format_M4V); })
                                      << ".mp4" << region << sound << mouse << 0 << none << none;
    QTest::newRow("draggable, click shown")
        << Setup([](RecordParameter* p) { p->setMoveRegion(true); p->setMouseClick(RP_MouseClick_Status); })
        << ".mp4" << region << sound << with(mouse, 1, 1, 1) << 0 << none << none;
    QTest::newRow("following wins over dragging")
        << Setup([](RecordParameter* p) { p->setMoveRegion(true); p->setFollowMouse(true); p->setMouseClick(RP_MouseClick_None); })
        << ".mp4" << region << sound << with(mouse, 0, 2, 0) << 0 << none << none;
    QTest::newRow("centred on the mouse")
        << Setup([](RecordParameter* p) { p->setAroundMouse(true); p->setAroundMouseSize(QSize(800, 600)); })
        << ".mp4" << centred << sound << with(mouse, 2, 1, 0) << 0 << none << none;
    QTest::newRow("centred, larger than the display: the display")
        << Setup([](RecordParameter* p) { p->setAroundMouse(true); p->setAroundMouseSize(QSize(2000, 720)); })
        << ".mp4" << wholeDisplay << sound << with(mouse, 2, 1, 0) << 0 << none << none;
    QTest::newRow("one window: its size, no cursor")
        << Setup([](RecordParameter* p) { p->setWindowRecord(true); p->setWindowModle(1); p->setWindowList({77, 78}); })
        << ".mp4" << oneWindow << sound << with(mouse, 2, 0, 0, 0) << 1 << QVector<unsigned int>{77, 78} << none;
    QTest::newRow("excluded windows, the webcam taken in")
        << Setup([](RecordParameter* p) {
               p->setWindowRecord(true); p->setWindowModle(2); p->setWindowList({5, 6}); p->setCamerastream(true);
           })
        << ".mp4" << region << sound << mouse << 2 << QVector<unsigned int>{900} << QVector<unsigned int>{5, 6};
    QTest::newRow("only the chosen windows")
        << Setup([](RecordParameter* p) { p->setWindowRecord(true); p->setWindowModle(3); p->setWindowList({5, 6}); })
        << ".mp4" << region << sound << mouse << 3 << QVector<unsigned int>{5, 6} << none;
    QTest::newRow("unknown window mode passes without lists")
        << Setup([](RecordParameter* p) { p->setWindowRecord(true); p->setWindowModle(7); p->setWindowList({5, 6}); })
        << ".mp4" << region << sound << mouse << 7 << none << none;
    QTest::newRow("the control bar left out")
        << Setup([](RecordParameter* p) { p->setExcludeFloatBar(true); })
        << ".mp4" << region << sound << mouse << 2 << none << none;
}

void TstRecorder::modes()
{
    QFETCH(Setup, setup);
    QFETCH(QString, suffix);
    QFETCH(VideoOpt, video);
    QFETCH(AudioOpt, audio);
    QFETCH(MouseOpt, mouse);
    QFETCH(int, option);
    QFETCH(QVector<unsigned int>, include);
    QFETCH(QVector<unsigned int>, exclude);
    FakeScreencast::setWindows({window(77, CRect{300, 200, 1100, 800})});
    FakeScreencast::setWindowsForFilter(kWindowFilterOwn,
                                        {window(900, CRect{0, 0, 320, 240}, "Webcam Recorder", QCoreApplication::applicationName())});
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    setup(p);

    QVERIFY(ScreenRecorder::instance()->recordVideo());
    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QVERIFY(call.callback);
    QCOMPARE(call.path, m_strBase + suffix);
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), m_strBase + suffix);
    QCOMPARE(VxSettings::instance()->applicationParam("outputVideo").toString(), m_strBase + suffix);
    QCOMPARE(Utils::getFileSuffix(), suffix.mid(1));
    COMPARE_RECORD(call.video, video);
    COMPARE_RECORD(call.audio, audio);
    COMPARE_RECORD(call.mouse, mouse);
    QCOMPARE(int(call.option), option);
    QCOMPARE(call.include, include);
    QCOMPARE(call.exclude, exclude);
    // Centring and following hold for one recording only.
    QVERIFY(!p->isAroundMouse());
    QVERIFY(!p->isFollowMouse());
}

// ---- codecs ---------------------------------------------------------------------

void TstRecorder::codecChoice_data()
{
    QTest::addColumn<bool>("lists");
    QTest::addColumn<QVector<int>>("videoList");
    QTest::addColumn<QVector<int>>("audioList");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::newRow("422 with PCM16") << true << QVector<int>{1, 3} << QVector<int>{1, 2} << 3 << true << 3 << 2;
    QTest::newRow("422 without PCM16") << true << QVector<int>{3} << QVector<int>{1} << 3 << true << 3 << 1;
    QTest::newRow("4444 with PCM24") << true << QVector<int>{4} << QVector<int>{1, 2, 3} << 4 << true << 4 << 3;
    QTest::newRow("4444 without PCM24") << true << QVector<int>{4} << QVector<int>{1, 2} << 4 << true << 4 << 1;
    QTest::newRow("H.264: the first sound codec") << true << QVector<int>{1} << QVector<int>{2, 1} << 1 << true << 1 << 2;
    QTest::newRow("no sound codec listed: AAC") << true << QVector<int>{1} << QVector<int>{} << 1 << true << 1 << 1;
    QTest::newRow("not offered: the first listed") << true << QVector<int>{5} << QVector<int>{} << 1 << true << 5 << 1;
    QTest::newRow("no video codec: refused") << true << QVector<int>{} << QVector<int>{1} << 1 << false << 0 << 0;
    QTest::newRow("no lists: kept, with AAC") << false << QVector<int>{} << QVector<int>{} << 3 << true << 3 << 1;
}

void TstRecorder::codecChoice()
{
    QFETCH(bool, lists);
    QFETCH(QVector<int>, videoList);
    QFETCH(QVector<int>, audioList);
    QFETCH(int, wanted);
    QFETCH(bool, usable);
    videoList << 0;
    audioList << 0;
    const AVFormatCodecs listed{videoList.constData(), audioList.constData()};
    int video = 0;
    int audio = 0;
    QCOMPARE(RecordOptions::chooseCodecs(lists ? &listed : nullptr, wanted, video, audio), usable);
    if (usable) {
        QTEST(video, "video");
        QTEST(audio, "audio");
    }
}

void TstRecorder::codecFallbackIsSaved()
{
    prepareRegion(RP_Format_MP4);
    RecordParameter* p = RecordParameter::instance();
    p->setVideoOpt(60, RP_Codec_HEVC, RP_Quality_Highest);
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().video.codec, 2);

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

// ---- refusals ---------------------------------------------------------------------

void TstRecorder::refusals()
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

    // A container without video codecs: refused without telemetry.
    p->setWindowRecord(false);
    FakeScreencast::setCodecs(kOutputMp4, {}, {1});
    Telemetry telemetry;
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QVERIFY(telemetry.events(4000).isEmpty());
    QVERIFY(telemetry.events(5002).isEmpty());
    QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
}

void TstRecorder::engineRefusalReportsFailure()
{
    prepareRegion();
    Telemetry telemetry;
    FakeScreencast::failNext("scVideoRecord");
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    FakeScreencast::failNext("scAudioRecord");
    QVERIFY(!ScreenRecorder::instance()->recordAudio());
    QCOMPARE(telemetry.events(5002).size(), 2);
    QCOMPARE(telemetry.events(5002).first().value("key_Recording_Result").toInt(), 0);
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

void TstRecorder::suffixIsNotAppendedTwice()
{
    prepareRegion(RP_Format_MP4);
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->recordVideo());
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().path, m_strBase + ".mp4");
    RecordParameter::instance()->setUsedVideoFmt(RP_Format_MOV);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().path, m_strBase + ".mov");
    QCOMPARE(int(FakeScreencast::lastVideoRecord().type), int(kOutputMov));
    // Sound alone: the engine keeps its own files, the base path has no suffix.
    QVERIFY(rec->recordAudio());
    QCOMPARE(rec->getTmpFilePath(), m_strBase);
}

void TstRecorder::soundOnlyRecording()
{
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setMicEnable(true);
    p->setSysAudioEnable(false);
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->recordVideo());
    QVERIFY(rec->recordAudio());
    const FakeScreencast::AudioRecordCall call = FakeScreencast::lastAudioRecord();
    QVERIFY(call.callback);
    QCOMPARE(call.render, 0);
    QCOMPARE(call.capture, 1);
    QCOMPARE(call.channels, 2);
    QVERIFY(call.captureDeviceId.isEmpty());
    // The earlier video object is gone, and a video one replaces this one.
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    QVERIFY(!FakeScreencast::audioRecorder());
    ScreenRecorder::release();
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

// ---- temporary folder ---------------------------------------------------------------

void TstRecorder::freeSpaceThresholds_data()
{
    QTest::addColumn<qint64>("freeBytes");
    QTest::addColumn<QString>("warning");  // empty: none
    QTest::addColumn<bool>("records");
    QTest::newRow("0xFFFFFFFF refused") << qint64(0xFFFFFFFFLL) << "no less than 4GB" << false;
    QTest::newRow("0x100000000 warned") << qint64(0x100000000LL) << "no less than 8GB" << true;
    QTest::newRow("0x1FFFFFFFF warned") << qint64(0x1FFFFFFFFLL) << "no less than 8GB" << true;
    QTest::newRow("0x200000000 quiet") << qint64(0x200000000LL) << QString() << true;
    QTest::newRow("unknown is not full") << qint64(-1) << QString() << true;
}

void TstRecorder::freeSpaceThresholds()
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
    BoxSeen seen;
    if (!warning.isEmpty())
        driver.expect(answer(QMessageBox::Cancel, &seen), "VxMessageBox");
    QCOMPARE(ScreenRecorder::instance()->checkTempfilePath(), records);
    DRIVER_DONE(driver);
    QVERIFY(seen.text.contains(warning));
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), records ? root + "/.ScreenRecorder" : QString());
    // A warning may be passed over with "Continue"; a refusal may not.
    if (!warning.isEmpty())
        QCOMPARE(seen.cancelText, records ? QString("Continue") : QString("Cancel"));
    QCOMPARE(SystemStatusBar::instance()->actionEnable(), warning.isEmpty());
    QVERIFY(FakeScreencast::callsOf("GetFileSystemFreeSize").contains(QString("GetFileSystemFreeSize(\"%1\")").arg(root)));
}

void TstRecorder::changePathLoop()
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
    QStringList answers{unwritable, tight};
    ScreenRecorder::setFolderChooser([&](const QString& title, const QString& start) {
        asked << title + "|" + start;
        return answers.takeFirst();
    });

    // "Change path" to an unwritable folder, told so, "Change path" again
    // to a folder that goes through the whole check: its 8 GB warning is
    // answered with "Continue".
    ModalDriver driver;
    BoxSeen first, info, second, third;
    driver.expect(answer(QMessageBox::Ok, &first), "VxMessageBox");
    driver.expect(answer(QMessageBox::Ok, &info), "VxMessageBox");
    driver.expect(answer(QMessageBox::Ok, &second), "VxMessageBox");
    driver.expect(answer(QMessageBox::Cancel, &third), "VxMessageBox");
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    DRIVER_DONE(driver);
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), QDir::cleanPath(tight) + "/.ScreenRecorder");
    QVERIFY(first.text.contains("4GB"));
    QCOMPARE(info.text, QString("\"%1\" is not writable.").arg(QDir::cleanPath(unwritable)));
    QVERIFY(second.text.contains("4GB"));
    QVERIFY(third.text.contains("8GB"));
    QCOMPARE(asked, (QStringList{"Select Temporary Folder|" + root, "Select Temporary Folder|" + root}));
}

void TstRecorder::unwritableTemporaryRootIsRefused()
{
    const testsupport::UnwritablePath unwritable;
    QVERIFY(unwritable.ok());
    QString root;
    bool ok = true;
    ModalDriver driver;
    BoxSeen seen;
    {
        testsupport::ScopedEnv env("XDG_DATA_HOME", unwritable.path("data").toUtf8().constData());
        root = Utils::getRecorderTmpRoot();
        driver.expect(answer(QMessageBox::Cancel, &seen), "VxMessageBox");
        ok = ScreenRecorder::instance()->checkTempfilePath();
    }
    DRIVER_DONE(driver);
    QVERIFY(!ok);
    QCOMPARE(seen.text, QString("\"%1\" is not writable.").arg(root));
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
}

// ---- still images ----------------------------------------------------------------------

void TstRecorder::snapshotNames()
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
        if (second() != stamp || paths.first() != folder + "/Snapshot_" + stamp + ".png") {
            paths.clear();
            QTRY_VERIFY_WITH_TIMEOUT(second() != stamp, 5000);
        }
    }
    QVERIFY2(!paths.isEmpty(), "no three snapshots within one second");
    QCOMPARE(paths.at(1), folder + "/Snapshot_" + stamp + "(1).png");
    QCOMPARE(paths.at(2), folder + "/Snapshot_" + stamp + "(2).png");
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

void TstRecorder::snapshotFormatsAndFailures()
{
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->snapshot().isEmpty()); // nothing records
    startRegionRecording();
    const struct { RP_Format format; const char* suffix; int engine; } cases[] = {
        {RP_Format_JPG, ".jpg", kImageJpg}, {RP_Format_TIFF, ".tiff", kImageTiff},
        {RP_Format_BMP, ".bmp", kImageBmp}, {RP_Format_MP3, ".png", kImagePng}, // not an image format
    };
    for (const auto& c : cases) {
        RecordParameter::instance()->setUsedImgFmt(c.format);
        QVERIFY(rec->snapshot().endsWith(c.suffix));
        QCOMPARE(FakeScreencast::screenRecorder()->snapshotFormat, c.engine);
    }
    // The engine wrote nothing: no path.
    FakeScreencast::screenRecorder()->snapshotWritesFile = false;
    QVERIFY(rec->snapshot().isEmpty());
}

void TstRecorder::rectToQRect_data()
{
    QTest::addColumn<CRect>("engine");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("small, off the left edge") << CRect{-50, 10, 0, 40} << QRect(QPoint(0, 10), QPoint(63, 73));
    QTest::newRow("inside, fractions cut") << CRect{10.7, 20.2, 330.9, 260.5} << QRect(10, 20, 320, 240);
    QTest::newRow("past the right and bottom")
        << CRect{1900, 1000, 2000, 1100} << QRect(QPoint(1820, 980), QPoint(1919, 1079));
    QTest::newRow("larger than the display") << CRect{0, 0, 3000, 2000} << QRect(0, 0, 1920, 1080);
    QTest::newRow("above the top") << CRect{100, -30, 300, 170} << QRect(100, 0, 200, 200);
}

void TstRecorder::rectToQRect()
{
    QFETCH(CRect, engine);
    QTEST(RECT2QRect(engine), "expected");
}

// ---- engine callbacks ------------------------------------------------------------------

void TstRecorder::engineErrorArrivesQueuedOnGuiThread()
{
    HubListener listener;
    startRegionRecording();
    Telemetry telemetry;
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
    QCOMPARE(telemetry.events(5002).size(), 1);

    // A new preparation forgets the error.
    QVERIFY(rec->recordVideo());
    QVERIFY(!rec->recordError(code));
    // The hub gone: the error is stored and nothing crashes.
    SignalsTransfer::release();
    FakeScreencast::screenRecorder()->fireError(SR_BufferFull);
    QVERIFY(rec->recordError(code));
    QCOMPARE(code, 3);
}

void TstRecorder::regionDragEndIsAppliedOnGuiThread()
{
    HubListener listener;
    startRegionRecording();
    RecordParameter* p = RecordParameter::instance();
    const QRect before = p->getVideoRect();
    FakeScreencast::screenRecorder()->fireRegionBeginDrag();
    QTRY_COMPARE_WITH_TIMEOUT(listener.events, QStringList{"begin drag"}, 20000);

    FakeScreencast::screenRecorder()->fireRegionEndDrag(CRect{100, 120, 500, 420});
    // The engine thread has returned and wrote nothing itself.
    QCOMPARE(p->getVideoRect(), before);
    QTRY_COMPARE_WITH_TIMEOUT(listener.events.size(), 2, 20000);
    QCOMPARE(listener.events.last(), QString("end drag 100,120 400x300"));
    QCOMPARE(p->getVideoRect(), QRect(100, 120, 400, 300));
    QVERIFY(listener.allOnGuiThread);
}

void TstRecorder::canvas()
{
    HubListener listener;
    ScreenRecorder* rec = ScreenRecorder::instance();
    const QColor fg(0x11, 0x22, 0x33);
    const QColor bg(0xaa, 0xbb, 0xcc, 0xdd);
    // No canvas: nothing reaches the engine.
    rec->onStartCanvs(1, 16, 4, fg, bg, "Tahoma", 0);
    rec->onUndo();
    rec->onStopCanvs();
    QVERIFY(!rec->isCanvas());
    startRegionRecording();
    QVERIFY(rec->isCanvas());
    FakeScreenCanvas* canvas = FakeScreencast::screenRecorder()->canvas;
    QVERIFY(canvas);

    using Stroke = FakeScreenCanvas::Stroke;
    auto same = [](const Stroke& a, const Stroke& b) {
        return a.shape == b.shape && a.colour == b.colour && a.background == b.background && a.font == b.font
            && a.size == b.size;
    };
    // A callout swaps the colours and takes its number; text takes the font
    // size; other shapes fill at alpha 0x64.
    rec->onStartCanvs(7, 16, 4, fg, bg, "Tahoma", 3);
    QCOMPARE(canvas->number, 3);
    QVERIFY(same(canvas->lastStart, Stroke{7, 0xddaabbcc, 0xff112233, "Tahoma", 4}));
    rec->onStartCanvs(8, 16, 4, fg, bg, "Tahoma", 3);
    QVERIFY(same(canvas->lastStart, Stroke{8, 0xff112233, 0x64aabbcc, "Tahoma", 16}));
    rec->onStartCanvs(2, 16, 4, fg, bg, "Tahoma", 3);
    QVERIFY(same(canvas->lastStart, Stroke{2, 0xff112233, 0x64aabbcc, "Tahoma", 4}));
    rec->onUndo();
    rec->onRedo();
    rec->onClear();
    rec->onStopCanvs();
    QCOMPARE(canvas->shape, 0);
    for (const char* op : {"undo", "redo", "clear"})
        QCOMPARE(FakeScreencast::callCount(QString("CScreenCanvasObject::") + op), 1);

    canvas->fireCanvasEvent(true, false);
    QVERIFY(rec->isCanUndo() && !rec->isCanRedo());
    canvas->fireCanvasEvent(false, true);
    QVERIFY(!rec->isCanUndo() && rec->isCanRedo());
    canvas->fireNumberChanged(5);
    QVERIFY(listener.events.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(listener.events, QStringList{"number 5"}, 20000);
    QVERIFY(listener.allOnGuiThread);
    rec->stop();
    QVERIFY(!rec->isCanvas());
}

// ---- GIF limit ---------------------------------------------------------------------------

void TstRecorder::gifSizeAndLimit()
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

QTEST_MAIN(TstRecorder)
#include "tst_recorder.moc"
