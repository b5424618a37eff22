// The bit reader shared by the Huffman block decoders.
//
// It works on copies of the caller's read position, marker and state and writes them back when the
// block call ends, whether it succeeded or not, so that consumed bits stay consumed. A refill tops the
// accumulator up to at least 25 bits, so that one refill serves a symbol and its extra bits in most
// cases. In the entropy-coded data FF 00 stands for the byte FF; FF followed by anything else is a
// marker: its second byte goes to *pMarker and nothing more is read until the caller clears it.
#ifndef LUMACORE_JPEG_HUFFMAN_BITREADER_H
#define LUMACORE_JPEG_HUFFMAN_BITREADER_H

#include <cstdint>

#include "jpeg/huffman_internal.h"

namespace lumacore::c::huffman {

class BitReader {
  public:
    BitReader(const Lum8u* src, int srcLen, int* pSrcPos, int* pMarker, LumiDecodeHuffmanState* state)
        : src_(src),
          srcLen_(srcLen),
          pSrcPos_(pSrcPos),
          pMarker_(pMarker),
          state_(state),
          pos_(*pSrcPos),
          marker_(*pMarker),
          acc_(state->acc),
          nBits_(state->nBits) {}
    BitReader(const BitReader&) = delete;
    BitReader& operator=(const BitReader&) = delete;
    ~BitReader() {
        *pSrcPos_ = pos_;
        *pMarker_ = marker_;
        state_->acc = acc_;
        state_->nBits = nBits_;
    }

    // Tops the accumulator up; fails when fewer than `need` bits can be held. A marker (met now or
    // earlier) ends reading: the bits already held are all there is. A stream whose last byte is FF
    // fails at once, whatever is held.
    LumStatus Refill(int need) {
        while (marker_ == 0 && nBits_ < 25) {
            if (pos_ >= srcLen_) break;
            const Lum8u byte = src_[pos_++];
            if (byte == 0xFF) {
                if (pos_ >= srcLen_) return lumStsJpegOutOfBufErr;
                const Lum8u next = src_[pos_++];
                if (next != 0x00) {
                    marker_ = next;
                    break;
                }
            }
            acc_ = (acc_ << 8) | byte;
            nBits_ += 8;
        }
        return nBits_ < need ? lumStsJpegOutOfBufErr : lumStsNoErr;
    }

    // Next Huffman symbol. A bit pattern that is no code of 16 bits or fewer decodes as symbol 0.
    LumStatus DecodeSymbol(const LumiDecodeHuffmanSpec* table, int* symbol) {
        if (nBits_ < 8) {
            const LumStatus st = Refill(0);
            if (st != lumStsNoErr) return st;
        }
        int code = 0, length = 0;
        if (nBits_ >= 8) {
            const unsigned index = (acc_ >> (nBits_ - 8)) & 0xFF;
            const uint32_t entry = table->lookup[index];
            if (entry != 0) {
                nBits_ -= static_cast<int>(entry >> 16);
                *symbol = static_cast<int>(entry & 0xFF);
                return lumStsNoErr;
            }
            // No code of 8 bits or fewer: go on from length 9.
            code = static_cast<int>(index);
            length = 8;
            nBits_ -= 8;
        }
        for (;;) {
            int bit;
            const LumStatus st = GetBit(&bit);
            if (st != lumStsNoErr) return st;
            code = (code << 1) | bit;
            ++length;
            const int found = SymbolOfLength(table, length, code);
            if (found >= 0) {
                *symbol = found;
                return lumStsNoErr;
            }
            if (length == 16) {
                *symbol = 0;
                return lumStsNoErr;
            }
        }
    }

    // A symbol and the sign-extended value of its extra bits (0 for a symbol of size 0), as DecodeSymbol
    // and then Receive(symbol & 15) give them. With `LookAhead` (the tuned decoders), a symbol whose code
    // and extra bits lie within the next kFastBits bits held is taken from the table's look-ahead entry
    // at once: the bits it consumes and the state it leaves are the same, since the reader tops up only
    // when it holds fewer bits than it is about to take.
    template <bool LookAhead>
    LumStatus DecodeValue(const LumiDecodeHuffmanSpec* table, int* symbol, int* value) {
        if constexpr (LookAhead) {
            if (nBits_ >= kFastBits) {
                const uint32_t entry = table->fast[(acc_ >> (nBits_ - kFastBits)) & ((1u << kFastBits) - 1)];
                const int taken = static_cast<int>(entry & kFastBitsMask);
                if (taken != static_cast<int>(kFastSlow)) {
                    nBits_ -= taken;
                    *symbol = static_cast<int>((entry >> kFastSymbolShift) & 0xFF);
                    *value = static_cast<int>(static_cast<int32_t>(entry) >> kFastValueShift);
                    return lumStsNoErr;
                }
            }
        }
        const LumStatus st = DecodeSymbol(table, symbol);
        if (st != lumStsNoErr) return st;
        return Receive(*symbol & 15, value);
    }

    LumStatus GetBit(int* bit) {
        if (nBits_ == 0) {
            const LumStatus st = Refill(1);
            if (st != lumStsNoErr) return st;
        }
        --nBits_;
        *bit = static_cast<int>((acc_ >> nBits_) & 1);
        return lumStsNoErr;
    }

    // `n` (0 to 16) raw bits, first bit highest.
    LumStatus GetBits(int n, int* value) {
        if (n == 0) {
            *value = 0;
            return lumStsNoErr;
        }
        if (nBits_ < n) {
            const LumStatus st = Refill(n);
            if (st != lumStsNoErr) return st;
        }
        nBits_ -= n;
        *value = static_cast<int>((acc_ >> nBits_) & ((1u << n) - 1));
        return lumStsNoErr;
    }

    // `s` extra bits of a size category, sign-extended (T.81 F.2.2.1): a value with its top bit clear is
    // negative.
    LumStatus Receive(int s, int* value) {
        int raw;
        const LumStatus st = GetBits(s, &raw);
        if (st != lumStsNoErr) return st;
        *value = ExtendReceived(raw, s);
        return lumStsNoErr;
    }

  private:
    const Lum8u* src_;
    int srcLen_;
    int* pSrcPos_;
    int* pMarker_;
    LumiDecodeHuffmanState* state_;
    int pos_;
    int marker_;
    uint32_t acc_;
    int nBits_;
};

}  // namespace lumacore::c::huffman

#endif
