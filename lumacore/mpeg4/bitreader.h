// The bit position shared by the MPEG-4 decoding primitives: a byte pointer and the count of bits of that
// byte already consumed (0..7, from the most significant bit).
//
// The primitives are given no length. Every look-up reads the four bytes starting at the current byte, so
// a decoder reads up to three bytes past the last bit it consumes, and a stream that is cut short is read
// further until a code fails. The caller's contract: at least kBitstreamPadding (8) readable zero bytes
// follow the last byte of data. With zero padding every code that starts in the padding is invalid (no
// TCOEF, DC size or motion code begins with twelve zero bits), and the longest element group that can
// start inside the data (a TCOEF escape of mode 3: 30 bits) ends within four bytes of its end, so a call
// that starts inside the data never reads beyond seven bytes after it. A call that starts past the data
// reads the four bytes at its position.
#ifndef LUMACORE_MPEG4_BITREADER_H
#define LUMACORE_MPEG4_BITREADER_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lumacore/lumacore.h"

namespace lumacore::mpeg4 {

inline constexpr int kBitstreamPadding = 8;

class BitReader {
  public:
    BitReader(const Lum8u* byte, int bitOffset) : base_(byte), bit_(static_cast<std::size_t>(bitOffset)) {}

    // The next bits of the stream from the most significant bit on, without consuming them: at least 25
    // of them are the stream's, the rest are zeros. One unaligned load of the four bytes at the position.
    uint32_t Window() const {
        uint32_t word;
        std::memcpy(&word, base_ + (bit_ >> 3), sizeof word);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
        return word << (bit_ & 7);
    }
    // The next `n` bits (1..25), right-aligned, without consuming them.
    uint32_t Peek(int n) const { return Window() >> (32 - n); }
    // The position is kept as a bit count from the starting byte, so consuming bits is one addition.
    void Skip(int n) { bit_ += static_cast<std::size_t>(n); }
    // `n` bits (0..25).
    uint32_t Read(int n) {
        if (n == 0) return 0;
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // Stores the position back into the caller's pointer and offset.
    void Commit(const Lum8u** ppBitStream, int* pBitOffset) const {
        *ppBitStream = base_ + (bit_ >> 3);
        *pBitOffset = static_cast<int>(bit_ & 7);
    }

  private:
    const Lum8u* base_;  // the byte the reader started in
    std::size_t bit_;    // bits from the most significant bit of *base_
};

}  // namespace lumacore::mpeg4

#endif
