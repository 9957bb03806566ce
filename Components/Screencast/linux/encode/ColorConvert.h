#pragma once

// Screen pixels (32-bit little-endian BGRX) to planar 4:2:0 YUV, limited
// range, BT.709 matrix: the form H.264 and 8-bit HEVC recordings take. It
// replaces swscale's generic path for this one case, which costs several
// times more; every chroma sample is the mean of its 2x2 pixels, so a band
// of rows converts on its own exactly as it would within the whole picture.

#include <cstdint>

namespace sc {
namespace rec {

struct PlanarPicture
{
    uint8_t* plane[3];
    int stride[3];
};

// `width` and `height` even; the fourth byte of a pixel is never read.
void bgraToI420Bt709(const uint8_t* bgra, int bgraStride, const PlanarPicture& out, int width, int height);

// The same without the vector instructions (also what they are checked against).
void bgraToI420Bt709Plain(const uint8_t* bgra, int bgraStride, const PlanarPicture& out, int width,
                          int height);

} // namespace rec
} // namespace sc
