// The global hotkeys of the module against the engine double: which keys
// are grabbed for the defaults and for stored sequences, how Qt keys become
// X keysyms, how refused keys are reported, and how a press on an engine
// thread reaches the hub on the GUI thread.
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "preferences/CMASShortcut.h"
#include "tests/support/FakeScreencast.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {

const char* const kKeys[] = {"keysPause", "keysStop", "keysSnapshot", "keysWebCam", "keysFloat"};

constexpr unsigned kCtrlShift = kHotKeyControl | kHotKeyShift;

void store(const char* key, const QVariant& value)
{
    VxSettings::instance()->setApplicationParam(QString::fromLatin1(key), value);
}

QString registration(int id, unsigned keysym, unsigned modifiers)
{
    return QStringLiteral("scRegisterHotKey(%1, 0x%2, %3)").arg(id).arg(keysym, 0, 16).arg(modifiers);
}

} // namespace

class TstHotKeys : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void defaultsAreGrabbed();
    void storedSequencesAreGrabbed();
    void conversion_data();
    void conversion();
    void refusedKeysAreReported();
    void swappedKeysDoNotClash();
    void pressReachesHubOnGuiThread();
    void releaseStopsPresses();
};

void TstHotKeys::init()
{
    FakeScreencast::reset();
    for (const char* key : kKeys)
        VxSettings::instance()->removeApplicationParam(QString::fromLatin1(key));
}

void TstHotKeys::cleanup()
{
    CMASShortcut::release();
    SignalsTransfer::release();
}

void TstHotKeys::defaultsAreGrabbed()
{
    CMASShortcut::instance()->reload();

    const unsigned f8 = 0xffc5, f9 = 0xffc6, f10 = 0xffc7, f11 = 0xffc8, f12 = 0xffc9;
    QCOMPARE(FakeScreencast::callsOf("scRegisterHotKey"),
             QStringList({registration(RP_HotKey_Pause, f10, kCtrlShift),
                          registration(RP_HotKey_Stop, f9, kCtrlShift),
                          registration(RP_HotKey_Snapshot, f11, kCtrlShift),
                          registration(RP_HotKey_WebCam, f12, kCtrlShift),
                          registration(RP_HotKey_Float, f8, kCtrlShift)}));
    QCOMPARE(FakeScreencast::hotKeys().size(), 5);
    QCOMPARE(FakeScreencast::hotKeyCallback(), static_cast<CHotKeyCallback*>(CMASShortcut::instance()));
    QVERIFY(CMASShortcut::instance()->failedHotKeys().isEmpty());
}

void TstHotKeys::storedSequencesAreGrabbed()
{
    store("keysStop", QStringLiteral("Meta+Alt+R"));
    store("keysPause", QString());                         // removed by the user
    store("keysSnapshot", QStringLiteral(" Ctrl+Print "));
    store("keysWebCam", QVariant::fromValue(QKeySequence(QStringLiteral("Ctrl+Num+5"))));
    store("keysFloat", QStringLiteral("Ctrl+Shift+Nonsense"));
    CMASShortcut::instance()->reload();

    QCOMPARE(FakeScreencast::callsOf("scRegisterHotKey"),
             QStringList({registration(RP_HotKey_Stop, 0x72, kHotKeyAlt | kHotKeySuper),
                          registration(RP_HotKey_Snapshot, 0xff61, kHotKeyControl),
                          registration(RP_HotKey_WebCam, 0xffb5, kHotKeyControl)}));
    // A removed or unreadable key holds no grab, and is no refusal.
    const QMap<int, FakeScreencast::HotKey> keys = FakeScreencast::hotKeys();
    QVERIFY(!keys.contains(RP_HotKey_Pause));
    QVERIFY(!keys.contains(RP_HotKey_Float));
    QVERIFY(CMASShortcut::instance()->failedHotKeys().isEmpty());

    // A change of the settings takes effect with reload().
    store("keysPause", QStringLiteral("Ctrl+Shift+P"));
    CMASShortcut::instance()->reload();
    QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Pause).keysym, 0x70u);
    QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Pause).modifiers, kCtrlShift);
}

void TstHotKeys::conversion_data()
{
    QTest::addColumn<QKeySequence>("sequence");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("keysym");
    QTest::addColumn<uint>("modifiers");

    auto row = [](const char* name, const QKeySequence& s, bool valid, uint keysym, uint modifiers) {
        QTest::newRow(name) << s << valid << keysym << modifiers;
    };
    row("letter lower-cased", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), true, 0x61, kCtrlShift);
    row("F1", QKeySequence(Qt::CTRL | Qt::Key_F1), true, 0xffbe, kHotKeyControl);
    row("meta escape", QKeySequence(Qt::META | Qt::Key_Escape), true, 0xff1b, kHotKeySuper);
    row("backtab is tab", QKeySequence(Qt::SHIFT | Qt::Key_Backtab), true, 0xff09, kHotKeyShift);
    row("latin-1 letter", QKeySequence(Qt::CTRL | Qt::Key_Adiaeresis), true, 0xe4, kHotKeyControl);
    row("keypad digit", QKeySequence(Qt::CTRL | Qt::KeypadModifier | Qt::Key_7), true, 0xffb7, kHotKeyControl);
    row("first chord only", QKeySequence(Qt::CTRL | Qt::Key_F2, Qt::CTRL | Qt::Key_K), true, 0xffbf,
        kHotKeyControl);
    row("portable text", QKeySequence::fromString("Ctrl+Alt+Shift+Meta+F9", QKeySequence::PortableText), true,
        0xffc6, kCtrlShift | kHotKeyAlt | kHotKeySuper);
    row("no modifier", QKeySequence(Qt::Key_F5), true, 0xffc2, 0);
    row("empty", QKeySequence(), false, 0, 0);
    row("modifier alone", QKeySequence(Qt::CTRL | Qt::Key_Control), false, 0, 0);
    row("media key", QKeySequence(Qt::CTRL | Qt::Key_VolumeUp), false, 0, 0);
    row("cyrillic", QKeySequence(Qt::CTRL | 0x0416), false, 0, 0);
}

void TstHotKeys::conversion()
{
    QFETCH(QKeySequence, sequence);
    QFETCH(bool, valid);
    QFETCH(uint, keysym);
    QFETCH(uint, modifiers);

    unsigned gotKeysym = 0xdead;
    unsigned gotModifiers = 0xdead;
    QCOMPARE(CMASShortcut::toNativeKey(sequence, gotKeysym, gotModifiers), valid);
    if (valid) {
        QCOMPARE(gotKeysym, keysym);
        QCOMPARE(gotModifiers, modifiers);
    } else {
        QCOMPARE(gotKeysym, 0xdeadu);    // untouched
    }
}

void TstHotKeys::refusedKeysAreReported()
{
    FakeScreencast::setHotKeyResult(0xffc6, kCtrlShift, kHotKeyTaken);     // start/stop
    FakeScreencast::setHotKeyResult(0xffc5, kCtrlShift, kHotKeyTaken);     // control bar
    FakeScreencast::setHotKeyResult(0xffc8, kCtrlShift, kHotKeyInvalid);   // snapshot
    CMASShortcut* shortcut = CMASShortcut::instance();
    shortcut->reload();

    // Only keys that another program holds are reported; the rest work.
    QCOMPARE(shortcut->failedHotKeys(), QList<int>({RP_HotKey_Stop, RP_HotKey_Float}));
    QCOMPARE(FakeScreencast::hotKeys().keys(), QList<int>({RP_HotKey_Pause, RP_HotKey_WebCam}));

    // The other program let the key go and the user moved another one.
    FakeScreencast::setHotKeyResult(0xffc6, kCtrlShift, kHotKeyOk);
    store("keysFloat", QStringLiteral("Ctrl+Shift+B"));
    shortcut->reload();
    QVERIFY(shortcut->failedHotKeys().isEmpty());
    QCOMPARE(FakeScreencast::hotKeys().size(), 4);

    // Without an engine nothing is grabbed, and nothing is blamed on others.
    FakeScreencast::failNext("scRegisterHotKey", 5);
    shortcut->reload();
    QVERIFY(shortcut->failedHotKeys().isEmpty());
    QVERIFY(FakeScreencast::hotKeys().isEmpty());
}

void TstHotKeys::swappedKeysDoNotClash()
{
    CMASShortcut::instance()->reload();
    store("keysStop", QStringLiteral("Ctrl+Shift+F10"));
    store("keysPause", QStringLiteral("Ctrl+Shift+F9"));
    FakeScreencast::clearCalls();
    CMASShortcut::instance()->reload();

    // Every old grab goes before the first new one is made.
    const QStringList calls = FakeScreencast::calls();
    int lastUnregister = -1;
    int firstRegister = calls.size();
    for (int i = 0; i < calls.size(); ++i) {
        if (calls[i].startsWith("scUnregisterHotKey("))
            lastUnregister = i;
        else if (calls[i].startsWith("scRegisterHotKey(") && firstRegister == calls.size())
            firstRegister = i;
    }
    QCOMPARE(FakeScreencast::callCount("scUnregisterHotKey"), 5);
    QVERIFY2(lastUnregister < firstRegister, qPrintable(calls.join("\n")));
    QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Stop).keysym, 0xffc7u);
    QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Pause).keysym, 0xffc6u);
}

void TstHotKeys::pressReachesHubOnGuiThread()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    QList<QPair<int, QThread*>> received;
    connect(hub, &SignalsTransfer::hotKeyPressed, this,
            [&](int id) { received << qMakePair(id, QThread::currentThread()); });
    CMASShortcut::instance()->reload();

    FakeScreencast::fireHotKey(RP_HotKey_Snapshot);
    FakeScreencast::fireHotKey(RP_HotKey_Float);
    QTRY_COMPARE(received.size(), 2);
    QCOMPARE(received[0].first, int(RP_HotKey_Snapshot));
    QCOMPARE(received[1].first, int(RP_HotKey_Float));
    QCOMPARE(received[0].second, QThread::currentThread());
    QCOMPARE(received[1].second, QThread::currentThread());
}

void TstHotKeys::releaseStopsPresses()
{
    CMASShortcut::instance()->reload();
    CMASShortcut::release();
    QCOMPARE(FakeScreencast::hotKeyCallback(), static_cast<CHotKeyCallback*>(nullptr));
    QVERIFY(FakeScreencast::hotKeys().isEmpty());

    QSignalSpy spy(SignalsTransfer::instance(), &SignalsTransfer::hotKeyPressed);
    FakeScreencast::fireHotKey(RP_HotKey_Stop);
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
}

QTEST_MAIN(TstHotKeys)
#include "tst_hotkeys.moc"
