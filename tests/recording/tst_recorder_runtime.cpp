// The driver around a running recording: the temporary-folder prompts at
// their exact thresholds and the "Change path" loop, still-image names,
// the canvas, the GIF limit, the rectangle and colour helpers, and the
// engine's callbacks arriving from engine threads.
#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "DriverTestSupport.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"

using DriverTest::Telemetry;

namespace {

const QString kNotWritable = QStringLiteral("\"%1\" is not writable.");

// Hub signals as they arrive, with the thread they arrived on.
class HubListener : public QObject
{
    Q_OBJECT
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

// What a step saw of a warning box, then the button it pressed.
struct BoxSeen
{
    QString text;
    QString okText;
    QString cancelText;
};

ModalDriver::Action answer(int button, BoxSeen* seen)
{
    return [button, seen](QWidget* modal) {
        auto* box = qobject_cast<VxMessageBox*>(modal);
        if (!box) {
            ModalDriver::forceClose(modal);
            return;
        }
        if (seen) {
            seen->text = box->labelInfo();
            seen->okText = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString();
            seen->cancelText = box->button(QMessageBox::Cancel) ? box->button(QMessageBox::Cancel)->text() : QString();
        }
        if (QAbstractButton* b = box->button(QMessageBox::StandardButton(button)))
            b->click();
        else
            ModalDriver::forceClose(modal);
    };
}

QString colourText(ColorRef c)
{
    return QStringLiteral("0x%1").arg(c, 8, 16, QLatin1Char('0'));
}

} // namespace

class TstRecorderRuntime : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void freeSpaceThresholds_data();
    void freeSpaceThresholds();
    void unknownFreeSpaceIsNotAFullDisk();
    void changePathLoop();
    void changePathToFolderWithLittleSpaceWarnsAgain();
    void unwritableTemporaryRootIsRefused();

    void snapshotNamesWithinOneSecond();
    void snapshotNeverOverwrites();
    void snapshotFormatsAndFailures();

    void rectToQRect_data();
    void rectToQRect();

    void engineErrorArrivesQueuedOnGuiThread();
    void regionDragEndIsAppliedOnGuiThread();
    void canvasFlagsAndNumbers();
    void canvasCalls();

    void gifSizeAndLimit();
    void gifSizeWithEmptyStoredRegion();

private:
    void startRegionRecording();
};

void TstRecorderRuntime::init()
{
    DriverTest::resetWorld();
}

void TstRecorderRuntime::cleanupTestCase()
{
    DriverTest::resetWorld();
}

void TstRecorderRuntime::startRegionRecording()
{
    RecordParameter* p = RecordParameter::instance();
    p->setVideoRect(QRect(0, 0, 1920, 1080));
    p->setUsedVideoFmt(RP_Format_MP4);
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    QVERIFY(ScreenRecorder::instance()->recordVideo());
    ScreenRecorder::instance()->start();
    QVERIFY(FakeScreencast::screenRecorder() != nullptr);
}

// ---- temporary folder ---------------------------------------------------------

void TstRecorderRuntime::freeSpaceThresholds_data()
{
    QTest::addColumn<qint64>("freeBytes");
    QTest::addColumn<int>("expectedBox"); // 0 none, 4 the refusing box, 8 the warning
    QTest::newRow("0xFFFFFFFF refused") << qint64(0xFFFFFFFFLL) << 4;
    QTest::newRow("0x100000000 warned") << qint64(0x100000000LL) << 8;
    QTest::newRow("0x1FFFFFFFF warned") << qint64(0x1FFFFFFFFLL) << 8;
    QTest::newRow("0x200000000 quiet") << qint64(0x200000000LL) << 0;
}

void TstRecorderRuntime::freeSpaceThresholds()
{
    QFETCH(qint64, freeBytes);
    QFETCH(int, expectedBox);
    FakeScreencast::setFreeSpace(freeBytes);
    ScreenRecorder* rec = ScreenRecorder::instance();
    const QString root = Utils::getRecorderTmpRoot();

    ModalDriver driver;
    BoxSeen seen;
    if (expectedBox != 0)
        driver.expect(answer(QMessageBox::Cancel, &seen), "VxMessageBox");
    const bool ok = rec->checkTempfilePath();
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));

    switch (expectedBox) {
    case 4:
        QVERIFY(!ok);
        QVERIFY(rec->getTmpFilePath().isEmpty());
        QVERIFY(seen.text.contains("no less than 4GB"));
        QCOMPARE(seen.okText, QString("Change path"));
        QCOMPARE(seen.cancelText, QString("Cancel"));
        QVERIFY(!SystemStatusBar::instance()->actionEnable());
        break;
    case 8:
        // "Continue" records in the folder despite the little space.
        QVERIFY(ok);
        QCOMPARE(rec->getTmpFilePath(), root + "/.ScreenRecorder");
        QVERIFY(seen.text.contains("no less than 8GB"));
        QCOMPARE(seen.okText, QString("Change path"));
        QCOMPARE(seen.cancelText, QString("Continue"));
        break;
    default:
        QVERIFY(ok);
        QCOMPARE(rec->getTmpFilePath(), root + "/.ScreenRecorder");
        QVERIFY(driver.seen().isEmpty());
        QVERIFY(SystemStatusBar::instance()->actionEnable());
        break;
    }
    // The free space of the temporary folder itself was asked for.
    QVERIFY(FakeScreencast::callsOf("GetFileSystemFreeSize").contains(
        QString("GetFileSystemFreeSize(\"%1\")").arg(root)));
}

void TstRecorderRuntime::unknownFreeSpaceIsNotAFullDisk()
{
    FakeScreencast::failNext("GetFileSystemFreeSize");
    ModalDriver driver;
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QVERIFY(driver.seen().isEmpty());
}

void TstRecorderRuntime::changePathLoop()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const testsupport::UnwritablePath blocked;
    QVERIFY(blocked.ok());
    const QString unwritable = blocked.path("temp");
    const QString good = scratch.filePath("roomy");
    QVERIFY(QDir().mkpath(good));

    const QString root = Utils::getRecorderTmpRoot();
    FakeScreencast::setFreeSpace(root, 0xFFFFFFFFLL);
    FakeScreencast::setFreeSpace(good, 0x200000000LL);

    QStringList asked;
    QStringList answers{unwritable, good};
    ScreenRecorder::setFolderChooser([&](const QString& title, const QString& start) {
        asked << title + "|" + start;
        return answers.takeFirst();
    });

    ModalDriver driver;
    BoxSeen first, info, second;
    driver.expect(answer(QMessageBox::Ok, &first), "VxMessageBox");  // "Change path"
    driver.expect(answer(QMessageBox::Ok, &info), "VxMessageBox");   // not writable
    driver.expect(answer(QMessageBox::Ok, &second), "VxMessageBox"); // "Change path" again
    const bool ok = ScreenRecorder::instance()->checkTempfilePath();
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));

    QVERIFY(ok);
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), QDir::cleanPath(good) + "/.ScreenRecorder");
    QVERIFY(first.text.contains("4GB"));
    QCOMPARE(info.text, kNotWritable.arg(QDir::cleanPath(unwritable)));
    QVERIFY(second.text.contains("4GB"));
    QCOMPARE(asked, (QStringList{"Select Temporary Folder|" + root, "Select Temporary Folder|" + root}));
}

void TstRecorderRuntime::changePathToFolderWithLittleSpaceWarnsAgain()
{
    QTemporaryDir scratch;
    const QString tight = scratch.filePath("tight");
    QVERIFY(QDir().mkpath(tight));
    FakeScreencast::setFreeSpace(Utils::getRecorderTmpRoot(), 1000);
    FakeScreencast::setFreeSpace(tight, 0x1FFFFFFFFLL);
    int asked = 0;
    ScreenRecorder::setFolderChooser([&](const QString&, const QString&) {
        ++asked;
        return tight;
    });

    // The new folder goes through the whole check: its 8 GB warning is
    // answered with "Continue".
    ModalDriver driver;
    BoxSeen first, second;
    driver.expect(answer(QMessageBox::Ok, &first), "VxMessageBox");
    driver.expect(answer(QMessageBox::Cancel, &second), "VxMessageBox");
    QVERIFY(ScreenRecorder::instance()->checkTempfilePath());
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(asked, 1);
    QVERIFY(first.text.contains("4GB"));
    QVERIFY(second.text.contains("8GB"));
    QCOMPARE(second.cancelText, QString("Continue"));
    QCOMPARE(ScreenRecorder::instance()->getTmpFilePath(), QDir::cleanPath(tight) + "/.ScreenRecorder");
}

void TstRecorderRuntime::unwritableTemporaryRootIsRefused()
{
    const testsupport::UnwritablePath unwritable;
    QVERIFY(unwritable.ok());
    QString root;
    bool ok = false;
    ModalDriver driver;
    BoxSeen seen;
    {
        testsupport::ScopedEnv env("XDG_DATA_HOME", unwritable.path("data").toUtf8().constData());
        root = Utils::getRecorderTmpRoot();
        driver.expect(answer(QMessageBox::Cancel, &seen), "VxMessageBox");
        ok = ScreenRecorder::instance()->checkTempfilePath();
    }
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));

    QVERIFY(!ok);
    QVERIFY(ScreenRecorder::instance()->getTmpFilePath().isEmpty());
    QCOMPARE(seen.text, kNotWritable.arg(root));
    QCOMPARE(seen.cancelText, QString("Cancel"));
    // Nothing to record into: the video preparation refuses too.
    QVERIFY(!ScreenRecorder::instance()->recordVideo());
}

// ---- still images ---------------------------------------------------------------

void TstRecorderRuntime::snapshotNamesWithinOneSecond()
{
    startRegionRecording();
    ScreenRecorder* rec = ScreenRecorder::instance();
    const QString folder = Utils::getSnapshotPath();

    // Three snapshots inside one second; tried again if a second boundary
    // fell between them.
    QStringList paths;
    QString stamp;
    for (int attempt = 0; attempt < 5; ++attempt) {
        stamp = QDateTime::currentDateTime().toString("yy-MM-dd_hh-mm-ss");
        paths = QStringList{rec->snapshot(), rec->snapshot(), rec->snapshot()};
        if (QDateTime::currentDateTime().toString("yy-MM-dd_hh-mm-ss") == stamp
            && paths.first() == folder + "/Snapshot_" + stamp + ".png")
            break;
        paths.clear();
        QTest::qWait(300);
    }
    QVERIFY2(!paths.isEmpty(), "no three snapshots within one second");
    QCOMPARE(paths.at(1), folder + "/Snapshot_" + stamp + "(1).png");
    QCOMPARE(paths.at(2), folder + "/Snapshot_" + stamp + "(2).png");
    for (const QString& p : paths)
        QVERIFY(QFile::exists(p));

    // A new second starts without a number again.
    QTRY_VERIFY(QDateTime::currentDateTime().toString("yy-MM-dd_hh-mm-ss") != stamp);
    const QString next = rec->snapshot();
    QVERIFY2(!next.contains('('), qPrintable(next));
}

void TstRecorderRuntime::snapshotNeverOverwrites()
{
    startRegionRecording();
    const QString folder = Utils::getSnapshotPath();
    // Files of an earlier run for this second and the next ones.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList existing;
    for (int s = 0; s < 3; ++s) {
        const QString path = folder + "/Snapshot_" + now.addSecs(s).toString("yy-MM-dd_hh-mm-ss") + ".png";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier");
        existing << path;
    }
    const QString path = ScreenRecorder::instance()->snapshot();
    QVERIFY(!path.isEmpty());
    QVERIFY(!existing.contains(path));
    for (const QString& p : existing)
        QCOMPARE(QFileInfo(p).size(), qint64(7));
}

void TstRecorderRuntime::snapshotFormatsAndFailures()
{
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->snapshot().isEmpty()); // nothing records

    startRegionRecording();
    RecordParameter::instance()->setUsedImgFmt(RP_Format_JPG);
    const QString jpg = rec->snapshot();
    QVERIFY(jpg.endsWith(".jpg"));
    QVERIFY(FakeScreencast::callsOf("CScreenRecoderObject::snapshot").last().endsWith(", 1)"));
    RecordParameter::instance()->setUsedImgFmt(RP_Format_TIFF);
    QVERIFY(rec->snapshot().endsWith(".tiff"));
    QVERIFY(FakeScreencast::callsOf("CScreenRecoderObject::snapshot").last().endsWith(", 4)"));
    RecordParameter::instance()->setUsedImgFmt(RP_Format_MP3); // not an image format
    QVERIFY(rec->snapshot().endsWith(".png"));
    QVERIFY(FakeScreencast::callsOf("CScreenRecoderObject::snapshot").last().endsWith(", 0)"));

    // The engine wrote nothing: no path.
    FakeScreencast::screenRecorder()->snapshotWritesFile = false;
    QVERIFY(rec->snapshot().isEmpty());
}

// ---- helpers ----------------------------------------------------------------------

void TstRecorderRuntime::rectToQRect_data()
{
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("right");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("small, off the left edge") << -50.0 << 10.0 << 0.0 << 40.0 << QRect(QPoint(0, 10), QPoint(63, 73));
    QTest::newRow("inside, fractions cut") << 10.7 << 20.2 << 330.9 << 260.5 << QRect(10, 20, 320, 240);
    QTest::newRow("past the right and bottom")
        << 1900.0 << 1000.0 << 2000.0 << 1100.0 << QRect(QPoint(1820, 980), QPoint(1919, 1079));
    QTest::newRow("larger than the display") << 0.0 << 0.0 << 3000.0 << 2000.0 << QRect(0, 0, 1920, 1080);
    QTest::newRow("above the top") << 100.0 << -30.0 << 300.0 << 170.0 << QRect(100, 0, 200, 200);
}

void TstRecorderRuntime::rectToQRect()
{
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(double, right);
    QFETCH(double, bottom);
    QFETCH(QRect, expected);
    QCOMPARE(RECT2QRect(CRect{left, top, right, bottom}), expected);
}

// ---- engine callbacks ---------------------------------------------------------------

void TstRecorderRuntime::engineErrorArrivesQueuedOnGuiThread()
{
    HubListener listener;
    startRegionRecording();
    Telemetry telemetry;
    ScreenRecorder* rec = ScreenRecorder::instance();
    int code = -1;
    QVERIFY(!rec->recordError(code));
    QCOMPARE(code, 0);

    // Fired from a std::thread, which is joined before this returns.
    FakeScreencast::screenRecorder()->fireError(SR_FileWriteFailed);
    // Stored at once, delivered only through the GUI thread's event loop.
    QVERIFY(rec->recordError(code));
    QCOMPARE(code, 2);
    QVERIFY(listener.events.isEmpty());
    QTRY_COMPARE(listener.events, QStringList{"error 2"});
    QVERIFY(listener.allOnGuiThread);
    QCOMPARE(telemetry.events(5002).size(), 1);
    QCOMPARE(telemetry.events(5002).first().value("key_Recording_Result").toInt(), 0);

    // A new preparation forgets the error.
    QVERIFY(rec->recordVideo());
    QVERIFY(!rec->recordError(code));

    // The hub gone: the engine's error is stored and nothing crashes.
    SignalsTransfer::release();
    FakeScreencast::screenRecorder()->fireError(SR_BufferFull);
    QVERIFY(rec->recordError(code));
    QCOMPARE(code, 3);
}

void TstRecorderRuntime::regionDragEndIsAppliedOnGuiThread()
{
    HubListener listener;
    startRegionRecording();
    RecordParameter* p = RecordParameter::instance();
    const QRect before = p->getVideoRect();

    FakeScreencast::screenRecorder()->fireRegionBeginDrag();
    QTRY_COMPARE(listener.events, QStringList{"begin drag"});

    FakeScreencast::screenRecorder()->fireRegionEndDrag(CRect{100, 120, 500, 420});
    // The engine thread returned: nothing was written from it.
    QCOMPARE(p->getVideoRect(), before);
    QCOMPARE(listener.events.size(), 1);
    QTRY_COMPARE(listener.events.size(), 2);
    QCOMPARE(listener.events.last(), QString("end drag 100,120 400x300"));
    QCOMPARE(p->getVideoRect(), QRect(100, 120, 400, 300));
    QVERIFY(listener.allOnGuiThread);
    QCOMPARE(FakeScreencast::callCount("ConvertCurrentScreenRectToDisplay"), 1);
}

void TstRecorderRuntime::canvasFlagsAndNumbers()
{
    HubListener listener;
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(!rec->isCanvas());
    startRegionRecording();
    QVERIFY(rec->isCanvas());
    FakeScreenCanvas* canvas = FakeScreencast::screenRecorder()->canvas;
    QVERIFY(canvas != nullptr);

    canvas->fireCanvasEvent(true, false);
    QVERIFY(rec->isCanUndo());
    QVERIFY(!rec->isCanRedo());
    canvas->fireCanvasEvent(false, true);
    QVERIFY(!rec->isCanUndo());
    QVERIFY(rec->isCanRedo());

    canvas->fireNumberChanged(5);
    QVERIFY(listener.events.isEmpty());
    QTRY_COMPARE(listener.events, QStringList{"number 5"});
    QVERIFY(listener.allOnGuiThread);

    // The flags outlive the recording.
    rec->stop();
    QVERIFY(!rec->isCanvas());
    QVERIFY(rec->isCanRedo());
}

void TstRecorderRuntime::canvasCalls()
{
    ScreenRecorder* rec = ScreenRecorder::instance();
    const QColor fg(0x11, 0x22, 0x33);
    const QColor bg(0xaa, 0xbb, 0xcc, 0xdd);
    // No canvas: nothing reaches the engine.
    rec->onStartCanvs(1, 16, 4, fg, bg, "Tahoma", 0);
    rec->onUndo();
    rec->onRedo();
    rec->onClear();
    rec->onStopCanvs();
    for (const QString& call : FakeScreencast::calls())
        QVERIFY2(!call.startsWith("CScreenCanvasObject"), qPrintable(call));

    startRegionRecording();
    FakeScreencast::clearCalls();
    rec->onStartCanvs(7, 16, 4, fg, bg, "Tahoma", 3);  // callout: colours change places
    rec->onStartCanvs(8, 16, 4, fg, bg, "Tahoma", 3);  // text: the font size
    rec->onStartCanvs(2, 16, 4, fg, bg, "Tahoma", 3);  // shape: fill at alpha 0x64
    rec->onUndo();
    rec->onRedo();
    rec->onClear();
    rec->onStopCanvs();
    const QString fgText = colourText(0xff112233);
    const QString bgText = colourText(0xddaabbcc);
    const QStringList expected{
        "CScreenCanvasObject::setNumber(3)",
        QString("CScreenCanvasObject::start(7, %1, %2, \"Tahoma\", 4)").arg(bgText, fgText),
        QString("CScreenCanvasObject::start(8, %1, %2, \"Tahoma\", 16)").arg(fgText, colourText(0x64aabbcc)),
        QString("CScreenCanvasObject::start(2, %1, %2, \"Tahoma\", 4)").arg(fgText, colourText(0x64aabbcc)),
        "CScreenCanvasObject::undo()",
        "CScreenCanvasObject::redo()",
        "CScreenCanvasObject::clear()",
        "CScreenCanvasObject::stop()",
    };
    QCOMPARE(FakeScreencast::calls(), expected);
}

// ---- GIF limit and forwarding -----------------------------------------------------

void TstRecorderRuntime::gifSizeAndLimit()
{
    ScreenRecorder* rec = ScreenRecorder::instance();
    QCOMPARE(rec->getGifSize(), qint64(0)); // nothing records
    RecordParameter::instance()->setUsedVideoFmt(RP_Format_GIF);
    RecordParameter::instance()->setVideoRect(QRect(0, 0, 1920, 1080));
    QVERIFY(rec->checkTempfilePath());
    QVERIFY(rec->recordVideo());

    FakeScreenRecorder* engine = FakeScreencast::screenRecorder();
    engine->frames = 0;
    QCOMPARE(rec->getGifSize(), qint64(0));
    engine->frames = 775;
    QCOMPARE(rec->getGifSize(), qint64(1920) * 1080 * 775);
    // trunc(1610612736 / (1920 * 1080)) = 776 frames.
    engine->frames = 776;
    QCOMPARE(rec->getGifSize(), qint64(-1));
}

void TstRecorderRuntime::gifSizeWithEmptyStoredRegion()
{
    FakeScreencast::Window window;
    window.id = 12;
    window.frame = CRect{0, 0, 800, 600};
    FakeScreencast::setWindows({window});
    RecordParameter* p = RecordParameter::instance();
    p->setUsedVideoFmt(RP_Format_GIF);
    p->setVideoRect(QRect());
    ScreenRecorder* rec = ScreenRecorder::instance();
    QVERIFY(rec->checkTempfilePath());

    // No stored region and a region recording: no estimate, no division.
    QVERIFY(rec->recordVideo());
    FakeScreencast::screenRecorder()->frames = 10;
    QCOMPARE(rec->getGifSize(), qint64(0));

    // One window: the window's frames count against the limit.
    p->setWindowRecord(true);
    p->setWindowModle(1);
    p->setWindowList({12});
    QVERIFY(rec->recordVideo());
    FakeScreencast::screenRecorder()->frames = 10;
    QCOMPARE(rec->getGifSize(), qint64(800) * 600 * 10);
    FakeScreencast::screenRecorder()->frames = 1610612736 / (800 * 600);
    QCOMPARE(rec->getGifSize(), qint64(-1));
}

QTEST_MAIN(TstRecorderRuntime)
#include "tst_recorder_runtime.moc"
