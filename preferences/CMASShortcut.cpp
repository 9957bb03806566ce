#include "preferences/CMASShortcut.h"

#include <QCoreApplication>
#include <QEvent>
#include <QVariant>
#include <QWidget>

#include "platform/log/Log.h"

#include "preferences/HotKeyCallback.h"
#include "core/RecordTypes.h"
#include "platform/framework/VxSettings.h"

namespace {

const char* const kLogModule = "HotKey";

struct HotKeySetting {
    int id;
    const char* key;
    int defaultKeys;
};

// Ctrl+Shift with F8 to F12: Ctrl+Alt+F-keys switch virtual terminals on
// X servers, Alt+F-keys and Ctrl+F-keys belong to window managers and
// desktops, and Super combinations to the desktop shells.
const HotKeySetting kSettings[] = {
    {RP_HotKey_Pause, "keysPause", Qt::CTRL | Qt::SHIFT | Qt::Key_F10},
    {RP_HotKey_Stop, "keysStop", Qt::CTRL | Qt::SHIFT | Qt::Key_F9},
    {RP_HotKey_Snapshot, "keysSnapshot", Qt::CTRL | Qt::SHIFT | Qt::Key_F11},
    {RP_HotKey_WebCam, "keysWebCam", Qt::CTRL | Qt::SHIFT | Qt::Key_F12},
    {RP_HotKey_Float, "keysFloat", Qt::CTRL | Qt::SHIFT | Qt::Key_F8},
};

const HotKeySetting* setting(int id)
{
    for (const HotKeySetting& s : kSettings) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

// X keysyms of Qt's named keys.
struct KeyPair {
    int qt;
    unsigned int keysym;
};

const KeyPair kNamedKeys[] = {
    {Qt::Key_Escape, 0xff1b},   {Qt::Key_Tab, 0xff09},      {Qt::Key_Backtab, 0xff09},
    {Qt::Key_Backspace, 0xff08}, {Qt::Key_Return, 0xff0d},  {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Insert, 0xff63},   {Qt::Key_Delete, 0xffff},   {Qt::Key_Pause, 0xff13},
    {Qt::Key_Print, 0xff61},    {Qt::Key_SysReq, 0xff15},   {Qt::Key_Clear, 0xff0b},
    {Qt::Key_Home, 0xff50},     {Qt::Key_End, 0xff57},      {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},       {Qt::Key_Right, 0xff53},    {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},   {Qt::Key_PageDown, 0xff56}, {Qt::Key_Menu, 0xff67},
    {Qt::Key_Help, 0xff6a},
};

// The keypad's keys (Qt marks them with KeypadModifier). Grabbing a keypad
// key catches it with Num Lock on and off, as both keysyms sit on one key.
const KeyPair kKeypadKeys[] = {
    {Qt::Key_Asterisk, 0xffaa}, {Qt::Key_Plus, 0xffab},     {Qt::Key_Comma, 0xffac},
    {Qt::Key_Minus, 0xffad},    {Qt::Key_Period, 0xffae},   {Qt::Key_Slash, 0xffaf},
    {Qt::Key_Equal, 0xffbd},    {Qt::Key_Enter, 0xff8d},    {Qt::Key_Home, 0xff95},
    {Qt::Key_Left, 0xff96},     {Qt::Key_Up, 0xff97},       {Qt::Key_Right, 0xff98},
    {Qt::Key_Down, 0xff99},     {Qt::Key_PageUp, 0xff9a},   {Qt::Key_PageDown, 0xff9b},
    {Qt::Key_End, 0xff9c},      {Qt::Key_Clear, 0xff9d},    {Qt::Key_Insert, 0xff9e},
    {Qt::Key_Delete, 0xff9f},
};

unsigned int lookUp(const KeyPair* table, std::size_t size, int key)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (table[i].qt == key)
            return table[i].keysym;
    }
    return 0;
}

unsigned int keysymOf(int key, bool keypad)
{
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return 0xffb0 + unsigned(key - Qt::Key_0);
        if (unsigned int sym = lookUp(kKeypadKeys, sizeof kKeypadKeys / sizeof *kKeypadKeys, key))
            return sym;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xffbe + unsigned(key - Qt::Key_F1);
    // Qt names letters by their capital; X grabs the key by its plain
    // (lower-case) keysym. Latin-1 keysyms equal their code points.
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return unsigned(key) + 0x20;
    if (key >= 0xc0 && key <= 0xde && key != 0xd7)
        return unsigned(key) + 0x20;
    if ((key >= 0x20 && key <= 0x7e) || (key >= 0xa0 && key <= 0xff))
        return unsigned(key);
    return lookUp(kNamedKeys, sizeof kNamedKeys / sizeof *kNamedKeys, key);
}

} // namespace

CMASShortcut* CMASShortcut::s_pInstance = nullptr;

CMASShortcut* CMASShortcut::instance()
{
    if (!s_pInstance)
        s_pInstance = new CMASShortcut;
    return s_pInstance;
}

void CMASShortcut::release()
{
    delete s_pInstance;
    s_pInstance = nullptr;
}

CMASShortcut::~CMASShortcut()
{
    unregisterAll();
}

void CMASShortcut::reload()
{
    m_lstFailed.clear();
    // All go first, so that two hotkeys that swap their keys do not find
    // each other's old grab.
    for (const HotKeySetting& s : kSettings)
        scUnregisterHotKey(s.id);
    scSetHotKeyCallback(this);

    for (const HotKeySetting& s : kSettings) {
        const QKeySequence sequence = keySequence(s.id);
        const QByteArray text = sequence.toString(QKeySequence::PortableText).toUtf8();
        if (sequence.isEmpty()) {
            Log(kLogModule, LogLevel::Info, "hotkey %d (%s): none", s.id, s.key);
            continue;
        }
        unsigned int keysym = 0;
        unsigned int modifiers = 0;
        if (!toNativeKey(sequence, keysym, modifiers)) {
            const QByteArray stored =
                VxSettings::instance()->applicationParam(QString::fromLatin1(s.key)).toString().toUtf8();
            Log(kLogModule, LogLevel::Error, "hotkey %d (%s): \"%s\" cannot be a global hotkey", s.id, s.key,
                stored.constData());
            continue;
        }
        const int result = scRegisterHotKey(s.id, keysym, modifiers);
        switch (result) {
        case kHotKeyOk:
            Log(kLogModule, LogLevel::Info, "hotkey %d (%s): %s", s.id, s.key, text.constData());
            break;
        case kHotKeyTaken:
            m_lstFailed << s.id;
            Log(kLogModule, LogLevel::Error, "hotkey %d (%s): %s is used by another program", s.id, s.key, text.constData());
            break;
        case kHotKeyInvalid:
            Log(kLogModule, LogLevel::Error, "hotkey %d (%s): the keyboard has no key for %s", s.id, s.key, text.constData());
            break;
        default:
            Log(kLogModule, LogLevel::Error, "hotkey %d (%s): %s not registered (%d)", s.id, s.key, text.constData(), result);
            break;
        }
    }
}

void CMASShortcut::unregisterAll()
{
    // Waits for a press in flight, so nothing reaches this object later.
    scSetHotKeyCallback(nullptr);
    for (const HotKeySetting& s : kSettings)
        scUnregisterHotKey(s.id);
    m_lstFailed.clear();
}

QString CMASShortcut::withHotKey(const QString& text, int id)
{
    const QString key = keySequence(id).toString(QKeySequence::NativeText);
    return key.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, key);
}

QString CMASShortcut::hotKeyList()
{
    static const struct
    {
        int id;
        const char* name;
    } actions[] = {{RP_HotKey_Stop, QT_TRANSLATE_NOOP("CMASShortcut", "Start/Stop recording")},
                   {RP_HotKey_Pause, QT_TRANSLATE_NOOP("CMASShortcut", "Pause/Resume")},
                   {RP_HotKey_Snapshot, QT_TRANSLATE_NOOP("CMASShortcut", "Screenshot")},
                   {RP_HotKey_WebCam, QT_TRANSLATE_NOOP("CMASShortcut", "Webcam on/off")},
                   {RP_HotKey_Float, QT_TRANSLATE_NOOP("CMASShortcut", "Show/Hide the control bar")}};
    QStringList lines;
    for (const auto& action : actions) {
        QString key = keySequence(action.id).toString(QKeySequence::NativeText);
        if (key.isEmpty())
            key = QCoreApplication::translate("CMASShortcut", "none");
        lines << QStringLiteral("%1: %2").arg(QCoreApplication::translate("CMASShortcut", action.name), key);
    }
    return lines.join(QLatin1Char('\n'));
}

namespace {

class HotKeyTip : public QObject
{
public:
    HotKeyTip(QWidget* widget, const QString& text, int id)
        : QObject(widget)
        , m_text(text)
        , m_id(id)
    {
        setObjectName(QStringLiteral("hotKeyTip"));
        widget->setToolTip(CMASShortcut::withHotKey(text, id));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            static_cast<QWidget*>(watched)->setToolTip(CMASShortcut::withHotKey(m_text, m_id));
        return false;
    }

private:
    QString m_text;
    int m_id;
};

} // namespace

void CMASShortcut::showHotKeyInToolTip(QWidget* widget, const QString& text, int id)
{
    // A second call replaces the text (a language change).
    // Found by name: without a meta-object of its own the class cannot be
    // told from other children by type.
    for (QObject* old : widget->findChildren<QObject*>(QStringLiteral("hotKeyTip"), Qt::FindDirectChildrenOnly)) {
        widget->removeEventFilter(old);
        delete old;
    }
    widget->installEventFilter(new HotKeyTip(widget, text, id));
}

bool CMASShortcut::grabCancelKey()
{
    const unsigned int escape = 0xff1b;
    scSetHotKeyCallback(this);
    const int result = scRegisterHotKey(kCancelKeyId, escape, 0);
    if (result != kHotKeyOk)
        Log(kLogModule, LogLevel::Warning, "Esc not grabbed for the countdown (%d)", result);
    return result == kHotKeyOk;
}

void CMASShortcut::releaseCancelKey()
{
    scUnregisterHotKey(kCancelKeyId);
}

QString CMASShortcut::settingsKey(int id)
{
    const HotKeySetting* s = setting(id);
    return s ? QString::fromLatin1(s->key) : QString();
}

QKeySequence CMASShortcut::defaultKeySequence(int id)
{
    const HotKeySetting* s = setting(id);
    return s ? QKeySequence(s->defaultKeys) : QKeySequence();
}

QKeySequence CMASShortcut::keySequence(int id)
{
    const QString key = settingsKey(id);
    if (key.isEmpty())
        return QKeySequence();
    VxSettings* settings = VxSettings::instance();
    if (!settings->containsApplicationParam(key))
        return defaultKeySequence(id);
    const QVariant value = settings->applicationParam(key);
    if (value.userType() == QMetaType::QKeySequence)
        return value.value<QKeySequence>();
    return QKeySequence::fromString(value.toString().trimmed(), QKeySequence::PortableText);
}

bool CMASShortcut::toNativeKey(const QKeySequence& sequence, unsigned int& keysym, unsigned int& modifiers)
{
    if (sequence.isEmpty())
        return false;
    const int chord = sequence[0];
    const int key = chord & ~int(Qt::KeyboardModifierMask);
    const int qtModifiers = chord & int(Qt::KeyboardModifierMask);
    const unsigned int sym = keysymOf(key, (qtModifiers & Qt::KeypadModifier) != 0);
    if (sym == 0)
        return false;
    unsigned int bits = 0;
    if (qtModifiers & Qt::ShiftModifier)
        bits |= kHotKeyShift;
    if (qtModifiers & Qt::ControlModifier)
        bits |= kHotKeyControl;
    if (qtModifiers & Qt::AltModifier)
        bits |= kHotKeyAlt;
    if (qtModifiers & Qt::MetaModifier)
        bits |= kHotKeySuper;
    keysym = sym;
    modifiers = bits;
    return true;
}

void CMASShortcut::OnHotKey(int id)
{
    // The engine's hotkey thread: the handler takes it to the GUI thread.
    callback::onAction(id);
}
