// The engine's global hotkeys against a real X server: keys are pressed
// through XTest (xdotool), other programs are played by a second X
// connection of the test. A hotkey fires once per press, with any state of
// Caps Lock and Num Lock, and once for a key held down while the server
// repeats it; a key that another client holds is reported, not grabbed in
// part, and so is Ctrl+Alt on an F-key, which the X server keeps for
// switching virtual terminals; the grabs follow keyboard mapping changes;
// after the callback is removed or the engine stops, nothing is called and
// no thread is left.
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <xcb/xcb.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Screencast.h"
#include "tests/support/TestHelpers.h"

using testsupport::threadCount;

namespace {

constexpr unsigned kF6 = 0xffc3, kF7 = 0xffc4, kF8 = 0xffc5, kF9 = 0xffc6, kF10 = 0xffc7, kF11 = 0xffc8,
                   kF12 = 0xffc9;
constexpr unsigned kNumLock = 0xff7f;
constexpr unsigned kCtrlAlt = kHotKeyControl | kHotKeyAlt;
constexpr unsigned kCtrlShift = kHotKeyControl | kHotKeyShift;

// The key pressed after each check: presses arrive in order, so once it is
// seen, every key pressed before it has been handled.
constexpr int kSentinel = 99;
constexpr unsigned kSentinelKeysym = kF12;

bool xdotool(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

class Presses : public CHotKeyCallback {
public:
    void OnHotKey(int id) override
    {
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_counts[id];
            hook = m_hook;
        }
        if (hook)
            hook(id);
    }
    int count(int id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_counts[id];
    }
    void setHook(std::function<void(int)> hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hook = std::move(hook);
    }

private:
    std::mutex m_mutex;
    std::map<int, int> m_counts;
    std::function<void(int)> m_hook;
};

// The other program: a connection of the test's own.
class OtherClient {
public:
    OtherClient()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        readMapping();
    }
    ~OtherClient() { xcb_disconnect(m_conn); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool ok() const { return m_root != XCB_WINDOW_NONE && !xcb_connection_has_error(m_conn); }

    void readMapping()
    {
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        m_min = setup->min_keycode;
        m_count = setup->max_keycode - setup->min_keycode + 1;
        std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&free)> map(
            xcb_get_keyboard_mapping_reply(m_conn, xcb_get_keyboard_mapping(m_conn, m_min, uint8_t(m_count)),
                                           nullptr),
            &free);
        m_per = map->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        m_syms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map.get()));
    }

    xcb_keycode_t keycode(unsigned keysym) const
    {
        for (std::size_t i = 0; i < m_syms.size(); ++i) {
            if (m_syms[i] == keysym)
                return xcb_keycode_t(m_min + i / m_per);
        }
        return 0;
    }
    // A keycode that makes nothing.
    xcb_keycode_t spareKeycode() const
    {
        for (int k = m_count - 1; k >= 0; --k) {
            bool empty = true;
            for (int c = 0; c < m_per; ++c)
                empty = empty && m_syms[std::size_t(k * m_per + c)] == 0;
            if (empty)
                return xcb_keycode_t(m_min + k);
        }
        return 0;
    }
    // Sets every column of a key to `keysym` (0: nothing).
    void mapKey(xcb_keycode_t code, unsigned keysym)
    {
        std::vector<xcb_keysym_t> syms(m_per, keysym);
        xcb_change_keyboard_mapping(m_conn, 1, code, m_per, syms.data());
        sync();
    }
    uint16_t numLockMask()
    {
        const xcb_keycode_t code = keycode(kNumLock);
        std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&free)> mods(
            xcb_get_modifier_mapping_reply(m_conn, xcb_get_modifier_mapping(m_conn), nullptr), &free);
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        for (int m = 0; m < 8; ++m) {
            for (int k = 0; k < mods->keycodes_per_modifier; ++k) {
                if (codes[m * mods->keycodes_per_modifier + k] == code)
                    return uint16_t(1u << m);
            }
        }
        return 0;
    }

    // The X error code, 0 when the grab was made.
    int grab(xcb_keycode_t code, uint16_t modifiers)
    {
        std::unique_ptr<xcb_generic_error_t, decltype(&free)> error(
            xcb_request_check(m_conn, xcb_grab_key_checked(m_conn, 0, m_root, modifiers, code,
                                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            &free);
        return error ? error->error_code : 0;
    }
    void ungrab(xcb_keycode_t code, uint16_t modifiers)
    {
        xcb_ungrab_key(m_conn, code, m_root, modifiers);
        sync();
    }
    // Modifiers and locks in effect now.
    uint16_t state()
    {
        std::unique_ptr<xcb_query_pointer_reply_t, decltype(&free)> reply(
            xcb_query_pointer_reply(m_conn, xcb_query_pointer(m_conn, m_root), nullptr), &free);
        return reply ? reply->mask : 0;
    }
    void setAutoRepeat(bool on)
    {
        const uint32_t value = on ? XCB_AUTO_REPEAT_MODE_ON : XCB_AUTO_REPEAT_MODE_OFF;
        xcb_change_keyboard_control(m_conn, XCB_KB_AUTO_REPEAT_MODE, &value);
        sync();
    }
    bool autoRepeatOn()
    {
        std::unique_ptr<xcb_get_keyboard_control_reply_t, decltype(&free)> reply(
            xcb_get_keyboard_control_reply(m_conn, xcb_get_keyboard_control(m_conn), nullptr), &free);
        return reply && reply->global_auto_repeat == XCB_AUTO_REPEAT_MODE_ON;
    }
    int keyPressesReceived()
    {
        sync();
        int presses = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
                ++presses;
            free(event);
        }
        return presses;
    }
    void sync() { free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

private:
    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_keycode_t m_min = 8;
    int m_count = 0;
    int m_per = 1;
    std::vector<xcb_keysym_t> m_syms;
};

} // namespace

class TstHotKeysEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void pressFiresOnce();
    void ctrlAltFunctionKeysAreTheServers();
    void locksDoNotMatter();
    void heldKeyFiresOnce();
    void keyOfAnotherClientIsReported();
    void invalidKeys();
    void replaceAndUnregister();
    void followsKeyboardMapping();
    void noCallbackAfterRemoval();
    void uninitializeEndsEverything();
    void uninitializeFromCallback();

private:
    // Presses `keys` (xdotool syntax) and waits until the sentinel key
    // pressed after them has arrived.
    void press(const QString& keys);
    void pressSentinel();
    // Returns once the hotkey thread has handled every event that reached
    // it before this call.
    void engineBarrier();

    Presses m_presses;
    std::unique_ptr<OtherClient> m_other;
    int m_threadsBefore = 0;
    int m_sentinels = 0;
};

void TstHotKeysEngine::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs the test environment's X server");
    m_threadsBefore = threadCount();
    QCOMPARE(scInitialize(), int(kScInitOk));
    m_other.reset(new OtherClient);
    QVERIFY(m_other->ok());
}

void TstHotKeysEngine::cleanupTestCase()
{
    scUninitialize();
    m_other.reset();
}

void TstHotKeysEngine::init()
{
    scSetHotKeyCallback(&m_presses);
    if (scRegisterHotKey(kSentinel, kSentinelKeysym, kCtrlShift) != kHotKeyOk)
        QFAIL("the sentinel key cannot be grabbed");
    m_sentinels = m_presses.count(kSentinel);
}

void TstHotKeysEngine::cleanup()
{
    // A failed check may leave keys grabbed or a lock on.
    m_presses.setHook(nullptr);
    for (int id = 1; id <= 7; ++id)
        scUnregisterHotKey(id);
    const uint16_t state = m_other->state();
    if (state & XCB_MOD_MASK_LOCK)
        xdotool({"key", "Caps_Lock"});
    if (state & m_other->numLockMask())
        xdotool({"key", "Num_Lock"});
}

void TstHotKeysEngine::pressSentinel()
{
    QVERIFY(xdotool({"key", "ctrl+shift+F12"}));
    ++m_sentinels;
    QTRY_COMPARE_WITH_TIMEOUT(m_presses.count(kSentinel), m_sentinels, 10000);
}

void TstHotKeysEngine::press(const QString& keys)
{
    QVERIFY(xdotool({"key", keys}));
    pressSentinel();
}

void TstHotKeysEngine::engineBarrier()
{
    // A registration waits for the X server's answer, which comes after
    // every event sent to the engine before; the next call runs after the
    // engine handled what it read meanwhile.
    QCOMPARE(scRegisterHotKey(98, kF6, kCtrlShift), int(kHotKeyOk));
    scUnregisterHotKey(98);
}

void TstHotKeysEngine::pressFiresOnce()
{
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    press("ctrl+shift+F9");
    QCOMPARE(m_presses.count(1), 1);
    press("ctrl+shift+F9");
    press("ctrl+shift+F9");
    QCOMPARE(m_presses.count(1), 3);

    // Other modifiers make another key.
    press("ctrl+F9");
    press("ctrl+shift+super+F9");
    press("shift+F9");
    QCOMPARE(m_presses.count(1), 3);
    scUnregisterHotKey(1);
}

void TstHotKeysEngine::ctrlAltFunctionKeysAreTheServers()
{
    QCOMPARE(scRegisterHotKey(6, kF9, kCtrlAlt), int(kHotKeyTaken));
    // The key stays free for the server's own use.
    const xcb_keycode_t f9 = m_other->keycode(kF9);
    QCOMPARE(m_other->grab(f9, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1), 0);
    m_other->ungrab(f9, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);

    // With one more modifier, or on another key, Ctrl+Alt is fine.
    QCOMPARE(scRegisterHotKey(6, kF9, kCtrlAlt | kHotKeyShift), int(kHotKeyOk));
    QCOMPARE(scRegisterHotKey(7, 0x72 /* r */, kCtrlAlt), int(kHotKeyOk));
    press("ctrl+alt+shift+F9");
    press("ctrl+alt+r");
    QCOMPARE(m_presses.count(6), 1);
    QCOMPARE(m_presses.count(7), 1);
}

void TstHotKeysEngine::locksDoNotMatter()
{
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    const uint16_t numLock = m_other->numLockMask();
    QVERIFY(numLock != 0);

    const QList<QStringList> locks = {{"Caps_Lock"}, {"Num_Lock"}, {"Caps_Lock", "Num_Lock"}};
    int expected = m_presses.count(1);
    for (const QStringList& keys : locks) {
        for (const QString& key : keys)
            QVERIFY(xdotool({"key", key}));
        const uint16_t state = m_other->state();
        QCOMPARE(bool(state & XCB_MOD_MASK_LOCK), keys.contains("Caps_Lock"));
        QCOMPARE(bool(state & numLock), keys.contains("Num_Lock"));

        press("ctrl+shift+F9");
        ++expected;
        QCOMPARE(m_presses.count(1), expected);

        for (const QString& key : keys)
            QVERIFY(xdotool({"key", key}));
        QCOMPARE(m_other->state() & (XCB_MOD_MASK_LOCK | numLock), 0);
    }
    scUnregisterHotKey(1);
}

void TstHotKeysEngine::heldKeyFiresOnce()
{
    m_other->setAutoRepeat(true);
    QVERIFY(m_other->autoRepeatOn());

    // The server does repeat a key held through XTest: a client that grabs
    // one sees many presses.
    const xcb_keycode_t f7 = m_other->keycode(kF7);
    QCOMPARE(m_other->grab(f7, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT), 0);
    QVERIFY(xdotool({"keydown", "ctrl+shift+F7", "sleep", "1", "keyup", "ctrl+shift+F7"}));
    const int repeats = m_other->keyPressesReceived();
    m_other->ungrab(f7, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    QVERIFY2(repeats >= 3, qPrintable(QString::number(repeats)));

    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    const int before = m_presses.count(1);
    QVERIFY(xdotool({"keydown", "ctrl+shift+F9", "sleep", "1", "keyup", "ctrl+shift+F9"}));
    pressSentinel();
    QCOMPARE(m_presses.count(1), before + 1);

    // And the next press counts again.
    press("ctrl+shift+F9");
    QCOMPARE(m_presses.count(1), before + 2);
    scUnregisterHotKey(1);
}

void TstHotKeysEngine::keyOfAnotherClientIsReported()
{
    const xcb_keycode_t f10 = m_other->keycode(kF10);
    const uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    const uint16_t numLock = m_other->numLockMask();

    QCOMPARE(m_other->grab(f10, ctrlShift), 0);
    QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyTaken));
    m_other->ungrab(f10, ctrlShift);
    // The engine kept none of the variants it could grab.
    for (uint16_t locks : {uint16_t(XCB_MOD_MASK_LOCK), numLock, uint16_t(XCB_MOD_MASK_LOCK | numLock)}) {
        QCOMPARE(m_other->grab(f10, uint16_t(ctrlShift | locks)), 0);
        m_other->ungrab(f10, uint16_t(ctrlShift | locks));
    }

    // Holding only the Num Lock variant is enough to be in the way.
    QCOMPARE(m_other->grab(f10, uint16_t(ctrlShift | numLock)), 0);
    QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyTaken));
    m_other->ungrab(f10, uint16_t(ctrlShift | numLock));

    // Once free, it works; a second id of ours on the same key is refused.
    QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyOk));
    QCOMPARE(scRegisterHotKey(3, kF10, kCtrlShift), int(kHotKeyTaken));
    QCOMPARE(m_other->grab(f10, ctrlShift), int(XCB_ACCESS));
    press("ctrl+shift+F10");
    QCOMPARE(m_presses.count(2), 1);
    QCOMPARE(m_presses.count(3), 0);
    scUnregisterHotKey(2);
}

void TstHotKeysEngine::invalidKeys()
{
    QCOMPARE(scRegisterHotKey(4, 0, kCtrlShift), int(kHotKeyInvalid));
    QCOMPARE(scRegisterHotKey(4, kF9, 16), int(kHotKeyInvalid));
    QCOMPARE(scRegisterHotKey(4, 0x1002603, kCtrlShift), int(kHotKeyInvalid));   // no key makes U+2603
    // A failed replacement leaves the id without a hotkey.
    QCOMPARE(scRegisterHotKey(4, kF9, kCtrlShift), int(kHotKeyOk));
    QCOMPARE(scRegisterHotKey(4, 0, kCtrlShift), int(kHotKeyInvalid));
    QCOMPARE(m_other->grab(m_other->keycode(kF9), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT), 0);
    m_other->ungrab(m_other->keycode(kF9), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
}

void TstHotKeysEngine::replaceAndUnregister()
{
    const uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    const int before = m_presses.count(1);
    QCOMPARE(scRegisterHotKey(1, kF8, kCtrlShift), int(kHotKeyOk));

    // The old key is free for others, the new one fires.
    QCOMPARE(m_other->grab(m_other->keycode(kF9), ctrlShift), 0);
    m_other->ungrab(m_other->keycode(kF9), ctrlShift);
    press("ctrl+shift+F9");
    press("ctrl+shift+F8");
    QCOMPARE(m_presses.count(1), before + 1);

    scUnregisterHotKey(1);
    scUnregisterHotKey(1);     // twice is harmless
    press("ctrl+shift+F8");
    QCOMPARE(m_presses.count(1), before + 1);
    QCOMPARE(m_other->grab(m_other->keycode(kF8), ctrlShift), 0);
    m_other->ungrab(m_other->keycode(kF8), ctrlShift);
}

void TstHotKeysEngine::followsKeyboardMapping()
{
    QCOMPARE(scRegisterHotKey(5, kF11, kCtrlShift), int(kHotKeyOk));
    const xcb_keycode_t original = m_other->keycode(kF11);
    const xcb_keycode_t spare = m_other->spareKeycode();
    QVERIFY(original != 0 && spare != 0);

    // F11 moves to another key: xdotool then presses that one.
    m_other->mapKey(spare, kF11);
    m_other->mapKey(original, 0);
    engineBarrier();
    press("ctrl+shift+F11");
    const int moved = m_presses.count(5);
    // The key left behind is free again.
    const int leftBehind = m_other->grab(original, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    m_other->ungrab(original, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);

    m_other->mapKey(original, kF11);
    m_other->mapKey(spare, 0);
    engineBarrier();
    QCOMPARE(moved, 1);
    QCOMPARE(leftBehind, 0);
    press("ctrl+shift+F11");
    QCOMPARE(m_presses.count(5), 2);

    // A keysym that no key makes any more is dropped.
    m_other->mapKey(original, 0);
    engineBarrier();
    m_other->mapKey(original, kF11);
    engineBarrier();
    press("ctrl+shift+F11");
    QCOMPARE(m_presses.count(5), 2);
    m_other->readMapping();
}

void TstHotKeysEngine::noCallbackAfterRemoval()
{
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    const int before = m_presses.count(1);
    scSetHotKeyCallback(nullptr);
    QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
    engineBarrier();
    scSetHotKeyCallback(&m_presses);
    pressSentinel();
    QCOMPARE(m_presses.count(1), before);

    // The key itself stayed grabbed meanwhile.
    press("ctrl+shift+F9");
    QCOMPARE(m_presses.count(1), before + 1);
    scUnregisterHotKey(1);
}

void TstHotKeysEngine::uninitializeEndsEverything()
{
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    const int before = m_presses.count(1);
    scUninitialize();
    QCOMPARE(threadCount(), m_threadsBefore);

    // The grabs went with the engine's connection.
    const xcb_keycode_t f9 = m_other->keycode(kF9);
    const uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    QCOMPARE(m_other->grab(f9, ctrlShift), 0);
    m_other->ungrab(f9, ctrlShift);
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyNoDisplay));
    scUnregisterHotKey(1);

    // A restarted engine has forgotten the callback and the keys.
    QCOMPARE(scInitialize(), int(kScInitOk));
    Presses later;
    QCOMPARE(scRegisterHotKey(kSentinel, kSentinelKeysym, kCtrlShift), int(kHotKeyOk));
    QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
    engineBarrier();
    scSetHotKeyCallback(&later);
    QVERIFY(xdotool({"key", "ctrl+shift+F12"}));
    QTRY_COMPARE_WITH_TIMEOUT(later.count(kSentinel), 1, 10000);
    QCOMPARE(m_presses.count(1), before);
    QCOMPARE(later.count(1), 0);
    scSetHotKeyCallback(nullptr);
}

void TstHotKeysEngine::uninitializeFromCallback()
{
    // A callback may register keys and even stop the engine.
    std::atomic<int> registered{-1};
    m_presses.setHook([&](int id) {
        if (id != 1)
            return;
        registered = scRegisterHotKey(7, kF7, kCtrlShift);
        scUninitialize();
    });
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
    QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
    QTRY_COMPARE_WITH_TIMEOUT(registered.load(), int(kHotKeyOk), 10000);
    // The thread was let go and ends by itself.
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_threadsBefore, 10000);
    m_presses.setHook(nullptr);
    QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyNoDisplay));
    QCOMPARE(m_other->grab(m_other->keycode(kF7), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT), 0);
    m_other->ungrab(m_other->keycode(kF7), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
}

QTEST_GUILESS_MAIN(TstHotKeysEngine)
#include "tst_hotkeys_engine.moc"
