// What the driver asks the engine for: the option records of every
// recording mode, the container and codec choice (and the fallback saved
// back to the settings), the window lists, the temporary file name and the
// telemetry record.
#include <QCoreApplication>
#include <QFileInfo>
#include <QtTest>

#include "DriverTestSupport.h"
#include "core/Utils.h"

using DriverTest::Telemetry;

namespace {

bool sameRect(const CRect& a, const CRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

QString show(const CRect& r)
{
    return QStringLiteral("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom);
}

#define COMPARE_RECT(actual, expected)                                                                     \
    QVERIFY2(sameRect(actual, expected), qPrintable(show(actual) + " != " + show(expected)))

} // namespace

class TstRecorderOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void regionRecordingOptions();
    void mouseMethods();
    void aroundMouseLargerThanDisplayTakesTheDisplay();
    void singleWindowUsesTheWindowSize();
    void singleWindowWithoutWindowIsRefused();
    void excludeAndIncludeLists();
    void excludeFloatBarWithoutWindowRecording();
    void audioOnlyRecording();
    void gifDropsSoundAndFallsBackToGifCodec();
    void proResPairsWithPcm_data();
    void proResPairsWithPcm();
    void hevcFallbackIsSavedToSettings();
    void emptyVideoListRefusesSilently();
    void missingCodecRecordUsesAac();
    void engineRefusalReportsFailure();
    void suffixIsNotAppendedTwice();
    void recordingWithoutTemporaryFolderIsRefused();
    void newRecordingReleasesTheOldOne();

private:
    // A region recording's usual settings, temp folder checked.
    void prepareRegion(RP_Format format = RP_Format_MP4);
    QString base() const { return m_strBase; }

    QString m_strBase;
};

void TstRecorderOptions::init()
{
    DriverTest::resetWorld();
    m_strBase.clear();
}

void TstRecorderOptions::cleanupTestCase()
{
    DriverTest::resetWorld();
}

void TstRecorderOptions::prepareRegion(RP_Format format)
{
    RecordParameter* p = RecordParameter::instance();
    p->setVideoRect(QRect(100, 50, 640, 480));
    p->setVideoOpt(25, RP_Codec_H264, RP_Quality_High);
    p->setUsedVideoFmt(format);
    p->setAudioQuality(RP_Quality_Low);
    p->setSysAudioEnable(true);
    p->setMicEnable(false);
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    m_strBase = ScreenRecorder::instance()->getTmpFilePath();
    QCOMPARE(m_strBase, Utils::getRecorderTmpRoot() + "/.ScreenRecorder");
}

void TstRecorderOptions::regionRecordingOptions()
{
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setMouseRecorder(true);
    p->setMouseShow(true);
    p->setMouseClick(RP_MouseClick_Blink);
    p->setMouseColor(QColor(0xff, 0xb5, 0x17), QColor(0xd9, 0x25, 0x2b));
    Telemetry telemetry;

    QVERIFY(ScreenRecorder::instance()->recordVideo());

    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QVERIFY(call.made);
    QVERIFY(call.callback != nullptr);
    QCOMPARE(int(call.type), int(kOutputMp4));
    QCOMPARE(call.path, base() + ".mp4");
    // Stored QRect(100, 50, 640x480): right and bottom are exclusive edges.
    COMPARE_RECT(call.video.rect, (CRect{100, 50, 740, 530}));
    COMPARE_RECT(call.video.windowRect, (CRect{0, 0, 0, 0}));
    QCOMPARE(call.video.fps, 25);
    QCOMPARE(call.video.codec, 1);
    QCOMPARE(call.video.quality, int(RP_Quality_High));
    QCOMPARE(call.video.reserved, 0);
    QCOMPARE(int(call.audio.render), 1);
    QCOMPARE(int(call.audio.capture), 0);
    QCOMPARE(call.audio.codec, 1);
    QCOMPARE(call.audio.quality, int(RP_Quality_Low));
    QCOMPARE(call.audio.channels, 2);
    QCOMPARE(int(call.mouse.cursor), 1);
    QCOMPARE(int(call.mouse.indicate), 1);
    QCOMPARE(int(call.mouse.reserved), 0);
    QCOMPARE(call.mouse.clickType, 2);
    QCOMPARE(call.mouse.method, 0);
    QCOMPARE(call.mouse.methodParam, 0);
    QCOMPARE(call.boundary, true);
    QCOMPARE(int(call.option), 0);
    QVERIFY(call.include.isEmpty());
    QVERIFY(call.exclude.isEmpty());

    QCOMPARE(FakeScreencast::mouseHighlightColor(), ColorRef(0xffffb517));
    QCOMPARE(FakeScreencast::mouseNormalColor(), ColorRef(0xffd9252b));
    QCOMPARE(FakeScreencast::callsOf("SetHEVC10BITEnabled"), QStringList{"SetHEVC10BITEnabled(0)"});
    // No preset selected: the engine's watermark is cleared.
    QCOMPARE(FakeScreencast::callsOf("SetWatermark"), QStringList{"SetWatermark(null, 0, 0, 0, 0)"});
    QCOMPARE(Utils::getFileSuffix(), QString("mp4"));
    QCOMPARE(VxSettings::instance()->applicationParam("outputVideo").toString(), base() + ".mp4");
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), base() + ".mp4");

    const QList<QJsonObject> info = telemetry.events(4000);
    QCOMPARE(info.size(), 1);
    const QJsonObject& r = info.first();
    QCOMPARE(r.value("key_videoFormat").toString(), QString("mp4"));
    QCOMPARE(r.value("key_videoQuality").toString(), QString("4"));
    QCOMPARE(r.value("key_auidoQuality").toString(), QString());
    QCOMPARE(r.value("key_videoResolution").toString(), QString("640*480|FullSreen:0"));
    QCOMPARE(r.value("key_videoFrameRate").toString(), QString("25"));
    QCOMPARE(r.value("key_Mouse_Mode").toString(), QString("0"));
    QCOMPARE(r.value("key_Windows_Mode").toString(), QString("0"));
    QCOMPARE(r.value("key_RecordAudio").toString(), QString());
    QCOMPARE(r.value("key_VideoStream").toString(), QString("1"));
    QCOMPARE(r.value("key_AudioSystem").toString(), QString("1"));
    QCOMPARE(r.value("key_AudioMic").toString(), QString("0"));
    QCOMPARE(r.value("key_AudioVirtual").toString(), QString("1"));
    QCOMPARE(r.value("key_CameraStream").toString(), QString("0"));
    QVERIFY(telemetry.events(5002).isEmpty());
}

void TstRecorderOptions::mouseMethods()
{
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    ScreenRecorder* rec = ScreenRecorder::instance();

    // The user may drag the area: method 1, parameter 1.
    p->setMoveRegion(true);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 1);
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.methodParam, 1);

    // Following the mouse wins over dragging, for one recording only.
    p->setFollowMouse(true);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 2);
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.methodParam, 0);
    QVERIFY(!p->isFollowMouse());

    // Centred on the mouse, fitting the display: the around size, at 0,0.
    p->setAroundMouse(true);
    p->setAroundMouseSize(QSize(800, 600));
    QVERIFY(rec->recordVideo());
    COMPARE_RECT(FakeScreencast::lastVideoRecord().video.rect, (CRect{0, 0, 800, 600}));
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 1);
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.methodParam, 0);
    QVERIFY(!p->isAroundMouse());

    // The click effect: 1 shows, anything else but 2 is none.
    p->setMoveRegion(false);
    p->setMouseClick(RP_MouseClick_Status);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.clickType, 1);
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 0);
    p->setMouseClick(RP_MouseClick_None);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().mouse.clickType, 0);
}

void TstRecorderOptions::aroundMouseLargerThanDisplayTakesTheDisplay()
{
    FakeScreencast::Display display;
    display.name = "Small";
    display.frame = CRect{0, 0, 1024, 768};
    display.primary = true;
    FakeScreencast::setDisplays({display});
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setAroundMouse(true);
    p->setAroundMouseSize(QSize(1280, 720));

    QVERIFY(ScreenRecorder::instance()->recordVideo());
    // Both sides become the display's, not only the one that overflowed.
    COMPARE_RECT(FakeScreencast::lastVideoRecord().video.rect, (CRect{0, 0, 1024, 768}));
    QVERIFY(!p->isAroundMouse());
}

void TstRecorderOptions::singleWindowUsesTheWindowSize()
{
    FakeScreencast::Window window;
    window.id = 77;
    window.title = "Editor";
    window.frame = CRect{300, 200, 1100, 800};
    FakeScreencast::setWindows({window});
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setMouseRecorder(true); // the cursor is never drawn into one window
    p->setWindowRecord(true);
    p->setWindowModle(1);
    p->setWindowList({77, 78});
    WaterMarkDataManage::instance()->m_nCurrentIndex = 0; // the text preset

    QVERIFY(ScreenRecorder::instance()->recordVideo());

    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    // The window's width and height, not the corners of its frame.
    COMPARE_RECT(call.video.windowRect, (CRect{0, 0, 800, 600}));
    QCOMPARE(int(call.option), 1);
    QCOMPARE(call.include, (QVector<unsigned int>{77, 78}));
    QVERIFY(call.exclude.isEmpty());
    QCOMPARE(int(call.mouse.cursor), 0);

    // The watermark is placed in the window's frame.
    const FakeScreencast::Watermark mark = FakeScreencast::watermark();
    QVERIFY(!mark.nullPath);
    QVERIFY(mark.width > 0 && mark.height > 0);
    QVERIFY(mark.x >= 0 && mark.x + mark.width <= 800);
    QVERIFY(mark.y >= 0 && mark.y + mark.height <= 600);
}

void TstRecorderOptions::singleWindowWithoutWindowIsRefused()
{
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setWindowRecord(true);
    p->setWindowModle(1);
    p->setWindowList({});
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);

    // A window that is gone (the engine reports an empty frame) too.
    p->setWindowList({404});
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
}

void TstRecorderOptions::excludeAndIncludeLists()
{
    FakeScreencast::Window camera;
    camera.id = 900;
    camera.title = "Webcam Recorder";
    camera.owner = QCoreApplication::applicationName();
    camera.frame = CRect{0, 0, 320, 240};
    FakeScreencast::setWindowsForFilter(kWindowFilterOwn, {camera});
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setWindowRecord(true);
    p->setWindowList({5, 6});

    // Exclude with the webcam overlay: the chosen windows are left out, the
    // webcam window is taken in.
    p->setWindowModle(2);
    p->setCamerastream(true);
    Telemetry telemetry;
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.option), 2);
    QCOMPARE(call.exclude, (QVector<unsigned int>{5, 6}));
    QCOMPARE(call.include, (QVector<unsigned int>{900}));
    COMPARE_RECT(call.video.windowRect, (CRect{0, 0, 0, 0}));
    QCOMPARE(telemetry.events(4000).value(0).value("key_CameraStream").toString(), QString("1"));
    // The exclude list goes before the include list.
    QVERIFY(FakeScreencast::callsOf("scVideoRecord").last().endsWith("true, 2, [5,6], [900])"));

    // Include: only the chosen windows.
    p->setWindowModle(3);
    p->setCamerastream(false);
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.option), 3);
    QCOMPARE(call.include, (QVector<unsigned int>{5, 6}));
    QVERIFY(call.exclude.isEmpty());

    // A mode the driver does not know passes through with no lists.
    p->setWindowModle(7);
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.option), 7);
    QVERIFY(call.include.isEmpty() && call.exclude.isEmpty());
}

void TstRecorderOptions::excludeFloatBarWithoutWindowRecording()
{
    prepareRegion();
    RecordParameter::instance()->setExcludeFloatBar(true);
    RecordParameter::instance()->setShowBoundary(false);
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.option), 2);
    QVERIFY(call.include.isEmpty() && call.exclude.isEmpty());
    QCOMPARE(call.boundary, false);
}

void TstRecorderOptions::audioOnlyRecording()
{
    prepareRegion();
    RecordParameter* p = RecordParameter::instance();
    p->setMicEnable(true);
    p->setSysAudioEnable(false);
    p->setUsedAudioFmt(RP_Format_FLAC);
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->recordVideo()); // a suffix from an earlier video must not stay
    Telemetry telemetry;

    QVERIFY(rec->recordAudio());

    const FakeScreencast::AudioRecordCall call = FakeScreencast::lastAudioRecord();
    QVERIFY(call.made);
    QVERIFY(call.callback != nullptr);
    QCOMPARE(call.render, 0);
    QCOMPARE(call.capture, 1);
    QCOMPARE(call.channels, 2);
    QVERIFY(call.captureDeviceId.isEmpty());
    QCOMPARE(rec->getTmpFilePath(), base());
    // The video object of the earlier preparation is gone.
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    QVERIFY(FakeScreencast::audioRecorder() != nullptr);

    const QList<QJsonObject> info = telemetry.events(4000);
    QCOMPARE(info.size(), 1);
    QCOMPARE(info.first().value("key_videoFormat").toString(), QString("flac"));
    QCOMPARE(info.first().value("key_RecordAudio").toString(), QString("1"));
    QCOMPARE(info.first().value("key_AudioSystem").toString(), QString("0"));
    QCOMPARE(info.first().value("key_AudioMic").toString(), QString("1"));
    QCOMPARE(info.first().value("key_VideoStream").toString(), QString());

    // Refused by the engine: failure and telemetry result 0.
    FakeScreencast::failNext("scAudioRecord");
    QVERIFY(!rec->recordAudio());
    QCOMPARE(telemetry.events(5002).size(), 1);
    QCOMPARE(telemetry.events(5002).first().value("key_Recording_Result").toInt(), 0);
}

void TstRecorderOptions::gifDropsSoundAndFallsBackToGifCodec()
{
    prepareRegion(RP_Format_GIF);
    RecordParameter::instance()->setMicEnable(true);
    Telemetry telemetry;
    QVERIFY(ScreenRecorder::instance()->recordVideo());

    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.type), int(kOutputGif));
    QCOMPARE(call.path, base() + ".gif");
    QCOMPARE(int(call.audio.render), 0);
    QCOMPARE(int(call.audio.capture), 0);
    // The GIF container lists only the GIF codec: the stored H.264 is
    // replaced and the replacement is saved.
    QCOMPARE(call.video.codec, 5);
    QCOMPARE(int(RecordParameter::instance()->getVideoCodecType()), 5);
    QCOMPARE(VxSettings::instance()->applicationParam("VideoCodec").toInt(), 5);
    QCOMPARE(call.audio.codec, 1); // no audio codec listed
    QCOMPARE(Utils::getFileSuffix(), QString("gif"));
    const QJsonObject info = telemetry.events(4000).value(0);
    QCOMPARE(info.value("key_videoFormat").toString(), QString("gif"));
    QCOMPARE(info.value("key_AudioSystem").toString(), QString("0"));
    QCOMPARE(info.value("key_AudioMic").toString(), QString("0"));
}

void TstRecorderOptions::proResPairsWithPcm_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<QVector<int>>("audioList");
    QTest::addColumn<int>("audioCodec");
    QTest::newRow("422 with PCM16 listed") << 3 << QVector<int>{1, 2} << 2;
    QTest::newRow("422 without PCM16") << 3 << QVector<int>{1} << 1;
    QTest::newRow("4444 with PCM24 listed") << 4 << QVector<int>{1, 2, 3} << 3;
    QTest::newRow("4444 without PCM24") << 4 << QVector<int>{1, 2} << 1;
    QTest::newRow("H.264 takes the first listed") << 1 << QVector<int>{2, 1} << 2;
    QTest::newRow("empty audio list") << 1 << QVector<int>{} << 1;
}

void TstRecorderOptions::proResPairsWithPcm()
{
    QFETCH(int, codec);
    QFETCH(QVector<int>, audioList);
    QFETCH(int, audioCodec);
    FakeScreencast::setCodecs(kOutputMov, {1, 2, 3, 4}, audioList);
    prepareRegion(RP_Format_MOV);
    RecordParameter::instance()->setVideoOpt(30, RP_CodecType(codec), RP_Quality_Medium);

    QVERIFY(ScreenRecorder::instance()->recordVideo());
    const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
    QCOMPARE(int(call.type), int(kOutputMov));
    QCOMPARE(call.path, base() + ".mov");
    QCOMPARE(call.video.codec, codec);
    QCOMPARE(call.audio.codec, audioCodec);
}

void TstRecorderOptions::hevcFallbackIsSavedToSettings()
{
    prepareRegion(RP_Format_MP4);
    RecordParameter* p = RecordParameter::instance();
    p->setVideoOpt(60, RP_Codec_HEVC, RP_Quality_Highest);

    // Offered: kept, 10-bit switched off.
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().video.codec, 2);
    QCOMPARE(FakeScreencast::hevc10Bit(), 0);

    // Not offered by the container: the first listed codec, saved.
    FakeScreencast::setCodecs(kOutputMp4, {1}, {1});
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().video.codec, 1);
    QCOMPARE(FakeScreencast::lastVideoRecord().video.fps, 60);
    QCOMPARE(int(p->getVideoCodecType()), 1);
    QCOMPARE(p->getVideoFrameRate(), 60);
    QCOMPARE(int(p->getVideoQuality()), int(RP_Quality_Highest));
    QCOMPARE(VxSettings::instance()->applicationParam("VideoCodec").toInt(), 1);
    // A later run reads the replacement.
    RecordParameter::release();
    QCOMPARE(int(RecordParameter::instance()->getVideoCodecType()), 1);
}

void TstRecorderOptions::emptyVideoListRefusesSilently()
{
    FakeScreencast::setCodecs(kOutputMp4, {}, {1});
    prepareRegion(RP_Format_MP4);
    Telemetry telemetry;
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
    QVERIFY(telemetry.events(4000).isEmpty());
    QVERIFY(telemetry.events(5002).isEmpty());
}

void TstRecorderOptions::missingCodecRecordUsesAac()
{
    FakeScreencast::setNoCodecs(kOutputMov);
    prepareRegion(RP_Format_MOV);
    RecordParameter::instance()->setVideoOpt(30, RP_Codec_ProRes422, RP_Quality_Medium);
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().video.codec, 3);
    QCOMPARE(FakeScreencast::lastVideoRecord().audio.codec, 1);
}

void TstRecorderOptions::engineRefusalReportsFailure()
{
    prepareRegion();
    Telemetry telemetry;
    FakeScreencast::failNext("scVideoRecord");
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QVERIFY(FakeScreencast::lastVideoRecord().made);
    QCOMPARE(telemetry.events(5002).size(), 1);
    QCOMPARE(telemetry.events(5002).first().value("key_Recording_Result").toInt(), 0);
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

void TstRecorderOptions::suffixIsNotAppendedTwice()
{
    prepareRegion(RP_Format_MP4);
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->recordVideo());
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().path, base() + ".mp4");
    RecordParameter::instance()->setUsedVideoFmt(RP_Format_MOV);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().path, base() + ".mov");
    QCOMPARE(rec->getTmpFilePath(), base() + ".mov");
    // M4V is written as MP4.
    RecordParameter::instance()->setUsedVideoFmt(RP_Format_M4V);
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::lastVideoRecord().path, base() + ".mp4");
    QCOMPARE(int(FakeScreencast::lastVideoRecord().type), int(kOutputMp4));
}

void TstRecorderOptions::recordingWithoutTemporaryFolderIsRefused()
{
    RecordParameter::instance()->setVideoRect(QRect(0, 0, 640, 480));
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
    QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
}

void TstRecorderOptions::newRecordingReleasesTheOldOne()
{
    prepareRegion();
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->recordAudio());
    QVERIFY(rec->recordVideo());
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    QVERIFY(FakeScreencast::audioRecorder() == nullptr);
    QVERIFY(FakeScreencast::screenRecorder() != nullptr);
    ScreenRecorder::release();
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

QTEST_MAIN(TstRecorderOptions)
#include "tst_recorder_options.moc"
