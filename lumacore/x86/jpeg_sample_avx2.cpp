// Level 3 (AVX2) 2:1 chroma up-sampling. Sixteen source samples a step, widened to 16-bit lanes straight
// from memory, with the generic code's sums, biases and shifts, so the results are the same bits; the
// columns that do not fill a step go to the generic code. Reads exactly the samples the generic code
// reads. Twin: jpeg_sample_sse2.cpp (down-sampling stays there at every level).
#include <immintrin.h>

#include <cstddef>

#include "dispatch/level_impls.h"
#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"

namespace lumacore::avx2 {
namespace {

// Sixteen samples from `p` in 16-bit lanes.
inline __m256i Widen(const Lum8u* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Even outputs (3 c[x] + c[x-1] + evenBias) >> Shift, odd ones (3 c[x] + c[x+1] + oddBias) >> Shift, for
// sixteen 16-bit columns; each lane then holds its even and odd output as two bytes, in output order.
template <int Shift>
inline __m256i UpPairs(__m256i left, __m256i centre, __m256i right, __m256i evenBias, __m256i oddBias) {
    const __m256i c3 = _mm256_add_epi16(_mm256_add_epi16(centre, centre), centre);
    const __m256i even = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(c3, left), evenBias), Shift);
    const __m256i odd = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(c3, right), oddBias), Shift);
    return _mm256_or_si256(even, _mm256_slli_epi16(odd, 8));
}

inline void Store(Lum8u* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

}  // namespace

LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = (dstRoiSize.width >> 1) / 16 * 16;  // source columns done here
    const __m256i one = _mm256_set1_epi16(1), two = _mm256_set1_epi16(2);
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16)
            Store(d + 2 * x, UpPairs<2>(Widen(s + x - 1), Widen(s + x), Widen(s + x + 1), one, two));
    }
    if (2 * whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleUpH2V1_JPEG_8u_C1R(pSrc + whole, srcStep, srcRoiSize, pDst + 2 * whole, dstStep,
                                           LumiSize{dstRoiSize.width - 2 * whole, dstRoiSize.height});
}

LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = (dstRoiSize.width >> 1) / 16 * 16;
    const __m256i eight = _mm256_set1_epi16(8), seven = _mm256_set1_epi16(7);
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        // Even output rows take the source row above as the far row, odd ones the row below. Each column
        // weighs 3 near + far; the horizontal filter then weighs the columns 3:1.
        const std::ptrdiff_t nearRow = y >> 1;
        const std::ptrdiff_t farRow = (y & 1) == 0 ? nearRow - 1 : nearRow + 1;
        const Lum8u* n = pSrc + nearRow * srcStep;
        const Lum8u* f = pSrc + farRow * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16) {
            __m256i col[3];
            for (int k = 0; k < 3; ++k) {
                const __m256i nn = Widen(n + x - 1 + k);
                col[k] =
                    _mm256_add_epi16(_mm256_add_epi16(_mm256_add_epi16(nn, nn), nn), Widen(f + x - 1 + k));
            }
            Store(d + 2 * x, UpPairs<4>(col[0], col[1], col[2], eight, seven));
        }
    }
    if (2 * whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleUpH2V2_JPEG_8u_C1R(pSrc + whole, srcStep, srcRoiSize, pDst + 2 * whole, dstStep,
                                           LumiSize{dstRoiSize.width - 2 * whole, dstRoiSize.height});
}

}  // namespace lumacore::avx2
