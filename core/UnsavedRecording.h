#pragma once

#include <QString>

// The recording the user has neither saved nor discarded yet. Its file is
// named by the settings key "outputVideo" from the moment it is known
// until it was saved or knowingly thrown away, so that a crash, a kill or
// a dead X server in between never loses it: the next start offers it, and
// nothing empties the temporary folder while it is there.
namespace UnsavedRecording {

// The file of the unsaved recording, "" when there is none. Only a file
// this program made in its temporary folder (or the engine's sound
// recording) counts; any other name is dropped from the settings. When no
// file is named, a sound-only recording interrupted in the engine's own
// files is made usable again and becomes the one named.
QString find();
// From now on `path` is the recording to keep until saved or discarded.
void remember(const QString& path);
// The recording was saved or discarded: it is not offered again.
void forget();
// The file has pictures (a movie); false for sound and for no file.
bool hasPictures(const QString& path);

} // namespace UnsavedRecording
