#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include "Screencast.h"

class QWidget;

// The global hotkeys: the five key settings ("keysPause", "keysStop",
// "keysSnapshot", "keysWebCam", "keysFloat", each a key sequence in
// QKeySequence::PortableText such as "Ctrl+Shift+F9") grabbed through the
// engine, and every press handed to callback::onAction with its RP_HotKey
// id. A setting that is absent means the default key; an empty one means
// no hotkey.
//
// GUI thread only, except OnHotKey, which the engine calls on its hotkey
// thread.
class CMASShortcut : public CHotKeyCallback
{
public:
    static CMASShortcut* instance();
    // Releases the hotkeys and destroys the object.
    static void release();

    // Grabs the five hotkeys afresh from the settings: after the engine
    // started, and whenever the hotkey settings changed.
    void reload();
    // Releases every hotkey; presses stop at once.
    void unregisterAll();
    // Esc as a global key of its own (id kCancelKeyId) while a countdown
    // runs: it cancels the countdown and never reaches the focused program.
    static constexpr int kCancelKeyId = 100;
    bool grabCancelKey();
    void releaseCancelKey();
    // RP_HotKey ids whose key could not be grabbed at the last reload()
    // because another program holds it (or another hotkey of ours has the
    // same key), in id order.
    QList<int> failedHotKeys() const { return m_lstFailed; }

    // The settings key of an RP_HotKey id; empty for an unknown id.
    static QString settingsKey(int id);
    static QKeySequence defaultKeySequence(int id);
    // The stored sequence; the default when none is stored, empty when the
    // user removed the hotkey.
    static QKeySequence keySequence(int id);
    // "text (key)" with the hotkey of `id` as the user sees it; the text
    // alone when that action has no hotkey.
    static QString withHotKey(const QString& text, int id);
    // One line per action, "name: key", for the hotkey reminder.
    static QString hotKeyList();
    // The tool tip of `widget` names the action and its current hotkey,
    // read each time the tip shows, so a changed key shows at once.
    static void showHotKeyInToolTip(QWidget* widget, const QString& text, int id);
    // The X keysym and ScHotKeyModifier bits of the sequence's first chord;
    // false for an empty sequence and for keys that cannot be grabbed (a
    // modifier alone, keys outside Latin-1 and the common named keys).
    static bool toNativeKey(const QKeySequence& sequence, unsigned int& keysym, unsigned int& modifiers);

    void OnHotKey(int id) override;

private:
    CMASShortcut() = default;
    ~CMASShortcut() override;
    CMASShortcut(const CMASShortcut&) = delete;
    CMASShortcut& operator=(const CMASShortcut&) = delete;

    static CMASShortcut* s_pInstance;
    QList<int> m_lstFailed;
};
