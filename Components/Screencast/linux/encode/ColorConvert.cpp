#include "encode/ColorConvert.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SC_HAVE_SSSE3 1
#endif

namespace sc {
namespace rec {

namespace {

// Luma weights scaled by 219/255 (limited range) and 128; chroma weights by
// 224/255 and 256, rounded so that every grey has a chroma of exactly 128.
constexpr int kYb = 8, kYg = 79, kYr = 23;
constexpr int kUb = 112, kUg = -86, kUr = -26;
constexpr int kVb = -10, kVg = -102, kVr = 112;

inline uint8_t lumaOf(const uint8_t* p)
{
    return uint8_t(((kYb * p[0] + kYg * p[1] + kYr * p[2] + 64) >> 7) + 16);
}

inline int average(int a, int b)
{
    return (a + b + 1) >> 1;
}

inline uint8_t clampByte(int v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Chroma of the 2x2 block whose top-left pixel is `top` (`bottom` below it):
// rows first, then columns, as the vector path averages.
void chromaOf(const uint8_t* top, const uint8_t* bottom, uint8_t& u, uint8_t& v)
{
    int c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = average(average(top[i], bottom[i]), average(top[i + 4], bottom[i + 4]));
    u = clampByte(((kUb * c[0] + kUg * c[1] + kUr * c[2] + 128) >> 8) + 128);
    v = clampByte(((kVb * c[0] + kVg * c[1] + kVr * c[2] + 128) >> 8) + 128);
}

// Columns [from, width) of one pair of rows.
void plainRows(const uint8_t* top, const uint8_t* bottom, uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v,
               int from, int width)
{
    for (int x = from; x < width; x += 2) {
        const uint8_t* a = top + x * 4;
        const uint8_t* b = bottom + x * 4;
        y0[x] = lumaOf(a);
        y0[x + 1] = lumaOf(a + 4);
        y1[x] = lumaOf(b);
        y1[x + 1] = lumaOf(b + 4);
        chromaOf(a, b, u[x / 2], v[x / 2]);
    }
}

#ifdef SC_HAVE_SSSE3

__attribute__((target("ssse3"))) inline __m128i weights(int b, int g, int r)
{
    return _mm_setr_epi8(char(b), char(g), char(r), 0, char(b), char(g), char(r), 0, char(b), char(g), char(r), 0,
                         char(b), char(g), char(r), 0);
}

// Sixteen pixels' luma.
__attribute__((target("ssse3"))) inline __m128i luma16(const uint8_t* p, __m128i w)
{
    const __m128i* in = reinterpret_cast<const __m128i*>(p);
    const __m128i bias = _mm_set1_epi16(64 + (16 << 7));
    __m128i lo = _mm_hadd_epi16(_mm_maddubs_epi16(_mm_loadu_si128(in), w),
                                _mm_maddubs_epi16(_mm_loadu_si128(in + 1), w));
    __m128i hi = _mm_hadd_epi16(_mm_maddubs_epi16(_mm_loadu_si128(in + 2), w),
                                _mm_maddubs_epi16(_mm_loadu_si128(in + 3), w));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, bias), 7);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, bias), 7);
    return _mm_packus_epi16(lo, hi);
}

// Four 2x2 means from eight pixels of two rows.
__attribute__((target("ssse3"))) inline __m128i blockMeans(const uint8_t* top, const uint8_t* bottom)
{
    const __m128i* a = reinterpret_cast<const __m128i*>(top);
    const __m128i* b = reinterpret_cast<const __m128i*>(bottom);
    const __m128 first = _mm_castsi128_ps(_mm_avg_epu8(_mm_loadu_si128(a), _mm_loadu_si128(b)));
    const __m128 second = _mm_castsi128_ps(_mm_avg_epu8(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1)));
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_avg_epu8(even, odd);
}

// Eight chroma samples of one plane from eight block means.
__attribute__((target("ssse3"))) inline void chroma8(__m128i m0, __m128i m1, __m128i w, uint8_t* out)
{
    __m128i sum = _mm_hadd_epi16(_mm_maddubs_epi16(m0, w), _mm_maddubs_epi16(m1, w));
    sum = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8), _mm_set1_epi16(128));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(sum, sum));
}

__attribute__((target("ssse3"))) void convertSsse3(const uint8_t* bgra, int bgraStride, const PlanarPicture& out,
                                                    int width, int height)
{
    const __m128i wy = weights(kYb, kYg, kYr);
    const __m128i wu = weights(kUb, kUg, kUr);
    const __m128i wv = weights(kVb, kVg, kVr);
    const int vectorWidth = width & ~15;
    for (int row = 0; row < height; row += 2) {
        const uint8_t* top = bgra + std::ptrdiff_t(row) * bgraStride;
        const uint8_t* bottom = top + bgraStride;
        uint8_t* y0 = out.plane[0] + std::ptrdiff_t(row) * out.stride[0];
        uint8_t* y1 = y0 + out.stride[0];
        uint8_t* u = out.plane[1] + std::ptrdiff_t(row / 2) * out.stride[1];
        uint8_t* v = out.plane[2] + std::ptrdiff_t(row / 2) * out.stride[2];
        for (int x = 0; x < vectorWidth; x += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y0 + x), luma16(top + x * 4, wy));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y1 + x), luma16(bottom + x * 4, wy));
            const __m128i m0 = blockMeans(top + x * 4, bottom + x * 4);
            const __m128i m1 = blockMeans(top + x * 4 + 32, bottom + x * 4 + 32);
            chroma8(m0, m1, wu, u + x / 2);
            chroma8(m0, m1, wv, v + x / 2);
        }
        plainRows(top, bottom, y0, y1, u, v, vectorWidth, width);
    }
}

#endif

} // namespace

void bgraToI420Bt709Plain(const uint8_t* bgra, int bgraStride, const PlanarPicture& out, int width, int height)
{
    for (int row = 0; row < height; row += 2) {
        const uint8_t* top = bgra + std::ptrdiff_t(row) * bgraStride;
        uint8_t* y0 = out.plane[0] + std::ptrdiff_t(row) * out.stride[0];
        plainRows(top, top + bgraStride, y0, y0 + out.stride[0],
                  out.plane[1] + std::ptrdiff_t(row / 2) * out.stride[1],
                  out.plane[2] + std::ptrdiff_t(row / 2) * out.stride[2], 0, width);
    }
}

void bgraToI420Bt709(const uint8_t* bgra, int bgraStride, const PlanarPicture& out, int width, int height)
{
#ifdef SC_HAVE_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        convertSsse3(bgra, bgraStride, out, width, height);
        return;
    }
#endif
    bgraToI420Bt709Plain(bgra, bgraStride, out, width, height);
}

} // namespace rec
} // namespace sc
