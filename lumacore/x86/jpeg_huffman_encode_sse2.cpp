// Level 1 (SSE2) baseline Huffman encoding of one 8x8 block (jpeg_huffman_encode_body.h): the block is
// gathered into zig-zag order with word inserts, and the non-zero mask comes from the same registers.
#include <emmintrin.h>

#include <cstdint>
#include <utility>

#include "lumacore/zigzag.h"
#include "x86/jpeg_huffman_encode_body.h"

namespace lumacore::sse2 {
namespace {

// Zig-zag positions 8 * Row to 8 * Row + 7 of a natural-order block, one word insert each.
template <int Row, int... Lane>
inline __m128i ZigzagRow(const Lum16s* block, std::integer_sequence<int, Lane...>) {
    __m128i v = _mm_setzero_si128();
    ((v = _mm_insert_epi16(v, block[lumacore::kZigzagToNatural[8 * Row + Lane]], Lane)), ...);
    return v;
}

// Two rows of 8 zig-zag positions into `zz`; bit k of the result set when position 16 * Pair + k is
// non-zero.
template <int Pair>
inline uint64_t ZigzagPair(const Lum16s* block, Lum16s* zz) {
    const __m128i a = ZigzagRow<2 * Pair>(block, std::make_integer_sequence<int, 8>{});
    const __m128i b = ZigzagRow<2 * Pair + 1>(block, std::make_integer_sequence<int, 8>{});
    _mm_store_si128(reinterpret_cast<__m128i*>(zz + 16 * Pair), a);
    _mm_store_si128(reinterpret_cast<__m128i*>(zz + 16 * Pair + 8), b);
    const __m128i zero = _mm_setzero_si128();
    const __m128i eq = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(eq)) ^ 0xFFFFu) << (16 * Pair);
}

// The block in zig-zag order, kept for the coefficient reads.
class GatherScan {
  public:
    uint64_t NonZero(const Lum16s* block) {
        return ZigzagPair<0>(block, zz_) | ZigzagPair<1>(block, zz_) | ZigzagPair<2>(block, zz_) |
               ZigzagPair<3>(block, zz_);
    }
    int At(const Lum16s*, int k) const { return zz_[k]; }

  private:
    alignas(16) Lum16s zz_[64];
};

}  // namespace

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    return x86::EncodeBaseline<GatherScan>(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState,
                                           bFlush);
}

}  // namespace lumacore::sse2
