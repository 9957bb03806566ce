// The engine's players and exports on a movie of known content: every
// picture shows its own number, the sound beeps at each whole second.

#include "EngineTestSupport.h"
#include "NativeView.h"

#include "Screencast.h"
#include "tests/support/media/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace {

constexpr int kFps = 30;
constexpr double kFrame = 1.0 / kFps;

// What the engine reported, from whichever thread it did.
struct Events : AVPlayerStatusCallback, AVPlayerExportCallback {
    std::atomic<int> status{kPlayerStatusUnknown};
    std::atomic<int> trimOk{0};
    std::atomic<int> trimCancel{0};
    std::atomic<int> exports{0};
    std::atomic<bool> exportOk{false};
    std::atomic<bool> onGuiThread{false};
    std::mutex mutex;
    double trimStart = -1;
    double trimEnd = -1;

    void seen() { onGuiThread = onGuiThread || QThread::currentThread() == qApp->thread(); }
    void OnStatueChanged(int s) override { seen(), status = s; }
    void OnTrimCancel() override { seen(), ++trimCancel; }
    void OnTrimOK(double start, double end) override
    {
        seen();
        std::lock_guard<std::mutex> lock(mutex);
        trimStart = start;
        trimEnd = end;
        ++trimOk;
    }
    void OnExportCompleted(bool success) override { seen(), exportOk = success, ++exports; }
};

using View = et::NativeView;

// The view's contents, and the part of it the movie's 4:3 picture fills.
QImage grab(QWidget& view, QRect* picture = nullptr)
{
    const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
    const int w = std::min(shot.width(), shot.height() * 4 / 3);
    const int h = std::min(shot.height(), shot.width() * 3 / 4);
    const QRect r((shot.width() - w) / 2, (shot.height() - h) / 2, w, h);
    if (picture)
        *picture = r;
    return shot.copy(r);
}

int shownNumber(QWidget& view) { return testmedia::frameNumber(grab(view)); }

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TstPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_movie;

private slots:
    void initTestCase()
    {
        QCOMPARE(scInitialize(), int(kScInitOk));
        QVERIFY(m_dir.isValid());
        m_movie = m_dir.filePath("counting.mp4");
        QVERIFY(testmedia::makeCountingMovie(m_movie, 6.0, kFps));
    }
    void cleanupTestCase() { scUninitialize(); }

    // The first picture, an exact seek while paused, playing at the pace of
    // the sound heard, and the end.
    void picturesOnTheView()
    {
        View view;
        view.resize(480, 300);   // wider than the movie: bars left and right
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        Events events;
        CBasePtr<CAVPlayerObject> player = CreateAVPlayer(&events, ScNativeView(view.winId()),
                                                          m_movie.toUtf8().constData());
        QVERIFY(player);
        QTRY_COMPARE_WITH_TIMEOUT(events.status.load(), int(kPlayerStatusReadyToPlay), 30000);
        QVERIFY(!events.onGuiThread);
        QVERIFY(std::abs(player->duration() - 6.0) < 0.1);
        int width = 0, height = 0;
        player->videoSize(width, height);
        QCOMPARE(QSize(width, height), QSize(320, 240));

        QTRY_COMPARE_WITH_TIMEOUT(shownNumber(view), 0, 30000);
        QRect picture;
        const QImage whole = view.screen()->grabWindow(view.winId()).toImage();
        grab(view, &picture);
        QVERIFY(picture.left() > 10);
        QCOMPARE(whole.pixel(picture.left() / 2, whole.height() / 2) & 0xFFFFFF, 0u);   // black bars

        QCOMPARE(player->seek(3.0), 0);
        QCOMPARE(player->position(), 3.0);
        QTRY_COMPARE_WITH_TIMEOUT(shownNumber(view), 90, 30000);
        // Another size: the picture follows it.
        view.resize(400, 400);
        QTRY_COMPARE_WITH_TIMEOUT(shownNumber(view), 90, 30000);

        QElapsedTimer wall;
        wall.start();
        QCOMPARE(player->play(), 0);
        QVERIFY(player->isPlaying());
        QVERIFY(et::waitUntil([&] { return player->position() >= 4.0; }));
        // Never ahead of the time that really passed.
        QVERIFY2(player->position() - 3.0 <= wall.elapsed() / 1000.0 + 0.1,
                 qPrintable(QString::number(player->position())));
        QVERIFY(et::waitUntil([&] { return !player->isPlaying(); }));
        QVERIFY(std::abs(player->position() - player->duration()) < 0.1);
        QTRY_VERIFY_WITH_TIMEOUT(shownNumber(view) >= 170, 30000);
        player.reset();
    }

    // A trim range moved onto the frames, exported to a file that decodes
    // to exactly that stretch.
    void trimAndExport()
    {
        View view;
        view.resize(320, 240);
        view.show();
        Events events;
        CBasePtr<CAVPlayerObject> player =
            CreateAVPlayer(&events, ScNativeView(view.winId()), m_movie.toUtf8().constData());
        QVERIFY(player);
        QTRY_COMPARE_WITH_TIMEOUT(events.status.load(), int(kPlayerStatusReadyToPlay), 30000);
        player->beginTrim();
        player->setTrimRange(2.0 + kFrame / 3, 4.5 - kFrame / 4);
        // Playing stays inside the range.
        player->play();
        QVERIFY(et::waitUntil([&] { return !player->isPlaying(); }));
        QVERIFY(std::abs(player->position() - (4.5 - kFrame / 4)) < 0.01);
        player->endTrim(true);
        QTRY_COMPARE_WITH_TIMEOUT(events.trimOk.load(), 1, 30000);
        {
            std::lock_guard<std::mutex> lock(events.mutex);
            QCOMPARE(events.trimStart, 2.0);
            QCOMPARE(events.trimEnd, 4.5);
        }
        player.reset();

        QTemporaryDir folder;
        const QString target = folder.filePath("cut.mp4");
        CBasePtr<CMediaExportObject> exporter =
            scExportMedia(&events, m_movie.toUtf8().constData(), target.toUtf8().constData(), 2.0, 4.5);
        QVERIFY(exporter);
        QTRY_COMPARE_WITH_TIMEOUT(events.exports.load(), 1, 60000);
        QVERIFY(events.exportOk);
        QCOMPARE(exporter->progress(), 1.0);
        exporter.reset();
        QCOMPARE(filesIn(folder.path()), QStringList{"cut.mp4"});
        QVERIFY(!events.onGuiThread);

        const testmedia::Probe p = testmedia::probe(target, true);
        QVERIFY(p.ok);
        QCOMPARE(p.videoCodec, QString("h264"));
        QCOMPARE(QSize(p.width, p.height), QSize(320, 240));
        QVERIFY2(std::abs(p.duration - 2.5) <= kFrame, qPrintable(QString::number(p.duration)));
        QCOMPARE(p.frames, 75);
        const QVector<testmedia::Picture> first = testmedia::pictures(target, 2);
        QCOMPARE(first.size(), 2);
        QCOMPARE(first[0].time, 0.0);
        QCOMPARE(testmedia::frameNumber(first[0].image), 60);
        QCOMPARE(testmedia::frameNumber(first[1].image), 61);
        // The beep of second 2 opens the file; silence follows it.
        const std::vector<float> sound = et::decodeSound(target);
        QVERIFY(std::abs(double(sound.size()) / 48000 - 2.5) < 0.03);
        QVERIFY(et::toneLevel(sound, 0, 4800, 1000) > 0.1);
        QVERIFY(et::rms(sound, 9600, 43200) < 0.01);

        // An existing file is never a target.
        QVERIFY(!scExportMedia(&events, m_movie.toUtf8().constData(), target.toUtf8().constData(), 0, 1));
    }

    // Releasing a running export stops it, leaves nothing and says nothing.
    void releaseMidExport()
    {
        const QString longer = m_dir.filePath("longer.mov");
        QVERIFY(testmedia::makeCountingMovie(longer, 40.0, kFps, QSize(640, 480)));
        QTemporaryDir folder;
        Events events;
        CBasePtr<CMediaExportObject> exporter = scExportMedia(
            &events, longer.toUtf8().constData(), folder.filePath("cut.mov").toUtf8().constData(), 1.0, 39.0);
        QVERIFY(exporter);
        QVERIFY(et::waitUntil([&] { return exporter->progress() > 0.0; }));
        QVERIFY(exporter->progress() < 1.0);
        exporter.reset();
        QCOMPARE(events.exports.load(), 0);
        QCOMPARE(filesIn(folder.path()), QStringList());
    }

    // What is no media fails; a sound file plays without pictures.
    void otherFiles()
    {
        const QString text = m_dir.filePath("notes.mp4");
        QVERIFY(et::writeFile(text, "not a movie"));
        Events failing;
        CBasePtr<CAVPlayerObject> broken = CreateAudioPlayer(&failing, text.toUtf8().constData());
        QVERIFY(broken);
        QTRY_COMPARE_WITH_TIMEOUT(failing.status.load(), int(kPlayerStatusFailed), 30000);
        QCOMPARE(broken->duration(), 0.0);
        QVERIFY(!CreateAudioPlayer(&failing, m_dir.filePath("missing.wav").toUtf8().constData()));

        const QString tone = m_dir.filePath("tone.wav");
        QVERIFY(testmedia::makeTone(tone, 3.0));
        Events events;
        CBasePtr<CAVPlayerObject> player = CreateAudioPlayer(&events, tone.toUtf8().constData());
        QVERIFY(player);
        player->play();   // before it is open: remembered
        QTRY_COMPARE_WITH_TIMEOUT(events.status.load(), int(kPlayerStatusReadyToPlay), 30000);
        QVERIFY(std::abs(player->duration() - 3.0) < 0.05);
        int width = -1, height = -1;
        player->videoSize(width, height);
        QCOMPARE(width + height, 0);
        QVERIFY(et::waitUntil([&] { return player->position() > 0.5; }));
        player->pause();
        const double paused = player->position();
        QVERIFY(!player->isPlaying());
        QCOMPARE(player->position(), paused);
        const int threads = et::threadCount();
        player.reset();
        QVERIFY(et::waitUntil([&] { return et::threadCount() < threads; }));
    }
};

QTEST_MAIN(TstPlayer)
#include "tst_player.moc"
