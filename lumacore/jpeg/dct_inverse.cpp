// Dequantisation, inverse DCT and level shift of one 8x8 block to 8-bit samples.
#include <cstddef>
#include <cstdint>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Lum16s* pSrc, Lum8u* pDst, int dstStep,
                                              const Lum16u* pQuantInvTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (pQuantInvTable == nullptr) return lumStsNullPtrErr;

    // |coefficient * quantiser| < 2^31, so the product fits 32 bits; it is saturated to 16 bits.
    alignas(32) Lum16s block[64];
    for (int i = 0; i < 64; ++i) {
        const int32_t p = int32_t{pSrc[i]} * int32_t{pQuantInvTable[i]};
        block[i] = static_cast<Lum16s>(p < -32768 ? -32768 : (p > 32767 ? 32767 : p));
    }
    InverseDct8x8(block);
    for (int y = 0; y < 8; ++y) {
        Lum8u* row = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x = 0; x < 8; ++x) {
            const int v = block[y * 8 + x];
            row[x] = static_cast<Lum8u>(v < -128 ? 0 : (v > 127 ? 255 : v + 128));
        }
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
