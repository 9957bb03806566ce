#pragma once

#include <cstddef>

namespace sc {
namespace play {

// Room behind a picture that swscale writes into: its vector code may store
// whole vectors past the end of the last row.
constexpr std::size_t kSwsSlack = 256;

} // namespace play
} // namespace sc
