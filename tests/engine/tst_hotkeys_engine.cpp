// Global hot keys on a real X server through XTest: one call per press whatever
// the lock keys, a held key reported, nothing called after removal or stop.

#include "EngineTestSupport.h"

#include "Screencast.h"

#include <QtTest>

#include <algorithm>
#include <map>
#include <mutex>

using namespace et;

namespace {

constexpr unsigned kF7 = 0xffc4, kF8 = 0xffc5, kF9 = 0xffc6, kF10 = 0xffc7, kF12 = 0xffc9;
constexpr unsigned kCtrlShift = kHotKeyControl | kHotKeyShift;
constexpr uint16_t kXCtrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
// Pressed after each check: presses arrive in order, so once it is seen,
// every key pressed before it was handled.
constexpr int kSentinel = 99;

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
    int count(int id) { std::lock_guard<std::mutex> lock(m_mutex); return m_counts[id]; }
    void setHook(std::function<void(int)> hook) { std::lock_guard<std::mutex> lock(m_mutex); m_hook = std::move(hook); }

private:
    std::mutex m_mutex;
    std::map<int, int> m_counts;
    std::function<void(int)> m_hook;
};

// The other program's view of the keyboard.
struct Keyboard {
    XConn& x;
    xcb_keycode_t min = 8;
    int per = 1;
    std::vector<xcb_keysym_t> syms;

    explicit Keyboard(XConn& conn) : x(conn)
    {
        const xcb_setup_t* setup = xcb_get_setup(x.conn);
        min = setup->min_keycode;
        XReply<xcb_get_keyboard_mapping_reply_t> map(
            xcb_get_keyboard_mapping_reply(
                x.conn, xcb_get_keyboard_mapping(x.conn, min, uint8_t(setup->max_keycode - min + 1)), nullptr),
            &std::free);
        per = map->keysyms_per_keycode;
        const xcb_keysym_t* s = xcb_get_keyboard_mapping_keysyms(map.get());
        syms.assign(s, s + xcb_get_keyboard_mapping_keysyms_length(map.get()));
    }
    xcb_keycode_t code(unsigned keysym) const
    {
        const auto at = std::find(syms.begin(), syms.end(), keysym);
        return at == syms.end() ? 0 : xcb_keycode_t(min + (at - syms.begin()) / per);
    }
    uint16_t numLock()
    {
        XReply<xcb_get_modifier_mapping_reply_t> mods(
            xcb_get_modifier_mapping_reply(x.conn, xcb_get_modifier_mapping(x.conn), nullptr), &std::free);
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        for (int i = 0; i < 8 * mods->keycodes_per_modifier; ++i)
            if (codes[i] == code(0xff7f))
                return uint16_t(1u << (i / mods->keycodes_per_modifier));
        return 0;
    }
    // The X error of a grab by the other program (0: it got the key), let go at once unless `keep`.
    int grab(unsigned keysym, uint16_t modifiers, bool keep = false)
    {
        XReply<xcb_generic_error_t> error(
            xcb_request_check(x.conn, xcb_grab_key_checked(x.conn, 0, x.root(), modifiers, code(keysym),
                                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            &std::free);
        if (!error && !keep)
            ungrab(keysym, modifiers);
        x.sync();
        return error ? error->error_code : 0;
    }
    void ungrab(unsigned keysym, uint16_t modifiers)
    {
        xcb_ungrab_key(x.conn, code(keysym), x.root(), modifiers);
        x.sync();
    }
    uint16_t state()
    {
        XReply<xcb_query_pointer_reply_t> r(xcb_query_pointer_reply(x.conn, xcb_query_pointer(x.conn, x.root()), nullptr),
                                           &std::free);
        return r ? r->mask : 0;
    }
};

} // namespace

class TstHotKeysEngine : public QObject {
    Q_OBJECT

    Presses m_presses;
    std::unique_ptr<XConn> m_x;
    std::unique_ptr<Keyboard> m_keys;
    int m_threadsBefore = 0;
    int m_sentinels = 0;

    // Presses `keys` (xdotool's names) and waits for the sentinel after them.
    bool press(const QString& keys = QString())
    {
        if (!keys.isEmpty() && !xdotool({"key", keys}))
            return false;
        ++m_sentinels;
        return xdotool({"key", "ctrl+shift+F12"}) && waitUntil([&] { return m_presses.count(kSentinel) == m_sentinels; });
    }
    // A registration waits for the server's answer, which comes after every
    // event sent to the engine before: the engine has handled those then.
    void engineBarrier() { QCOMPARE(scRegisterHotKey(98, 0xffc3, kCtrlShift), int(kHotKeyOk)); scUnregisterHotKey(98); }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("DISPLAY").size(), "run inside scripts/with-test-env.sh");
        m_threadsBefore = threadCount();
        QCOMPARE(scInitialize(), int(kScInitOk));
        m_x.reset(new XConn);
        QVERIFY(m_x->ok());
        m_keys.reset(new Keyboard(*m_x));
    }
    void cleanupTestCase() { scUninitialize(); }
    void init()
    {
        scSetHotKeyCallback(&m_presses);
        QCOMPARE(scRegisterHotKey(kSentinel, kF12, kCtrlShift), int(kHotKeyOk));
        m_sentinels = m_presses.count(kSentinel);
    }
    void cleanup()
    {
        m_presses.setHook(nullptr);
        for (int id = 1; id <= 7; ++id)
            scUnregisterHotKey(id);
        const uint16_t state = m_keys->state();   // a failed check may leave a lock on
        if (state & XCB_MOD_MASK_LOCK)
            xdotool({"key", "Caps_Lock"});
        if (state & m_keys->numLock())
            xdotool({"key", "Num_Lock"});
    }
    // Once per press, whatever the locks; other modifiers make another key.
    void pressFiresOnce()
    {
        QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
        QVERIFY(press("ctrl+shift+F9") && press("ctrl+shift+F9"));
        QCOMPARE(m_presses.count(1), 2);
        QVERIFY(press("ctrl+F9") && press("ctrl+shift+super+F9") && press("shift+F9"));
        QCOMPARE(m_presses.count(1), 2);
        const uint16_t numLock = m_keys->numLock();
        QVERIFY(numLock != 0);
        for (const QStringList& locks : {QStringList{"Caps_Lock"}, {"Num_Lock"}, {"Caps_Lock", "Num_Lock"}}) {
            for (const QString& key : locks)
                QVERIFY(xdotool({"key", key}));
            QCOMPARE(bool(m_keys->state() & XCB_MOD_MASK_LOCK), locks.contains("Caps_Lock"));
            QCOMPARE(bool(m_keys->state() & numLock), locks.contains("Num_Lock"));
            const int before = m_presses.count(1);
            QVERIFY(press("ctrl+shift+F9"));
            QCOMPARE(m_presses.count(1), before + 1);
            for (const QString& key : locks)
                QVERIFY(xdotool({"key", key}));
        }
    }
    // Held by another client, even only its Num Lock variant: reported, no variant kept; once
    // free it works; a second id on the key is refused; a replaced key is let go.
    void keysTakenAndReplaced()
    {
        const uint16_t numLock = m_keys->numLock();
        QCOMPARE(m_keys->grab(kF10, kXCtrlShift, true), 0);
        QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyTaken));
        m_keys->ungrab(kF10, kXCtrlShift);
        QCOMPARE(m_keys->grab(kF10, uint16_t(kXCtrlShift | numLock), true), 0);
        QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyTaken));
        m_keys->ungrab(kF10, uint16_t(kXCtrlShift | numLock));
        for (uint16_t locks : {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), uint16_t(XCB_MOD_MASK_LOCK | numLock)})
            QCOMPARE(m_keys->grab(kF10, uint16_t(kXCtrlShift | locks)), 0);
        QCOMPARE(scRegisterHotKey(2, kF10, kCtrlShift), int(kHotKeyOk));
        QCOMPARE(scRegisterHotKey(3, kF10, kCtrlShift), int(kHotKeyTaken));
        QCOMPARE(m_keys->grab(kF10, kXCtrlShift), int(XCB_ACCESS));
        QVERIFY(press("ctrl+shift+F10"));
        QCOMPARE(m_presses.count(2), 1);
        QCOMPARE(m_presses.count(3), 0);

        const int before = m_presses.count(1);
        QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
        QCOMPARE(scRegisterHotKey(1, kF8, kCtrlShift), int(kHotKeyOk));
        QCOMPARE(m_keys->grab(kF9, kXCtrlShift), 0);
        QVERIFY(press("ctrl+shift+F9") && press("ctrl+shift+F8"));
        QCOMPARE(m_presses.count(1), before + 1);
        scUnregisterHotKey(1);
        QCOMPARE(m_keys->grab(kF8, kXCtrlShift), 0);
    }
    // Without a callback presses are dropped and keys stay grabbed; stopping ends the thread
    // and lets the keys go; a callback may register keys and even stop the engine.
    void callbackRemovalAndStops()
    {
        const int before = m_presses.count(1);
        QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyOk));
        scSetHotKeyCallback(nullptr);
        QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
        engineBarrier();
        scSetHotKeyCallback(&m_presses);
        QVERIFY(press());
        QCOMPARE(m_presses.count(1), before);
        QCOMPARE(m_keys->grab(kF9, kXCtrlShift), int(XCB_ACCESS));

        std::atomic<int> registered{-1};
        m_presses.setHook([&](int id) {
            if (id == 1) {
                registered = scRegisterHotKey(7, kF7, kCtrlShift);
                scUninitialize();
            }
        });
        QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
        QVERIFY(waitUntil([&] { return registered == kHotKeyOk; }));
        QVERIFY(waitUntil([&] { return threadCount() == m_threadsBefore; }));   // the thread ends by itself
        m_presses.setHook(nullptr);
        QCOMPARE(scRegisterHotKey(1, kF9, kCtrlShift), int(kHotKeyNoDisplay));
        QCOMPARE(m_keys->grab(kF7, kXCtrlShift), 0);
        QCOMPARE(m_keys->grab(kF9, kXCtrlShift), 0);
        QCOMPARE(scInitialize(), int(kScInitOk));
    }
};

QTEST_GUILESS_MAIN(TstHotKeysEngine)
#include "tst_hotkeys_engine.moc"
