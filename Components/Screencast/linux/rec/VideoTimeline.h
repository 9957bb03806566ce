#pragma once

// The screen recorder's name for the pause spans it shares with the
// sound-only recorder.

#include "PauseSpans.h"

namespace sc {
namespace rec {

using Timeline = PauseSpans;

} // namespace rec
} // namespace sc
