// One recording from the control bar to the saved file, with the real
// engine in the private test environment (Xvfb, openbox, a PulseAudio null
// sink): prepare, start, record about three seconds, stop; the preview
// window saves by itself, and what lands in the output folder is decoded
// and checked, together with its history entry.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <QtEndian>
#include <QtTest>

#include <cmath>

#include "core/DeviceManager.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "recording/VideoRecCtlWdg.h"
#include "platform/framework/VxSettings.h"
#include "core/WindowListManger.h"

using testsupport::centreColour;
using testsupport::historyHead;
using testsupport::MediaProbe;
using testsupport::probeMedia;
using testsupport::runProgram;
using testsupport::tempSpaceAbove;

namespace {

// Long enough that the file's duration lies between 3 and 3.5 s.
const int kRecordMs = 3250;
const QRect kRegion(100, 100, 320, 240);

// The sound of the file decoded to mono 8 kHz: its RMS level in dBFS and
// how many seconds were decoded.
double decodedLevelDb(const QString& path, double& seconds)
{
    const QByteArray pcm =
        runProgram("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar", "8000", "-"});
    const int samples = pcm.size() / 2;
    seconds = samples / 8000.0;
    if (samples == 0)
        return -200.0;
    double sum = 0.0;
    for (int i = 0; i < samples; ++i) {
        const double x = qFromLittleEndian<qint16>(pcm.constData() + 2 * i) / 32768.0;
        sum += x * x;
    }
    return 10.0 * std::log10(sum / samples + 1e-20);
}

// A 440 Hz tone at half scale, 16-bit stereo 44.1 kHz, as a WAV file.
bool writeTone(const QString& path, int seconds)
{
    const int rate = 44100;
    const int frames = rate * seconds;
    QByteArray data(frames * 4, '\0');
    for (int i = 0; i < frames; ++i) {
        const qint16 v = qint16(16384 * std::sin(2.0 * M_PI * 440.0 * i / rate));
        qToLittleEndian(v, data.data() + 4 * i);
        qToLittleEndian(v, data.data() + 4 * i + 2);
    }
    QByteArray header;
    auto u32 = [&header](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, 4);
    };
    auto u16 = [&header](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        header.append(b, 2);
    };
    header.append("RIFF");
    u32(36 + data.size());
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    header.append("data");
    u32(data.size());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size()
           && file.write(data) == data.size();
}

QString sizeText(qint64 bytes)
{
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(bytes, value);
    return QString::asprintf("%.2f", value) + unit;
}

} // namespace

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

class TstE2ERecording : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void regionToMp4();
    void systemSoundToMp3();

private:
    // Prepares, starts, records kRecordMs and stops through the bar; the
    // preview saves by itself.
    void recordThroughTheBar();

    QPointer<VideoRecCtlWdg> m_bar;
    int m_nStops = 0;
    QStringList m_previews;
};

void TstE2ERecording::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
    QVERIFY2(!QStandardPaths::findExecutable("ffprobe").isEmpty(), "ffprobe is missing");
    QVERIFY2(!QStandardPaths::findExecutable("ffmpeg").isEmpty(), "ffmpeg is missing");
    QVERIFY(initScreencast());
    QApplication::setQuitOnLastWindowClosed(false);
    // The home window's part: discard the bar once it has announced the end.
    connect(SignalsTransfer::instance(), &SignalsTransfer::recordStop, this, [this] {
        ++m_nStops;
        if (m_bar)
            m_bar->deleteLater();
    });
}

void TstE2ERecording::cleanupTestCase()
{
    WindowListManger::release();
    DeviceManager::release();
    uninitScreencast();
}

void TstE2ERecording::init()
{
    RecordParameter* rp = RecordParameter::instance();
    rp->m_bRecording = rp->m_bPaused = rp->m_bPreviewing = false;
    rp->setWindowRecord(false);
    rp->setCamerastream(false);
    rp->setOnlyRecordCamera(false);
    rp->setAutoSave(true);
    rp->setTimerEnable(false);
    rp->setShowBoundary(false);
    rp->setAroundMouse(false);
    rp->setFollowMouse(false);
    rp->setMoveRegion(false);
    rp->setExcludeFloatBar(false);
    VxSettings::instance()->removeApplicationParam("Path/SavefilesHistroy");
    QDir(Utils::getVideoOutputPath()).removeRecursively();
    Utils::ensureExists(Utils::getVideoOutputPath());
    m_nStops = 0;
    m_previews.clear();
}

void TstE2ERecording::cleanup()
{
    if (m_bar) {
        RecordParameter::instance()->m_bRecording = false;
        delete m_bar.data();
    }
}

void TstE2ERecording::recordThroughTheBar()
{
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(Utils::getRecorderTmpRoot() + "/x", ok);
    ModalDriver driver(60000);
    if (ok && free <= 0x1FFFFFFFFLL)
        driver.clickButton(QMessageBox::Cancel);   // labelled "Continue"
    m_bar = new VideoRecCtlWdg();
    QVERIFY(m_bar->initRecord());
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);

    RecordParameter::instance()->m_bRecording = true;   // the home window's part
    m_bar->start();
    m_bar->show();
    m_bar->move(1100, 900);   // away from the recorded region
    QTest::qWait(kRecordMs);
    QVERIFY(RecordParameter::instance()->m_bRecording);

    driver.expect([this](QWidget* modal) {
        // The auto-saving preview closes itself; anything else is a failure.
        m_previews << QString::fromLatin1(modal->metaObject()->className());
        if (!modal->inherits("DlgVideoClip"))
            ModalDriver::forceClose(modal);
    });
    m_bar->onBtnStopClicked();
    QVERIFY(driver.waitFinished(60000));
    VERIFY_DRIVER(driver);
    QCOMPARE(m_previews, QStringList{"DlgVideoClip"});
    QCOMPARE(m_nStops, 1);
    QVERIFY(!RecordParameter::instance()->m_bRecording);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_bar);
}

void TstE2ERecording::regionToMp4()
{
    if (!tempSpaceAbove(0xFFFFFFFFLL))
        QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
    RecordParameter* rp = RecordParameter::instance();
    rp->setVideoEnable(true);
    rp->chooseVideoContent(true);
    rp->setMicEnable(false);
    rp->setSysAudioEnable(false);
    rp->setVideoRect(kRegion);
    rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_Medium);
    rp->setUsedVideoFmt(RP_Format_MP4);

    // Something known to record: a green window under the region.
    QWidget scene(nullptr, Qt::FramelessWindowHint);
    scene.setAutoFillBackground(true);
    QPalette palette = scene.palette();
    palette.setColor(QPalette::Window, QColor(0, 200, 0));
    scene.setPalette(palette);
    scene.setGeometry(0, 0, 800, 600);
    scene.show();
    QVERIFY(QTest::qWaitForWindowExposed(&scene));
    QTest::qWait(200);

    recordThroughTheBar();
    if (QTest::currentTestFailed())
        return;

    const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Video_*.mp4"}, QDir::Files);
    QCOMPARE(saved.size(), 1);
    const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
    const MediaProbe facts = probeMedia(path);
    QVERIFY2(facts.ok, qPrintable(path));
    qInfo("%s: %s %dx%d, %.3f s", qPrintable(saved.first()), qPrintable(facts.videoCodec), facts.width,
          facts.height, facts.duration);
    QCOMPARE(facts.videoCodec, QString("h264"));
    QCOMPARE(facts.width, 320);
    QCOMPARE(facts.height, 240);
    QVERIFY2(std::fabs(facts.duration - 3.0) <= 0.5, qPrintable(QString::number(facts.duration)));
    const QColor centre = centreColour(path, 1.5, QSize(320, 240));
    QVERIFY2(centre.isValid() && centre.green() > 150 && centre.red() < 80 && centre.blue() < 80,
             qPrintable(centre.name()));

    const QStringList head = historyHead();
    QCOMPARE(head.value(0), saved.first());
    QCOMPARE(QFileInfo(head.value(1)).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
    QCOMPARE(head.value(2), QString("1"));
    QCOMPARE(head.value(3), QString("320*240"));
    QCOMPARE(head.value(4), QString("00:00:03"));
    QCOMPARE(head.value(5), sizeText(QFileInfo(path).size()));
}

void TstE2ERecording::systemSoundToMp3()
{
    if (!tempSpaceAbove(0xFFFFFFFFLL))
        QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
    RecordParameter* rp = RecordParameter::instance();
    rp->setVideoEnable(false);
    rp->chooseVideoContent(false);
    rp->setSysAudioEnable(true);
    rp->setMicEnable(false);
    rp->setUsedAudioFmt(RP_Format_MP3);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tone = dir.filePath("tone.wav");
    QVERIFY(writeTone(tone, 10));
    QProcess player;
    player.start("paplay", {tone});
    QVERIFY(player.waitForStarted(5000));
    QTest::qWait(300);   // the stream is playing before the recording starts

    recordThroughTheBar();
    player.kill();
    player.waitForFinished(5000);
    if (QTest::currentTestFailed())
        return;

    const QStringList saved = QDir(Utils::getVideoOutputPath()).entryList({"Audio_*.mp3"}, QDir::Files);
    QCOMPARE(saved.size(), 1);
    const QString path = Utils::getVideoOutputPath() + "/" + saved.first();
    const MediaProbe facts = probeMedia(path);
    QVERIFY2(facts.ok, qPrintable(path));
    QCOMPARE(facts.audioCodec, QString("mp3"));
    QVERIFY(facts.videoCodec.isEmpty());
    QVERIFY2(std::fabs(facts.duration - 3.0) <= 0.5, qPrintable(QString::number(facts.duration)));
    double seconds = 0.0;
    const double level = decodedLevelDb(path, seconds);
    qInfo("%s: %s, %.3f s, %.3f s decoded at %.1f dBFS", qPrintable(saved.first()), qPrintable(facts.audioCodec),
          facts.duration, seconds, level);
    QVERIFY2(std::fabs(seconds - 3.0) <= 0.5, qPrintable(QString::number(seconds)));
    QVERIFY2(level > -30.0, qPrintable(QString("%1 dBFS").arg(level)));

    const QStringList head = historyHead();
    QCOMPARE(head.value(0), saved.first());
    QCOMPARE(head.value(2), QString("2"));
    QCOMPARE(head.value(3), QString());
    QCOMPARE(head.value(4), QString("00:00:03"));
    QCOMPARE(head.value(5), sizeText(QFileInfo(path).size()));
}

QTEST_MAIN(TstE2ERecording)
#include "tst_e2e_recording.moc"
