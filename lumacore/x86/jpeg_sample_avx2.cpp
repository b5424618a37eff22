// Level 3 (AVX2) 2:1 chroma resampling. Up-sampling: sixteen source samples a step, widened to 16-bit
// lanes straight from memory, with the generic code's sums, biases and shifts, so the results are the
// same bits; the walk is jpeg_sample_up_body.h. Down-sampling: 32 outputs a step, each pair of source
// samples summed by one multiply-add of bytes by 1. Twin: jpeg_sample_sse2.cpp.
#include <immintrin.h>

#include <cstddef>

#include "dispatch/level_impls.h"
#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_sample_up_body.h"

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

struct UpStep {
    static void H2V1(const Lum8u* s, Lum8u* d) {
        Store(d,
              UpPairs<2>(Widen(s - 1), Widen(s), Widen(s + 1), _mm256_set1_epi16(1), _mm256_set1_epi16(2)));
    }
    static void H2V2(const Lum8u* n, const Lum8u* f, Lum8u* d) {
        __m256i col[3];
        for (int k = 0; k < 3; ++k) {
            const __m256i nn = Widen(n - 1 + k);
            col[k] = _mm256_add_epi16(_mm256_add_epi16(_mm256_add_epi16(nn, nn), nn), Widen(f - 1 + k));
        }
        Store(d, UpPairs<4>(col[0], col[1], col[2], _mm256_set1_epi16(8), _mm256_set1_epi16(7)));
    }
};

// s[2i] + s[2i + 1] for the 32 source samples at `s`, in 16-bit lanes (at most 510: no saturation).
inline __m256i PairSums(const Lum8u* s) {
    return _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), _mm256_set1_epi8(1));
}

// Outputs 0-15 of a step (16-bit, in `lo`) and 16-31 (in `hi`) as 32 bytes: the pack works per 128-bit
// half, leaving quadwords 0-7, 16-23, 8-15, 24-31, and the quadword permute restores output order.
inline void StorePacked(Lum8u* d, __m256i lo, __m256i hi) {
    Store(d, _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}

// Down-sampling: `Rows` (1 or 2) source rows per output row; output = (sum of the 2 x Rows samples +
// bias) >> Rows, the generic code's bias (1 for H2V1, 3 for H2V2).
template <int Rows>
LumStatus SampleDown(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst, int dstStep,
                     LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = dstRoiSize.width / 32 * 32;  // destination columns done here
    const __m256i bias = _mm256_set1_epi16(Rows == 2 ? 3 : 1);
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        const Lum8u* s0 = pSrc + Rows * y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 32) {
            __m256i sum[2];
            for (int half = 0; half < 2; ++half) {
                sum[half] = PairSums(s0 + 2 * x + 32 * half);
                if constexpr (Rows == 2)
                    sum[half] = _mm256_add_epi16(sum[half], PairSums(s0 + srcStep + 2 * x + 32 * half));
                sum[half] = _mm256_srli_epi16(_mm256_add_epi16(sum[half], bias), Rows);
            }
            StorePacked(d + x, sum[0], sum[1]);
        }
    }
    if (whole == dstRoiSize.width) return lumStsNoErr;
    const LumiSize rest{dstRoiSize.width - whole, dstRoiSize.height};
    return Rows == 2 ? c::lumiSampleDownH2V2_JPEG_8u_C1R(pSrc + 2 * whole, srcStep, srcRoiSize, pDst + whole,
                                                         dstStep, rest)
                     : c::lumiSampleDownH2V1_JPEG_8u_C1R(pSrc + 2 * whole, srcStep, srcRoiSize, pDst + whole,
                                                         dstStep, rest);
}

}  // namespace

LumStatus lumiSampleDownH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    return SampleDown<1>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleDownH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    return SampleDown<2>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V1<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V2<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

}  // namespace lumacore::avx2
