#pragma once

// The keyboard's input source (the XKB layout group).
//
// A layout group counts as Latin when its first shift level holds every
// letter from a to z, so that letter hotkeys are typed as themselves.
// GUI thread, like the rest of the interface.

// 1 when the active layout group is Latin, 0 when it is not, -1 when it
// cannot be told (engine not initialised, no XKB on the X server).
int scInputSourceIsLatin();
// Makes the first Latin layout group the active one (a lock, as a layout
// switcher does). 0 when the active group is Latin afterwards; -1 when no
// group is Latin or the X server cannot be asked.
int scSelectLatinInputSource();
