// The engine's camera on the test camera (a lavfi pattern or a movie that goes
// away): the picture in a native view, the photo, a paused MOV with sound.

#include "EngineTestSupport.h"
#include "NativeView.h"

#include "Screencast.h"
#include "tests/support/media/TestMedia.h"

#include <QApplication>
#include <QImageReader>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <atomic>

namespace {

using et::ScopedEnv;
using et::waitUntil;

// The SMPTE bars' top row: seven bars at 75%, left to right.
const QRgb kBars[] = {qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                      qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191)};
constexpr const char* kBarsSource = "lavfi:smptebars=size=640x480:rate=30";

struct Events : CCameraCallback {
    std::atomic<int> errors{0};
    std::atomic<int> recordingErrors{0};
    std::atomic<int> finishes{0};
    std::atomic<int> failed{-1};
    std::atomic<bool> onGuiThread{false};

    void seen() { onGuiThread = onGuiThread || QThread::currentThread() == qApp->thread(); }
    void OnErrorOccurred() override { seen(), ++errors; }
    void OnRecordingErrorOccurred() override { seen(), ++recordingErrors; }
    void OnFinishRecording(signed char f) override { seen(), failed = f, ++finishes; }
};

// The camera's 4:3: no bars.
struct View : et::NativeView {
    View() : et::NativeView(QSize(320, 240)) {}
};

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 &&
           std::abs(qBlue(a) - qBlue(b)) < 40;
}

// The picture shows the bars at their places (a third of the way down).
bool showsBars(const QImage& picture)
{
    if (picture.isNull())
        return false;
    for (int i = 0; i < 7; ++i) {
        if (!near(picture.pixel((2 * i + 1) * picture.width() / 14, picture.height() / 3), kBars[i]))
            return false;
    }
    return true;
}

QImage grab(QWidget& view) { return view.screen()->grabWindow(view.winId()).toImage(); }

CBasePtr<CCameraObject> open(Events& events, View& view)
{
    return OpenCamera(&events, ScNativeView(view.winId()), GetCameraDefaultDevice(), true, nullptr);
}

} // namespace

class TstCamera : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ScopedEnv> m_camera;

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("PULSE_SERVER"), "run the e2e tests inside scripts/with-test-env.sh");
        QVERIFY(m_dir.isValid());
        m_camera.reset(new ScopedEnv("SR_TEST_CAMERA", kBarsSource));
        QCOMPARE(scInitialize(), int(kScInitOk));
    }
    void cleanupTestCase()
    {
        scUninitialize();
        m_camera.reset();
    }

    // Listed once, last, and the default when the machine has no other.
    void testCameraListed()
    {
        const int count = GetCameraDeviceCount();
        QVERIFY(count >= 1);
        int found = 0;
        for (int i = 0; i < count; ++i)
            found += QByteArray(GetCameraDevice(i)->name) == "Test Camera";
        QCOMPARE(found, 1);
        QCOMPARE(QByteArray(GetCameraDevice(count - 1)->uniqueId), QByteArray("test-camera"));
        if (count == 1)
            QCOMPARE(QByteArray(GetCameraDefaultDevice()), QByteArray("test-camera"));
        QVERIFY(!GetCameraDevice(count));
        ScopedEnv none("SR_TEST_CAMERA", nullptr);
        QCOMPARE(GetCameraDeviceCount(), count - 1);
    }

    // The pattern appears in the view, scaled to it, and a photo of it is a
    // JPEG of the camera's size.
    void drawsAndPhotographs()
    {
        View view;
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        Events events;
        CBasePtr<CCameraObject> camera = open(events, view);
        QVERIFY(camera);
        int width = 0, height = 0;
        camera->videoSize(width, height);
        QCOMPARE(QSize(width, height), QSize(640, 480));
        QTRY_VERIFY_WITH_TIMEOUT(showsBars(grab(view)), 30000);

        const QString photo = m_dir.filePath("photo.jpg");
        QCOMPARE(camera->capture(photo.toLocal8Bit().constData()), 0);
        QImageReader reader(photo);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage picture = reader.read();
        QCOMPARE(picture.size(), QSize(640, 480));
        QVERIFY(showsBars(picture));
        camera.reset();
        QCOMPARE(events.errors.load() + events.recordingErrors.load() + events.finishes.load(), 0);
    }

    // 4 s, a pause of 2 s, 2 s more: a MOV of about 6 s with the pattern
    // and the tone heard by the microphone, finished off the GUI thread.
    void recordsWithSoundAndPause()
    {
        et::Tone tone(1000, 60);
        QVERIFY(tone.ok());
        View view;
        Events events;
        CBasePtr<CCameraObject> camera = open(events, view);
        QVERIFY(camera);
        QCOMPARE(camera->setMicrophone(GetAudioCaptureDefaultDevice()), 0);
        // A watermark left set for screen recordings stays out of the movie.
        QImage red(64, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(m_dir.filePath("mark.png")));
        SetWatermark(m_dir.filePath("mark.png").toUtf8().constData(), 0, 0, 640, 480);
        const QString movie = m_dir.filePath("camera.mov");
        QCOMPARE(camera->record(movie.toLocal8Bit().constData()), 0);
        SetWatermark(nullptr, 0, 0, 0, 0);
        QVERIFY(waitUntil([&] { return camera->duration() >= 4.0; }));
        QVERIFY(waitUntil([&] { return camera->fileSize() > 0; }));

        QCOMPARE(camera->pause(), 0);
        const double paused = camera->duration();
        QTest::qWait(2000);   // time that must not count
        // At most the encoder's queue (a second of pictures) may still come in.
        QVERIFY2(camera->duration() - paused < 1.5, qPrintable(QString::number(camera->duration())));
        QCOMPARE(camera->resume(), 0);
        QVERIFY(waitUntil([&] { return camera->duration() >= paused + 2.0; }));
        QCOMPARE(camera->stopRecord(), 0);
        QVERIFY(waitUntil([&] { return events.finishes.load() == 1; }));
        QCOMPARE(events.failed.load(), 0);
        QVERIFY(!events.onGuiThread);
        QCOMPARE(camera->fileSize(), QFileInfo(movie).size());
        const double recorded = camera->duration();
        camera.reset();
        QCOMPARE(events.recordingErrors.load() + events.errors.load(), 0);

        const testmedia::Probe p = testmedia::probe(movie);
        QVERIFY(p.ok);
        QCOMPARE(p.videoCodec, QString("h264"));
        QCOMPARE(p.audioCodec, QString("aac"));
        QCOMPARE(QSize(p.width, p.height), QSize(640, 480));
        // At least the 4 + 2 s waited for; the encoder's queue may add to it.
        QVERIFY2(p.duration > 5.9 && p.duration < 7.2 && std::abs(p.duration - recorded) < 0.3,
                 qPrintable(QString("%1 %2").arg(p.duration).arg(recorded)));
        QVERIFY(showsBars(testmedia::pictureAt(movie, 3.0)));
        const std::vector<float> sound = et::decodeSound(movie);
        QVERIFY2(et::toneLevel(sound, 48000, sound.size() - 24000, 1000) > 0.02, "no tone in the movie");
    }

    // A camera that goes away: while recording, the movie is finished and the recording error
    // follows (no finish); otherwise the camera's error.
    void sourceThatEnds()
    {
        const QString source = m_dir.filePath("short.mp4");
        QVERIFY(testmedia::makeCountingMovie(source, 1.0));
        ScopedEnv file("SR_TEST_CAMERA", source.toUtf8().constData());
        View view;
        Events events;
        CBasePtr<CCameraObject> camera = open(events, view);
        QVERIFY(camera);
        // A movie that cannot be created says why.
        QCOMPARE(camera->record((source + "/under-a-file.mov").toLocal8Bit().constData()), -1);
        QCOMPARE(QString::fromUtf8(camera->lastErrorText()), "The folder " + source + " does not exist.");
        const QString movie = m_dir.filePath("unplugged.mov");
        QCOMPARE(camera->record(movie.toLocal8Bit().constData()), 0);
        QCOMPARE(QString::fromUtf8(camera->lastErrorText()), QString());
        QVERIFY(waitUntil([&] { return camera->duration() >= 1.5; }));   // it loops meanwhile
        QVERIFY(QFile::remove(source));
        QVERIFY(waitUntil([&] { return events.recordingErrors.load() == 1; }));
        QCOMPARE(QString::fromUtf8(camera->lastErrorText()), QString("The camera stopped sending pictures."));
        QCOMPARE(camera->record(m_dir.filePath("again.mov").toLocal8Bit().constData()), -1);
        camera.reset();
        QCOMPARE(events.finishes.load() + events.errors.load(), 0);
        const testmedia::Probe p = testmedia::probe(movie);
        QVERIFY(p.ok && p.videoCodec == "h264" && p.duration >= 1.4);
        QVERIFY(p.audioCodec.isEmpty());   // no microphone set

        QVERIFY(testmedia::makeCountingMovie(source, 1.0));
        Events idle;
        camera = open(idle, view);
        QVERIFY(camera);
        QVERIFY(QFile::remove(source));
        QVERIFY(waitUntil([&] { return idle.errors.load() == 1; }));
        camera.reset();
        QCOMPARE(idle.recordingErrors.load() + idle.finishes.load(), 0);
    }
};

QTEST_MAIN(TstCamera)
#include "tst_camera.moc"
