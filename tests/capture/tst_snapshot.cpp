// The screenshot editor over the engine double: the selection (fired on an
// engine thread) opens the editor over the area with the picture of the
// screen as it was when the selection began; Save writes a file whose
// content matches its suffix and hands it over; Cancel, Esc and a selection
// without an area leave nothing behind; Pin and Copy carry the picture; a
// receiver may delete the editor inside any of its signals.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <thread>

#include "capture/DlgSnapshot.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

namespace {

// Every pixel tells where it is, so a picture cut from the wrong place
// shows it.
QRgb patternAt(int x, int y)
{
    return qRgb(x & 0xff, y & 0xff, ((x >> 8) * 40 + (y >> 8) * 80) & 0xff);
}

// A window over the whole screen showing the pattern: the screen the
// editor freezes.
class Scene : public QWidget
{
public:
    Scene() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        m_picture = QImage(screen.size(), QImage::Format_RGB32);
        for (int y = 0; y < m_picture.height(); ++y)
            for (int x = 0; x < m_picture.width(); ++x)
                m_picture.setPixel(x, y, patternAt(x, y));
        setGeometry(screen);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_picture);
    }
    // Later content: what the screen shows after the freeze.
    void repaintWith(const QColor& colour)
    {
        m_picture.fill(colour);
        repaint();
    }

private:
    QImage m_picture;
};

const QRect kArea(100, 50, 200, 120);
const CRect kAreaCRect{100, 50, 300, 170};

QStringList tempFiles()
{
    return QDir(Utils::getRecorderTmpRoot()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

QToolButton* button(DlgSnapshot* editor, const char* name)
{
    return editor->findChild<QToolButton*>(QString::fromLatin1(name));
}

QWidget* toolBar(DlgSnapshot* editor)
{
    return editor->findChild<QWidget*>(QStringLiteral("frmToolBar"));
}

QByteArray head(const QString& path, int n)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

} // namespace

class TstSnapshot : public QObject
{
    Q_OBJECT

    // As the home window builds it: shown, hidden, selection started.
    DlgSnapshot* startEditor()
    {
        auto* editor = new DlgSnapshot(nullptr, false);
        m_editors << editor;
        editor->show();
        editor->hide();
        editor->createImageCapture();
        return editor;
    }

    // Starts an editor and selects kArea on an engine thread.
    DlgSnapshot* selectArea()
    {
        DlgSnapshot* editor = startEditor();
        FakeImageCapture* capture = FakeScreencast::imageCapture();
        if (!capture)
            return editor;
        capture->fireSelCompleted(kAreaCRect);
        (void)QTest::qWaitFor([editor] { return editor->isVisible(); }, 20000);
        return editor;
    }

    Scene* m_scene = nullptr;
    QList<QPointer<DlgSnapshot>> m_editors;

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        FakeScreencast::reset();
        RecordParameter::instance()->setUsedImgFmt(RP_Format_PNG);
        QDir(Utils::getRecorderTmpRoot()).removeRecursively();
        m_scene = new Scene();
        m_scene->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_scene));
        // The scene is what a grab of the screen sees.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()
                         ->grabWindow(0, 0, 0, screen.width(), screen.height())
                         .toImage()
                         .pixel(kArea.topLeft()),
                     patternAt(kArea.x(), kArea.y()), 20000);
    }

    void cleanup()
    {
        for (const QPointer<DlgSnapshot>& e : m_editors)
            delete e.data();
        m_editors.clear();
        delete m_scene;
        m_scene = nullptr;
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QVERIFY2(tempFiles().isEmpty(), qPrintable(tempFiles().join(", ")));
    }

    // The selection arrives from an engine thread: the editor lies over the
    // area with the area's picture as it was when the selection began, and
    // the tool bar shows beside it; the engine's selection is released.
    void selectionOpensEditor()
    {
        DlgSnapshot* editor = startEditor();
        QCOMPARE(FakeScreencast::callCount("CreateImageCapture"), 1);
        QCOMPARE(FakeScreencast::zoomTipsFormat(), QStringLiteral("%d x %d"));
        QVERIFY(!editor->isVisible());
        QVERIFY(!toolBar(editor)->isVisible());

        // The screen changes while the user selects: the frozen picture
        // counts.
        m_scene->repaintWith(Qt::green);
        FakeScreencast::imageCapture()->fireSelCompleted(kAreaCRect);
        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), 20000);
        QCOMPARE(editor->geometry(), kArea);
        const QImage image = editor->image();
        QCOMPARE(image.size(), kArea.size());
        for (const QPoint& p : {QPoint(0, 0), QPoint(17, 33), QPoint(199, 119)})
            QCOMPARE(image.pixel(p), patternAt(kArea.x() + p.x(), kArea.y() + p.y()));

        QWidget* bar = toolBar(editor);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->pos(), DlgSnapshot::toolBarPos(kArea, bar->size(),
                                                     QGuiApplication::primaryScreen()->geometry()));
        // Below the area; wider than it here, so held at the screen's left.
        QCOMPARE(bar->geometry().top(), kArea.bottom() + 5);
        QCOMPARE(bar->geometry().right(), qMax(kArea.right(), bar->width() - 1));
        for (const char* name : {"btnSave", "btnCopy", "btnPin", "btnCancel"})
            QVERIFY2(button(editor, name) && button(editor, name)->isVisible(), name);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCOMPARE(FakeScreencast::callCount("CImageCaptureObject::release"), 1);

        // A second start of the same editor does nothing.
        editor->createImageCapture();
        QCOMPARE(FakeScreencast::callCount("CreateImageCapture"), 1);
    }

    // Save writes the picture in the chosen format, with the matching
    // suffix and content, hands the file over, then finishes with 1.
    void saveWritesChosenFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("lossless");
        const QByteArray png("\x89PNG\r\n\x1a\n", 8);
        QTest::newRow("png") << int(RP_Format_PNG) << "png" << png << "PNG (*.png)" << true;
        QTest::newRow("jpg") << int(RP_Format_JPG) << "jpg" << QByteArray("\xff\xd8\xff", 3)
                             << "JPEG (*.jpg *.jpeg)" << false;
        QTest::newRow("bmp") << int(RP_Format_BMP) << "bmp" << QByteArray("BM") << "BMP (*.bmp)" << true;
        if (QImageWriter::supportedImageFormats().contains("tiff"))
            QTest::newRow("tiff") << int(RP_Format_TIFF) << "tiff" << QByteArray() << "TIFF (*.tiff)" << true;
        else   // no TIFF writer here: PNG, said by the suffix and the filter
            QTest::newRow("tiff without writer") << int(RP_Format_TIFF) << "png" << png << "PNG (*.png)" << true;
        // GIF and the video formats are no screenshot formats: PNG.
        QTest::newRow("gif") << int(RP_Format_GIF) << "png" << png << "PNG (*.png)" << true;
    }
    void saveWritesChosenFormat()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, magic);
        QFETCH(QString, filter);
        QFETCH(bool, lossless);
        RecordParameter::instance()->setUsedImgFmt(RP_Format(format));
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());

        QStringList order;
        QString path;
        QString gotFilter;
        bool fileThereInSignal = false;
        bool hiddenInSignal = false;
        connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p, const QString& f) {
            order << "save";
            path = p;
            gotFilter = f;
            fileThereInSignal = QFileInfo(p).isFile();
            hiddenInSignal = !editor->isVisible() && !toolBar(editor)->isVisible();
        });
        connect(editor, &QDialog::finished, this, [&](int r) { order << QStringLiteral("finished %1").arg(r); });
        QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(order, (QStringList{"save", "finished 1"}), 20000);
        QVERIFY(fileThereInSignal);
        QVERIFY(hiddenInSignal);
        QCOMPARE(gotFilter, filter);
        QFileInfo info(path);
        QCOMPARE(QDir(info.absolutePath()).canonicalPath(), QDir(Utils::getRecorderTmpRoot()).canonicalPath());
        QCOMPARE(info.suffix(), suffix);
        QVERIFY2(info.completeBaseName().startsWith("Snapshot_"), qPrintable(info.fileName()));
        if (!magic.isEmpty())
            QCOMPARE(head(path, magic.size()), magic);
        else
            QVERIFY(head(path, 4) == QByteArray("II*\0", 4) || head(path, 4) == QByteArray("MM\0*", 4));

        QImage saved(path);
        QCOMPARE(saved.size(), kArea.size());
        const QPoint p(40, 60);
        const QRgb want = patternAt(kArea.x() + p.x(), kArea.y() + p.y());
        if (lossless) {
            QCOMPARE(saved.pixel(p), want);
        } else {
            const QRgb got = saved.pixel(p);
            QVERIFY2(qAbs(qRed(got) - qRed(want)) < 24 && qAbs(qGreen(got) - qGreen(want)) < 24
                         && qAbs(qBlue(got) - qBlue(want)) < 24,
                     qPrintable(QString::number(got, 16)));
        }
        QVERIFY(!editor->isVisible());
        // The file is the receiver's now; this test plays the receiver.
        QVERIFY(QFile::remove(path));

        // A second Save of a finished editor does nothing.
        QMetaObject::invokeMethod(button(editor, "btnSave"), "click");
        QTest::qWait(20);
        QCOMPARE(order.size(), 2);
    }

    // Two saves in one second get two names.
    void savesNeverOverwrite()
    {
        QStringList paths;
        for (int i = 0; i < 2; ++i) {
            DlgSnapshot* editor = selectArea();
            QVERIFY(editor->isVisible());
            connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) { paths << p; });
            QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(paths.size(), i + 1, 20000);
        }
        QVERIFY(paths.at(0) != paths.at(1));
        for (const QString& p : paths) {
            QCOMPARE(QImage(p).size(), kArea.size());
            QVERIFY(QFile::remove(p));
        }
    }

    // Cancel, by the button and by Esc on either window, finishes with 0
    // and leaves no file, nothing pinned and nothing saved.
    void cancelLeavesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "button";
        QTest::newRow("escape on editor") << "escape";
        QTest::newRow("escape on tool bar") << "escape bar";
        QTest::newRow("close") << "close";
    }
    void cancelLeavesNothing()
    {
        QFETCH(QString, how);
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QSignalSpy finished(editor, &QDialog::finished);
        QSignalSpy saved(editor, &DlgSnapshot::pictureSave);
        QSignalSpy pinned(editor, &DlgSnapshot::paintToScreen);
        if (how == "button")
            QTest::mouseClick(button(editor, "btnCancel"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(editor, Qt::Key_Escape);
        else if (how == "escape bar")
            QTest::keyClick(toolBar(editor), Qt::Key_Escape);
        else
            editor->close();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!editor->isVisible());
        QVERIFY(!toolBar(editor)->isVisible());
        QTest::qWait(20);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(saved.size(), 0);
        QCOMPARE(pinned.size(), 0);
        QVERIFY(tempFiles().isEmpty());
    }

    // Pin hands the picture over and finishes with 1; Copy puts it on the
    // clipboard. Neither writes a file.
    void pinAndCopyCarryThePicture()
    {
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        const QImage image = editor->image();
        QList<QImage> pins;
        QStringList order;
        connect(editor, &DlgSnapshot::paintToScreen, this, [&](const QImage& img) {
            pins << img;
            order << (editor->isVisible() ? "pin over editor" : "pin");
        });
        connect(editor, &QDialog::finished, this, [&](int r) { order << QStringLiteral("finished %1").arg(r); });
        QTest::mouseClick(button(editor, "btnPin"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(order, (QStringList{"pin", "finished 1"}), 20000);
        QCOMPARE(pins.size(), 1);
        QCOMPARE(pins.first(), image);
        QCOMPARE(pins.first().size(), kArea.size());

        editor = selectArea();
        QVERIFY(editor->isVisible());
        QSignalSpy finished(editor, &QDialog::finished);
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(button(editor, "btnCopy"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 1);
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), kArea.size());
        QCOMPARE(copied.pixel(5, 5), patternAt(kArea.x() + 5, kArea.y() + 5));
        QVERIFY(tempFiles().isEmpty());
    }

    // The selection ends without an area (Esc in the engine): finished(0),
    // no editor on the screen. A failed start ends the same way, though
    // not inside createImageCapture(). Late engine events after the end
    // change nothing.
    void selectionWithoutArea()
    {
        DlgSnapshot* editor = startEditor();
        QSignalSpy finished(editor, &QDialog::finished);
        CImageCaptureCallback* events = FakeScreencast::imageCapture()->callback;
        FakeScreencast::imageCapture()->fireClose();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!editor->isVisible());
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        std::thread late([events] { events->OnScreenSelCompleted(kAreaCRect); });
        late.join();
        QTest::qWait(20);
        QVERIFY(!editor->isVisible());
        QCOMPARE(finished.size(), 1);

        FakeScreencast::failNext("CreateImageCapture");
        auto* failed = new DlgSnapshot(nullptr, false);
        m_editors << failed;
        QSignalSpy failedFinished(failed, &QDialog::finished);
        failed->createImageCapture();
        QCOMPARE(failedFinished.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(failedFinished.size(), 1, 20000);
        QCOMPARE(failedFinished.first().first().toInt(), 0);
        QVERIFY(!failed->isVisible());
    }

    // Without any picture of the screen the editor does not pretend: it
    // finishes with 0 and shows nothing.
    void noPictureNoEditor()
    {
        m_scene->hide();   // nothing covers the screen to grab from
        DlgSnapshot* editor = startEditor();
        QSignalSpy finished(editor, &QDialog::finished);
        FakeScreencast::imageCapture()->fireSelCompleted(kAreaCRect);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!editor->isVisible());
        QVERIFY(editor->image().isNull());
    }

    // The temp root cannot be written: a warning, no file, no hand-over;
    // the editor comes back and can still be cancelled.
    void saveFailureKeepsEditor()
    {
        const QString root = Utils::getRecorderTmpRoot();
        QVERIFY(QDir(root).removeRecursively());
        {
            QFile blocker(root);   // a file where the folder should be
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QSignalSpy saved(editor, &DlgSnapshot::pictureSave);
        QSignalSpy finished(editor, &QDialog::finished);
        ModalDriver driver(10000);
        driver.clickButton(QMessageBox::Ok);
        QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
        QVERIFY(driver.waitFinished(10000));
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY2(driver.seen().first().text.contains("could not be saved"), qPrintable(driver.seen().first().text));
        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), 20000);
        QVERIFY(toolBar(editor)->isVisible());
        QCOMPARE(saved.size(), 0);
        QCOMPARE(finished.size(), 0);
        QTest::mouseClick(button(editor, "btnCancel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(QFile::remove(root));
    }

    // Receivers may delete the editor inside its signals (pictureSave,
    // paintToScreen, finished), whatever the road to them.
    void deletedInsideItsSignals_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("deleteIn");
        QTest::newRow("save, in pictureSave") << "btnSave" << "pictureSave";
        QTest::newRow("save, in finished") << "btnSave" << "finished";
        QTest::newRow("pin, in paintToScreen") << "btnPin" << "paintToScreen";
        QTest::newRow("copy, in finished") << "btnCopy" << "finished";
        QTest::newRow("cancel, in finished") << "btnCancel" << "finished";
    }
    void deletedInsideItsSignals()
    {
        QFETCH(QString, action);
        QFETCH(QString, deleteIn);
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QPointer<DlgSnapshot> guard(editor);
        QString savedPath;
        auto drop = [&] { delete guard.data(); };
        if (deleteIn == "pictureSave")
            connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) {
                savedPath = p;
                drop();
            });
        else
            connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) { savedPath = p; });
        if (deleteIn == "paintToScreen")
            connect(editor, &DlgSnapshot::paintToScreen, this, drop);
        if (deleteIn == "finished")
            connect(editor, &QDialog::finished, this, drop);
        if (action == "escape")
            QTest::keyClick(editor, Qt::Key_Escape);
        else
            QTest::mouseClick(button(editor, qPrintable(action)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 20000);
        QTest::qWait(20);
        if (!savedPath.isEmpty())
            QVERIFY(QFile::remove(savedPath));
    }

    // Beside the area: below, right-aligned; above when the screen ends
    // below; inside the area when neither fits; never off the screen's
    // sides.
    void toolBarPlacement_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QPoint>("expected");
        // Screen (0,0 1920x1080), bar 200x30, gap 4.
        QTest::newRow("below") << QRect(100, 100, 400, 300) << QPoint(300, 404);
        QTest::newRow("just fits below") << QRect(100, 100, 400, 945) << QPoint(300, 1049);
        QTest::newRow("above") << QRect(100, 100, 400, 947) << QPoint(300, 66);
        QTest::newRow("inside") << QRect(0, 20, 1920, 1050) << QPoint(1720, 1036);
        QTest::newRow("narrow at left edge") << QRect(0, 100, 50, 50) << QPoint(0, 154);
        QTest::newRow("past the right edge") << QRect(1800, 100, 400, 50) << QPoint(1720, 154);
    }
    void toolBarPlacement()
    {
        QFETCH(QRect, area);
        QFETCH(QPoint, expected);
        QCOMPARE(DlgSnapshot::toolBarPos(area, QSize(200, 30), QRect(0, 0, 1920, 1080)), expected);
        // On a second screen the same rules hold in its coordinates.
        QCOMPARE(DlgSnapshot::toolBarPos(area.translated(1920, 0), QSize(200, 30), QRect(1920, 0, 1920, 1080)),
                 expected + QPoint(1920, 0));
    }
};

QTEST_MAIN(TstSnapshot)
#include "tst_snapshot.moc"
