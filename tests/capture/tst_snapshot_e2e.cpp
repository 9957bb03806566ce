// The screenshot editor with the real engine through XTest: a selection over a red
// window saved as a PNG of its size and colour; Esc leaves nothing.
#include <QApplication>
#include <QtTest>
#include <QImageReader>
#include <QScreen>
#include <QToolButton>

#include "core/DeviceManager.h"
#include "capture/DlgSnapshot.h"
#include "tests/support/E2eTestHelpers.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"

using testsupport::ColourWindow;
using testsupport::visibleTopLevel;
using testsupport::xdotool;

namespace {

const QRect kRedWindow(400, 300, 500, 350);
// Dragged from kFrom to kTo: the engine's band holds both corners.
const QPoint kFrom(450, 350);
const QPoint kTo(650, 450);
const QRect kSelection(kFrom, kTo);

QRgb screenPixel(const QPoint& p)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, p.x(), p.y(), 1, 1).toImage().pixel(0, 0);
}

QWidget* selectionWindow()
{
    return visibleTopLevel(QStringLiteral("ScreenSelection"));
}

} // namespace

class TstSnapshotE2E : public QObject
{
    Q_OBJECT

    // As the home window starts it, then waits for the frozen screen.
    void startSelection(DlgSnapshot* editor)
    {
        editor->show();
        editor->hide();
        editor->createImageCapture();
        QTRY_VERIFY_WITH_TIMEOUT(selectionWindow() != nullptr, 30000);
        QVERIFY(QTest::qWaitForWindowExposed(selectionWindow(), 30000));
        // The selection takes the keyboard once it shows.
        QTRY_VERIFY_WITH_TIMEOUT(QWidget::keyboardGrabber() == selectionWindow(), 30000);
    }

    QScopedPointer<ColourWindow> m_red;

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing");
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(initScreencast());
    }

    void cleanupTestCase()
    {
        WindowListManger::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void init()
    {
        QDir(Utils::getRecorderTmpRoot()).removeRecursively();
        m_red.reset(new ColourWindow(Qt::red, kRedWindow));
        m_red->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_red.data()));
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(kRedWindow.center()), qRgb(255, 0, 0), 30000);
    }

    void cleanup()
    {
        m_red.reset();
        QTRY_VERIFY_WITH_TIMEOUT(selectionWindow() == nullptr, 30000);
        const QStringList left = QDir(Utils::getRecorderTmpRoot()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }

    // Drag over the red window, which turns blue meanwhile, and Save: the
    // editor shows the frozen red moment, darker outside the area, and the
    // handed-over PNG is that moment, of the selection's size. A green
    // window over the area hides as the home window does, just before.
    void selectAndSave()
    {
        RecordParameter::instance()->setUsedImgFmt(RP_Format_PNG);
        QScopedPointer<DlgSnapshot> editor(new DlgSnapshot(nullptr, false));
        QSignalSpy saved(editor.data(), &DlgSnapshot::pictureSave);
        QSignalSpy finished(editor.data(), &QDialog::finished);
        ColourWindow green(Qt::green, QRect(kSelection.center(), QSize(60, 40)));
        green.show();
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(kSelection.center()), qRgb(0, 255, 0), 30000);
        green.hide();
        startSelection(editor.data());
        if (QTest::currentTestFailed())
            return;
        m_red->setColour(Qt::blue);
        QVERIFY(xdotool({"mousemove", QString::number(kFrom.x()), QString::number(kFrom.y())}));
        QVERIFY(xdotool({"mousedown", "1", "mousemove", "550", "400", "mousemove", QString::number(kTo.x()),
                         QString::number(kTo.y())}));
        QVERIFY(xdotool({"mouseup", "1"}));

        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), 30000);
        QCOMPARE(editor->area(), kSelection);
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(kSelection.center()), qRgb(255, 0, 0), 30000);
        const QRgb outside = screenPixel(kRedWindow.topLeft() + QPoint(20, 20));
        QVERIFY2(qRed(outside) > 100 && qRed(outside) < 200 && qBlue(outside) < 50,
                 qPrintable(QString::number(outside, 16)));
        auto* save = editor->findChild<QToolButton*>(QStringLiteral("btnSave"));
        QTRY_VERIFY_WITH_TIMEOUT(save->isVisible(), 30000);
        const QPoint c = save->mapToGlobal(save->rect().center());
        QVERIFY(xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QCOMPARE(finished.first().first().toInt(), 1);
        QCOMPARE(saved.size(), 1);
        const QString path = saved.first().first().toString();
        QCOMPARE(QImageReader::imageFormat(path), QByteArray("png"));
        const QImage image(path);
        QCOMPARE(image.size(), kSelection.size());
        for (int y = 0; y < image.height(); y += 10)
            for (int x = 0; x < image.width(); x += 10)
                QVERIFY2(image.pixel(x, y) == qRgb(255, 0, 0),
                         qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(image.pixel(x, y), 0, 16)));
        QCOMPARE(image.pixel(image.width() - 1, image.height() - 1), qRgb(255, 0, 0));
        QVERIFY(QFile::remove(path));
    }

    // Esc during the selection: the engine closes it, the editor finishes
    // with 0 and never shows.
    void escapeInSelection()
    {
        QScopedPointer<DlgSnapshot> editor(new DlgSnapshot(nullptr, false));
        QSignalSpy finished(editor.data(), &QDialog::finished);
        startSelection(editor.data());
        if (QTest::currentTestFailed())
            return;
        // Pressed again while nothing happens: a busy X server may be slow
        // to hand the grab over.
        for (int tries = 0; tries < 15 && finished.isEmpty(); ++tries) {
            QVERIFY(xdotool({"key", "Escape"}));
            (void)QTest::qWaitFor([&] { return !finished.isEmpty(); }, 2000);
        }
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!editor->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(selectionWindow() == nullptr, 30000);
    }
};

QTEST_MAIN(TstSnapshotE2E)
#include "tst_snapshot_e2e.moc"
