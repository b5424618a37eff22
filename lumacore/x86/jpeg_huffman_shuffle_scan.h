// The non-zero mask of a block in zig-zag order without gathering the block, for the baseline Huffman
// encoder at levels 2 (SSE4.1 file) and 3 (AVX2 file, the same steps in VEX encoding): its rows are
// packed to one byte a coefficient (saturation keeps non-zero values non-zero), compared with zero, and
// those 64 bytes are put into zig-zag order with byte shuffles (14 of them, one per pair of 16 zig-zag
// positions and 16 natural ones that meet); each coefficient the walk stops at is then read from the
// block through the zig-zag table. The `Scan` of jpeg_huffman_encode_body.h. Internal to each including
// file (see dct8_lines.h).
#ifndef LUMACORE_X86_JPEG_HUFFMAN_SHUFFLE_SCAN_H
#define LUMACORE_X86_JPEG_HUFFMAN_SHUFFLE_SCAN_H

#include <tmmintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"

namespace lumacore::x86 {
namespace {

struct alignas(16) Bytes16 {
    int8_t b[16];
};
using Control = std::array<std::array<Bytes16, 4>, 4>;

// kShuffle[g][j].b[i]: where byte i of zig-zag group g (positions 16 * g + i) sits in natural group j
// (coefficients 16 * j to 16 * j + 15), or -1 (a zero byte) when it lies in another group.
constexpr Control kShuffle = [] {
    Control c{};
    for (int g = 0; g < 4; ++g)
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 16; ++i) {
                const int natural = lumacore::kZigzagToNatural[static_cast<std::size_t>(16 * g + i)];
                c[g][j].b[i] = static_cast<int8_t>(natural / 16 == j ? natural % 16 : -1);
            }
    return c;
}();

constexpr bool Meet(int g, int j) {
    for (int i = 0; i < 16; ++i)
        if (kShuffle[g][j].b[i] >= 0) return true;
    return false;
}

template <int G, int J>
inline __m128i Part(const __m128i* zero) {
    if constexpr (!Meet(G, J)) {
        return _mm_setzero_si128();
    } else {
        return _mm_shuffle_epi8(zero[J], _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle[G][J].b)));
    }
}

// Bits 16 * G to 16 * G + 15 of the zero mask in zig-zag order.
template <int G>
inline uint64_t ZeroGroup(const __m128i* zero) {
    const __m128i bytes = _mm_or_si128(_mm_or_si128(Part<G, 0>(zero), Part<G, 1>(zero)),
                                       _mm_or_si128(Part<G, 2>(zero), Part<G, 3>(zero)));
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(bytes))) << (16 * G);
}

struct ShuffleScan {
    static uint64_t NonZero(const Lum16s* block) {
        const auto* rows = reinterpret_cast<const __m128i*>(block);
        __m128i zero[4];
        for (int j = 0; j < 4; ++j) {
            const __m128i packed =
                _mm_packs_epi16(_mm_loadu_si128(rows + 2 * j), _mm_loadu_si128(rows + 2 * j + 1));
            zero[j] = _mm_cmpeq_epi8(packed, _mm_setzero_si128());
        }
        return ~(ZeroGroup<0>(zero) | ZeroGroup<1>(zero) | ZeroGroup<2>(zero) | ZeroGroup<3>(zero));
    }
    static int At(const Lum16s* block, int k) {
        return block[lumacore::kZigzagToNatural[static_cast<std::size_t>(k)]];
    }
};

}  // namespace
}  // namespace lumacore::x86

#endif
