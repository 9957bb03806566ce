// The pieces around the home window, offscreen: the status-bar item (its
// icon clock, its menu and the signals it forwards; no tray exists here, as
// on a bare X server), the process-wide preset menu shared by two menus,
// and the tool strip's dialogs and switches.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/FfMenu.h"
#include "app/FrmTrayMenu.h"
#include "app/MainWindowBase.h"
#include "app/PersetMenu.h"
#include "app/RecordHistoryTool.h"
#include "app/SystemStatusBar.h"
#include "capture/HistoryFileListWidget.h"
#include "capture/RecordHistoryDlg.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "schedule/TaskManage.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "widgets/FfButtonGifBg.h"

#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

QColor iconColour(const QIcon& icon)
{
    const QImage image = icon.isNull() ? QImage() : icon.pixmap(16, 16).toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

// Every signal of the status item, in the order they come; whether its
// menu was still open when the first came.
class SignalLog
{
public:
    explicit SignalLog(SystemStatusBar* bar, QMenu* menu = nullptr)
    {
        using S = void (SystemStatusBar::*)();
        const QList<QPair<QString, S>> all{
            {"sigSnap", &SystemStatusBar::sigSnap}, {"sigStartOrStop", &SystemStatusBar::sigStartOrStop},
            {"sigPauseOrResume", &SystemStatusBar::sigPauseOrResume}, {"sigSetting", &SystemStatusBar::sigSetting},
            {"sigHome", &SystemStatusBar::sigHome}, {"sigShowMain", &SystemStatusBar::sigShowMain},
            {"sigHide", &SystemStatusBar::sigHide}, {"sigShowPreview", &SystemStatusBar::sigShowPreview},
            {"sigShowRecBar", &SystemStatusBar::sigShowRecBar}, {"sigShowCamera", &SystemStatusBar::sigShowCamera}};
        for (const auto& entry : all)
            m_connections << QObject::connect(bar, entry.second, [this, menu, name = entry.first] {
                if (seen.isEmpty() && menu)
                    menuOpenAtFirst = menu->isVisible();
                seen << name;
            });
    }
    ~SignalLog()
    {
        for (const auto& c : m_connections)
            QObject::disconnect(c);
    }
    QStringList seen;
    bool menuOpenAtFirst = false;

private:
    QList<QMetaObject::Connection> m_connections;
};

QList<bool> spyValues(const QSignalSpy& spy)
{
    QList<bool> values;
    for (const QList<QVariant>& args : spy)
        values << args.at(0).toBool();
    return values;
}

} // namespace

class TestStatusBar : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_frames[3];

    SystemStatusBar* bar() { return SystemStatusBar::instance(); }
    QMenu* menu()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "SystemTrayMenu")
                return qobject_cast<QMenu*>(w);
        return nullptr;
    }
    template <class T>
    T* panelChild(const char* name)
    {
        return menu()->findChild<FrmTrayMenu*>()->findChild<T*>(QString::fromLatin1(name));
    }
    QString page(const char* stack) { return panelChild<QStackedWidget>(stack)->currentWidget()->objectName(); }
    QAction* exitAction() { return menu()->actions().at(3); }
    QAction* floatAction() { return menu()->actions().at(2); }

    QString writeIcon(const QString& name, const QColor& colour)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        image.save(m_dir.filePath(name), "PNG");
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase()
    {
        m_frames[0] = writeIcon("a.png", Qt::green);
        m_frames[1] = writeIcon("b.png", Qt::yellow);
        m_frames[2] = writeIcon("c.png", Qt::cyan);
    }

    void init()
    {
        RecordParameter* p = RecordParameter::instance();
        p->m_bRecording = p->m_bPreviewing = p->m_bPaused = p->m_bRecBarHidden = false;
        p->setOnlyRecordCamera(false);
        p->setVideoEnable(true);
        p->setWindowRecord(false);
        SystemStatusBar::release();
        bar()->setNormalIcon(writeIcon("normal.png", Qt::red));
        bar()->setPauseIcon(writeIcon("pause.png", Qt::blue));
        bar()->setRecordingIcon(m_frames[0] + ";" + m_frames[1] + ";" + m_frames[2]);
    }

    void cleanupTestCase() { SystemStatusBar::release(); }

    void recordingIconFollowsTheClock()
    {
        int second = 7;
        bar()->setSecondSource([&second] { return second; });
        bar()->setSysBarState(SysBar_Recording);
        // A frame at once, not a blank icon for the first second.
        QVERIFY(iconColour(bar()->icon()).isValid());
        const QColor expected[] = {Qt::green, Qt::yellow, Qt::cyan};
        for (second = 0; second < 7; ++second) {
            bar()->onRecTimerOut();
            QCOMPARE(iconColour(bar()->icon()), expected[second % 3]);
        }
        bar()->setSysBarState(SysBar_Paused);
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::blue));
        // An empty part between semicolons is a (blank) frame of its own.
        bar()->setRecordingIcon(m_frames[0] + ";;" + m_frames[1]);
        QCOMPARE(bar()->recordingFrameCount(), 3);
        second = 1;
        bar()->onRecTimerOut();
        QVERIFY(bar()->icon().isNull());
    }

    void adjustFileNamePerBrand()
    {
        VxProductInfo* product = VxProductInfo::instance();
        const QString original = product->brand();
        product->overrideValue("brand", "halvind");   // case matters
        QCOMPARE(adjustFileName("/skin/tray/statusbar_normal.png"), QString("/skin/tray/statusbar_normal.png"));
        product->overrideValue("brand", "Halvind");
        QCOMPARE(adjustFileName("/skin/tray/statusbar_normal.png"), QString("/skin/tray/statusbar__halvindnormal"));
        QCOMPARE(adjustFileName("/skin/tray/statusbar_rec.big.png"), QString("/skin/tray/statusbar__halvindrec"));
        // Shorter than the insertion point: appended, never padded.
        QCOMPARE(adjustFileName(":/tray/pause1.png"), QString(":/tray/pause1_halvind"));
        // The loader finds the brand's file without its suffix.
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(m_dir.filePath("statusbar__halvindidle.png"), "PNG"));
        bar()->setNormalIcon(m_dir.filePath("statusbar_idle.png"));
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::darkGreen));
        product->overrideValue("brand", original);
    }

    void menuFaces_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("barHidden");
        QTest::addColumn<bool>("video");
        QTest::addColumn<QString>("floatText");
        QTest::addColumn<bool>("snapshot");
        QTest::newRow("idle") << false << false << false << true << "" << true;
        QTest::newRow("running") << true << false << false << true << "Hide Float Panel" << true;
        QTest::newRow("bar hidden") << true << false << true << true << "Show Float Panel" << true;
        QTest::newRow("paused, sound only") << true << true << false << false << "Hide Float Panel" << false;
    }

    void menuFaces()
    {
        QFETCH(bool, recording);
        QFETCH(bool, paused);
        QFETCH(bool, barHidden);
        QFETCH(bool, video);
        QFETCH(QString, floatText);
        QFETCH(bool, snapshot);
        RecordParameter* p = RecordParameter::instance();
        p->m_bRecording = recording;
        p->m_bPaused = paused;
        p->m_bRecBarHidden = barHidden;
        p->setVideoEnable(video);
        bar()->setHomeEnable(false);
        bar()->setCanRec(false);
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(menu()->isVisible());
        QCOMPARE(exitAction()->isVisible(), !recording);
        QCOMPARE(floatAction()->isVisible(), recording);
        if (!recording) {
            QCOMPARE(page("stackedWidget"), QString("pageNormal"));
            // The home page shows: start enabled although nothing can record.
            QVERIFY(panelChild<FfButtonGifBg>("recGif")->isEnabled());
            QVERIFY(!panelChild<QToolButton>("btnHome")->isEnabled());
            menu()->hide();
            return;
        }
        QCOMPARE(floatAction()->text(), floatText);
        QCOMPARE(page("stackedWidget"), QString("pageRecording"));
        QCOMPARE(panelChild<QToolButton>("btnResume")->isVisibleTo(menu()), paused);
        QCOMPARE(panelChild<QLabel>("lblStatus")->text(), paused ? QString("Paused") : QString("Recording..."));
        QCOMPARE(panelChild<QToolButton>("btnSnapshot_2")->isEnabled(), snapshot);
        menu()->hide();
    }

    void clicksThatOpenNothing()
    {
        RecordParameter* p = RecordParameter::instance();
        bar()->setActionEnable(false);
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!menu()->isVisible());
        bar()->setActionEnable(true);
        p->m_bPreviewing = p->m_bRecording = true;   // a flag left over must not matter
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!menu()->isVisible());
        p->m_bPreviewing = p->m_bRecording = false;
        bar()->onActivated(QSystemTrayIcon::Context);
        QVERIFY(!menu()->isVisible());
        // While a framework dialog runs, only a recording opens the menu.
        bool openedIdle = true;
        bool openedRecording = false;
        VxDialogBase dialog;
        QTimer::singleShot(0, &dialog, [&] {
            bar()->onActivated(QSystemTrayIcon::Trigger);
            openedIdle = menu()->isVisible();
            menu()->hide();
            p->m_bRecording = true;
            bar()->onActivated(QSystemTrayIcon::Trigger);
            openedRecording = menu()->isVisible();
            menu()->hide();
            dialog.reject();
        });
        QTimer::singleShot(30000, &dialog, &QDialog::reject);
        dialog.exec();
        QVERIFY(!openedIdle && openedRecording);
    }

    void doubleClicks_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("previewing");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("webcamOnly");
        QTest::addColumn<QString>("signal");
        const int dbl = QSystemTrayIcon::DoubleClick;
        QTest::newRow("preview wins") << dbl << true << true << false << "sigShowPreview";
        QTest::newRow("recording") << dbl << false << true << false << "sigShowRecBar";
        QTest::newRow("webcam recording") << dbl << false << true << true << "sigShowCamera";
        QTest::newRow("idle") << dbl << false << false << false << "sigShowMain";
        QTest::newRow("middle: idle") << int(QSystemTrayIcon::MiddleClick) << false << false << false << "sigShowMain";
    }

    void doubleClicks()
    {
        QFETCH(int, reason);
        QFETCH(bool, previewing);
        QFETCH(bool, recording);
        QFETCH(bool, webcamOnly);
        QFETCH(QString, signal);
        RecordParameter* p = RecordParameter::instance();
        p->m_bPreviewing = previewing;
        p->m_bRecording = recording;
        p->setOnlyRecordCamera(webcamOnly);
        SignalLog log(bar());
        bar()->onActivated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(log.seen, QStringList{signal});
        QVERIFY(!menu()->isVisible());
    }

    void panelButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("webcamOnly");
        QTest::addColumn<QStringList>("signals_");
        QTest::newRow("snapshot") << "btnSnapshot" << false << false << QStringList{"sigSnap"};
        QTest::newRow("pause") << "btnPause" << true << false << QStringList{"sigPauseOrResume"};
        QTest::newRow("setting") << "btnSetting" << false << false << QStringList{"sigShowMain", "sigSetting"};
        QTest::newRow("home") << "btnHome" << false << false << QStringList{"sigShowMain", "sigHome"};
        QTest::newRow("stop") << "btnStop" << true << false << QStringList{"sigStartOrStop"};
        QTest::newRow("start") << "recGif" << false << false << QStringList{"sigShowMain", "sigStartOrStop"};
        QTest::newRow("start, webcam") << "start" << false << true << QStringList{"sigShowCamera", "sigStartOrStop"};
    }

    // The menu is gone before any receiver acts.
    void panelButtons()
    {
        QFETCH(QString, button);
        QFETCH(bool, recording);
        QFETCH(bool, webcamOnly);
        QFETCH(QStringList, signals_);
        RecordParameter::instance()->m_bRecording = recording;
        RecordParameter::instance()->setOnlyRecordCamera(webcamOnly);
        bar()->setHomeEnable(button == "btnHome");
        if (button != "start")
            bar()->onActivated(QSystemTrayIcon::Trigger);
        SignalLog log(bar(), menu());
        if (button == "start") {
            emit menu()->findChild<FrmTrayMenu*>()->sigStartOrStop();
        } else if (button == "recGif") {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(panelChild<FfButtonGifBg>("recGif")->pictureLabel(), &release);
        } else {
            QVERIFY(panelChild<QToolButton>(button.toLatin1().constData())->isEnabled());
            panelChild<QToolButton>(button.toLatin1().constData())->click();
        }
        QCOMPARE(log.seen, signals_);
        QVERIFY(!menu()->isVisible() && !log.menuOpenAtFirst);
    }

    // Released with a recording shown, it comes back idle and clickable.
    void releaseAndRecreate()
    {
        QPointer<QMenu> oldMenu = menu();
        bar()->setActionEnable(false);
        bar()->setSysBarState(SysBar_Recording);
        SystemStatusBar::release();
        QVERIFY(oldMenu.isNull() && bar()->actionEnable());
        QCOMPARE(int(bar()->sysBarState()), int(SysBar_Idle));
    }

    // Last: quitting leaves the thread's event loops refusing to run.
    void exitActionQuits()
    {
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QEventLoop loop;
        QTimer::singleShot(0, exitAction(), &QAction::trigger);
        QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
    }
};

class TestPresets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QAbstractButton*>(); }

    void cleanup()
    {
        PersetMenu::release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The webcam preset fires without taking the check; a preset added
    // later follows from 5 and is found by its shown (shortened) text.
    void lookupsAndChecks()
    {
        PersetMenu* presets = PersetMenu::instance();
        QCOMPARE(presets->getChooseWhat("window recorder"), 0);
        FfMenu* frame = presets->getPersetMenu();
        frame->show();
        QAbstractButton* window = presets->getButtonByName("Window Recorder");
        QTest::mouseClick(window, Qt::LeftButton);
        QTest::mouseClick(presets->getButtonByName("Webcam Recorder"), Qt::LeftButton);
        QVERIFY(window->isChecked());
        QString name("My preset with a rather long name for a narrow menu");
        presets->addPreserMenuAction(name);
        QAbstractButton* added = frame->findChildren<QAbstractButton*>("btnMenuPreset").last();
        QCOMPARE(presets->getChooseWhat(added->text()), 5);
        QCOMPARE(presets->getButtonByName(added->text()), added);
    }

    // Two menus hold the action: each shows the one frame when it opens; a
    // menu that goes leaves the frame and its connections to the other.
    void oneFrameForTwoMenus()
    {
        PersetMenu* presets = PersetMenu::instance();
        QPointer<FfMenu> frame = presets->getPersetMenu();
        QSignalSpy clicked(frame.data(), &FfMenu::buttonClicked);
        auto* first = new QMenu;
        auto* second = new QMenu;
        first->addAction(presets);
        second->addAction(presets);
        auto openAndClick = [&](QMenu* menu) {
            menu->popup(QPoint(10, 10));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QVERIFY(frame->isVisible() && menu->isAncestorOf(frame));
            QTest::mouseClick(presets->getButtonByName("Audio Recorder"), Qt::LeftButton);
            menu->hide();
        };
        openAndClick(first);
        openAndClick(second);
        delete second;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame && !frame->parent());
        QCOMPARE(presets->getPersetMenu(), frame.data());
        openAndClick(first);
        QCOMPARE(clicked.size(), 3);
        // Taking the action out hands the frame back; release ends it.
        first->removeAction(presets);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame && !frame->parent());
        first->addAction(presets);
        PersetMenu::release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frame);
        QVERIFY(first->actions().isEmpty());   // the menu forgets the action
        delete first;
        QCOMPARE(PersetMenu::instance()->getChooseWhat("Video Recorder"), 1);
    }
};

class TestToolStrip : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        RecordParameter::instance()->setOnlyRecordCamera(false);
        VxSettings::instance()->removeApplicationParam("ShowTaskDlg");
        TaskManage::instance()->setClientFactory(nullptr);
        TaskManage::release();
    }

    // The home window steps aside while the history runs; a request while
    // it runs starts no second run; a file added meanwhile shows on top.
    void historyRuns()
    {
        testsupport::ShownFrame frame;
        auto* tool = frame.child<RecordHistoryTool>("recordHistory");
        QSignalSpy spy(tool, &RecordHistoryTool::sigShowChildeDlg);
        SignalsTransfer* hub = SignalsTransfer::instance();
        bool frameVisibleDuring = true;
        int nested = -1;
        QString top;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            frameVisibleDuring = frame.get()->isVisible();
            const int before = spy.count();
            emit hub->showHistory();
            nested = spy.count() - before;
            tool->historyDlg()->findChild<QComboBox*>("cmbFilter")->setCurrentIndex(2);   // videos only
            hub->addHistoryFile("/i/new shot.png", HistoryFile_Image, "1*1", QString(), "2 KB");
            top = tool->historyDlg()->historyList()->item(0)->text();
            ModalDriver::forceClose(modal);
        });
        emit hub->showHistory();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(!frameVisibleDuring && frame.get()->isVisible());
        QCOMPARE(nested, 0);
        QCOMPARE(top, QString("new shot.png"));
        QCOMPARE(spyValues(spy), (QList<bool>{false, true}));
        QVERIFY(!tool->isShowHistory());
        // Recording only the webcam: the home window stays hidden after.
        RecordParameter::instance()->setOnlyRecordCamera(true);
        driver.rejectDialog();
        tool->onShowHistory();
        QVERIFY(driver.waitFinished());
        QCOMPARE(spyValues(spy), (QList<bool>{false, true, false}));
    }

    void taskSwitchFollowsTheService()
    {
        struct OneTask : testsupport::ScriptedTaskClient {
            bool enabled;
            explicit OneTask(bool on) : enabled(on) {}
            bool listTasks(TaskList& tasks) override
            {
                TaskInfo task;
                task.id = "t1";
                task.enabled = enabled;
                tasks = {task};
                return true;
            }
        };
        TaskManage* tasks = TaskManage::instance();
        tasks->setClientFactory([] { return new OneTask(true); });
        tasks->connectXPCServer();
        RecordHistoryTool tool;
        auto* on = tool.findChild<QPushButton*>("btnTask");
        auto* off = tool.findChild<QPushButton*>("btnTaskOff");
        QVERIFY(!on->isHidden() && off->isHidden());
        tasks->setClientFactory([] { return new OneTask(false); });
        tasks->connectXPCServer();
        tool.onCheckTaskState(true);
        QVERIFY(on->isHidden() && !off->isHidden());
        // With the service there the task dialog opens at once.
        ModalDriver driver;
        QString className;
        driver.expect([&](QWidget* modal) {
            className = modal->metaObject()->className();
            ModalDriver::forceClose(modal);
        });
        off->click();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(className, QString("dlgTaskScheduler"));
        QVERIFY(!VxSettings::instance()->applicationParam("ShowTaskDlg", true).toBool());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    // The status item's last case quits the application: it runs last.
    TestPresets presets;
    failures += QTest::qExec(&presets, argc, argv);
    TestToolStrip strip;
    failures += QTest::qExec(&strip, argc, argv);
    TestStatusBar statusBar;
    failures += QTest::qExec(&statusBar, argc, argv);
    return failures;
}

#include "tst_shell.moc"
