// The recording road with the real engine, driven like a user: the hotkey
// through XTest records a region twice, each file decoded with its history entry.
#include <QApplication>
#include <QtTest>

#include <memory>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/ShowPicture.h"
#include "app/SystemStatusBar.h"
#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/ScreenRecorder.h"
#include "recording/VideoRecCtlWdg.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/media/TestMedia.h"
#include "tests/support/ModalDriver.h"


using namespace testsupport;

namespace {

// Even sides: the H.264 encoder refuses odd ones.
const QRect kRegion(200, 150, 320, 240);
const int kLong = 30000;   // generous bound for what a loaded machine must reach

// The start/stop hotkey as a user presses it; the press arrives through the
// engine's key grab.
const QStringList kStartStop{"key", "ctrl+shift+F9"};

QStringList savedVideos()
{
    return QDir(Utils::getVideoOutputPath()).entryList({"*.mp4"}, QDir::Files, QDir::Time | QDir::Reversed);
}

} // namespace

class TstE2ERoad : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindowBase> m_frame;
    QTemporaryDir m_dir;

    MainWindow* home() { return m_frame->mainWindow(); }

    // One recording from the hotkey to the saved file; the file's name.
    void recordByHotkey(int recordMs, QString* saved)
    {
        const QStringList before = savedVideos();

        // What the road goes through, seen from outside while it runs; the
        // last moment it was still seen starting bounds the recording's start
        // from below.
        QElapsedTimer clock;
        clock.start();
        qint64 lastStarting = 0;
        bool sawPicture = false;
        bool pictureWhileStarting = true;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const bool starting = home()->roadState() == MainWindow::Road_Starting;
            if (starting)
                lastStarting = clock.elapsed();
            if (visibleTopLevel("ScreenPicture")) {
                sawPicture = true;
                pictureWhileStarting = pictureWhileStarting && starting;
            }
        });
        watch.start(20);

        QVERIFY(xdotool(kStartStop));
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Starting), kLong);
        QVERIFY(m_frame->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Recording), kLong);
        const qint64 seenRecording = clock.elapsed();
        watch.stop();
        QVERIFY2(sawPicture, "no countdown picture was shown");
        QVERIFY(pictureWhileStarting);
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Recording));

        // The bar below the region, right-aligned with it but kept on the display.
        VideoRecCtlWdg* bar = home()->videoRecCtl();
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), kLong);
        const QRect barRect = bar->geometry();
        QCOMPARE(barRect.top(), kRegion.bottom() + 5);
        QCOMPARE(barRect.left(), qMax(0, kRegion.right() - barRect.width()));

        // The hidden temporary file grows while it records. The first bytes
        // come only after the encoder's delay and the first fragment, however
        // long that takes here.
        const QString temp = ScreenRecorder::instance()->getTmpFilePath();
        QVERIFY2(QFileInfo(temp).fileName().startsWith('.'), qPrintable(temp));
        qint64 firstBytes = 0;
        QTRY_VERIFY_WITH_TIMEOUT((firstBytes = QFileInfo(temp).size()) > 0, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(temp).size() > firstBytes, kLong);
        QTest::qWait(qMax(0, recordMs - int(clock.elapsed() - seenRecording)));

        QStringList modals;
        ModalDriver driver(60000);
        qint64 seenStopped = -1;
        driver.expect([&](QWidget* modal) {
            // The recording has ended once its preview shows. The auto-saving
            // preview closes itself: wait for it here, so the next step goes to
            // what opens after it.
            seenStopped = clock.elapsed();
            modals << QString::fromLatin1(modal->metaObject()->className());
            if (!modal->inherits("DlgVideoClip")) {
                ModalDriver::forceClose(modal);
                return;
            }
            QPointer<QWidget> preview(modal);
            if (!QTest::qWaitFor([&preview] { return !preview || !preview->isVisible(); }, kLong))
                qWarning("the preview did not close by itself");
        });
        // Then the recording history opens on the saved file, as after every
        // saved recording; the user closes it.
        driver.expect([&modals](QWidget* modal) {
            modals << QString::fromLatin1(modal->metaObject()->className());
            ModalDriver::forceClose(modal);
        });
        const qint64 pressedStop = clock.elapsed();
        QVERIFY(xdotool(kStartStop));
        DRIVER_DONE(driver, 60000);
        QCOMPARE(modals, (QStringList{"DlgVideoClip", "RecordHistoryDlg"}));
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Idle), kLong);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!home()->videoRecCtl());
        QVERIFY(!RecordParameter::instance()->m_bRecording);
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));
        QTRY_VERIFY_WITH_TIMEOUT(m_frame->isVisible(), kLong);

        // The recording ran at least from when it was seen recording to the
        // stop key, and at most from when it was last seen starting to when its
        // preview showed; the encoder may round either end by a fraction.
        const double atLeast = (pressedStop - seenRecording) / 1000.0 - 0.7;
        const double atMost = (seenStopped - lastStarting) / 1000.0 + 0.7;
        checkSavedVideo(before, atLeast, atMost, saved);
    }

    // Exactly one new decodable video of the region, as long as it ran, at
    // the head of the history.
    void checkSavedVideo(const QStringList& before, double atLeast, double atMost, QString* saved)
    {
        QStringList added = savedVideos();
        for (const QString& old : before)
            added.removeAll(old);
        QCOMPARE(added.size(), 1);
        const QString path = Utils::getVideoOutputPath() + "/" + added.first();
        const testmedia::Probe facts = testmedia::probe(path);
        QVERIFY2(facts.ok, qPrintable(path));
        QCOMPARE(facts.videoCodec, QString("h264"));
        QCOMPARE(facts.width, kRegion.width());
        QCOMPARE(facts.height, kRegion.height());
        QVERIFY2(facts.duration >= atLeast && facts.duration <= atMost,
                 qPrintable(QString("%1 s, not within %2..%3 s").arg(facts.duration).arg(atLeast).arg(atMost)));
        const QImage picture = testmedia::pictureAt(path, facts.duration / 2);
        QCOMPARE(picture.size(), kRegion.size());
        const QColor centre = picture.pixelColor(picture.rect().center());
        QVERIFY2( centre.green() > 150 && centre.red() < 80 && centre.blue() < 80,
                 qPrintable(centre.name()));
        const QStringList head = historyHead();
        QCOMPARE(head.value(0), added.first());
        QCOMPARE(QFileInfo(head.value(1)).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
        QCOMPARE(head.value(3), QString("%1*%2").arg(kRegion.width()).arg(kRegion.height()));
        *saved = added.first();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool");
        QVERIFY(m_dir.isValid());
        QApplication::setQuitOnLastWindowClosed(false);

        VxSettings* settings = VxSettings::instance();
        settings->setApplicationParam("HotkeyRemind", true);
        settings->setApplicationParam("CountDown", true);
        settings->setApplicationParam("AutoSave", true);
        settings->setApplicationParam("Video/AudioEnable", false);
        settings->setApplicationParam("Video/MicEnable", false);
        settings->setApplicationParam("CameraEnable", false);
        settings->removeApplicationParam("Path/SavefilesHistroy");

        // The installed pictures on a short clock: about a second in all.
        ShowPicture::setDurations(900, 100);

        QDir(Utils::getVideoOutputPath()).removeRecursively();
        Utils::ensureExists(Utils::getVideoOutputPath());

        m_frame.reset(new MainWindowBase(nullptr));
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get(), kLong));
        QVERIFY(home()->engineStarted());
        RecordParameter* rp = RecordParameter::instance();
        rp->setAutoSave(true);
        rp->setUsedVideoFmt(RP_Format_MP4);
        rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_Medium);
        rp->setShowBoundary(false);
    }

    void cleanupTestCase()
    {
        m_frame.reset();
        QCoreApplication::processEvents();
    }

    void hotkeyRecordsRegionTwice()
    {
        if (!tempSpaceAbove(0x1FFFFFFFFLL))
            QSKIP("8 GB or less free in the temporary folder: the program would ask first");

        // Something known under the region.
        ColourWindow scene(QColor(0, 200, 0), QRect(0, 0, 800, 600));
        scene.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scene, kLong));

        // The video recorder page, the region as a selection ends it.
        QWidget* tile = m_frame->findChild<QWidget*>("frmChoseVideo");
        QVERIFY(tile);
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        QTRY_COMPARE_WITH_TIMEOUT(m_frame->findChild<QWidget*>("frameAVContent")->x(), 0, kLong);
        home()->onEndSelectRegion(kRegion);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), kRegion);
        QVERIFY(RecordParameter::instance()->getVideoEnable());
        QTest::qWait(200);

        QString first;
        recordByHotkey(3000, &first);
        if (QTest::currentTestFailed())
            return;
        QString second;
        recordByHotkey(2000, &second);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(first != second);
        QCOMPARE(savedVideos().size(), 2);
        QCOMPARE(VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList().size(), 2);
    }
};

QTEST_MAIN(TstE2ERoad)
#include "tst_e2e_road.moc"
