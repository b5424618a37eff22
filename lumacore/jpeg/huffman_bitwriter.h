// The bit writer shared by the Huffman block encoders.
//
// Pending bits sit left-aligned under bit 23 of the accumulator (a 24-bit window); every whole byte is
// written at once, followed by a stuffed 00 when it is FF. The writer works on copies of the write
// position and the state's bit buffer and stores them back when the block call ends. A put that runs out
// of room leaves the bytes it wrote (and the position past them) but not its bits in the state.
#ifndef LUMACORE_JPEG_HUFFMAN_BITWRITER_H
#define LUMACORE_JPEG_HUFFMAN_BITWRITER_H

#include <cstdint>
#include <cstring>

#include "jpeg/huffman_internal.h"

namespace lumacore::c::huffman {

class BitWriter {
  public:
    BitWriter(Lum8u* dst, int dstLen, int* pDstPos, LumiEncodeHuffmanState* state)
        : dst_(dst),
          dstLen_(dstLen),
          pDstPos_(pDstPos),
          state_(state),
          pos_(*pDstPos),
          acc_(state->acc),
          nBits_(state->nBits) {}
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;
    ~BitWriter() {
        *pDstPos_ = pos_;
        state_->acc = acc_;
        state_->nBits = nBits_;
    }

    // The low `n` bits (1 to 16) of `value`. n = 0 is what a symbol without a code asks for.
    LumStatus Put(uint32_t value, int n) {
        if (n == 0) return lumStsJpegHuffTableErr;
        uint32_t acc = acc_ | ((value & ((1u << n) - 1)) << (24 - nBits_ - n));
        int nBits = nBits_ + n;
        while (nBits >= 8) {
            if (pos_ >= dstLen_) return lumStsJpegOutOfBufErr;
            const Lum8u byte = static_cast<Lum8u>(acc >> 16);
            dst_[pos_++] = byte;
            if (byte == 0xFF) {
                if (pos_ >= dstLen_) return lumStsJpegOutOfBufErr;
                dst_[pos_++] = 0x00;
            }
            acc <<= 8;
            nBits -= 8;
        }
        acc_ = acc;
        nBits_ = nBits;
        return lumStsNoErr;
    }

    LumStatus PutSymbol(const LumiEncodeHuffmanSpec* table, int symbol) {
        const uint32_t entry = table->code[symbol];
        return Put(entry & 0xFFFF, static_cast<int>(entry >> 16));
    }

    // Pads the last byte with 1-bits: seven of them complete any partial byte, and the bits that do not
    // make a whole byte are dropped with the state.
    LumStatus PutPadding() { return Put(0x7F, 7); }

  private:
    Lum8u* dst_;
    int dstLen_;
    int* pDstPos_;
    LumiEncodeHuffmanState* state_;
    int pos_;
    uint32_t acc_;
    int nBits_;
};

// Clears a state after a flush: bit buffer, end-of-band run and correction bits.
inline void ResetEncoderState(LumiEncodeHuffmanState* state) {
    std::memset(state, 0, sizeof *state);
}

}  // namespace lumacore::c::huffman

#endif
