// Level 3 (AVX2) 2:1 chroma up-sampling. Sixteen source samples a step, widened to 16-bit lanes straight
// from memory, with the generic code's sums, biases and shifts, so the results are the same bits; the
// walk is jpeg_sample_up_body.h. Twin: jpeg_sample_sse2.cpp (down-sampling stays there at every level).
#include <immintrin.h>

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

}  // namespace

LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V1<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    return x86::SampleUpH2V2<UpStep>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
}

}  // namespace lumacore::avx2
