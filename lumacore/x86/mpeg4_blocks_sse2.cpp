// Level 1 (SSE2) MPEG-4 intra and inter block decoding: the generic decoding (VLC, prediction, inverse
// quantisation) with this level's inverse DCT (jpeg_dct_sse2.cpp), which gives the generic transform's bits.
// Twins: mpeg4_blocks_sse2.cpp, mpeg4_blocks_sse41.cpp, mpeg4_blocks_avx2.cpp.
#include "dispatch/level_impls.h"
#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "mpeg4/block_decode.h"

namespace lumacore::sse2 {

LUMACORE_MPEG4_BLOCK_EXPORTS(InverseDct8x8)

}  // namespace lumacore::sse2
