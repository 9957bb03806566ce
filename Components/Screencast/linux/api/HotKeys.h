#pragma once

// Global hotkeys: one thread with an X connection of its own that holds the
// passive key grabs on the root window and calls the registered
// CHotKeyCallback. Every X request of the hotkeys runs on that thread, so
// the grabs belong to its connection and end with it.

namespace sc {

// Forgets the callback (waiting for one in flight on another thread), ends
// the hotkey thread and so releases every grab. From inside a callback the
// thread is let go and ends after it. Safe when nothing runs.
void stopHotKeys();

} // namespace sc
