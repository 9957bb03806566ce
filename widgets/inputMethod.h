#pragma once

// The keyboard's input source as hotkey entry needs it: hotkeys are named
// by Latin letters, so a non-Latin layout would record the wrong key.
class inputMethod
{
public:
    // True when the active layout types Latin letters, and also when that
    // cannot be told (no keyboard extension): entry is never blocked for
    // want of an answer.
    static bool currentInputMethodIsABC();
    // Switches to the first Latin layout, when there is one.
    static void setInputMethodABC();
};
