// The status-bar item: its state table, the animation, the click and
// double-click rules, the menu it prepares and the signals it forwards.
// Offscreen there is no tray, which is also the case of a bare X server:
// everything here is driven through the item's own slots.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <functional>

#include "widgets/FfButtonGifBg.h"
#include "app/FrmTrayMenu.h"
#include "core/RecordParameter.h"
#include "app/SystemStatusBar.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxProductInfo.h"

namespace {

// Translates a few texts of the item and its panel, as a loaded language
// would.
class FakeTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        const QString key = QString::fromLatin1(context) + "|" + QString::fromLatin1(source);
        return m_texts.value(key);
    }
    bool isEmpty() const override { return false; }

    QHash<QString, QString> m_texts{
        {"SystemStatusBar|Exit", "Beenden"},
        {"SystemStatusBar|Hide Float Panel", "Leiste ausblenden"},
        {"SystemStatusBar|Show Float Panel", "Leiste zeigen"},
        {"FrmTrayMenu|Start Recording", "Aufnahme starten"},
        {"FrmTrayMenu|Recording...", "Aufnahme..."},
    };
};

QColor iconColour(const QIcon& icon)
{
    if (icon.isNull())
        return QColor();
    const QImage image = icon.pixmap(16, 16).toImage();
    if (image.isNull())
        return QColor();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

using BarSignal = void (SystemStatusBar::*)();

const QList<QPair<const char*, BarSignal>>& barSignals()
{
    static const QList<QPair<const char*, BarSignal>> all{
        {"sigSnap", &SystemStatusBar::sigSnap},
        {"sigStartOrStop", &SystemStatusBar::sigStartOrStop},
        {"sigPauseOrResume", &SystemStatusBar::sigPauseOrResume},
        {"sigSetting", &SystemStatusBar::sigSetting},
        {"sigHome", &SystemStatusBar::sigHome},
        {"sigShowMain", &SystemStatusBar::sigShowMain},
        {"sigHide", &SystemStatusBar::sigHide},
        {"sigShowPreview", &SystemStatusBar::sigShowPreview},
        {"sigShowRecBar", &SystemStatusBar::sigShowRecBar},
        {"sigShowCamera", &SystemStatusBar::sigShowCamera},
    };
    return all;
}

// Every signal of the item, in the order they arrive; `onFirst` runs when
// the first one arrives.
class SignalLog
{
public:
    explicit SignalLog(SystemStatusBar* bar, std::function<void()> onFirst = {})
        : m_onFirst(std::move(onFirst))
    {
        for (const auto& entry : barSignals()) {
            const QString name = QString::fromLatin1(entry.first);
            m_connections << QObject::connect(bar, entry.second, [this, name] {
                if (seen.isEmpty() && m_onFirst)
                    m_onFirst();
                seen << name;
            });
        }
    }
    ~SignalLog()
    {
        for (const auto& c : m_connections)
            QObject::disconnect(c);
    }

    QStringList seen;

private:
    std::function<void()> m_onFirst;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace

class TestStatusBar : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_normal, m_pause, m_frameA, m_frameB, m_frameC;

    SystemStatusBar* bar() { return SystemStatusBar::instance(); }
    QTimer* timer() { return bar()->findChild<QTimer*>(); }
    QMenu* menu()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "SystemTrayMenu")
                return qobject_cast<QMenu*>(w);
        }
        return nullptr;
    }
    FrmTrayMenu* panel() { return menu() ? menu()->findChild<FrmTrayMenu*>() : nullptr; }
    template <class T>
    T* panelChild(const char* name)
    {
        return panel()->findChild<T*>(QString::fromLatin1(name));
    }
    QAction* exitAction() { return menu()->actions().at(3); }
    QAction* floatAction() { return menu()->actions().at(2); }

    QString writeIcon(const QString& name, const QColor& colour)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = m_dir.filePath(name);
        image.save(path, "PNG");
        return path;
    }

    void resetFlags()
    {
        RecordParameter* p = RecordParameter::instance();
        p->m_bRecording = false;
        p->m_bPreviewing = false;
        p->m_bPaused = false;
        p->m_bRecBarHidden = false;
        p->setOnlyRecordCamera(false);
        p->setVideoEnable(true);
        p->setWindowRecord(false);
    }

    // A fresh item with the test's pictures.
    void freshBar()
    {
        SystemStatusBar::release();
        bar()->setNormalIcon(m_normal);
        bar()->setPauseIcon(m_pause);
        bar()->setRecordingIcon(m_frameA + ";" + m_frameB + ";" + m_frameC);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_normal = writeIcon("normal.png", Qt::red);
        m_pause = writeIcon("pause.png", Qt::blue);
        m_frameA = writeIcon("a.png", Qt::green);
        m_frameB = writeIcon("b.png", Qt::yellow);
        m_frameC = writeIcon("c.png", Qt::cyan);
    }

    void init()
    {
        resetFlags();
        freshBar();
    }

    void cleanupTestCase() { SystemStatusBar::release(); }

    void stateTable_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("timerActive");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("idle") << 0 << false << QColor(Qt::red);
        // The first frame at once, not a blank icon for the first second.
        QTest::newRow("recording") << 1 << true << QColor(Qt::green);
        QTest::newRow("previewing") << 2 << false << QColor(Qt::blue);
        QTest::newRow("paused") << 3 << false << QColor(Qt::blue);
    }
    void stateTable()
    {
        QFETCH(int, state);
        QFETCH(bool, timerActive);
        QFETCH(QColor, colour);
        // From another state, so each row shows a change.
        bar()->setSysBarState(state == 1 ? SysBar_Idle : SysBar_Recording);
        bar()->setSysBarState(static_cast<SysBarState>(state));
        QCOMPARE(int(bar()->sysBarState()), state);
        QCOMPARE(timer()->isActive(), timerActive);
        if (timerActive)
            QCOMPARE(timer()->interval(), 1000);
        QCOMPARE(iconColour(bar()->icon()), colour);
    }

    void animationFollowsTheClock()
    {
        int second = 7;
        bar()->setSecondSource([&second] { return second; });
        bar()->setSysBarState(SysBar_Recording);
        bar()->onRecTimerOut();
        // Three frames, second 7: the second frame.
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::yellow));
        const QColor expected[] = {Qt::green, Qt::yellow, Qt::cyan};
        for (second = 0; second < 60; ++second) {
            bar()->onRecTimerOut();
            QCOMPARE(iconColour(bar()->icon()), expected[second % 3]);
        }
    }

    void animationRunsOnTheTimer()
    {
        int second = 0;
        bar()->setSecondSource([&second] { return second; });
        bar()->setSysBarState(SysBar_Recording);
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::green));
        // Only the pace is shortened; the ticks are the item's own.
        timer()->setInterval(5);
        second = 1;
        QTRY_COMPARE(iconColour(bar()->icon()), QColor(Qt::yellow));
        second = 2;
        QTRY_COMPARE(iconColour(bar()->icon()), QColor(Qt::cyan));
        bar()->setSysBarState(SysBar_Paused);
        QVERIFY(!timer()->isActive());
        second = 0;
        QTest::qWait(30);
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::blue));
    }

    void recordingIconSplitsAtSemicolons()
    {
        bar()->setRecordingIcon(m_frameA + ";;" + m_frameB);
        QCOMPARE(bar()->recordingFrameCount(), 3);
        QCOMPARE(bar()->recordingIcon(), m_frameA + ";;" + m_frameB);
        int second = 1;
        bar()->setSecondSource([&second] { return second; });
        bar()->onRecTimerOut();
        QVERIFY(bar()->icon().isNull()); // the empty part is a frame of its own
        second = 2;
        bar()->onRecTimerOut();
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::yellow));

        bar()->setRecordingIcon(QString());
        QCOMPARE(bar()->recordingFrameCount(), 1);
        bar()->setRecordingIcon(m_frameA + ";");
        QCOMPARE(bar()->recordingFrameCount(), 2);
    }

    void adjustFileNamePerBrand()
    {
        VxProductInfo* product = VxProductInfo::instance();
        const QString original = product->brand();

        QCOMPARE(adjustFileName("/skin/tray/statusbar_normal.png"),
                 QString("/skin/tray/statusbar_normal.png"));

        product->overrideValue("brand", "halvind"); // case matters
        QCOMPARE(adjustFileName("/skin/tray/statusbar_normal.png"),
                 QString("/skin/tray/statusbar_normal.png"));

        product->overrideValue("brand", "Halvind");
        QCOMPARE(adjustFileName("/skin/tray/statusbar_normal.png"),
                 QString("/skin/tray/statusbar__halvindnormal"));
        QCOMPARE(adjustFileName("/skin/tray/statusbar_rec.big.png"),
                 QString("/skin/tray/statusbar__halvindrec"));
        // Shorter than the insertion point: appended, never padded.
        QCOMPARE(adjustFileName("/skin/tray/rec.png"), QString("/skin/tray/rec_halvind"));
        QCOMPARE(adjustFileName(":/tray/pause1.png"), QString(":/tray/pause1_halvind"));

        // The loader finds the brand's file without its suffix.
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(m_dir.filePath("statusbar__halvindidle.png"), "PNG"));
        bar()->setNormalIcon(m_dir.filePath("statusbar_idle.png"));
        QCOMPARE(iconColour(bar()->icon()), QColor(Qt::darkGreen));

        product->overrideValue("brand", original);
        QCOMPARE(adjustFileName("/a/statusbar_normal.png"), QString("/a/statusbar_normal.png"));
    }

    void singleClickOpensTheIdleMenu()
    {
        bar()->setHomeEnable(false);
        bar()->setCanRec(false);
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(menu()->isVisible());
        QVERIFY(exitAction()->isVisible());
        QVERIFY(!floatAction()->isVisible());
        QVERIFY(menu()->actions().at(0)->isVisible());
        QVERIFY(menu()->actions().at(1)->isVisible());
        auto* stack = panelChild<QStackedWidget>("stackedWidget");
        QCOMPARE(stack->currentWidget()->objectName(), QString("pageNormal"));
        // Home page shown: start enabled even though recording is not possible.
        QVERIFY(panelChild<FfButtonGifBg>("recGif")->isEnabled());
        QVERIFY(panelChild<QToolButton>("btnSetting")->isEnabled());
        QVERIFY(!panelChild<QToolButton>("btnHome")->isEnabled());
        menu()->hide();
    }

    void recordingMenu_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("barHidden");
        QTest::addColumn<bool>("video");
        QTest::addColumn<bool>("window");
        QTest::addColumn<QString>("floatText");
        QTest::addColumn<bool>("snapshot");
        QTest::newRow("running") << false << false << true << false << "Hide Float Panel" << true;
        QTest::newRow("bar hidden") << false << true << true << false << "Show Float Panel" << true;
        QTest::newRow("paused, sound only") << true << false << false << false
                                            << "Hide Float Panel" << false;
        QTest::newRow("window, no video") << false << false << false << true << "Hide Float Panel"
                                          << true;
    }
    void recordingMenu()
    {
        QFETCH(bool, paused);
        QFETCH(bool, barHidden);
        QFETCH(bool, video);
        QFETCH(bool, window);
        QFETCH(QString, floatText);
        QFETCH(bool, snapshot);
        RecordParameter* p = RecordParameter::instance();
        p->m_bRecording = true;
        p->m_bPaused = paused;
        p->m_bRecBarHidden = barHidden;
        p->setVideoEnable(video);
        p->setWindowRecord(window);

        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(menu()->isVisible());
        QVERIFY(!exitAction()->isVisible());
        QVERIFY(floatAction()->isVisible());
        QCOMPARE(floatAction()->text(), floatText);
        QCOMPARE(panelChild<QStackedWidget>("stackedWidget")->currentWidget()->objectName(),
                 QString("pageRecording"));
        QCOMPARE(panelChild<QStackedWidget>("stackedWidget_2")->currentWidget()->objectName(),
                 QString("pageRec"));
        QCOMPARE(panelChild<QToolButton>("btnResume")->isVisibleTo(panel()), paused);
        QCOMPARE(panelChild<QToolButton>("btnPause")->isVisibleTo(panel()), !paused);
        QCOMPARE(panelChild<QLabel>("lblStatus")->text(),
                 paused ? QString("Paused") : QString("Recording..."));
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

        p->m_bPreviewing = true;
        p->m_bRecording = true; // a flag left over must not matter
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!menu()->isVisible());
        p->m_bPreviewing = false;
        p->m_bRecording = false;

        for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::Unknown}) {
            bar()->onActivated(reason);
            QVERIFY(!menu()->isVisible());
        }
    }

    void clickWhileAFrameworkDialogRuns()
    {
        RecordParameter* p = RecordParameter::instance();
        bool openedIdle = true;
        bool openedRecording = false;
        VxDialogBase dialog;
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(VxDialogBase::getPopupDialogCount(), 1);
            bar()->onActivated(QSystemTrayIcon::Trigger);
            openedIdle = menu()->isVisible();
            menu()->hide();
            p->m_bRecording = true;
            bar()->onActivated(QSystemTrayIcon::Trigger);
            openedRecording = menu()->isVisible();
            menu()->hide();
            dialog.reject();
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
        guard.start(5000);
        dialog.exec();
        QVERIFY(!openedIdle);
        QVERIFY(openedRecording);
    }

    void doubleClickRules_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("previewing");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("webcamOnly");
        QTest::addColumn<QStringList>("signals_");
        const int dbl = QSystemTrayIcon::DoubleClick;
        const int mid = QSystemTrayIcon::MiddleClick;
        QTest::newRow("preview wins") << dbl << true << true << false
                                      << QStringList{"sigShowPreview"};
        QTest::newRow("recording") << dbl << false << true << false
                                   << QStringList{"sigShowRecBar"};
        QTest::newRow("webcam recording") << dbl << false << true << true
                                          << QStringList{"sigShowCamera"};
        QTest::newRow("idle") << dbl << false << false << false << QStringList{"sigShowMain"};
        QTest::newRow("middle: idle") << mid << false << false << false
                                      << QStringList{"sigShowMain"};
    }
    void doubleClickRules()
    {
        QFETCH(int, reason);
        QFETCH(bool, previewing);
        QFETCH(bool, recording);
        QFETCH(bool, webcamOnly);
        QFETCH(QStringList, signals_);
        RecordParameter* p = RecordParameter::instance();
        p->m_bPreviewing = previewing;
        p->m_bRecording = recording;
        p->setOnlyRecordCamera(webcamOnly);
        SignalLog log(bar());
        bar()->onActivated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(log.seen, signals_);
        QVERIFY(!menu()->isVisible());
    }

    void panelSignalsForwarded_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<QStringList>("signals_");
        QTest::newRow("snapshot") << "btnSnapshot" << false << QStringList{"sigSnap"};
        QTest::newRow("pause") << "btnPause" << true << QStringList{"sigPauseOrResume"};
        QTest::newRow("setting") << "btnSetting" << false
                                 << QStringList{"sigShowMain", "sigSetting"};
        QTest::newRow("home") << "btnHome" << false << QStringList{"sigShowMain", "sigHome"};
        QTest::newRow("stop") << "btnStop" << true << QStringList{"sigStartOrStop"};
    }
    void panelSignalsForwarded()
    {
        QFETCH(QString, button);
        QFETCH(bool, recording);
        QFETCH(QStringList, signals_);
        RecordParameter::instance()->m_bRecording = recording;
        RecordParameter::instance()->m_bPaused = (button == "btnResume");
        bar()->setHomeEnable(true);
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(menu()->isVisible());

        bool menuVisibleAtSignal = true;
        SignalLog log(bar(), [&] { menuVisibleAtSignal = menu()->isVisible(); });
        auto* b = panelChild<QToolButton>(button.toLatin1().constData());
        QVERIFY(b->isEnabled());
        b->click();
        const bool menuHiddenFirst = !menuVisibleAtSignal;
        QCOMPARE(log.seen, signals_);
        QVERIFY(!menu()->isVisible());
        QVERIFY2(menuHiddenFirst, "the menu must be gone before receivers act");
    }

    void startHandlerBranches_data()
    {
        QTest::addColumn<bool>("webcamOnly");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<QStringList>("signals_");
        QTest::newRow("webcam only") << true << false
                                     << QStringList{"sigShowCamera", "sigStartOrStop"};
        QTest::newRow("not recording") << false << false
                                       << QStringList{"sigShowMain", "sigStartOrStop"};
        QTest::newRow("recording") << false << true << QStringList{"sigStartOrStop"};
    }
    void startHandlerBranches()
    {
        QFETCH(bool, webcamOnly);
        QFETCH(bool, recording);
        QFETCH(QStringList, signals_);
        RecordParameter::instance()->setOnlyRecordCamera(webcamOnly);
        RecordParameter::instance()->m_bRecording = recording;
        SignalLog log(bar());
        emit panel()->sigStartOrStop();
        QCOMPARE(log.seen, signals_);
    }

    void startButtonReleaseStarts()
    {
        bar()->onActivated(QSystemTrayIcon::Trigger);
        SignalLog log(bar());
        auto* gif = panelChild<FfButtonGifBg>("recGif");
        QVERIFY(gif->isEnabled());
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(gif->pictureLabel(), &release);
        QCOMPARE(log.seen, (QStringList{"sigShowMain", "sigStartOrStop"}));
        QVERIFY(!menu()->isVisible());
    }

    void changeLanguageTexts()
    {
        FakeTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        bar()->changeLanguage();
        QCOMPARE(exitAction()->text(), QString("Beenden"));
        RecordParameter::instance()->m_bRecording = true;
        bar()->updateTrayStatus();
        QCOMPARE(floatAction()->text(), QString("Leiste ausblenden"));
        QCOMPARE(panelChild<QLabel>("lblStatus")->text(), QString("Aufnahme..."));
        RecordParameter::instance()->m_bRecording = false;
        bar()->updateTrayStatus();
        QCOMPARE(panelChild<QLabel>("label")->text(), QString("Aufnahme starten"));
        QCoreApplication::removeTranslator(&translator);
        bar()->changeLanguage();
        QCOMPARE(exitAction()->text(), QString("Exit"));
    }

    void releaseAndRecreate()
    {
        QPointer<QMenu> oldMenu = menu();
        QPointer<FrmTrayMenu> oldPanel = panel();
        bar()->setActionEnable(false);
        bar()->setSysBarState(SysBar_Recording);
        SystemStatusBar::release();
        QVERIFY(oldMenu.isNull());
        QVERIFY(oldPanel.isNull());
        QVERIFY(bar()->actionEnable());
        QCOMPARE(int(bar()->sysBarState()), int(SysBar_Idle));
        QVERIFY(!timer()->isActive());
        for (int i = 0; i < 5; ++i) {
            bar()->onActivated(QSystemTrayIcon::Trigger);
            SystemStatusBar::release();
        }
        QVERIFY(menu() == nullptr);
    }

    // Last: quitting leaves the thread's event loops refusing to run.
    void exitActionQuits()
    {
        bar()->onActivated(QSystemTrayIcon::Trigger);
        QEventLoop loop;
        QTimer::singleShot(0, exitAction(), &QAction::trigger);
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        connect(&guard, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.exit(1);
        });
        guard.start(5000);
        loop.exec();
        QVERIFY(!timedOut);
    }

};

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
