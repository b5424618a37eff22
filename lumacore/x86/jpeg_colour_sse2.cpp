// Level 1 (SSE2) colour conversions (jpeg_colour_body.h): four vectors of four 32-bit lanes a step, like
// level 2, without its two missing instructions. Twins: jpeg_colour_sse41.cpp, jpeg_colour_avx2.cpp.
//
// The 32-bit multiply is pmaddwd: every lane the conversions multiply holds a value within
// -32768..32767, so its high word is the low word's sign and the product with a constant kl of 16 bits
// is one pmaddwd against the pairs (kl, 0). A constant beyond 16 bits, k = 65536 kh + kl with kl within
// -32768..32767, adds kh times the lane shifted left by 16 (a shift alone for kh of -1, 1 or 2, which
// covers every constant used).
// Three-byte pixels go through the unpacks of pixel_unpack.h.
#include <emmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_unpack.h"

namespace lumacore::sse2 {
namespace {

struct Ops {
    using V = __m128i;
    static constexpr int kLanes = 4;
    static V Set(int k) { return _mm_set1_epi32(k); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Mul(V a, int k) {
        const int low = static_cast<Lum16s>(k & 0xFFFF);  // kl, signed
        const int high = (k - low) / 65536;               // kh
        const V product = _mm_madd_epi16(a, _mm_set1_epi32(low & 0xFFFF));
        switch (high) {
            case 0:
                return product;
            case 1:
                return _mm_add_epi32(product, _mm_slli_epi32(a, 16));
            case 2:
                return _mm_add_epi32(product, _mm_slli_epi32(a, 17));
            case -1:
                return _mm_sub_epi32(product, _mm_slli_epi32(a, 16));
            default:  // kh within -32768..32767: its product with the lane, shifted
                return _mm_add_epi32(product,
                                     _mm_slli_epi32(_mm_madd_epi16(a, _mm_set1_epi32(high & 0xFFFF)), 16));
        }
    }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    // Bytes 4i to 4i + 3 of `bytes`, zero-extended.
    static V Widen(__m128i bytes, int i) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i words = i < 2 ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
        return (i & 1) ? _mm_unpackhi_epi16(words, zero) : _mm_unpacklo_epi16(words, zero);
    }
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3Unpack(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3Unpack(d, p0, p1, p2);
    }
    static void FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b) {
        x86::FullRangeRgb128(ys, cbs, crs, r, g, b);
    }
    template <bool Chroma>
    static void YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr) {
        x86::YCbCr128<Chroma>(r, g, b, y, cb, cr);
    }
    // Sixteen lanes to sixteen bytes, clamped to 0..255.
    static __m128i PackBytes(const V v[4]) {
        return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    }
};

}  // namespace

#include "x86/jpeg_colour_exports.inc"

}  // namespace lumacore::sse2
