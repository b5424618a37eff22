// The 8x8 integer inverse DCT shared by the JPEG inverse transform and the MPEG-4 block decoders.
#ifndef LUMACORE_JPEG_IDCT_H
#define LUMACORE_JPEG_IDCT_H

#include "lumacore/lumacore.h"

namespace lumacore::c {

// Both passes (columns, then rows) on 64 coefficients in natural order, in place. The results are the
// row pass's (term + 2^20) >> 21, kept to 16 bits, without level shift or clamping.
void InverseDct8x8(Lum16s block[64]);

// InverseDct8x8's results for a block whose non-zero coefficients all lie in its first row, or all in its
// first column: one line of each pass instead of sixteen (sparse MPEG-4 blocks take these).
void InverseDct8x8FirstRow(Lum16s block[64]);
void InverseDct8x8FirstColumn(Lum16s block[64]);

}  // namespace lumacore::c

namespace lumacore {
// One level's inverse DCT; every level's gives the generic results.
using InverseDctFn = void (*)(Lum16s block[64]);
}  // namespace lumacore

// The tuned twins of c::InverseDct8x8, same results (the MPEG-4 block decoders take them).
namespace lumacore::sse2 {
void InverseDct8x8(Lum16s block[64]);  // x86/jpeg_dct_sse2.cpp
}  // namespace lumacore::sse2
namespace lumacore::sse41 {
void InverseDct8x8(Lum16s block[64]);  // x86/jpeg_dct_sse41.cpp
}  // namespace lumacore::sse41
namespace lumacore::avx2 {
void InverseDct8x8(Lum16s block[64]);  // x86/jpeg_dct_avx2.cpp
}  // namespace lumacore::avx2

#endif
