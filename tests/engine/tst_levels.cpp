// Live levels of the real engine: a tone shows in its own band while recording
// and during the microphone test, and falls to silence once taking stops.

#include "EngineTestSupport.h"

#include "Screencast.h"
#include "recording/AudioLevelFeed.h"
#include "widgets/CustomLEDFrame.h"

#include <QtTest>

using namespace et;

namespace {

std::vector<float> levelsNow()
{
    std::vector<float> v(kScLevelValues, -1.0f);
    v.resize(std::size_t(scGetAudioLevels(v.data(), kScLevelValues)));
    return v;
}

int loudestBand(const std::vector<float>& v)
{
    int best = -1;
    for (int band = 0; 2 * band < int(v.size()); ++band)
        if (v[std::size_t(2 * band)] > 0.1f && (best < 0 || v[std::size_t(2 * band)] > v[std::size_t(2 * best)]))
            best = band;
    return best;
}

// The bars filled to the top, as painted.
QList<int> fullBars(CustomLEDFrame& meter)
{
    const QImage shot = meter.grab().toImage();
    QList<int> full;
    for (int bar = 0; bar < CustomLEDFrame::kBars; ++bar)
        if (shot.pixelColor(6 + 6 * bar, 2) == QColor(Qt::red))
            full << bar;
    return full;
}

bool silent(const std::vector<float>& v)
{
    for (std::size_t i = 0; i < v.size(); i += 2)
        if (v[i] != 0.0f)
            return false;
    return v.size() == std::size_t(kScLevelValues);
}

} // namespace

class TstLevels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(std::getenv("PULSE_SERVER"), "run inside scripts/with-test-env.sh"); }

    void toneShowsInItsBand_data()
    {
        QTest::addColumn<bool>("micTest");
        QTest::addColumn<int>("band");
        QTest::newRow("system sound recorded") << false << 30;
        QTest::newRow("microphone test") << true << 41;
    }
    void toneShowsInItsBand()
    {
        QFETCH(bool, micTest);
        QFETCH(int, band);
        const int hz = int(std::lround(std::sqrt(scLevelBandEdge(band) * scLevelBandEdge(band + 1))));
        ScopedSink mic("srtest_levels");
        QVERIFY(mic.ok());
        Tone tone(hz, 60, micTest ? mic.name() : QString());
        QVERIFY(tone.ok());

        CustomLEDFrame meter;
        meter.setStyleSheet("CustomLEDFrame { qproperty-rectColor: 'red,red'; qproperty-colorGradient: '0,1';"
                            " qproperty-volumeWidth: 4; qproperty-volumeSpacing: 3; }");
        meter.ensurePolished();
        meter.resize(360, 40);
        AudioLevelFeed feed(&meter);
        CBasePtr<CAudioRecoderObject> recorder;
        if (micTest) {
            QVERIFY(feed.startMicTest(mic.monitor()));
            QTRY_COMPARE_WITH_TIMEOUT(fullBars(meter), QList<int>{band}, 30000);
        } else {
            recorder = scAudioRecord(nullptr, 1, 0, 2, nullptr);
            QVERIFY(recorder);
            QCOMPARE(recorder->start(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(loudestBand(levelsNow()), band, 30000);

        feed.stop();
        QVERIFY(fullBars(meter).isEmpty());
        recorder.reset();
        QTRY_VERIFY_WITH_TIMEOUT(silent(levelsNow()), 30000);
    }
};

QTEST_MAIN(TstLevels)
#include "tst_levels.moc"
