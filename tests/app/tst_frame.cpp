// The frame window offscreen, against the engine double: the "TopMost"
// switch, the status item's request to show the main window with zero, one
// and two running dialogs, the refused About and Update dialogs, the
// interrupted-recording offer, window-state and close handling and the
// icon properties.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "tests/support/FakeScreencast.h"
#include "platform/log/Log.h"
#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRegion.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"

class TestFrame : public QObject
{
    Q_OBJECT

private:
    testsupport::ShownFrame m_frame;

    MainWindowBase* frame() { return m_frame.get(); }

    QToolButton* topHint() { return frame()->findChild<QToolButton*>("btnTopHint"); }

    static bool onTop(QWidget* w) { return w->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    static bool storedTopMost()
    {
        return VxSettings::instance()->applicationParam("TopMost", false).toBool();
    }
    static void requestShowMain() { emit SystemStatusBar::instance()->sigShowMain(); }

    static QString logText()
    {
        QFile f(Utils::getAppLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        // The hook lines go to the program's log.
        SetLogfile(Utils::getAppLogPath().toLocal8Bit().constData());
        SetLogLevel(1);
    }

    void init()
    {
        FakeScreencast::reset();
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(file);
    }

    void cleanup()
    {
        m_frame.reset();
        QCoreApplication::processEvents();
    }

    void buildsTheHomeWindowAndHooks()
    {
        MainWindowBase* f = frame();
        QVERIFY(f->mainWindow());
        QVERIFY(f->mainWindow()->isHidden());
        // The home window's content is the frame's client.
        QWidget* tiles = f->findChild<QWidget*>("frameChoseContent");
        QVERIFY(tiles);
        QVERIFY(f->isAncestorOf(tiles));
        QCOMPARE(TaskManage::instance()->mainWidBase(), f);
        QVERIFY(f->mainWindow()->engineStarted());
        QCOMPARE(FakeScreencast::callCount("scInitialize"), 1);
        // Preferences sit in the application menu.
        QAction* preferences = f->mainWindow()->preferenceAction();
        QVERIFY(f->actionHolder()->actions().contains(preferences));
        QCOMPARE(preferences->menuRole(), QAction::PreferencesRole);
        QVERIFY(f->findChild<QMenuBar*>());
        // Title row: no mini bar, tool tips, no text on the buttons.
        QVERIFY(f->findChild<QToolButton*>("btnMiniBar")->isHidden());
        QCOMPARE(topHint()->toolTip(), QString("Set/Cancel interface always in front"));
        QCOMPARE(f->findChild<QToolButton*>("btnFeedback")->toolTip(), QString("Feedback"));
        QVERIFY(topHint()->text().isEmpty());
    }

    void topMostRoundTrip()
    {
        VxSettings::instance()->setApplicationParam("TopMost", true);
        QVERIFY(onTop(frame()));
        // Start-up applies the flag but leaves the button alone.
        QVERIFY(!topHint()->isChecked());

        topHint()->click();
        QVERIFY(!onTop(frame()));
        QVERIFY(!storedTopMost());
        QVERIFY(!topHint()->isChecked());
        QVERIFY(frame()->isVisible());
        QVERIFY(frame()->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(frame()->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

        topHint()->click();
        QVERIFY(onTop(frame()));
        QVERIFY(storedTopMost());
        QVERIFY(topHint()->isChecked());
        QVERIFY(frame()->isVisible());

        // The next start honours what was stored.
        cleanup();
        QVERIFY(onTop(frame()));
    }

    void showMainWithoutDialogs()
    {
        frame()->hide();
        requestShowMain();
        QVERIFY(frame()->isVisible());

        frame()->showMinimized();
        QVERIFY(frame()->isMinimized());
        requestShowMain();
        QVERIFY(!frame()->isMinimized());
        QVERIFY(frame()->isVisible());
    }

    void showMainWithOneDialog()
    {
        frame()->hide();
        bool dialogRestored = false;
        bool frameStayedHidden = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            modal->showMinimized();
            requestShowMain();
            dialogRestored = !modal->isMinimized() && modal->isVisible();
            frameStayedHidden = frame()->isHidden();
            static_cast<QDialog*>(modal)->reject();
        });
        VxDialogBase dialog(frame());
        dialog.exec();
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QVERIFY(dialogRestored);
        QVERIFY(frameStayedHidden);
        // Gone from the list once it returned: the frame again.
        requestShowMain();
        QVERIFY(frame()->isVisible());
    }

    void showMainWithTwoDialogs()
    {
        frame()->hide();
        bool innerStayedMinimized = false;
        bool frameStayedHidden = false;
        int running = 0;
        ModalDriver driver;
        driver.expect([&](QWidget* outer) {
            VxDialogBase inner(frame());
            inner.exec();
            static_cast<QDialog*>(outer)->reject();
        });
        driver.expect([&](QWidget* inner) {
            running = VxDialogBase::getPopupDialogCount();
            inner->showMinimized();
            requestShowMain();
            innerStayedMinimized = inner->isMinimized();
            frameStayedHidden = frame()->isHidden();
            static_cast<QDialog*>(inner)->reject();
        });
        VxDialogBase outer(frame());
        outer.exec();
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(running, 2);
        QVERIFY(innerStayedMinimized);
        QVERIFY(frameStayedHidden);
    }

    void aboutAndUpdateRefusedWhileBusy()
    {
        frame();
        RecordParameter* params = RecordParameter::instance();
        {
            ModalDriver none(1500);
            params->m_bRecording = true;
            frame()->showAboutDialog();
            frame()->showUpdateDialog(nullptr);
            params->m_bRecording = false;
            params->setOnlyRecordCamera(true);
            frame()->showAboutDialog();
            params->setOnlyRecordCamera(false);
            QVERIFY(none.seen().isEmpty());
            QVERIFY(none.failures().isEmpty());
        }
        const QString log = logText();
        QVERIFY(log.contains("derivedProcShowAboutDialog"));
        QVERIFY(log.contains("derivedProcShowUpdateDialog"));

        // Idle: the framework's own box comes.
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok);
        frame()->showAboutDialog();
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
    }

    void nothingToRestoreAsksNothing()
    {
        frame();
        FakeScreencast::setRestoreAudioResult(0);
        ModalDriver none(1000);
        frame()->checkUnSaveFile();
        QVERIFY(none.seen().isEmpty());
        QVERIFY(frame()->isVisible());
        QCOMPARE(FakeScreencast::callCount("RestoreAudioRecordTempFiles"), 1);
    }

    void interruptedRecordingIsOffered()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("rec.mov");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        VxSettings::instance()->setApplicationParam("outputVideo", path);
        frame();

        ModalDriver driver;
        driver.clickButton(QMessageBox::No);
        frame()->checkUnSaveFile();
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen().first().text, QString("An unsaved recording was detected. Restore it now?"));
        // A video file needs no audio restore; "No" changes nothing.
        QCOMPARE(FakeScreencast::callCount("RestoreAudioRecordTempFiles"), 0);
        QVERIFY(frame()->isVisible());
        QVERIFY(QFile::exists(path));
    }

    void regionBoxFollowsTheFrame()
    {
        MainWindowBase* f = frame();
        QWidget* tile = f->findChild<QWidget*>("frmChoseVideo");
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        QTRY_COMPARE(f->findChild<QWidget*>("frameAVContent")->x(), 0);
        QVERIFY(FakeScreencast::cropBox());

        // Minimised from the plain state: the box goes. (The offscreen
        // platform restores the window at once, so the call log tells.)
        FakeScreencast::clearCalls();
        f->showMinimized();
        QCOMPARE(FakeScreencast::callCount("CScreenCropBoxObject::release"), 1);
        f->showNormal();
        // Hidden and shown again: the box comes back.
        f->hide();
        ScreenRegion::instance()->hideRegionBox();
        QVERIFY(!FakeScreencast::cropBox());
        f->show();
        QVERIFY(FakeScreencast::cropBox());

    }

    void closingHidesTheBoxAndQuits()
    {
        MainWindowBase* f = frame();
        QWidget* tile = f->findChild<QWidget*>("frmChoseVideo");
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        QTRY_COMPARE(f->findChild<QWidget*>("frameAVContent")->x(), 0);
        QVERIFY(FakeScreencast::cropBox());
        QEventLoop loop;
        QTimer::singleShot(0, f, [f] { f->close(); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &loop, [&loop] { loop.exit(99); });
        guard.start(5000);
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!FakeScreencast::cropBox());
        QVERIFY(f->isHidden());
    }

};

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
