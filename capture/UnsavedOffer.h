#pragma once

#include <QString>

class VxMainWindowBase;

// The recording the user has neither saved nor discarded, put before them
// again: at start-up, and before a new recording, which would empty the
// temporary folder or reuse the file's name.
namespace UnsavedOffer {

// Opens the preview on the unsaved recording at `path`, as a movie or as
// sound by what the file holds (not by whether it exists: a restored sound
// recording is a file too). The preview's exec() result.
int restore(const QString& path, VxMainWindowBase* frame);
// Settles the unsaved recording, if there is one, before a new recording:
// restore it now, discard it, or cancel. True when the new recording may
// start: there was none, it was discarded, or saved or discarded in its
// preview.
bool settleBeforeRecording(VxMainWindowBase* frame);

} // namespace UnsavedOffer
