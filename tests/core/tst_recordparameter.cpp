// The settings model: defaults of an empty store, corrections on load,
// persistence of every setter, and the derived rules.
#include <QColor>
#include <QPoint>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

#include "core/DeviceManager.h"
#include "tests/support/FakeScreencast.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"

namespace {

void clearStore()
{
    VxSettings* s = VxSettings::instance();
    for (const char* key : {"VideoFrameRate", "VideoQuality", "VideoLast/VideoRect", "VideoCodec", "VideoFormat",
                            "Application/isRatio", "RetinaMode", "AudioQuality", "AudioFormat",
                            "MouseOpt/ColorNormal", "MouseOpt/ColorHighLight", "MouseOpt/MouseClick",
                            "MouseOpt/CursorEnable", "MouseOpt/Indicate", "CameraPos", "CameraDefaultPos",
                            "ImageFormat", "TimerEnable", "TimerDuration", "TimerStopEvent", "TimerRepeat",
                            "VideoEnable", "Video/MicEnable", "Audio/MicEnable", "Video/AudioEnable",
                            "Audio/AudioEnable", "WindowModle"})
        s->removeApplicationParam(key);
}

RecordParameter* fresh()
{
    RecordParameter::release();
    return RecordParameter::instance();
}

} // namespace

class TestRecordParameter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeScreencast::reset();
        RecordParameter::release();
        DeviceManager::release();
        clearStore();
    }

    void cleanup() { RecordParameter::release(); }

    void videoFormatFallsBackWhenMovHasNoCodec()
    {
        FakeScreencast::setNoCodecs(OutputVideoFileType(1));
        QCOMPARE(int(fresh()->usedVideoFmt()), 16);
    }

    void loadCorrectsFrameRateAndQuality_data()
    {
        QTest::addColumn<int>("storedFps");
        QTest::addColumn<int>("storedQuality");
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("quality");
        QTest::newRow("zero fps") << 0 << 3 << 30 << 3;
        QTest::newRow("quality 7") << 25 << 7 << 25 << 3;
        QTest::newRow("quality -1") << 25 << -1 << 25 << 3;
        QTest::newRow("quality 6 stays") << 60 << 6 << 60 << 6;
    }

    void loadCorrectsFrameRateAndQuality()
    {
        QFETCH(int, storedFps);
        QFETCH(int, storedQuality);
        QFETCH(int, fps);
        QFETCH(int, quality);
        VxSettings::instance()->setApplicationParam("VideoFrameRate", storedFps);
        VxSettings::instance()->setApplicationParam("VideoQuality", storedQuality);
        RecordParameter* p = fresh();
        QCOMPARE(p->getVideoFrameRate(), fps);
        QCOMPARE(int(p->getVideoQuality()), quality);
    }

    void setVideoOptStoresUnchangedAndCorrectsOnlyAtNextStart()
    {
        RecordParameter* p = fresh();
        p->setVideoOpt(0, RP_Codec_HEVC, RP_CodecQuality(9));
        QCOMPARE(p->getVideoFrameRate(), 0);
        QCOMPARE(int(p->getVideoQuality()), 9);
        QCOMPARE(VxSettings::instance()->applicationParam("VideoQuality", 0).toInt(), 9);
        p = fresh();
        QCOMPARE(p->getVideoFrameRate(), 30);
        QCOMPARE(int(p->getVideoQuality()), 3);
        QCOMPARE(int(p->getVideoCodecType()), 2);
    }

    void everySetterSurvivesARestart()
    {
        RecordParameter* p = fresh();
        p->setVideoOpt(24, RP_Codec_ProRes4444, RP_Quality_Highest);
        p->setAudioQuality(RP_Quality_Lossless);
        p->setRetinaMode(1);
        p->setMouseRecorder(false);
        p->setMouseClick(RP_MouseClick_Blink);
        p->setMouseShow(false);
        p->setMouseColor(QColor("#112233"), QColor("#445566"));
        p->setUsedVideoFmt(RP_Format_GIF);
        p->setUsedAudioFmt(RP_Format_FLAC);
        p->setUsedImgFmt(RP_Format_TIFF);
        p->setTimerEnable(true);
        p->setTimerDuration(QTime(1, 2, 3));
        p->setTimerStopEvent(RecStopEvent_Sleep);
        p->setTimerRepeat(true);
        p->setCameraDefaultPos(RP_Pos_BottomRight);
        p->setVideoEnable(true);
        p->setWindowModle(3);
        p->setCamerastream(true);
        p->setBeep(true);
        p->setAutoSave(true);
        p->setCountDown(false);
        p->setShowBoundary(false);
        p->setHideMainWhenScreenshot(false);
        p->setCloseWhenClose(true);
        p->setFollowTheme(true);

        p = fresh();
        QCOMPARE(p->getVideoFrameRate(), 24);
        QCOMPARE(int(p->getVideoCodecType()), 4);
        QCOMPARE(int(p->getVideoQuality()), 5);
        QCOMPARE(int(p->getAudioQuality()), 6);
        QCOMPARE(p->isMouseEnable(), false);
        QCOMPARE(int(p->getMouseclick()), 2);
        QCOMPARE(p->isMouseAlwaysShow(), false);
        QCOMPARE(p->getMouseClickColor(), QColor("#112233"));
        QCOMPARE(p->getMouseNormalColor(), QColor("#445566"));
        QCOMPARE(int(p->usedVideoFmt()), 3);
        QCOMPARE(int(p->usedAudioFmt()), 9);
        QCOMPARE(int(p->usedImgFmt()), 14);
        QCOMPARE(p->timerEnable(), true);
        QCOMPARE(p->timerDuration(), QTime(1, 2, 3));
        QCOMPARE(int(p->timerStopEvent()), 2);
        QCOMPARE(p->TimerRepeat(), true);
        QCOMPARE(int(p->getCameraDefaultPos()), 4);
        QCOMPARE(p->getVideoEnable(), true);
        QCOMPARE(p->getWindowModle(), 3);
        QCOMPARE(p->getCamerastream(), true);
        QCOMPARE(p->isBeep(), true);
        QCOMPARE(p->isAutoSave(), true);
        QCOMPARE(p->isCountDown(), false);
        QCOMPARE(p->isShowBoundary(), false);
        QCOMPARE(p->isHideMainWhenScreenshot(), false);
        QCOMPARE(p->isCloseWhenClose(), true);
        QCOMPARE(p->isFollowTheme(), true);
        QCOMPARE(VxSettings::instance()->applicationParam("RetinaMode", 0).toInt(), 1);
    }

    void fieldOnlySettersWriteNothing()
    {
        RecordParameter* p = fresh();
        p->setVideoRect(QRect(0, 0, 200, 100));
        p->setKeepRatio(true);
        QCOMPARE(p->getRatio(), 2.0);
        p->setWindowRecord(true);
        p->setWindowList({5, 7});
        p->setAudioOnly(true);
        p = fresh();
        QVERIFY(p->getVideoRect().isNull());
        QCOMPARE(p->iskeepRatio(), false);
        QCOMPARE(p->isWindowRecord(), false);
        QVERIFY(p->getWindowList().isEmpty());
        QCOMPARE(p->isAudioOnly(), false);
    }

    void coloursComeBackOpaque()
    {
        fresh()->setMouseColor(QColor(10, 20, 30, 40), QColor(50, 60, 70, 80));
        RecordParameter* p = fresh();
        QCOMPARE(p->getMouseClickColor(), QColor(10, 20, 30));
        QCOMPARE(p->getMouseNormalColor(), QColor(50, 60, 70));
    }

    void webcamPositionAndCornerKeepTheirOwnKeys()
    {
        // The webcam window keeps its last position under "CameraPos".
        VxSettings::instance()->setApplicationParam("CameraPos", QPoint(300, 200));
        RecordParameter* p = fresh();
        QCOMPARE(int(p->getCameraDefaultPos()), 2);
        p->setCameraDefaultPos(RP_Pos_TopRight);
        QCOMPARE(VxSettings::instance()->applicationParam("CameraPos", QPoint()).toPoint(), QPoint(300, 200));
        QCOMPARE(int(fresh()->getCameraDefaultPos()), 1);
    }

    void needStopRecordFollowsTheRecordLength()
    {
        RecordParameter* p = fresh();
        p->setTimerDuration(QTime(0, 0, 10));
        QCOMPARE(p->needStopRecord(100), false); // timer off
        p->setTimerEnable(true);
        QCOMPARE(p->needStopRecord(9), false);
        QCOMPARE(p->needStopRecord(10), true);
        QCOMPARE(p->needStopRecord(11), true);
        // No record length set is no limit, never a stop at second 0.
        p->setTimerDuration(QTime());
        QCOMPARE(p->needStopRecord(0), false);
        QCOMPARE(p->needStopRecord(100000), false);
        p->setTimerDuration(QTime(0, 0, 0));
        QCOMPARE(p->needStopRecord(0), false);
    }

    void fixVideoRectStaysOnTheDisplay()
    {
        RecordParameter* p = fresh();
        // Centred on (24, 24), then moved right and down onto the display.
        QCOMPARE(p->fixVideoRect(200, 100, QRect(0, 0, 50, 50)), QRect(0, 0, 200, 100));
        QCOMPARE(p->fixVideoRect(200, 100, QRect(1900, 1060, 40, 40)), QRect(1720, 980, 200, 100));
        QCOMPARE(p->fixVideoRect(100, 100, QRect(500, 500, 100, 100)), QRect(500, 500, 100, 100));
        // Larger than the display: top-left wins.
        const QRect big = p->fixVideoRect(3000, 2000, QRect(800, 400, 10, 10));
        QCOMPARE(big.topLeft(), QPoint(0, 0));
        QCOMPARE(big.size(), QSize(3000, 2000));
    }

    void displayIndexFollowsTheStoredName()
    {
        const FakeScreencast::Display one{"Left", CRect{0, 0, 1920, 1080}, 1.0, true};
        const FakeScreencast::Display two{"Right", CRect{1920, 0, 3200, 1024}, 1.0, false};
        FakeScreencast::setDisplays({one, two});
        RecordParameter* p = fresh();
        QCOMPARE(p->getUseDisplayIndex(), 0);
        p->setUseDisplayName("Right");
        QCOMPARE(p->getUseDisplayIndex(), 1);
        p->setUseDisplayName("Gone");
        QCOMPARE(p->getUseDisplayIndex(), 0);
        FakeScreencast::setDisplays({});
        p->setUseDisplayName("Left");
        QCOMPARE(p->getUseDisplayIndex(), 0);
    }

    void soundSwitchesServeTheChosenRecorder()
    {
        RecordParameter* p = fresh();
        p->chooseVideoContent(false);
        p->setMicEnable(true);
        p->setSysAudioEnable(true);
        VxSettings* s = VxSettings::instance();
        QCOMPARE(s->applicationParam("Audio/MicEnable", false).toBool(), true);
        QCOMPARE(s->applicationParam("Audio/AudioEnable", false).toBool(), true);
        QCOMPARE(s->containsApplicationParam("Video/MicEnable"), false);
        QCOMPARE(s->containsApplicationParam("Video/AudioEnable"), false);
        p->chooseVideoContent(true);
        QCOMPARE(p->getMicEnable(), false);
        QCOMPARE(p->getSysAudioEnable(), false);
    }

    void workerThreadReadsWhileTheGuiWrites()
    {
        RecordParameter* p = fresh();
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0};
        std::thread reader([&] {
            while (!stop) {
                const QRect r = p->getVideoRect();
                // Every value written below is a consistent square.
                if (!r.isNull() && r.width() != r.height())
                    ++bad;
                (void)p->usedVideoFmt();
                (void)p->isWindowRecord();
            }
        });
        for (int i = 1; i < 300; ++i) {
            p->setVideoRect(QRect(0, 0, i, i));
            p->setWindowRecord(i % 2);
            p->setUsedVideoFmt(RP_Format(i % 3));
        }
        stop = true;
        reader.join();
        QCOMPARE(bad.load(), 0);
    }
};

QTEST_MAIN(TestRecordParameter)
#include "tst_recordparameter.moc"
