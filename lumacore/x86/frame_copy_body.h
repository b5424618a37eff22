// The image copies between interleaved pixels and planes, shared by the tuned levels: sixteen pixels a
// step through one level's byte shuffles, the columns that do not fill a step byte by byte. Any invalid
// argument goes to the generic code, which answers with its own status.
#ifndef LUMACORE_X86_FRAME_COPY_BODY_H
#define LUMACORE_X86_FRAME_COPY_BODY_H

#include <emmintrin.h>

#include <cstddef>

#include "lumacore/lumacore.h"

namespace lumacore::x86 {
// Internal to each including file (see pixel_shuffle.h).
namespace {

constexpr int kCopyStep = 16;

template <typename PlaneArray>
bool CopyArgsValid(int n, PlaneArray planes, const void* packed, int srcStep, int dstStep, LumiSize roi) {
    if (planes == nullptr || packed == nullptr || roi.width <= 0 || roi.height <= 0 || srcStep <= 0 ||
        dstStep <= 0)
        return false;
    for (int c = 0; c < n; ++c)
        if (planes[c] == nullptr) return false;
    return true;
}

// `load(s, out)` reads 16 interleaved pixels of `N` bytes into `N` planes' 16 bytes.
template <int N, typename Load, typename Generic>
LumStatus InterleavedToPlanar(const Lum8u* src, int srcStep, Lum8u* const* dst, int dstStep, LumiSize roi,
                              Load load, Generic generic) {
    if (!CopyArgsValid(N, dst, src, srcStep, dstStep, roi)) return generic(src, srcStep, dst, dstStep, roi);
    std::ptrdiff_t width = roi.width, height = roi.height;
    // Contiguous rows are one long row (below 160000 source bytes, as in the generic code).
    if (srcStep == N * dstStep && dstStep == roi.width &&
        static_cast<std::ptrdiff_t>(srcStep) * height < 160000) {
        width *= height;
        height = 1;
    }
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const Lum8u* s = src + y * srcStep;
        const std::ptrdiff_t row = y * dstStep;
        std::ptrdiff_t x = 0;
        for (; x + kCopyStep <= width; x += kCopyStep) {
            __m128i planes[4];
            load(s + N * x, planes);
            for (int c = 0; c < N; ++c)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[c] + row + x), planes[c]);
        }
        for (; x < width; ++x)
            for (int c = 0; c < N; ++c) dst[c][row + x] = s[N * x + c];
    }
    return lumStsNoErr;
}

// `store(d, planes)` writes the `N` planes' 16 bytes as 16 interleaved pixels.
template <int N, typename Store, typename Generic>
LumStatus PlanarToInterleaved(const Lum8u* const* src, int srcStep, Lum8u* dst, int dstStep, LumiSize roi,
                              Store store, Generic generic) {
    if (!CopyArgsValid(N, src, dst, srcStep, dstStep, roi)) return generic(src, srcStep, dst, dstStep, roi);
    std::ptrdiff_t width = roi.width, height = roi.height;
    if (dstStep == N * srcStep && srcStep == roi.width) {
        width *= height;
        height = 1;
    }
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const std::ptrdiff_t row = y * srcStep;
        Lum8u* d = dst + y * dstStep;
        std::ptrdiff_t x = 0;
        for (; x + kCopyStep <= width; x += kCopyStep) {
            __m128i planes[4];
            for (int c = 0; c < N; ++c)
                planes[c] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[c] + row + x));
            store(d + N * x, planes);
        }
        for (; x < width; ++x)
            for (int c = 0; c < N; ++c) d[N * x + c] = src[c][row + x];
    }
    return lumStsNoErr;
}

}  // namespace
}  // namespace lumacore::x86

#endif
