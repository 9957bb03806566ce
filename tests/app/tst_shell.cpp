// The pieces around the home window offscreen: the status-bar item (no tray
// here, as on a bare X server) and the preset menu two menus share.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QtTest>
#include <QToolButton>

#include "app/FfMenu.h"
#include "app/FrmTrayMenu.h"
#include "app/PersetMenu.h"
#include "app/SystemStatusBar.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxProductInfo.h"
#include "widgets/FfButtonGifBg.h"
#include "tests/support/SessionHelpers.h"

namespace {

QColor iconColour(const QIcon& icon)
{
    const QImage image = icon.isNull() ? QImage() : icon.pixmap(16, 16).toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

// Every signal of the status item, in the order they come; whether its
// menu was still open when the first came.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(SystemStatusBar* bar, QMenu* menu = nullptr) : m_menu(menu)
    {
        const QMetaObject* meta = bar->metaObject();
        const QMetaMethod hit = metaObject()->method(metaObject()->indexOfSlot("hit()"));
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                connect(bar, meta->method(i), this, hit);
    }
    QStringList seen;
    bool menuOpenAtFirst = false;

public slots:
    void hit()
    {
        if (seen.isEmpty() && m_menu)
            menuOpenAtFirst = m_menu->isVisible();
        seen << QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name());
    }

private:
    QMenu* m_menu;
};

class TestStatusBar : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    SystemStatusBar* bar() { return SystemStatusBar::instance(); }
    QMenu* menu()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "SystemTrayMenu")
                return qobject_cast<QMenu*>(w);
        return nullptr;
    }
    template <class T>
    T* panelChild(const QString& name)
    {
        return menu()->findChild<FrmTrayMenu*>()->findChild<T*>(name);
    }

    // A single click opens the menu once no second click can come.
    bool clickOnce()
    {
        bar()->onActivated(QSystemTrayIcon::Trigger);
        return QTest::qWaitFor([this] { return menu() && menu()->isVisible(); }, 30000);
    }

    QString writeIcon(const QString& name, const QColor& colour)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        image.save(m_dir.filePath(name), "PNG");
        return m_dir.filePath(name);
    }

private slots:
    void init()
    {
        RecordParameter* p = RecordParameter::instance();
        testsupport::resetSession();
        p->m_bRecBarHidden = false;
        p->setOnlyRecordCamera(false);
        SystemStatusBar::release();
    }

    void cleanupTestCase() { SystemStatusBar::release(); }

    void recordingIconFollowsTheClock()
    {
        bar()->setPauseIcon(writeIcon("pause.png", Qt::blue));
        const QString frames[] = {writeIcon("a.png", Qt::green), writeIcon("b.png", Qt::yellow)};
        bar()->setRecordingIcon(frames[0] + ";" + frames[1]);
        int second = 7;
        bar()->setSecondSource([&second] { return second; });
        bar()->setSysBarState(SysBar_Recording);
        // A frame at once, not a blank icon for the first second.
        QVERIFY(iconColour(bar()->icon()).isValid());
        for (second = 0; second < 4; ++second) {
            bar()->onRecTimerOut();
            QCOMPARE(iconColour(bar()->icon()), QColor(second % 2 ? Qt::yellow : Qt::green));
        }
        bar()->setSysBarState(SysBar_Paused);
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::blue));
    }

    // The icon shows the recording session's state, whichever window moved
    // it: nothing records while a start is prepared or a stop hands its
    // file over.
    void iconFollowsTheSession_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("icon");
        QTest::newRow("starting") << int(RecordingSession::Session_Starting) << int(SysBar_Idle);
        QTest::newRow("countdown") << int(RecordingSession::Session_Countdown) << int(SysBar_Idle);
        QTest::newRow("recording") << int(RecordingSession::Session_Recording) << int(SysBar_Recording);
        QTest::newRow("paused") << int(RecordingSession::Session_Paused) << int(SysBar_Paused);
        QTest::newRow("stopping") << int(RecordingSession::Session_Stopping) << int(SysBar_Idle);
        QTest::newRow("previewing") << int(RecordingSession::Session_Previewing) << int(SysBar_Previewing);
        QTest::newRow("saving") << int(RecordingSession::Session_Saving) << int(SysBar_Previewing);
    }

    void iconFollowsTheSession()
    {
        QFETCH(int, state);
        QFETCH(int, icon);
        bar()->setSysBarState(SysBar_Paused);   // anything the state must replace
        testsupport::driveSession(RecordingSession::State(state));
        QCOMPARE(int(bar()->sysBarState()), icon);
        testsupport::resetSession();
        QCOMPARE(int(bar()->sysBarState()), int(SysBar_Idle));
    }

    void adjustFileNamePerBrand()
    {
        VxProductInfo* product = VxProductInfo::instance();
        const QString original = product->brand();
        product->overrideValue("brand", "Halvind");
        QCOMPARE(adjustFileName("/skin/tray/statusbar_rec.big.png"), QString("/skin/tray/statusbar__halvindrec"));
        // Shorter than the insertion point: appended, never padded.
        QCOMPARE(adjustFileName(":/tray/pause1.png"), QString(":/tray/pause1_halvind"));
        // The loader finds the brand's file without its suffix.
        writeIcon("statusbar__halvindidle.png", Qt::darkGreen);
        bar()->setNormalIcon(m_dir.filePath("statusbar_idle.png"));
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::darkGreen));
        product->overrideValue("brand", original);
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
        // Clicks on the item itself open no menu.
        QTest::newRow("double-click, preview wins") << "previewing" << true << false << QStringList{"sigShowPreview"};
        QTest::newRow("double-click, recording") << "double" << true << false << QStringList{"sigShowRecBar"};
        QTest::newRow("double-click, webcam") << "double" << true << true << QStringList{"sigShowCamera"};
        QTest::newRow("middle click, idle") << "middle" << false << false << QStringList{"sigShowMain"};
    }

    // The menu is gone before any receiver acts.
    void panelButtons()
    {
        QFETCH(QString, button);
        QFETCH(bool, recording);
        QFETCH(bool, webcamOnly);
        QFETCH(QStringList, signals_);
        // A preview open comes after its recording stopped.
        if (button == "previewing")
            testsupport::driveSession(RecordingSession::Session_Previewing);
        else if (recording)
            testsupport::driveSession(RecordingSession::Session_Recording);
        RecordParameter::instance()->setOnlyRecordCamera(webcamOnly);
        bar()->setHomeEnable(button == "btnHome");
        const bool onItem = button == "previewing" || button == "double" || button == "middle";
        if (button != "start" && !onItem)
            QVERIFY(clickOnce());
        SignalLog log(bar(), menu());
        if (onItem) {
            // A double click comes as two presses, then the double click.
            for (int press = 0; press < 2 && button != "middle"; ++press)
                bar()->onActivated(QSystemTrayIcon::Trigger);
            bar()->onActivated(button == "middle" ? QSystemTrayIcon::MiddleClick : QSystemTrayIcon::DoubleClick);
            // The menu the presses would have opened never comes.
            QTest::qWait(QApplication::doubleClickInterval() * 2);
        } else if (button == "start") {
            emit menu()->findChild<FrmTrayMenu*>()->sigStartOrStop();
        } else if (button == "recGif") {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(panelChild<FfButtonGifBg>("recGif")->pictureLabel(), &release);
        } else {
            QVERIFY(panelChild<QToolButton>(button)->isEnabled());
            panelChild<QToolButton>(button)->click();
        }
        QCOMPARE(log.seen, signals_);
        QVERIFY(!menu()->isVisible() && !log.menuOpenAtFirst);
    }

    // Last: quitting leaves the thread's event loops refusing to run.
    void exitActionQuits()
    {
        QVERIFY(clickOnce());
        QEventLoop loop;
        QTimer::singleShot(0, menu()->actions().at(3), &QAction::trigger);
        QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
    }
};

class TestPresets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QAbstractButton*>(); }

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
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    // The status item's last case quits the application: it runs last.
    TestPresets presets;
    failures += QTest::qExec(&presets, argc, argv);
    TestStatusBar statusBar;
    failures += QTest::qExec(&statusBar, argc, argv);
    return failures;
}

#include "tst_shell.moc"
