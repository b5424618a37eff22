// Level 3 (AVX2) colour conversions (jpeg_colour_body.h): one vector of sixteen 16-bit lanes a step.
// Twins: jpeg_colour_sse2.cpp, jpeg_colour_sse41.cpp. RGB and BGR to YCbCr have a loop of their own
// (below).
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_shuffle.h"

namespace lumacore::avx2 {
namespace {

struct Ops {
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3(d, p0, p1, p2);
    }
    static void FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b);
    static void VideoRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                              __m128i* b);
    template <bool Chroma>
    static void YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr);
};

// The 16-bit lanes of YCbCr to R, G, B (x86::RgbWords): sixteen pixels in one vector.
struct Words256 {
    using V = __m256i;
    static V Set16(short k) { return _mm256_set1_epi16(k); }
    static V Set32(int k) { return _mm256_set1_epi32(k); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V MulHi16(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    static V MulLo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    template <int N>
    static V Srli16(V a) {
        return _mm256_srli_epi16(a, N);
    }
    template <int N>
    static V Srai32(V a) {
        return _mm256_srai_epi32(a, N);
    }
    static V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V UnpackLo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V UnpackHi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V Packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
};

// Words to bytes clamped to 0..255; the quadword permute puts the first operand's 16 low and the
// second's high.
inline __m256i PackPair(__m256i lo, __m256i hi) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
}

inline void PackRgb(__m256i r16, __m256i g16, __m256i b16, __m128i* r, __m128i* g, __m128i* b) {
    const __m256i rg = PackPair(r16, g16);
    *r = _mm256_castsi256_si128(rg);
    *g = _mm256_extracti128_si256(rg, 1);
    *b = _mm256_castsi256_si128(PackPair(b16, b16));
}

void Ops::FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                       __m128i* b) {
    const __m256i offset = _mm256_set1_epi16(128);
    const __m256i y = _mm256_cvtepu8_epi16(x86::Load16(ys));
    const __m256i cb = _mm256_sub_epi16(_mm256_cvtepu8_epi16(x86::Load16(cbs)), offset);
    const __m256i cr = _mm256_sub_epi16(_mm256_cvtepu8_epi16(x86::Load16(crs)), offset);
    __m256i r16, g16, b16;
    x86::RgbWords<Words256>(y, cb, cr, &r16, &g16, &b16);
    PackRgb(r16, g16, b16, r, g, b);
}

// Eight chroma samples, each doubled for its two luma samples.
void Ops::VideoRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                        __m128i* b) {
    const __m128i cb8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbs));
    const __m128i cr8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(crs));
    __m256i r16, g16, b16;
    x86::VideoRangeWords<Words256>(_mm256_cvtepu8_epi16(x86::Load16(ys)),
                                   _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(cb8, cb8)),
                                   _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(cr8, cr8)), &r16, &g16, &b16);
    PackRgb(r16, g16, b16, r, g, b);
}

// Sixteen pixels in one vector of 16-bit lanes (CMYK to YCCK and RGB to luma; RGB and BGR to YCbCr have
// their own loop below).
template <bool Chroma>
void Ops::YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr) {
    __m256i y16, cb16, cr16;
    x86::YCbCrWords<Words256, Chroma>(_mm256_cvtepu8_epi16(r), _mm256_cvtepu8_epi16(g),
                                      _mm256_cvtepu8_epi16(b), &y16, &cb16, &cr16);
    if constexpr (Chroma) {
        const __m256i yCb = PackPair(y16, cb16);
        *y = _mm256_castsi256_si128(yCb);
        *cb = _mm256_extracti128_si256(yCb, 1);
        *cr = _mm256_castsi256_si128(PackPair(cr16, cr16));
    } else {
        *y = _mm256_castsi256_si128(PackPair(y16, y16));
    }
}

inline __m256i Pair(int lo, int hi) {
    return _mm256_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(hi) << 16) | (static_cast<uint16_t>(lo))));
}

// Pixels 0-15 of a 32-pixel step in the low 128-bit half and 16-31 in the high one, each channel apart:
// the 16-pixel deinterleave of pixel_shuffle.h in both halves at once.
inline void LoadDeinterleaved3x2(const Lum8u* s, __m256i out[3]) {
    const auto& m = x86::kShuffleMasks.deinterleave;
    __m256i in[3];
    for (int i = 0; i < 3; ++i)
        in[i] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * i))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48 + 16 * i)), 1);
    for (int c = 0; c < 3; ++c) {
        __m256i v = _mm256_shuffle_epi8(in[0], _mm256_broadcastsi128_si256(x86::Mask(m[c][0])));
        for (int i = 1; i < 3; ++i)
            v = _mm256_or_si256(v,
                                _mm256_shuffle_epi8(in[i], _mm256_broadcastsi128_si256(x86::Mask(m[c][i]))));
        out[c] = v;
    }
}

// The generic code's sums, Y = 19595 R + 38470 G + 7471 B + 2^15, Cb = -11059 R - 21709 G + 32768 B +
// 8421375, Cr = 32768 R - 27439 G - 5329 B + 8421375, each shifted by 16, from 32-bit lanes that hold one
// pixel's (R, G) or (B, G) as two 16-bit values: one madd gives two products and their sum, exactly (no
// coefficient or sum leaves its range; 38470 G is 19235 G twice, and 32768 B is subtracted as -32768 B).
// 32 pixels a step; every widening and narrowing step works within 128-bit halves, in matching orders, so
// each half's 16 outputs come back in pixel order.
template <bool Bgr, typename Generic>
LumStatus ToYCbCrPairs(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep, LumiSize roi,
                       Generic generic) {
    const int whole = roi.width > 0 ? roi.width / 32 * 32 : 0;
    if (whole == 0 || pSrc == nullptr || pDst == nullptr || pDst[0] == nullptr || pDst[1] == nullptr ||
        pDst[2] == nullptr || srcStep <= 0 || dstStep <= 0 || roi.height <= 0)
        return generic(pSrc, srcStep, pDst, dstStep, roi);
    const __m256i yRg = Pair(19595, 19235), yBg = Pair(7471, 19235), cbRg = Pair(-11059, -21709),
                  crBg = Pair(-5329, -27439), minus32768 = Pair(-32768, 0);
    const __m256i lumaBias = _mm256_set1_epi32(32768), chromaBias = _mm256_set1_epi32(8421375);
    const __m256i zero = _mm256_setzero_si256();
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        const std::ptrdiff_t row = y * dstStep;
        for (int x = 0; x < whole; x += 32) {
            __m256i ch[3];
            LoadDeinterleaved3x2(s + 3 * x, ch);
            const __m256i r8 = Bgr ? ch[2] : ch[0], g8 = ch[1], b8 = Bgr ? ch[0] : ch[2];
            // Words: [0] pixels 0-7 | 16-23, [1] 8-15 | 24-31; pair vector i holds the first (i even) or
            // last four pixels of each half of word vector i / 2.
            const __m256i r[2] = {_mm256_unpacklo_epi8(r8, zero), _mm256_unpackhi_epi8(r8, zero)};
            const __m256i g[2] = {_mm256_unpacklo_epi8(g8, zero), _mm256_unpackhi_epi8(g8, zero)};
            const __m256i b[2] = {_mm256_unpacklo_epi8(b8, zero), _mm256_unpackhi_epi8(b8, zero)};
            __m256i outY[4], outCb[4], outCr[4];
            for (int i = 0; i < 4; ++i) {
                const int w = i / 2;
                const __m256i rg =
                    i % 2 == 0 ? _mm256_unpacklo_epi16(r[w], g[w]) : _mm256_unpackhi_epi16(r[w], g[w]);
                const __m256i bg =
                    i % 2 == 0 ? _mm256_unpacklo_epi16(b[w], g[w]) : _mm256_unpackhi_epi16(b[w], g[w]);
                const __m256i minus32768R = _mm256_madd_epi16(rg, minus32768);
                const __m256i minus32768B = _mm256_madd_epi16(bg, minus32768);
                outY[i] = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(rg, yRg), _mm256_madd_epi16(bg, yBg)),
                                     lumaBias),
                    16);
                outCb[i] = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_sub_epi32(_mm256_madd_epi16(rg, cbRg), minus32768B), chromaBias),
                    16);
                outCr[i] = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_sub_epi32(_mm256_madd_epi16(bg, crBg), minus32768R), chromaBias),
                    16);
            }
            // Words to bytes clamped to 0..255, undoing the unpacks: pixels 0-15 | 16-31.
            const auto pack = [](const __m256i* v) {
                return _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
            };
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst[0] + row + x), pack(outY));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst[1] + row + x), pack(outCb));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst[2] + row + x), pack(outCr));
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    Lum8u* const rest[3] = {pDst[0] + whole, pDst[1] + whole, pDst[2] + whole};
    return generic(pSrc + 3 * whole, srcStep, rest, dstStep, LumiSize{roi.width - whole, roi.height});
}

}  // namespace

LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCrPairs<true>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiBGRToYCbCr_JPEG_8u_C3P3R);
}

LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCrPairs<false>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiRGBToYCbCr_JPEG_8u_C3P3R);
}

// The others as levels 1 and 2 have them.
#define LUM_COLOUR_OWN_RGB_TO_YCBCR
#include "x86/jpeg_colour_exports.inc"
#undef LUM_COLOUR_OWN_RGB_TO_YCBCR

}  // namespace lumacore::avx2
