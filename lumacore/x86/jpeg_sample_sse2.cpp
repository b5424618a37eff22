// Level 1 (SSE2) 2:1 chroma resampling, also bound at level 2 (level 3 has the AVX2 twin,
// jpeg_sample_avx2.cpp). Sixteen source or destination samples a step in 16-bit lanes,
// with the generic code's sums, biases and shifts, so the results are the same bits; the columns that do
// not fill a step go to the generic code. Reads exactly the samples the generic code reads.
#include <emmintrin.h>

#include <cstddef>

#include "dispatch/level_impls.h"
#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_sample_up_body.h"

namespace lumacore::sse2 {
namespace {

inline __m128i Load(const Lum8u* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(Lum8u* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline __m128i Lo16(__m128i v) {
    return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}
inline __m128i Hi16(__m128i v) {
    return _mm_unpackhi_epi8(v, _mm_setzero_si128());
}

// Up-sampling of one row pair's weighted columns: even outputs (3 c[x] + c[x-1] + evenBias) >> Shift, odd
// ones (3 c[x] + c[x+1] + oddBias) >> Shift, for eight 16-bit columns; returns the sixteen outputs.
template <int Shift>
inline __m128i UpPairs(__m128i left, __m128i centre, __m128i right, __m128i evenBias, __m128i oddBias) {
    const __m128i c3 = _mm_add_epi16(_mm_add_epi16(centre, centre), centre);
    const __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, left), evenBias), Shift);
    const __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, right), oddBias), Shift);
    return _mm_or_si128(even, _mm_slli_epi16(odd, 8));  // each even/odd pair as two bytes
}

struct UpStep {
    static void H2V1(const Lum8u* s, Lum8u* d) {
        const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
        const __m128i l = Load(s - 1), c = Load(s), r = Load(s + 1);
        Store(d, UpPairs<2>(Lo16(l), Lo16(c), Lo16(r), one, two));
        Store(d + 16, UpPairs<2>(Hi16(l), Hi16(c), Hi16(r), one, two));
    }
    static void H2V2(const Lum8u* n, const Lum8u* f, Lum8u* d) {
        const __m128i eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7);
        __m128i col[3][2];
        for (int k = 0; k < 3; ++k) {
            const __m128i nv = Load(n - 1 + k), fv = Load(f - 1 + k);
            for (int half = 0; half < 2; ++half) {
                const __m128i nn = half == 0 ? Lo16(nv) : Hi16(nv), ff = half == 0 ? Lo16(fv) : Hi16(fv);
                col[k][half] = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(nn, nn), nn), ff);
            }
        }
        Store(d, UpPairs<4>(col[0][0], col[1][0], col[2][0], eight, seven));
        Store(d + 16, UpPairs<4>(col[0][1], col[1][1], col[2][1], eight, seven));
    }
};

}  // namespace

LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V1<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V2<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleDownH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = dstRoiSize.width / 16 * 16;  // destination columns done here
    const __m128i low = _mm_set1_epi16(0xFF), one = _mm_set1_epi16(1);
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16) {
            __m128i out[2];
            for (int half = 0; half < 2; ++half) {
                const __m128i v = Load(s + 2 * x + 16 * half);
                const __m128i sum = _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
                out[half] = _mm_srli_epi16(_mm_add_epi16(sum, one), 1);
            }
            Store(d + x, _mm_packus_epi16(out[0], out[1]));
        }
    }
    if (whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleDownH2V1_JPEG_8u_C1R(pSrc + 2 * whole, srcStep, srcRoiSize, pDst + whole, dstStep,
                                             LumiSize{dstRoiSize.width - whole, dstRoiSize.height});
}

LumStatus lumiSampleDownH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = dstRoiSize.width / 16 * 16;
    const __m128i low = _mm_set1_epi16(0xFF), three = _mm_set1_epi16(3);
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        const Lum8u* s0 = pSrc + 2 * y * srcStep;
        const Lum8u* s1 = s0 + srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16) {
            __m128i out[2];
            for (int half = 0; half < 2; ++half) {
                const __m128i a = Load(s0 + 2 * x + 16 * half), b = Load(s1 + 2 * x + 16 * half);
                const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
                                                  _mm_add_epi16(_mm_and_si128(b, low), _mm_srli_epi16(b, 8)));
                out[half] = _mm_srli_epi16(_mm_add_epi16(sum, three), 2);
            }
            Store(d + x, _mm_packus_epi16(out[0], out[1]));
        }
    }
    if (whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleDownH2V2_JPEG_8u_C1R(pSrc + 2 * whole, srcStep, srcRoiSize, pDst + whole, dstStep,
                                             LumiSize{dstRoiSize.width - whole, dstRoiSize.height});
}

}  // namespace lumacore::sse2
