#pragma once

// Live sound levels of what is being recorded, and the microphone test.
//
// Whatever sound the engine mixes (a screen recording with sound, a
// sound-only recording, the microphone test below) is analysed on demand:
// the newest ~85 ms are windowed (Hann) and transformed, and the spectrum is
// summed into kScLevelBands bands spaced evenly on a log scale from
// kScLevelLowHz to kScLevelHighHz. Nothing is analysed while nobody asks, so
// a recording without a meter pays nothing but one atomic read per chunk.
//
// The query may be called from any thread; about 20 times a second suits a
// meter. The first call after a quiet time answers silence: the analyser
// starts keeping sound when it is first asked.

constexpr int kScLevelBands = 56;
constexpr int kScLevelValues = 2 * kScLevelBands;   // two floats per band
constexpr double kScLevelLowHz = 50.0;
constexpr double kScLevelHighHz = 16000.0;

// The lower edge of `band` in Hz; band kScLevelBands gives the top edge.
double scLevelBandEdge(int band);

// Fills up to `count` floats of `levels`, two per band, band i at 2i and 2i+1:
//   levels[2i]     the band's level now: the amplitude of a sine in it,
//                  0..1 (a full-scale sine gives 1), linear;
//   levels[2i + 1] the same level held at its peak and falling by about
//                  half every 300 ms, 0..1.
// Returns how many floats were written (at most kScLevelValues). When no
// sound was mixed in the last half second every value is 0.
int scGetAudioLevels(float* levels, int count);

// The microphone test: captures `captureDeviceId` (null or "" for the
// default input) without recording anything, so that scGetAudioLevels shows
// its levels. Starting again switches the device. 0 on success, -1 when the
// device cannot be opened. Calls come from the GUI thread.
int scStartMicLevelTest(const char* captureDeviceId);
// Ends the microphone test; nothing when none runs.
void scStopMicLevelTest();
