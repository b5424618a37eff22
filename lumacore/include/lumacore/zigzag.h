// The zig-zag order of an 8x8 block's coefficients (T.81 Figure A.6; ISO/IEC 14496-2 Figure 7-2 is the
// same scan): the one table of the tree, for Lumacore's own sources, the codecs and the tests. A
// header-only C++ table, not part of the library's exported C interface.
#ifndef LUMACORE_ZIGZAG_H
#define LUMACORE_ZIGZAG_H

#include <array>
#include <cstdint>

namespace lumacore {

// Entry i is the natural (row-major) index of zig-zag position i.
inline constexpr std::array<std::uint8_t, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Entry i is the zig-zag position of natural index i: the inverse of kZigzagToNatural.
inline constexpr std::array<std::uint8_t, 64> kNaturalToZigzag = [] {
    std::array<std::uint8_t, 64> inverse{};
    for (std::size_t i = 0; i < 64; ++i) inverse[kZigzagToNatural[i]] = static_cast<std::uint8_t>(i);
    return inverse;
}();

}  // namespace lumacore

#endif
