// Vector copy, set and zero, and the image copies between interleaved and planar layouts (generic level).
#include <cstddef>
#include <cstring>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// Interleaved images with `n` channels to `n` planes sharing `planeStep`.
LumStatus InterleavedToPlanar(int n, const Lum8u* src, int srcStep, Lum8u* const* dst, int dstStep,
                              LumiSize roi) {
    if (src == nullptr || dst == nullptr) return lumStsNullPtrErr;
    for (int c = 0; c < n; ++c)
        if (dst[c] == nullptr) return lumStsNullPtrErr;
    if (roi.width <= 0 || roi.height <= 0) return lumStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return lumStsStepErr;

    std::ptrdiff_t width = roi.width, height = roi.height;
    // Contiguous rows are one long row; kept below 160000 source bytes as the tuned code does.
    if (srcStep == n * dstStep && dstStep == roi.width &&
        static_cast<std::ptrdiff_t>(srcStep) * height < 160000) {
        width *= height;
        height = 1;
    }
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        const Lum8u* s = src + y * srcStep;
        for (int c = 0; c < n; ++c) {
            Lum8u* d = dst[c] + y * dstStep;
            for (std::ptrdiff_t x = 0; x < width; ++x) d[x] = s[x * n + c];
        }
    }
    return lumStsNoErr;
}

LumStatus PlanarToInterleaved(int n, const Lum8u* const* src, int srcStep, Lum8u* dst, int dstStep,
                              LumiSize roi) {
    if (src == nullptr || dst == nullptr) return lumStsNullPtrErr;
    for (int c = 0; c < n; ++c)
        if (src[c] == nullptr) return lumStsNullPtrErr;
    if (roi.width <= 0 || roi.height <= 0) return lumStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return lumStsStepErr;

    std::ptrdiff_t width = roi.width, height = roi.height;
    if (dstStep == n * srcStep && srcStep == roi.width) {
        width *= height;
        height = 1;
    }
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        Lum8u* d = dst + y * dstStep;
        for (int c = 0; c < n; ++c) {
            const Lum8u* s = src[c] + y * srcStep;
            for (std::ptrdiff_t x = 0; x < width; ++x) d[x * n + c] = s[x];
        }
    }
    return lumStsNoErr;
}

}  // namespace

LumStatus lumsCopy_8u(const Lum8u* pSrc, Lum8u* pDst, int len) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (len <= 0) return lumStsSizeErr;
    for (int i = 0; i < len; ++i) pDst[i] = pSrc[i];  // forward, lowest address first
    return lumStsNoErr;
}

LumStatus lumsSet_8u(Lum8u val, Lum8u* pDst, int len) {
    if (pDst == nullptr) return lumStsNullPtrErr;
    if (len <= 0) return lumStsSizeErr;
    std::memset(pDst, val, static_cast<std::size_t>(len));
    return lumStsNoErr;
}

LumStatus lumsZero_8u(Lum8u* pDst, int len) {
    return lumsSet_8u(0, pDst, len);
}

LumStatus lumiCopy_8u_C1R(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep, LumiSize roiSize) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return lumStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return lumStsStepErr;
    for (std::ptrdiff_t y = 0; y < roiSize.height; ++y)
        std::memmove(pDst + y * dstStep, pSrc + y * srcStep, static_cast<std::size_t>(roiSize.width));
    return lumStsNoErr;
}

LumStatus lumiCopy_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                            LumiSize roiSize) {
    return InterleavedToPlanar(3, pSrc, srcStep, pDst, dstStep, roiSize);
}

LumStatus lumiCopy_8u_C4P4R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[4], int dstStep,
                            LumiSize roiSize) {
    return InterleavedToPlanar(4, pSrc, srcStep, pDst, dstStep, roiSize);
}

LumStatus lumiCopy_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                            LumiSize roiSize) {
    return PlanarToInterleaved(3, pSrc, srcStep, pDst, dstStep, roiSize);
}

LumStatus lumiCopy_8u_P4C4R(const Lum8u* const pSrc[4], int srcStep, Lum8u* pDst, int dstStep,
                            LumiSize roiSize) {
    return PlanarToInterleaved(4, pSrc, srcStep, pDst, dstStep, roiSize);
}

}  // namespace lumacore::c
