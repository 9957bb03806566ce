// Closing the home window offscreen: the quit question's answers and the
// floating panel that stands in for the window at each screen edge.
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>
#include <QToolButton>
#include <QWidgetAction>
#include <QtTest/qtestspontaneevent.h>

#include "app/DlgQuitMessage.h"
#include "app/FfFloatWindow.h"
#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "tests/support/SessionHelpers.h"

class TestFloat : public QObject
{
    Q_OBJECT

private:
    testsupport::ShownFrame m_frame;

    // Closes the frame as the window manager does, in a loop of its own; the window became
    // "quit" (close accepted), "tray" (gone, panel shown) or "kept".
    QString closeFrame()
    {
        MainWindowBase* frame = m_frame.get();
        bool accepted = false;
        QTimer::singleShot(0, frame, [frame, &accepted] {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            qApp->notify(frame, &close);
            accepted = close.isAccepted();
            QCoreApplication::exit(0);
        });
        QCoreApplication::exec();
        FfFloatWindow* panel = frame->mainWindow()->floatWindow();
        if (accepted)
            return QStringLiteral("quit");
        return panel && panel->isVisible() ? QStringLiteral("tray")
                                           : QLatin1String(frame->isVisible() ? "kept" : "hidden");
    }

    static void drag(QWidget* panel, const QPoint& to)
    {
        const QPoint grab = panel->mapToGlobal(panel->rect().center());
        const QPoint drop = grab + (to - panel->pos());
        QMouseEvent press(QEvent::MouseButtonPress, panel->rect().center(), grab, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, panel->rect().center(), drop, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, panel->rect().center(), drop, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &press);
        QApplication::sendEvent(panel, &move);
        QApplication::sendEvent(panel, &release);
    }

private slots:
    void init()
    {
        FakeScreencast::reset();
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(file);
        VxSettings::instance()->setApplicationParam("HotkeyRemind", true);
        VxSettings::instance()->setApplicationParam("CountDown", false);
    }

    void cleanup()
    {
        m_frame.reset();
        QCoreApplication::processEvents();
    }

    // Each row: the answer, the "Don't remind me" tick, what the window became and the two
    // settings written (invalid: none); the stored choice is the other one, so every write shows.
    void quitQuestion_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("remind");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QVariant>("closeWhenClose");
        QTest::addColumn<QVariant>("remindClose");
        QTest::newRow("tray, ask again") << "rdbTray" << false << "tray" << QVariant(false) << QVariant(false);
        QTest::newRow("tray, for good") << "rdbTray" << true << "tray" << QVariant(false) << QVariant(true);
        QTest::newRow("exit, ask again") << "rdbClose" << false << "quit" << QVariant(true) << QVariant(false);
        QTest::newRow("exit, for good") << "rdbClose" << true << "quit" << QVariant(true) << QVariant(true);
        QTest::newRow("cancel") << "btnCancel" << true << "kept" << QVariant() << QVariant();
    }

    void quitQuestion()
    {
        QFETCH(QString, answer);
        QFETCH(bool, remind);
        QFETCH(QString, outcome);
        QFETCH(QVariant, closeWhenClose);
        QFETCH(QVariant, remindClose);
        VxSettings* settings = VxSettings::instance();
        const bool stored = answer != "rdbClose";
        settings->setApplicationParam("CloseWhenClos", stored);
        m_frame.get();

        ModalDriver driver(20000);
        driver.expect(
            [&](QWidget* prompt) {
                // The question opens on the stored choice.
                QVERIFY(prompt->findChild<QRadioButton*>(stored ? "rdbClose" : "rdbTray")->isChecked());
                prompt->findChild<QCheckBox*>("chbRemindAgain")->setChecked(remind);
                if (auto* choice = prompt->findChild<QRadioButton*>(answer))
                    choice->setChecked(true);
                prompt->findChild<QPushButton*>(answer == "btnCancel" ? "btnCancel" : "btnOK")->click();
            },
            "DlgQuitMessage");
        QCOMPARE(closeFrame(), outcome);
        DRIVER_DONE(driver, 20000);
        QCOMPARE(settings->applicationParam("CloseWhenClos").toBool(),
                 closeWhenClose.isValid() ? closeWhenClose.toBool() : stored);
        QCOMPARE(settings->applicationParam("RemindClose"), remindClose);

        // Answered for good: the next closing does the same without asking
        // (a question now would be a driver failure).
        if (remind && outcome != "kept") {
            m_frame.get()->show();
            QVERIFY(!m_frame.get()->mainWindow()->floatWindow()
                    || !m_frame.get()->mainWindow()->floatWindow()->isVisible());
            QCOMPARE(closeFrame(), outcome);
            DRIVER_DONE(driver, 20000);
        }
    }

    // Each row: a panel control (a display menu entry by its index, or a
    // button) and the source it must switch, read back from the settings.
    void drivesSources_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("on");
        QTest::newRow("display 1") << "miniMoniterMenu" << 0 << "video" << true;
        QTest::newRow("display off") << "miniMoniterMenu" << -1 << "video" << false;
        QTest::newRow("microphone on") << "btnMicrophoneOff" << 0 << "mic" << true;
        QTest::newRow("microphone off") << "btnMicrophone" << 0 << "mic" << false;
    }

    void drivesSources()
    {
        QFETCH(QString, control);
        QFETCH(int, entry);
        QFETCH(QString, source);
        QFETCH(bool, on);
        FakeScreencast::setAudioCaptureDevices({{"Microphone", "mic-1"}}, "mic-1");
        RecordParameter* params = RecordParameter::instance();
        const auto state = [&] { return source == "video" ? params->getVideoEnable() : params->getMicEnable(); };
        source == "video" ? params->setVideoEnable(!on) : params->setMicEnable(!on);
        VxSettings::instance()->setApplicationParam("RemindClose", true);
        QCOMPARE(closeFrame(), QString("tray"));
        FfFloatWindow* panel = m_frame.get()->mainWindow()->floatWindow();
        if (auto* menu = panel->findChild<QMenu*>(control)) {
            for (QAction* action : menu->actions()) {
                auto* radio = qobject_cast<QRadioButton*>(qobject_cast<QWidgetAction*>(action)->defaultWidget());
                if (radio->property("Index").toInt() == entry) {
                    radio->click();
                    break;
                }
            }
        } else {
            panel->findChild<QToolButton*>(control)->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(state(), on, 20000);
    }

    // The panel's start follows the recording session: another road (the
    // webcam window's recording, its preview) turns it off until it ends.
    void startFollowsTheSession()
    {
        VxSettings::instance()->setApplicationParam("RemindClose", true);
        QCOMPARE(closeFrame(), QString("tray"));
        auto* start = m_frame.get()->mainWindow()->floatWindow()->findChild<QToolButton*>("btnStart");
        QVERIFY(start);
        QVERIFY(start->isEnabled());
        for (RecordingSession::State state : {RecordingSession::Session_Recording, RecordingSession::Session_Previewing}) {
            testsupport::driveSession(state);
            QVERIFY2(!start->isEnabled(), RecordingSession::stateName(state));
            testsupport::resetSession();
            QVERIFY(start->isEnabled());
        }
    }

    // The question's full-width mark needs an East Asian font; where none
    // can draw it the plain mark stands in, never an empty box.
    void quitQuestionDrawsEverywhere()
    {
        DlgQuitMessage prompt(nullptr);
        auto* label = prompt.findChild<QLabel*>("label");
        const QString text = label->text();
        QVERIFY(text.startsWith("Are you sure you want to exit program"));
        const QFontMetrics metrics(label->font());
        for (const QChar c : text)
            QVERIFY2(metrics.inFont(c), qPrintable(QString::number(c.unicode(), 16)));
        QCOMPARE(text.right(1), QString(metrics.inFont(QChar(0xFF1F)) ? QChar(0xFF1F) : QChar('?')));
    }

    // Each row: a panel button whose source cannot be switched on, how it is
    // refused, and the one dialog that must explain it (a second is a failure).
    void refusedSourceAsksOnce_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("system sound without the plug-in") << "btnSpeakerOff" << "AudioDriverManager";
        QTest::newRow("microphone refused") << "btnMicrophoneOff" << "DlgSetPermissions";
    }

    void refusedSourceAsksOnce()
    {
        QFETCH(QString, control);
        QFETCH(QString, dialog);
        FakeScreencast::setAudioCaptureDevices({{"Microphone", "mic-1"}}, "mic-1");
        VxSettings::instance()->setApplicationParam("RemindClose", true);
        RecordParameter* params = RecordParameter::instance();
        params->setSysAudioEnable(false);
        params->setMicEnable(false);
        QCOMPARE(closeFrame(), QString("tray"));
        if (dialog == "AudioDriverManager")
            FakeScreencast::setVirtualAudioDriver(1, QString());
        else
            FakeScreencast::setPermission(1, 1);
        FfFloatWindow* panel = m_frame.get()->mainWindow()->floatWindow();

        ModalDriver driver(20000);
        driver.expect([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }, dialog);
        panel->findChild<QToolButton*>(control)->click();
        DRIVER_DONE(driver, 20000);
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(!params->getSysAudioEnable() && !params->getMicEnable());
    }

    // Each row: where the panel is dropped past an edge, and where it slides to and leaves
    // its tab, both from the place it was dropped.
    void docksAtEdges_data()
    {
        QTest::addColumn<QString>("edge");
        QTest::newRow("left") << "left";
        QTest::newRow("right") << "right";
        QTest::newRow("top") << "top";
        QTest::newRow("bottom") << "bottom";
    }

    void docksAtEdges()
    {
        QFETCH(QString, edge);
        VxSettings::instance()->setApplicationParam("RemindClose", true);
        VxSettings::instance()->setApplicationParam("CloseWhenClos", false);
        QCOMPARE(closeFrame(), QString("tray"));
        FfFloatWindow* panel = m_frame.get()->mainWindow()->floatWindow();
        const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
        const QSize size = panel->size();
        const int tab = 40;
        QCursor::setPos(panel->geometry().center());
        QPoint drop, docked, tabAt;
        if (edge == "left") {
            drop = QPoint(-40, 130);
            docked = drop - QPoint(size.width(), 0);
            tabAt = QPoint(-tab / 4, drop.y());
        } else if (edge == "right") {
            drop = QPoint(screen.right() - size.width() + 40, 170);
            docked = drop + QPoint(size.width(), 0);
            tabAt = QPoint(screen.right() - tab * 3 / 4, drop.y());
        } else if (edge == "top") {
            drop = QPoint(110, -30);
            docked = drop - QPoint(0, size.height());
            tabAt = QPoint(drop.x(), -tab / 4);
        } else {
            drop = QPoint(150, screen.bottom() - size.height() + 30);
            docked = drop + QPoint(0, size.height());
            tabAt = QPoint(drop.x(), screen.bottom() - tab * 3 / 4);
        }
        drag(panel, drop);
        QCOMPARE(panel->restPos(), drop);
        // The pointer leaves: the panel slides out and leaves its tab.
        QCursor::setPos(screen.center() + QPoint(0, screen.height() / 3));
        QTRY_COMPARE_WITH_TIMEOUT(panel->pos(), docked, 20000);
        QCOMPARE(panel->dockedPos(), docked);
        QCOMPARE(panel->tabPos(), tabAt);
        // Over the tab it comes back to where it was dropped.
        QCursor::setPos(tabAt + QPoint(tab / 2, tab / 2));
        QTRY_COMPARE_WITH_TIMEOUT(panel->pos(), drop, 20000);
    }
};

QTEST_MAIN(TestFloat)
#include "tst_float.moc"
