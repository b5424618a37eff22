// Level 1 (SSE2) vector copy, set and zero.
//
// Same results as the generic code; only the memory traffic differs. Large regions bypass the cache with
// non-temporal stores, so that a picture-sized clear or copy does not evict the decoder's working set:
// copies from 8192 bytes, sets and zero-fills from 20480 bytes (0x5000).
#include <emmintrin.h>

#include <cstdint>

#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

constexpr int kCopyStreamFrom = 8192;
constexpr int kSetStreamFrom = 0x5000;

inline std::size_t BytesToAlign16(const void* p) {
    return (16 - (reinterpret_cast<std::uintptr_t>(p) & 15)) & 15;
}

}  // namespace

LumStatus lumsCopy_8u(const Lum8u* pSrc, Lum8u* pDst, int len) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (len <= 0) return lumStsSizeErr;
    std::size_t n = static_cast<std::size_t>(len);
    std::size_t i = 0;
    if (len >= kCopyStreamFrom) {
        // Align the destination, then stream 64 bytes per step.
        for (std::size_t head = BytesToAlign16(pDst); i < head; ++i) pDst[i] = pSrc[i];
        for (; i + 64 <= n; i += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i + 32));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i + 48));
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i), a);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 16), b);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 32), c);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 48), d);
        }
        _mm_sfence();
    }
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i)));
    for (; i < n; ++i) pDst[i] = pSrc[i];
    return lumStsNoErr;
}

LumStatus lumsSet_8u(Lum8u val, Lum8u* pDst, int len) {
    if (pDst == nullptr) return lumStsNullPtrErr;
    if (len <= 0) return lumStsSizeErr;
    const std::size_t n = static_cast<std::size_t>(len);
    const __m128i v = _mm_set1_epi8(static_cast<char>(val));
    std::size_t i = 0;
    if (len >= kSetStreamFrom) {
        for (std::size_t head = BytesToAlign16(pDst); i < head; ++i) pDst[i] = val;
        for (; i + 64 <= n; i += 64) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i), v);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 16), v);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 32), v);
            _mm_stream_si128(reinterpret_cast<__m128i*>(pDst + i + 48), v);
        }
        _mm_sfence();
    }
    for (; i + 16 <= n; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + i), v);
    for (; i < n; ++i) pDst[i] = val;
    return lumStsNoErr;
}

LumStatus lumsZero_8u(Lum8u* pDst, int len) {
    return lumsSet_8u(0, pDst, len);
}

}  // namespace lumacore::sse2
