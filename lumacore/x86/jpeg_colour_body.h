// The colour conversions shared by levels 1 (SSE2), 2 (SSE4.1) and 3 (AVX2): full-range YCbCr to and from
// interleaved BGR and RGB, luma from RGB, inverted CMYK to and from YCCK, and the video-range 4:2:0 to BGR
// conversion of decoded MPEG-4 pictures.
//
// Sixteen pixels a step, the arithmetic in 16-bit lanes with the products summed by pmaddwd where a sum
// needs 32 bits: the generic code's fixed-point terms, sums and shifts exactly (its tables hold these
// products), so the results are the same bits. The columns that do not fill a step go to the generic
// code, which also makes the argument checks. `O` supplies one instruction set's steps of sixteen pixels:
// the byte shuffles of three-byte pixels (`LoadDeinterleaved3`, `StoreInterleaved3`) and the arithmetic
// (`FullRangeRgb`, `YCbCr`, `VideoRangeRgb`), which levels 1 and 2 run on two 128-bit vectors (the
// `...128` functions below) and level 3 on one 256-bit vector, through the same `...Words` templates.
// Four-byte pixels take the unpacks of pixel_unpack.h at every level.
#ifndef LUMACORE_X86_JPEG_COLOUR_BODY_H
#define LUMACORE_X86_JPEG_COLOUR_BODY_H

#include <emmintrin.h>

#include <cstddef>

#include "lumacore/lumacore.h"
#include "x86/pixel_unpack.h"

namespace lumacore::x86 {
// Internal to each including file (see pixel_shuffle.h).
namespace {

constexpr int kColourStep = 16;

inline __m128i Load16(const Lum8u* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// A 32-bit lane of the 16-bit pair (lo, hi), for pmaddwd.
constexpr int PairOf(int lo, int hi) {
    return static_cast<int>((static_cast<unsigned>(hi) << 16) | (static_cast<unsigned>(lo) & 0xFFFF));
}

// Full-range YCbCr to R, G, B: R = Y + (91881 Cr' + 2^15) >> 16, G = Y + (-22554 Cb' - 46802 Cr' + 2^15)
// >> 16, B = Y + (116130 Cb' + 2^15) >> 16, with Cb' = Cb - 128 and Cr' = Cr - 128, in 16-bit lanes.
// (x k + 2^15) >> 16 is the high half of x k plus the top bit of its low half, so the rounded product of a
// 16-bit factor is pmulhw plus pmullw >> 15; 91881 = 65536 + 26345 and 116130 = 2 * 65536 - 14942 leave
// such factors. G's two products are summed in 32 bits by one pmaddwd of (Cb', Cr') pairs against
// (-22554, 18734), with -46802 = -65536 + 18734. Exact for every Cb', Cr'; sums within -400..700, which the
// caller's pack to bytes clamps. `W` supplies the 16-bit-lane vector and its operations (128 bits below,
// 256 bits at level 3).
template <typename W>
inline typename W::V RoundedProduct16(typename W::V x, short k) {
    const typename W::V kv = W::Set16(k);
    return W::Add16(W::MulHi16(x, kv), W::template Srli16<15>(W::MulLo16(x, kv)));
}

template <typename W>
inline void RgbWords(typename W::V y, typename W::V cb, typename W::V cr, typename W::V* r, typename W::V* g,
                     typename W::V* b) {
    using V = typename W::V;
    const V gFactors = W::Set32((18734 << 16) | (-22554 & 0xFFFF)), half = W::Set32(32768);
    *r = W::Add16(W::Add16(y, cr), RoundedProduct16<W>(cr, 26345));
    *b = W::Add16(W::Add16(y, W::Add16(cb, cb)), RoundedProduct16<W>(cb, -14942));
    // The pairs of the low and high half of each 128-bit lane; the pack puts them back in order.
    const V gLo = W::template Srai32<16>(W::Add32(W::Madd(W::UnpackLo16(cb, cr), gFactors), half));
    const V gHi = W::template Srai32<16>(W::Add32(W::Madd(W::UnpackHi16(cb, cr), gFactors), half));
    *g = W::Add16(W::Sub16(y, cr), W::Packs32(gLo, gHi));
}

struct Words128 {
    using V = __m128i;
    static V Set16(short k) { return _mm_set1_epi16(k); }
    static V Set32(int k) { return _mm_set1_epi32(k); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    static V MulHi16(V a, V b) { return _mm_mulhi_epi16(a, b); }
    static V MulLo16(V a, V b) { return _mm_mullo_epi16(a, b); }
    template <int N>
    static V Srli16(V a) {
        return _mm_srli_epi16(a, N);
    }
    template <int N>
    static V Srai32(V a) {
        return _mm_srai_epi32(a, N);
    }
    static V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V UnpackLo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V UnpackHi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V Packs32(V a, V b) { return _mm_packs_epi32(a, b); }
};

// Sixteen pixels as two vectors of eight 16-bit lanes (levels 1 and 2).
inline void FullRangeRgb128(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                            __m128i* b) {
    const __m128i zero = _mm_setzero_si128(), offset = _mm_set1_epi16(128);
    const __m128i y8 = Load16(ys), cb8 = Load16(cbs), cr8 = Load16(crs);
    __m128i outR[2], outG[2], outB[2];
    for (int h = 0; h < 2; ++h) {
        const __m128i y = h ? _mm_unpackhi_epi8(y8, zero) : _mm_unpacklo_epi8(y8, zero);
        const __m128i cb =
            _mm_sub_epi16(h ? _mm_unpackhi_epi8(cb8, zero) : _mm_unpacklo_epi8(cb8, zero), offset);
        const __m128i cr =
            _mm_sub_epi16(h ? _mm_unpackhi_epi8(cr8, zero) : _mm_unpacklo_epi8(cr8, zero), offset);
        RgbWords<Words128>(y, cb, cr, &outR[h], &outG[h], &outB[h]);
    }
    *r = _mm_packus_epi16(outR[0], outR[1]);
    *g = _mm_packus_epi16(outG[0], outG[1]);
    *b = _mm_packus_epi16(outB[0], outB[1]);
}

// Video range: R = (76284 Y + 104595 Cr - 14608704) >> 16, G = (76284 Y - 25690 Cb - 53281 Cr + 8887744)
// >> 16, B = (76284 Y + 132186 Cb - 18140352) >> 16, the offsets folded into the constants. In 16-bit
// lanes each factor beyond 16 bits and each constant splits into a multiple of 65536, which leaves the
// shift whole (76284 = 65536 + 10748, 104595 = 2 * 65536 - 26477, 132186 = 2 * 65536 + 1114,
// -53281 = -65536 + 12255, and -223, 136, -277 times 65536 from the constants), and a rest summed by
// pmaddwd of (Y, Cr), (Y, Cb) and (Cr, 1) pairs. Exact for every Y, Cb, Cr.
template <typename W>
inline void VideoRangeWords(typename W::V y, typename W::V cb, typename W::V cr, typename W::V* r,
                            typename W::V* g, typename W::V* b) {
    using V = typename W::V;
    // The pmaddwd sums of the low and high half of each 128-bit lane, shifted and packed back in order.
    auto sum = [](V lo, V hi) { return W::Packs32(W::template Srai32<16>(lo), W::template Srai32<16>(hi)); };
    const V one = W::Set16(1);
    const V yCr[2] = {W::UnpackLo16(y, cr), W::UnpackHi16(y, cr)};
    const V yCb[2] = {W::UnpackLo16(y, cb), W::UnpackHi16(y, cb)};
    const V crOne[2] = {W::UnpackLo16(cr, one), W::UnpackHi16(cr, one)};
    V tr[2], tg[2], tb[2];
    for (int i = 0; i < 2; ++i) {
        tr[i] = W::Add32(W::Madd(yCr[i], W::Set32(PairOf(10748, -26477))), W::Set32(5824));
        tb[i] = W::Add32(W::Madd(yCb[i], W::Set32(PairOf(10748, 1114))), W::Set32(13120));
        tg[i] = W::Add32(W::Madd(yCb[i], W::Set32(PairOf(10748, -25690))),
                         W::Madd(crOne[i], W::Set32(PairOf(12255, -25152))));
    }
    *r = W::Add16(W::Add16(y, W::Add16(cr, cr)), W::Add16(sum(tr[0], tr[1]), W::Set16(-223)));
    *g = W::Add16(W::Sub16(y, cr), W::Add16(sum(tg[0], tg[1]), W::Set16(136)));
    *b = W::Add16(W::Add16(y, W::Add16(cb, cb)), W::Add16(sum(tb[0], tb[1]), W::Set16(-277)));
}

// Sixteen pixels of a 4:2:0 row (eight chroma samples, each doubled so that every lane has its luma
// sample's chroma) as two vectors of eight 16-bit lanes (levels 1 and 2).
inline void VideoRangeRgb128(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i y8 = Load16(ys);
    const __m128i cb8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbs));
    const __m128i cr8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(crs));
    const __m128i cb16 = _mm_unpacklo_epi8(cb8, zero), cr16 = _mm_unpacklo_epi8(cr8, zero);
    __m128i outR[2], outG[2], outB[2];
    for (int h = 0; h < 2; ++h) {
        const __m128i y = h ? _mm_unpackhi_epi8(y8, zero) : _mm_unpacklo_epi8(y8, zero);
        const __m128i cb = h ? _mm_unpackhi_epi16(cb16, cb16) : _mm_unpacklo_epi16(cb16, cb16);
        const __m128i cr = h ? _mm_unpackhi_epi16(cr16, cr16) : _mm_unpacklo_epi16(cr16, cr16);
        VideoRangeWords<Words128>(y, cb, cr, &outR[h], &outG[h], &outB[h]);
    }
    *r = _mm_packus_epi16(outR[0], outR[1]);
    *g = _mm_packus_epi16(outG[0], outG[1]);
    *b = _mm_packus_epi16(outB[0], outB[1]);
}

// Channel order of the interleaved side. CMYK is stored inverted (255 - R, 255 - G, 255 - B, then K,
// which passes through as the fourth plane).
enum class Packed { kRgb, kBgr, kCmyk };

template <Packed P>
constexpr int kChannels = P == Packed::kCmyk ? 4 : 3;

// Whether the call is one the vector loop takes; anything else (including every invalid argument) goes
// to the generic code whole, which answers with its own status.
template <int Planes, typename PlaneArray>
bool VectorCall(PlaneArray planes, const void* packed, int srcStep, int dstStep, LumiSize roi) {
    if (roi.width < kColourStep || roi.height <= 0 || planes == nullptr || packed == nullptr ||
        srcStep <= 0 || dstStep <= 0)
        return false;
    for (int c = 0; c < Planes; ++c)
        if (planes[c] == nullptr) return false;
    return true;
}

inline __m128i InvertBytes(__m128i v) {
    return _mm_xor_si128(v, _mm_set1_epi8(-1));
}

template <typename O, Packed P, typename Generic>
LumStatus FromYCbCr(const Lum8u* const* pSrc, int srcStep, Lum8u* pDst, int dstStep, LumiSize roi,
                    Generic generic) {
    constexpr int n = kChannels<P>;
    if (!VectorCall<n>(pSrc, pDst, srcStep, dstStep, roi)) return generic(pSrc, srcStep, pDst, dstStep, roi);
    const int whole = roi.width / kColourStep * kColourStep;
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const std::ptrdiff_t row = y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += kColourStep) {
            __m128i r, g, b;
            O::FullRangeRgb(pSrc[0] + row + x, pSrc[1] + row + x, pSrc[2] + row + x, &r, &g, &b);
            if constexpr (P == Packed::kCmyk)
                StoreInterleaved4(d + n * x, InvertBytes(r), InvertBytes(g), InvertBytes(b),
                                  Load16(pSrc[3] + row + x));
            else if constexpr (P == Packed::kBgr)
                O::StoreInterleaved3(d + n * x, b, g, r);
            else
                O::StoreInterleaved3(d + n * x, r, g, b);
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    const Lum8u* rest[4] = {};
    for (int c = 0; c < n; ++c) rest[c] = pSrc[c] + whole;
    return generic(rest, srcStep, pDst + n * whole, dstStep, LumiSize{roi.width - whole, roi.height});
}

// Y = (19595 R + 38470 G + 7471 B + 2^15) >> 16, Cb = (-11059 R - 21709 G + 32768 B + 8421375) >> 16 and
// Cr = (32768 R - 27439 G - 5329 B + 8421375) >> 16 from 16-bit lanes, the sums exactly as the generic
// code makes them: one pmaddwd of each pixel's (R, G) or (B, G) gives two products and their sum (38470 G
// is 19235 G twice; 32768 B and 32768 R are subtracted as -32768 B and -32768 R). The results come back
// as 16-bit lanes in pixel order (the pack undoes the unpacks' split of each 128-bit lane).
template <typename W, bool Chroma>
inline void YCbCrWords(typename W::V r, typename W::V g, typename W::V b, typename W::V* y, typename W::V* cb,
                       typename W::V* cr) {
    using V = typename W::V;
    const V rg[2] = {W::UnpackLo16(r, g), W::UnpackHi16(r, g)};
    const V bg[2] = {W::UnpackLo16(b, g), W::UnpackHi16(b, g)};
    V outY[2], outCb[2], outCr[2];
    for (int i = 0; i < 2; ++i) {
        outY[i] = W::template Srai32<16>(W::Add32(W::Add32(W::Madd(rg[i], W::Set32(PairOf(19595, 19235))),
                                                           W::Madd(bg[i], W::Set32(PairOf(7471, 19235)))),
                                                  W::Set32(32768)));
        if constexpr (Chroma) {
            const V minus32768 = W::Set32(PairOf(-32768, 0)), bias = W::Set32(8421375);
            outCb[i] = W::template Srai32<16>(W::Add32(
                W::Sub32(W::Madd(rg[i], W::Set32(PairOf(-11059, -21709))), W::Madd(bg[i], minus32768)),
                bias));
            outCr[i] = W::template Srai32<16>(W::Add32(
                W::Sub32(W::Madd(bg[i], W::Set32(PairOf(-5329, -27439))), W::Madd(rg[i], minus32768)), bias));
        }
    }
    *y = W::Packs32(outY[0], outY[1]);
    if constexpr (Chroma) {
        *cb = W::Packs32(outCb[0], outCb[1]);
        *cr = W::Packs32(outCr[0], outCr[1]);
    }
}

// Sixteen pixels' R, G, B bytes to their Y (and Cb, Cr) bytes, as two vectors of eight 16-bit lanes
// (levels 1 and 2).
template <bool Chroma>
inline void YCbCr128(__m128i r8, __m128i g8, __m128i b8, __m128i* y, __m128i* cb, __m128i* cr) {
    const __m128i zero = _mm_setzero_si128();
    __m128i outY[2], outCb[2], outCr[2];
    for (int h = 0; h < 2; ++h) {
        const __m128i r = h ? _mm_unpackhi_epi8(r8, zero) : _mm_unpacklo_epi8(r8, zero);
        const __m128i g = h ? _mm_unpackhi_epi8(g8, zero) : _mm_unpacklo_epi8(g8, zero);
        const __m128i b = h ? _mm_unpackhi_epi8(b8, zero) : _mm_unpacklo_epi8(b8, zero);
        YCbCrWords<Words128, Chroma>(r, g, b, &outY[h], &outCb[h], &outCr[h]);
    }
    *y = _mm_packus_epi16(outY[0], outY[1]);
    if constexpr (Chroma) {
        *cb = _mm_packus_epi16(outCb[0], outCb[1]);
        *cr = _mm_packus_epi16(outCr[0], outCr[1]);
    }
}

// The steps of levels 1 and 2, which differ only in their shuffles of three-byte pixels (`S`).
template <typename S>
struct Ops128 : S {
    static void FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b) {
        FullRangeRgb128(ys, cbs, crs, r, g, b);
    }
    static void VideoRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                              __m128i* b) {
        VideoRangeRgb128(ys, cbs, crs, r, g, b);
    }
    template <bool Chroma>
    static void YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr) {
        YCbCr128<Chroma>(r, g, b, y, cb, cr);
    }
};

inline void Store16(Lum8u* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <typename O, Packed P, typename Generic>
LumStatus ToYCbCr(const Lum8u* pSrc, int srcStep, Lum8u* const* pDst, int dstStep, LumiSize roi,
                  Generic generic) {
    constexpr int n = kChannels<P>;
    if (!VectorCall<n>(pDst, pSrc, srcStep, dstStep, roi)) return generic(pSrc, srcStep, pDst, dstStep, roi);
    const int whole = roi.width / kColourStep * kColourStep;
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        const std::ptrdiff_t row = y * dstStep;
        for (int x = 0; x < whole; x += kColourStep) {
            __m128i ch[4];
            if constexpr (P == Packed::kCmyk) {
                LoadDeinterleaved4(s + n * x, ch);
                for (int c = 0; c < 3; ++c) ch[c] = InvertBytes(ch[c]);
                Store16(pDst[3] + row + x, ch[3]);
            } else {
                O::LoadDeinterleaved3(s + n * x, ch);
            }
            constexpr bool bgr = P == Packed::kBgr;
            __m128i luma, cb, cr;
            O::template YCbCr<true>(bgr ? ch[2] : ch[0], ch[1], bgr ? ch[0] : ch[2], &luma, &cb, &cr);
            Store16(pDst[0] + row + x, luma);
            Store16(pDst[1] + row + x, cb);
            Store16(pDst[2] + row + x, cr);
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    Lum8u* rest[4] = {};
    for (int c = 0; c < n; ++c) rest[c] = pDst[c] + whole;
    return generic(pSrc + n * whole, srcStep, rest, dstStep, LumiSize{roi.width - whole, roi.height});
}

// Luma alone from RGB, for grey-scale output.
template <typename O, typename Generic>
LumStatus RgbToLuma(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep, LumiSize roi, Generic generic) {
    if (!VectorCall<1>(&pDst, pSrc, srcStep, dstStep, roi)) return generic(pSrc, srcStep, pDst, dstStep, roi);
    const int whole = roi.width / kColourStep * kColourStep;
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += kColourStep) {
            __m128i ch[3];
            O::LoadDeinterleaved3(s + 3 * x, ch);
            __m128i luma;
            O::template YCbCr<false>(ch[0], ch[1], ch[2], &luma, nullptr, nullptr);
            Store16(d + x, luma);
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    return generic(pSrc + 3 * whole, srcStep, pDst + whole, dstStep, LumiSize{roi.width - whole, roi.height});
}

template <typename O, typename Generic>
LumStatus Ycbcr420ToBgr(const Lum8u* const pSrc[3], const int srcStep[3], Lum8u* pDst, int dstStep,
                        LumiSize roi, Generic generic) {
    const int whole = roi.width > 0 ? roi.width / kColourStep * kColourStep : 0;
    if (whole == 0 || pSrc == nullptr || pDst == nullptr || srcStep == nullptr || pSrc[0] == nullptr ||
        pSrc[1] == nullptr || pSrc[2] == nullptr || srcStep[0] <= 0 || srcStep[1] <= 0 || srcStep[2] <= 0 ||
        dstStep <= 0 || roi.height <= 0)
        return generic(pSrc, srcStep, pDst, dstStep, roi);
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* ys = pSrc[0] + y * srcStep[0];
        const Lum8u* cbs = pSrc[1] + (y >> 1) * srcStep[1];
        const Lum8u* crs = pSrc[2] + (y >> 1) * srcStep[2];
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += kColourStep) {
            __m128i r, g, b;
            O::VideoRangeRgb(ys + x, cbs + x / 2, crs + x / 2, &r, &g, &b);
            O::StoreInterleaved3(d + 3 * x, b, g, r);
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    // The remainder starts on an even column, so its chroma starts at whole / 2.
    const Lum8u* const rest[3] = {pSrc[0] + whole, pSrc[1] + whole / 2, pSrc[2] + whole / 2};
    return generic(rest, srcStep, pDst + 3 * whole, dstStep, LumiSize{roi.width - whole, roi.height});
}

}  // namespace
}  // namespace lumacore::x86

#endif
