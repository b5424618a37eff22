// The MPEG-4 decoder's bit reader: most-significant bit first, over bytes it does not own. Bits past the
// data read as 0, so a reader never touches memory beyond the `size` bytes it was given; PastEnd() tells
// a caller that a parse ran off the data. The stream buffer's own reader reads through the same window.
#ifndef VELLO_MPEG4_BIT_READER_H
#define VELLO_MPEG4_BIT_READER_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vello::mpeg4 {

// The `n` bits (1 to 32) at `bitOffset` (0..7) bits into `*pos`, right-aligned; bytes at or past `end`
// read as 0 and are never touched (`pos` may lie past `end`).
inline std::uint32_t PeekBitsAt(const std::uint8_t* pos, const std::uint8_t* end, int bitOffset, int n) {
    // 32 bits at any bit offset need five bytes.
    std::uint64_t window = 0;
    if (pos < end && end - pos >= 8) {
        std::memcpy(&window, pos, 8);
        if constexpr (std::endian::native == std::endian::little) window = __builtin_bswap64(window);
    } else {
        for (int i = 0; i < 5; ++i) window = (window << 8) | (pos + i < end ? pos[i] : 0u);
        window <<= 24;
    }
    return static_cast<std::uint32_t>((window << bitOffset) >> (64 - n));
}

class BitReader {
  public:
    // Reads `size` bytes from `data`, starting `bitPosition` bits in.
    BitReader(const std::uint8_t* data, std::size_t size, std::size_t bitPosition = 0)
        : data_(data), size_(size), bit_(bitPosition) {}

    // n from 1 to 32.
    std::uint32_t PeekBits(int n) const {
        const std::size_t byte = bit_ >> 3;
        if (byte >= size_) return 0;
        return PeekBitsAt(data_ + byte, data_ + size_, static_cast<int>(bit_ & 7), n);
    }
    void SkipBits(int n) { bit_ += static_cast<std::size_t>(n); }
    std::uint32_t GetBits(int n) {
        const std::uint32_t v = PeekBits(n);
        SkipBits(n);
        return v;
    }

    // Bits from the start of the data.
    std::size_t BitPosition() const { return bit_; }
    // True when bits beyond the data have been read (they read as 0).
    bool PastEnd() const { return bit_ > size_ * 8; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_;
};

}  // namespace vello::mpeg4

#endif
