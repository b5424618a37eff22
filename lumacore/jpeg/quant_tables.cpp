// Quantisation tables: quality scaling of a raw (zig-zag) table, and the forward (reciprocal) and inverse
// tables in natural order that the transforms take.
#include <cstdint>

#include "jpeg/wrap32.h"
#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"

namespace lumacore::c {
namespace {

// 32768 / q rounded to nearest, ties to even (1 -> 32768, 3 -> 10923, 255 -> 129).
inline Lum16u Reciprocal(unsigned q) {
    const unsigned quotient = 32768 / q, remainder = 32768 % q;
    const bool up = 2 * remainder > q || (2 * remainder == q && (quotient & 1) != 0);
    return static_cast<Lum16u>(quotient + (up ? 1 : 0));
}

}  // namespace

// Scales a raw table (zig-zag order, kept) by the usual quality curve: 50 leaves it unchanged, 100 gives
// all ones, 1 multiplies by 50.
LumStatus lumiQuantFwdRawTableInit_JPEG_8u(Lum8u* pQuantRawTable, int qualityFactor) {
    if (pQuantRawTable == nullptr) return lumStsNullPtrErr;
    // A zero quality would divide by zero; it is refused and the table left as it was.
    if (qualityFactor == 0) return lumStsBadArgErr;
    const int32_t scale = qualityFactor < 50 ? 5000 / qualityFactor : Wrap(200 - 2 * int64_t{qualityFactor});
    for (int i = 0; i < 64; ++i) {
        const int32_t v = Wrap(int64_t{scale} * pQuantRawTable[i] + 50) / 100;
        pQuantRawTable[i] = static_cast<Lum8u>(v <= 0 ? 1 : (v > 255 ? 255 : v));
    }
    return lumStsNoErr;
}

// Reciprocals in natural order. A 0 entry cannot be inverted: it becomes 65535 and the table is finished
// before the warning is returned.
LumStatus lumiQuantFwdTableInit_JPEG_8u16u(const Lum8u* pQuantRawTable, Lum16u* pQuantFwdTable) {
    if (pQuantRawTable == nullptr || pQuantFwdTable == nullptr) return lumStsNullPtrErr;
    LumStatus status = lumStsNoErr;
    for (int i = 0; i < 64; ++i) {
        const unsigned q = pQuantRawTable[lumacore::kNaturalToZigzag[static_cast<std::size_t>(i)]];
        if (q == 0) {
            pQuantFwdTable[i] = 65535;
            status = lumStsDivByZero;
        } else {
            pQuantFwdTable[i] = Reciprocal(q);
        }
    }
    return status;
}

LumStatus lumiQuantInvTableInit_JPEG_8u16u(const Lum8u* pQuantRawTable, Lum16u* pQuantInvTable) {
    if (pQuantRawTable == nullptr || pQuantInvTable == nullptr) return lumStsNullPtrErr;
    for (int i = 0; i < 64; ++i)
        pQuantInvTable[i] = pQuantRawTable[lumacore::kNaturalToZigzag[static_cast<std::size_t>(i)]];
    return lumStsNoErr;
}

}  // namespace lumacore::c
