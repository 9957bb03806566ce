// Global hotkeys against the engine double (grabs, keysyms, refusals, presses on
// the GUI thread), the hotkey reminder, one preferences dialog at a time.
#include <QCheckBox>
#include <QLabel>
#include <QtTest>
#include <QPushButton>

#include <thread>

#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"
#include "preferences/CMASShortcut.h"
#include "preferences/DlgHotKeyMessage.h"
#include "preferences/HotKeyCallback.h"
#include "preferences/OptionDialog.h"
#include "preferences/ShortcutTool.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"


namespace {

constexpr unsigned kCtrlShift = kHotKeyControl | kHotKeyShift;

void store(const char* key, const QVariant& value)
{
    VxSettings::instance()->setApplicationParam(QString::fromLatin1(key), value);
}

// Grabbed keys as id -> keysym.
QMap<int, unsigned> grabbed()
{
    QMap<int, unsigned> keys;
    const QMap<int, FakeScreencast::HotKey> held = FakeScreencast::hotKeys();
    for (auto it = held.begin(); it != held.end(); ++it)
        keys.insert(it.key(), it.value().keysym);
    return keys;
}

} // namespace

class TstPreferences : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeScreencast::reset();
        for (const char* key : {"keysPause", "keysStop", "keysSnapshot", "keysWebCam", "keysFloat", "HotkeyRemind"})
            VxSettings::instance()->removeApplicationParam(QString::fromLatin1(key));
    }

    void cleanup()
    {
        CMASShortcut::release();
        SignalsTransfer::release();
    }

    void storedKeysAreGrabbed()
    {
        store("keysStop", QStringLiteral("Meta+Alt+R"));
        store("keysPause", QString()); // removed by the user
        store("keysWebCam", QVariant::fromValue(QKeySequence(QStringLiteral("Ctrl+Num+5"))));
        store("keysFloat", QStringLiteral("Ctrl+Shift+Nonsense"));
        CMASShortcut::instance()->reload();
        // A removed or unreadable key holds no grab, and is no refusal.
        QCOMPARE(grabbed(), (QMap<int, unsigned>{{RP_HotKey_Stop, 0x72}, {RP_HotKey_Snapshot, 0xffc8},
                                                 {RP_HotKey_WebCam, 0xffb5}}));
        QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Stop).modifiers, kHotKeyAlt | kHotKeySuper);
        QVERIFY(CMASShortcut::instance()->failedHotKeys().isEmpty());
    }

    void conversion_data()
    {
        QTest::addColumn<QKeySequence>("sequence");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<uint>("keysym");
        QTest::addColumn<uint>("modifiers");
        auto row = [](const char* name, const QKeySequence& s, bool valid, uint keysym, uint modifiers) {
            QTest::newRow(name) << s << valid << keysym << modifiers;
        };
        row("letter lower-cased", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), true, 0x61, kCtrlShift);
        row("keypad digit", QKeySequence(Qt::CTRL | Qt::KeypadModifier | Qt::Key_7), true, 0xffb7, kHotKeyControl);
        row("modifier alone", QKeySequence(Qt::CTRL | Qt::Key_Control), false, 0, 0);
        row("media key", QKeySequence(Qt::CTRL | Qt::Key_VolumeUp), false, 0, 0);
    }

    void conversion()
    {
        QFETCH(QKeySequence, sequence);
        QFETCH(bool, valid);
        QFETCH(uint, keysym);
        QFETCH(uint, modifiers);
        unsigned gotKeysym = 0xdead, gotModifiers = 0xdead;
        QCOMPARE(CMASShortcut::toNativeKey(sequence, gotKeysym, gotModifiers), valid);
        QCOMPARE(gotKeysym, valid ? keysym : 0xdeadu); // untouched when refused
        if (valid)
            QCOMPARE(gotModifiers, modifiers);
    }

    void refusedKeysAreReported()
    {
        FakeScreencast::setHotKeyResult(0xffc6, kCtrlShift, kHotKeyTaken);   // start/stop
        FakeScreencast::setHotKeyResult(0xffc5, kCtrlShift, kHotKeyTaken);   // control bar
        FakeScreencast::setHotKeyResult(0xffc8, kCtrlShift, kHotKeyInvalid); // snapshot
        CMASShortcut* shortcut = CMASShortcut::instance();
        shortcut->reload();
        // Only keys that another program holds are reported; the rest work.
        QCOMPARE(shortcut->failedHotKeys(), QList<int>({RP_HotKey_Stop, RP_HotKey_Float}));
        QCOMPARE(FakeScreencast::hotKeys().keys(), QList<int>({RP_HotKey_Pause, RP_HotKey_WebCam}));
    }

    void swappedKeysDoNotClash()
    {
        CMASShortcut::instance()->reload();
        store("keysStop", QStringLiteral("Ctrl+Shift+F10"));
        store("keysPause", QStringLiteral("Ctrl+Shift+F9"));
        // Every old grab goes before the first new one is made, so the
        // engine never sees a key held twice.
        CMASShortcut::instance()->reload();
        QVERIFY(CMASShortcut::instance()->failedHotKeys().isEmpty());
        QCOMPARE(grabbed().value(RP_HotKey_Stop), 0xffc7u);
        QCOMPARE(grabbed().value(RP_HotKey_Pause), 0xffc6u);
    }

    void pressesReachTheHubOnTheGuiThread()
    {
        QList<int> ids;
        bool onGuiThread = true;
        connect(SignalsTransfer::instance(), &SignalsTransfer::hotKeyPressed, this, [&](int id) {
            ids << id;
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        });
        CMASShortcut::instance()->reload();
        FakeScreencast::fireHotKey(RP_HotKey_Snapshot);
        std::thread grabber([] { callback::onAction(RP_HotKey_Stop); });
        grabber.join();
        QVERIFY(ids.isEmpty()); // delivered by the GUI thread's event loop
        QTRY_COMPARE(ids, (QList<int>{RP_HotKey_Snapshot, RP_HotKey_Stop}));
        QVERIFY(onGuiThread);

        // Released: no grab, no callback, and a late press is dropped.
        CMASShortcut::release();
        QVERIFY(!FakeScreencast::hotKeyCallback() && FakeScreencast::hotKeys().isEmpty());
        SignalsTransfer::release();
        std::thread late([] { callback::onAction(RP_HotKey_Pause); });
        late.join();
        QVERIFY(!SignalsTransfer::existing());
    }

    void hotKeyReminderStoresChoiceHoweverItCloses()
    {
        DlgHotKeyMessage reminder(nullptr);
        VxSettings::instance()->setApplicationParam("keysStop", "Ctrl+Alt+S");
        VxSettings::instance()->setApplicationParam("keysWebCam", "");
        ModalDriver driver;
        const auto tick = [&](bool on, bool* shownTicked) {
            driver.expect([=](QWidget* modal) {
                // It names the keys as they are now.
                const QString keys = modal->findChild<QLabel*>("lblHotKeys")->text();
                QVERIFY2(keys.contains("Start/Stop recording: Ctrl+Alt+S") && keys.contains("Webcam on/off: none")
                             && keys.contains("Pause/Resume: Ctrl+Shift+F10"),
                         qPrintable(keys));
                auto* box = modal->findChild<QCheckBox*>("chkRemind");
                *shownTicked = box->isChecked();
                box->setChecked(on);
            }, "DlgHotKeyMessage");
        };
        bool shown = true;
        tick(true, &shown);
        driver.expect([](QWidget* modal) { modal->findChild<QPushButton*>("btnOk")->click(); });
        QCOMPARE(reminder.exec(), int(QDialog::Accepted));
        QVERIFY(!shown);
        QVERIFY(VxSettings::instance()->applicationParam("HotkeyRemind", false).toBool());
        // Run again it shows the stored choice; untick and Escape.
        tick(false, &shown);
        driver.pressKey(Qt::Key_Escape, "DlgHotKeyMessage");
        QCOMPARE(reminder.exec(), int(QDialog::Rejected));
        VERIFY_DRIVER(driver);
        QVERIFY(shown);
        QVERIFY(!VxSettings::instance()->applicationParam("HotkeyRemind", false).toBool());
    }

    // A tool tip names the action's key as it is when the tip shows.
    void toolTipShowsTheCurrentKey()
    {
        QWidget button;
        CMASShortcut::showHotKeyInToolTip(&button, "Stop", RP_HotKey_Stop);
        QCOMPARE(button.toolTip(), QString("Stop (Ctrl+Shift+F9)"));
        VxSettings::instance()->setApplicationParam("keysStop", "");
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        QApplication::sendEvent(&button, &tip);
        QCOMPARE(button.toolTip(), QString("Stop"));
    }

    void optionDialogOneAtATime()
    {
        ShortcutTool tool;
        QPointer<OptionDialog> seen;
        int pageShown = -1;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            seen = qobject_cast<OptionDialog*>(modal);
            pageShown = seen->currentPage();
            // A second request while one is open returns at once.
            tool.showOptionDlg(SETTINGPAGE_Mouse);
            QCOMPARE(ShortcutTool::openOptionDlg(), seen.data());
            // The frame may close it from outside.
            ShortcutTool::hideOptionDlg();
        }, "OptionDialog");
        tool.showOptionDlg(SETTINGPAGE_Output);
        DRIVER_DONE(driver, 5000);
        QCOMPARE(pageShown, int(SETTINGPAGE_Output));
        QVERIFY(seen.isNull()); // deleted after its run

        // The strip deleted while its dialog is open takes the dialog along.
        QPointer<ShortcutTool> doomed = new ShortcutTool();
        driver.expect([&](QWidget* modal) {
            seen = qobject_cast<OptionDialog*>(modal);
            delete doomed.data();
        }, "OptionDialog");
        doomed->showOptionDlg(SETTINGPAGE_Mouse);
        DRIVER_DONE(driver, 5000);
        QVERIFY(doomed.isNull() && seen.isNull());
        QVERIFY(!ShortcutTool::openOptionDlg());
    }
};

QTEST_MAIN(TstPreferences)
#include "tst_preferences.moc"
