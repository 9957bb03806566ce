// The screenshot editor over the engine double: the selection opens it, Save's
// file matches its suffix, cancels leave nothing, deletion inside its signals.
#include <QApplication>
#include <QtTest>
#include <QImageReader>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

#include <thread>

#include "capture/DlgPaintToScreen.h"
#include "capture/DlgSnapshot.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "core/Utils.h"

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
        QPainter(this).drawImage(0, 0, m_picture);
    }
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

QToolButton* button(DlgSnapshot* editor, const QString& name)
{
    return editor->findChild<QToolButton*>(name);
}

QWidget* toolBar(DlgSnapshot* editor)
{
    return editor->findChild<QWidget*>(QStringLiteral("frmToolBar"));
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
        (void)QTest::qWaitFor([] { return FakeScreencast::imageCapture() != nullptr; }, 20000);
        return editor;
    }

    // Starts an editor and selects kArea on an engine thread.
    DlgSnapshot* selectArea()
    {
        DlgSnapshot* editor = startEditor();
        if (FakeImageCapture* capture = FakeScreencast::imageCapture())
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
        // Wait until a grab of the screen sees the scene.
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

    // The screen changes while the user selects: the editor shows the frozen picture, darkened
    // outside the area only, and the engine's selection is released.
    void selectionOpensEditor()
    {
        DlgSnapshot* editor = startEditor();
        m_scene->repaintWith(Qt::green);
        FakeScreencast::imageCapture()->fireSelCompleted(kAreaCRect);
        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), 20000);
        QCOMPARE(editor->area(), kArea);
        QCOMPARE(editor->geometry(), QGuiApplication::primaryScreen()->virtualGeometry());
        const QImage image = editor->image();
        const QImage shown = editor->grab().toImage();
        QCOMPARE(image.size(), kArea.size());
        for (const QPoint& p : {QPoint(0, 0), QPoint(17, 33), QPoint(199, 119)}) {
            QCOMPARE(image.pixel(p), patternAt(kArea.x() + p.x(), kArea.y() + p.y()));
            QCOMPARE(shown.pixel(kArea.topLeft() + p), image.pixel(p));
        }
        for (const QPoint& p : {QPoint(kArea.x() - 3, 200), QPoint(400, 250), QPoint(250, 30)})
            QVERIFY2(qGray(shown.pixel(p)) < qGray(patternAt(p.x(), p.y())) * 3 / 4,
                     qPrintable(QString::number(shown.pixel(p), 16)));
        QWidget* bar = toolBar(editor);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->pos(), DlgSnapshot::toolBarPos(kArea, bar->size(),
                                                     QGuiApplication::primaryScreen()->geometry()));
        QCOMPARE(FakeScreencast::callCount("CImageCaptureObject::release"), 1);
        // A second start of the same editor does nothing.
        editor->createImageCapture();
        QCOMPARE(FakeScreencast::callCount("CreateImageCapture"), 1);
    }

    // Save writes a temporary file in the chosen format with its suffix, hands it over and
    // finishes with 1; GIF is no screenshot format: PNG.
    void saveWritesChosenFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("png") << int(RP_Format_PNG) << "png" << QByteArray("png");
        QTest::newRow("jpg") << int(RP_Format_JPG) << "jpg" << QByteArray("jpeg");
        QTest::newRow("gif") << int(RP_Format_GIF) << "png" << QByteArray("png");
        // Without a TIFF writer the file is PNG, and its name says so.
        const bool tiff = QImageWriter::supportedImageFormats().contains("tiff");
        QTest::newRow("tiff") << int(RP_Format_TIFF) << (tiff ? "tiff" : "png") << QByteArray(tiff ? "tiff" : "png");
    }
    void saveWritesChosenFormat()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, content);
        RecordParameter::instance()->setUsedImgFmt(RP_Format(format));
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QStringList order;
        QString path;
        connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) {
            path = p;
            order << (QFileInfo(p).isFile() && !editor->isVisible() ? "save" : "save too early");
        });
        connect(editor, &QDialog::finished, this, [&](int r) { order << QStringLiteral("finished %1").arg(r); });
        QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(order, (QStringList{"save", "finished 1"}), 20000);

        const QFileInfo info(path);
        QCOMPARE(QDir(info.absolutePath()).canonicalPath(), QDir(Utils::getRecorderTmpRoot()).canonicalPath());
        QCOMPARE(info.suffix(), suffix);
        QCOMPARE(QImageReader::imageFormat(path), content);
        const QImage saved(path);
        QCOMPARE(saved.size(), kArea.size());
        if (content == "png")
            QCOMPARE(saved.pixel(40, 60), patternAt(kArea.x() + 40, kArea.y() + 60));
        // The file is the receiver's now; this test plays the receiver.
        QVERIFY(QFile::remove(path));
    }

    // Two saves in one second get two names.
    void savesNeverOverwrite()
    {
        QStringList paths;
        for (int i = 0; i < 2; ++i) {
            DlgSnapshot* editor = selectArea();
            connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) { paths << p; });
            QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(paths.size(), i + 1, 20000);
        }
        QVERIFY(paths.at(0) != paths.at(1));
        for (const QString& p : paths)
            QVERIFY(QFile::remove(p));
    }

    // Cancel, by the button, by Esc or by closing, finishes with 0 and
    // leaves no file and nothing pinned or saved.
    void cancelLeavesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "button";
        QTest::newRow("escape on tool bar") << "escape";
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
            QTest::keyClick(toolBar(editor), Qt::Key_Escape);
        else
            editor->close();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!toolBar(editor)->isVisible());
        QCOMPARE(saved.size() + pinned.size(), 0);
    }

    // Pin hands the picture over without writing a file.
    void pinCarriesThePicture()
    {
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QSignalSpy pinned(editor, &DlgSnapshot::paintToScreen);
        QTest::mouseClick(button(editor, "btnPin"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(pinned.size(), 1, 20000);
        const QImage pin = pinned.first().first().value<QImage>();
        QCOMPARE(pin.size(), kArea.size());
        QCOMPARE(pin.pixel(5, 5), patternAt(kArea.x() + 5, kArea.y() + 5));
        // Pinned, the picture stays where it was, over a shadow of 9 px a
        // side that darkens towards the picture; the window stays opaque.
        DlgPaintToScreen window;
        window.setImg(pin);
        const int shadow = DlgPaintToScreen::kShadow;
        QCOMPARE(shadow, 9);
        QCOMPARE(window.geometry(), kArea.adjusted(-shadow, -shadow, shadow, shadow));
        const QImage shown = window.grab().toImage();
        QCOMPARE(shown.pixel(shadow + 5, shadow + 5), pin.pixel(5, 5));
        const int middle = shown.height() / 2;
        QCOMPARE(shown.pixelColor(0, middle).alpha(), 255);
        QVERIFY(shown.pixelColor(0, middle).lightness() > 60);
        for (int x = 1; x < shadow; ++x)
            QVERIFY2(shown.pixelColor(x, middle).lightness() < shown.pixelColor(x - 1, middle).lightness(),
                     qPrintable(QString::number(x)));
    }

    // No area (Esc in the engine) or a failed engine start: finished(0) from the event loop,
    // no editor; late engine events change nothing.
    void selectionWithoutArea()
    {
        DlgSnapshot* editor = startEditor();
        QSignalSpy finished(editor, &QDialog::finished);
        CImageCaptureCallback* events = FakeScreencast::imageCapture()->callback;
        FakeScreencast::imageCapture()->fireClose();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(finished.first().first().toInt(), 0);
        std::thread([events] { events->OnScreenSelCompleted(kAreaCRect); }).join();
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
    }

    // The temporary folder cannot be written: a warning, no hand-over; the
    // editor comes back and can still be cancelled.
    void saveFailureKeepsEditor()
    {
        const QString root = Utils::getRecorderTmpRoot();
        QVERIFY(QDir(root).removeRecursively());
        QFile blocker(root);   // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        DlgSnapshot* editor = selectArea();
        QVERIFY(editor->isVisible());
        QSignalSpy saved(editor, &DlgSnapshot::pictureSave);
        QSignalSpy finished(editor, &QDialog::finished);
        ModalDriver driver(10000);
        driver.clickButton(QMessageBox::Ok);
        QTest::mouseClick(button(editor, "btnSave"), Qt::LeftButton);
        DRIVER_DONE(driver, 10000);
        QCOMPARE(driver.seen().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible() && toolBar(editor)->isVisible(), 20000);
        QCOMPARE(saved.size() + finished.size(), 0);
        QTest::mouseClick(button(editor, "btnCancel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QVERIFY(QFile::remove(root));
    }

    // Receivers may delete the editor inside its signals, whatever the
    // road to them.
    void deletedInsideItsSignals_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("deleteIn");
        QTest::newRow("save, in pictureSave") << "btnSave" << "pictureSave";
        QTest::newRow("save, in finished") << "btnSave" << "finished";
        QTest::newRow("pin, in paintToScreen") << "btnPin" << "paintToScreen";
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
        connect(editor, &DlgSnapshot::pictureSave, this, [&](const QString& p) {
            savedPath = p;
            if (deleteIn == "pictureSave")
                delete guard.data();
        });
        if (deleteIn == "paintToScreen")
            connect(editor, &DlgSnapshot::paintToScreen, this, [&] { delete guard.data(); });
        if (deleteIn == "finished")
            connect(editor, &QDialog::finished, this, [&] { delete guard.data(); });
        QTest::mouseClick(button(editor, action), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 20000);
        QTest::qWait(20);
        if (!savedPath.isEmpty())
            QVERIFY(QFile::remove(savedPath));
    }

    // Below the area, right-aligned; above when the screen ends below;
    // inside the area when neither fits; never off the screen's sides.
    void toolBarPlacement_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QPoint>("expected");
        // Screen (0,0 1920x1080), bar 200x30, gap 4.
        QTest::newRow("below") << QRect(100, 100, 400, 300) << QPoint(300, 404);
        QTest::newRow("above") << QRect(100, 100, 400, 947) << QPoint(300, 66);
        QTest::newRow("inside") << QRect(0, 20, 1920, 1050) << QPoint(1720, 1036);
        QTest::newRow("past the right edge") << QRect(1800, 100, 400, 50) << QPoint(1720, 154);
    }
    void toolBarPlacement()
    {
        QFETCH(QRect, area);
        QFETCH(QPoint, expected);
        QCOMPARE(DlgSnapshot::toolBarPos(area, QSize(200, 30), QRect(0, 0, 1920, 1080)), expected);
        // A second screen keeps the rules in its own coordinates.
        QCOMPARE(DlgSnapshot::toolBarPos(area.translated(1920, 0), QSize(200, 30), QRect(1920, 0, 1920, 1080)),
                 expected + QPoint(1920, 0));
    }
};

QTEST_MAIN(TstSnapshot)
#include "tst_snapshot.moc"
