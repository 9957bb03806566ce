// The screenshot editor with the real engine in the private test
// environment (Xvfb, openbox), driven like a user through XTest: a red
// window on the screen, the cross-hair selection dragged over it, the
// editor's Save clicked; the file handed over holds the selection's size
// and colour, in the format of the setting. Esc in the editor and in the
// selection leave nothing behind.
//
// SR_SNAPSHOT_SHOT=<file.png> saves a picture of the screen with the
// editor open after the selection.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>

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

QImage screenNow()
{
    QScreen* s = QGuiApplication::primaryScreen();
    const QRect g = s->virtualGeometry();
    return s->grabWindow(0, g.x(), g.y(), g.width(), g.height()).toImage();
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
           && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

QWidget* selectionWindow()
{
    return visibleTopLevel(QStringLiteral("ScreenSelection"));
}

QStringList tempFiles()
{
    return QDir(Utils::getRecorderTmpRoot()).entryList(QDir::Files | QDir::Hidden | QDir::System);
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

    bool dragSelection()
    {
        return xdotool({"mousemove", QString::number(kFrom.x()), QString::number(kFrom.y())})
               && xdotool({"mousedown", "1", "mousemove", QString::number(kFrom.x() + 100),
                           QString::number(kFrom.y() + 50), "mousemove", QString::number(kTo.x()),
                           QString::number(kTo.y())})
               && xdotool({"mouseup", "1"});
    }

    bool clickOn(QWidget* w)
    {
        const QPoint c = w->mapToGlobal(w->rect().center());
        return xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "1"});
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
        QTRY_VERIFY_WITH_TIMEOUT(near(screenNow().pixel(kRedWindow.center()), qRgb(255, 0, 0), 0), 30000);
    }

    void cleanup()
    {
        m_red.reset();
        QTRY_VERIFY_WITH_TIMEOUT(selectionWindow() == nullptr, 30000);
        QVERIFY2(tempFiles().isEmpty(), qPrintable(tempFiles().join(", ")));
    }

    // Drag over the red window, Save: the handed-over PNG has the
    // selection's size and is red all over. The window turns blue while the
    // user selects: the frozen moment is what is saved. (The other formats
    // are the unit test's business.)
    void selectAndSave()
    {
        const QByteArray magic("\x89PNG\r\n\x1a\n", 8);
        const int tolerance = 0;
        RecordParameter::instance()->setUsedImgFmt(RP_Format_PNG);
        QScopedPointer<DlgSnapshot> editor(new DlgSnapshot(nullptr, false));
        QSignalSpy saved(editor.data(), &DlgSnapshot::pictureSave);
        QSignalSpy finished(editor.data(), &QDialog::finished);
        startSelection(editor.data());
        if (QTest::currentTestFailed())
            return;
        m_red->setColour(Qt::blue);
        QVERIFY(dragSelection());

        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), 30000);
        QCOMPARE(editor->geometry(), kSelection);
        QWidget* bar = editor->findChild<QWidget*>(QStringLiteral("frmToolBar"));
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), 30000);
        QVERIFY(bar->geometry().top() > kSelection.bottom());
        QCOMPARE(bar->geometry().right(), kSelection.right());
        // On the screen: the frozen red picture over the blue window.
        QTRY_VERIFY_WITH_TIMEOUT(near(screenNow().pixel(kSelection.center()), qRgb(255, 0, 0), 0), 30000);
        QVERIFY(near(screenNow().pixel(kRedWindow.bottomRight() - QPoint(20, 20)), qRgb(0, 0, 255), 0));
        const QString shot = qEnvironmentVariable("SR_SNAPSHOT_SHOT");
        if (!shot.isEmpty()) {
            QTest::qWait(300);
            QVERIFY(screenNow().save(shot));
        }

        QVERIFY(clickOn(editor->findChild<QToolButton*>(QStringLiteral("btnSave"))));
        QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QCOMPARE(finished.first().first().toInt(), 1);
        QVERIFY(!editor->isVisible());
        const QString path = saved.first().first().toString();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(magic.size()), magic);
        file.close();
        const QImage image(path);
        QCOMPARE(image.size(), kSelection.size());
        for (int y = 0; y < image.height(); y += 10)
            for (int x = 0; x < image.width(); x += 10)
                QVERIFY2(near(image.pixel(x, y), qRgb(255, 0, 0), tolerance),
                         qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(image.pixel(x, y), 0, 16)));
        QVERIFY(near(image.pixel(image.width() - 1, image.height() - 1), qRgb(255, 0, 0), tolerance));
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
