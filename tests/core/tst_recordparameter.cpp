// The settings model: what an empty store gives, corrections on load,
// persistence of every setter, and the derived rules.
#include <QColor>
#include <QtTest>

#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"

namespace {

using Getter = QVariant (*)(RecordParameter*);
using Setter = void (*)(RecordParameter*);

RecordParameter* fresh()
{
    RecordParameter::release();
    return RecordParameter::instance();
}

} // namespace

Q_DECLARE_METATYPE(Getter)
Q_DECLARE_METATYPE(Setter)

class TestRecordParameter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeScreencast::reset();
        RecordParameter::release();
        DeviceManager::release();
        // An empty store: the file goes with everything in it.
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(file);
    }

    void cleanup() { RecordParameter::release(); }

    // Each option: its value in an empty store, then a value set through
    // its setter as it comes back after a restart.
    void defaultsAndRoundTrips_data()
    {
        QTest::addColumn<Getter>("get");
        QTest::addColumn<QVariant>("initial");
        QTest::addColumn<Setter>("set");
        QTest::addColumn<QVariant>("stored");
#define ROW(expr, initial, setter, stored)                                                                  \
    QTest::newRow(#expr) << Getter([](RecordParameter* p) { return QVariant(expr); }) << QVariant(initial) \
                         << Setter([](RecordParameter* p) { p->setter; }) << QVariant(stored)
        ROW(p->getVideoFrameRate(), 30, setVideoOpt(24, RP_Codec_ProRes4444, RP_Quality_Highest), 24);
        ROW(int(p->getVideoQuality()), 3, setVideoOpt(24, RP_Codec_ProRes4444, RP_Quality_Highest), 5);
        ROW(int(p->getVideoCodecType()), 1, setVideoOpt(24, RP_Codec_ProRes4444, RP_Quality_Highest), 4);
        ROW(int(p->usedVideoFmt()), int(RP_Format_MOV), setUsedVideoFmt(RP_Format_GIF), int(RP_Format_GIF));
        ROW(int(p->getAudioQuality()), 3, setAudioQuality(RP_Quality_Lossless), 6);
        ROW(int(p->usedAudioFmt()), int(RP_Format_MP3), setUsedAudioFmt(RP_Format_FLAC), int(RP_Format_FLAC));
        ROW(int(p->usedImgFmt()), int(RP_Format_PNG), setUsedImgFmt(RP_Format_TIFF), int(RP_Format_TIFF));
        // The alpha of a colour is dropped on the way back.
        ROW(p->getMouseClickColor(), QColor("#ffb517"), setMouseColor(QColor(1, 2, 3, 4), Qt::red), QColor(1, 2, 3));
        ROW(p->getMouseNormalColor(), QColor("#d9252b"), setMouseColor(Qt::red, QColor("#445566")),
            QColor("#445566"));
        ROW(int(p->getMouseclick()), 1, setMouseClick(RP_MouseClick_Blink), 2);
        ROW(p->isMouseEnable(), true, setMouseRecorder(false), false);
        ROW(p->isMouseAlwaysShow(), true, setMouseShow(false), false);
        ROW(int(p->getCameraDefaultPos()), 2, setCameraDefaultPos(RP_Pos_BottomRight), 4);
        ROW(p->timerEnable(), false, setTimerEnable(true), true);
        ROW(p->timerDuration(), QTime(), setTimerDuration(QTime(1, 2, 3)), QTime(1, 2, 3));
        ROW(int(p->timerStopEvent()), 0, setTimerStopEvent(RecStopEvent_Sleep), 2);
        ROW(p->TimerRepeat(), false, setTimerRepeat(true), true);
        ROW(p->getWindowModle(), 1, setWindowModle(3), 3);
        ROW(p->getVideoEnable(), false, setVideoEnable(true), true);
        ROW(p->getCamerastream(), false, setCamerastream(true), true);
        ROW(p->getMicEnable(), false, setMicEnable(true), true);
        ROW(p->getSysAudioEnable(), false, setSysAudioEnable(true), true);
        ROW(p->isBeep(), false, setBeep(true), true);
        ROW(p->isAutoSave(), false, setAutoSave(true), true);
        ROW(p->isCountDown(), true, setCountDown(false), false);
        ROW(p->isShowBoundary(), true, setShowBoundary(false), false);
        ROW(p->isHideMainWhenScreenshot(), true, setHideMainWhenScreenshot(false), false);
        ROW(p->isHideFloat(), false, setHideFloat(true), true);
        ROW(p->isMini(), false, setMini(true), true);
        ROW(p->isCloseWhenClose(), false, setCloseWhenClose(true), true);
        ROW(p->isFollowTheme(), false, setFollowTheme(true), true);
        ROW(p->isExcludeFloatBar(), false, setExcludeFloatBar(true), true);
        // Kept for this run only; a region never stored has a finite ratio.
        ROW(p->getRatio(), 1.0, setKeepRatio(true), 1.0);
        ROW(p->getVideoRect(), QRect(), setVideoRect(QRect(0, 0, 20, 10)), QRect());
        ROW(p->isWindowRecord(), false, setWindowRecord(true), false);
        ROW(p->getWindowList().size(), 0, setWindowList({5, 7}), 0);
#undef ROW
    }

    void defaultsAndRoundTrips()
    {
        QFETCH(Getter, get);
        QFETCH(QVariant, initial);
        QFETCH(Setter, set);
        QFETCH(QVariant, stored);
        QCOMPARE(get(fresh()), initial);
        set(RecordParameter::instance());
        QCOMPARE(get(fresh()), stored);
    }

    void videoFormatFallsBackWhenMovHasNoCodec()
    {
        FakeScreencast::setNoCodecs(OutputVideoFileType(1));
        QCOMPARE(int(fresh()->usedVideoFmt()), 16);
    }

    void loadCorrectsFrameRateAndQuality_data()
    {
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("loaded");
        QTest::newRow("none") << 0 << 30;
        QTest::newRow("negative") << -5 << 30;
        QTest::newRow("too many") << 500 << 30;
        QTest::newRow("highest") << 120 << 120;
    }

    void loadCorrectsFrameRateAndQuality()
    {
        QFETCH(int, fps);
        QFETCH(int, loaded);
        // Stored through the setter, which keeps what it is given until the
        // next start.
        fresh()->setVideoOpt(fps, RP_Codec_HEVC, RP_CodecQuality(7));
        RecordParameter* p = fresh();
        QCOMPARE(p->getVideoFrameRate(), loaded);
        QCOMPARE(int(p->getVideoQuality()), 3);
        QCOMPARE(int(p->getVideoCodecType()), int(RP_Codec_HEVC));
    }

    // A GIF recording leaves the codec chosen for the other containers,
    // in this run and the next.
    void gifKeepsTheChosenCodec()
    {
        RecordParameter* p = fresh();
        p->setVideoOpt(24, RP_Codec_HEVC, RP_Quality_High);
        p->setVideoOpt(24, RP_Codec_GIF, RP_Quality_High);
        QCOMPARE(int(p->getVideoCodecType()), int(RP_Codec_HEVC));
        QCOMPARE(int(fresh()->getVideoCodecType()), int(RP_Codec_HEVC));
    }

    void ratioOfTheRegion_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<double>("ratio");
        QTest::newRow("2:1") << QRect(0, 0, 200, 100) << 2.0;
        QTest::newRow("null") << QRect() << 1.0;
        QTest::newRow("no height") << QRect(0, 0, 100, 0) << 1.0;
    }

    void ratioOfTheRegion()
    {
        QFETCH(QRect, rect);
        QFETCH(double, ratio);
        RecordParameter* p = fresh();
        p->setVideoRect(rect);
        p->setKeepRatio(true);
        QCOMPARE(p->getRatio(), ratio);
    }

    void needStopRecordFollowsTheRecordLength()
    {
        RecordParameter* p = fresh();
        p->setTimerDuration(QTime(0, 0, 10));
        p->setTimerEnable(true);
        QCOMPARE(p->needStopRecord(9), false);
        QCOMPARE(p->needStopRecord(10), true);
        // No length set is no limit, never a stop at second 0.
        for (const QTime& none : {QTime(), QTime(0, 0, 0)}) {
            p->setTimerDuration(none);
            QCOMPARE(p->needStopRecord(0), false);
            QCOMPARE(p->needStopRecord(100000), false);
        }
    }

    void fixVideoRectStaysOnTheDisplay()
    {
        RecordParameter* p = fresh();
        QCOMPARE(p->fixVideoRect(200, 100, QRect(1900, 1060, 40, 40)), QRect(1720, 980, 200, 100));
        // Larger than the display: the top-left corner wins.
        QCOMPARE(p->fixVideoRect(3000, 2000, QRect(800, 400, 10, 10)), QRect(0, 0, 3000, 2000));
    }

    void displayIndexFollowsTheStoredName()
    {
        const FakeScreencast::Display one{"Left", CRect{0, 0, 1920, 1080}, 1.0, true};
        const FakeScreencast::Display two{"Right", CRect{1920, 0, 3200, 1024}, 1.0, false};
        FakeScreencast::setDisplays({one, two});
        RecordParameter* p = fresh();
        p->setUseDisplayName("Right");
        QCOMPARE(p->getUseDisplayIndex(), 1);
        p->setUseDisplayName("Gone");
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
        p->chooseVideoContent(true);
        QCOMPARE(p->getMicEnable(), false);
        QCOMPARE(p->getSysAudioEnable(), false);
    }
};

QTEST_MAIN(TestRecordParameter)
#include "tst_recordparameter.moc"
