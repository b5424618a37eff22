// Level 1 (SSE2) baseline Huffman decoding of one 8x8 block, also bound at levels 2 and 3 (the work is
// bit handling, which wider vectors do not speed up).
//
// The generic reader's bit state is part of the result (its 32-bit accumulator, its bit count and the
// read position it leaves), so this decoder reads exactly the bytes that reader reads, when it reads
// them: it tops its count up to 25..32 bits whenever a symbol finds fewer than 8, a code longer than 8
// bits runs the count out, or extra bits find fewer than they need. What makes it fast is a 64-bit
// buffer that always holds the next 32 bits beyond that count, filled a word at a time while no FF is
// near, so that one load from the table's look-ahead entries (`fast`, built with the table) gives a
// code's length, its symbol and, for most codes, the value of its extra bits, and one compare tells
// whether the reader would top up inside the symbol. Codes longer than the look-ahead take the generic
// length-by-length search. Whatever the buffer cannot take plainly (a marker or the end of the data
// within its reach, a marker the caller has not cleared, a bit state the reader never leaves) hands the
// block to the generic code from the start; nothing the caller sees is written before the block has
// succeeded, apart from the coefficients, which the generic code clears first.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "dispatch/level_impls.h"
#include "jpeg/huffman_internal.h"
#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

using c::huffman::kFastBits;
static_assert(kFastBits >= 8 && kFastBits < 16, "the long-code search starts above the look-ahead");

// The look-ahead beyond the generic reader's count, in bits: enough for a 16-bit code and 15 extra bits.
constexpr int kAhead = 32;

inline uint64_t LoadBigEndian64(const Lum8u* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
}

inline uint32_t LoadBigEndian32(const Lum8u* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return __builtin_bswap32(w);
}

// A byte of `w` is FF exactly when the same byte of ~w is zero.
inline bool HasFF(uint64_t w) {
    return ((~w - 0x0101010101010101u) & w & 0x8080808080808080u) != 0;
}

class BlockReader {
  public:
    BlockReader(const Lum8u* src, int srcLen, int pos, uint32_t acc, int count)
        : src_(src),
          srcLen_(srcLen),
          pos_(pos),
          buf_(count == 0 ? 0 : uint64_t{acc} << (64 - count)),
          count_(count) {}

    // Loads the look-ahead; false when it cannot be had plainly.
    bool Start() {
        if (pos_ <= srcLen_ - 8) {
            const uint64_t w = LoadBigEndian64(src_ + pos_);
            if (!HasFF(w)) {
                buf_ |= w >> count_;
                pos_ += 4;
                taken_ = 4;
                return true;
            }
        }
        for (int i = 0; i < 4; ++i)
            if (!AddByte(count_ + 8 * i)) return false;
        return true;
    }

    // Next symbol of `table` and the value of its extra bits (0 when it has none).
    [[gnu::always_inline]] bool Decode(const LumiDecodeHuffmanSpec* table, uint32_t* symbol, int* value) {
        const uint32_t entry = table->fast[buf_ >> (64 - kFastBits)];
        const int n = static_cast<int>((entry >> c::huffman::kFastBitsShift) & c::huffman::kFastBitsMask);
        if (count_ < 8 && !TopUp()) return false;
        // After a top-up every entry with its value fits; fewer bits than the symbol takes means a top-up
        // inside it, and entries without their value say 63 bits, which also lands there.
        if (count_ < n) {
            uint32_t sym;
            int val;
            const bool ok = Cold(&BlockReader::Careful, table, entry, &sym, &val);
            *symbol = sym;
            *value = val;
            return ok;
        }
        count_ -= n;
        buf_ <<= n;
        *symbol = entry >> c::huffman::kFastSymbolShift;
        *value = static_cast<int16_t>(entry);
        return true;
    }

    // At the block's end: the generic reader's position, accumulator and bit count.
    void Finish(int startPos, uint32_t startAcc, int* pos, uint32_t* acc, int* nBits) const {
        const int bytes = taken_ - kAhead / 8;  // what the reader took in this call
        if (!stuffed_) {
            *pos = startPos + bytes;
            *acc =
                bytes >= 4
                    ? LoadBigEndian32(src_ + *pos - 4)
                    : static_cast<uint32_t>(((uint64_t{startAcc} << 32) | LoadBigEndian32(src_ + startPos)) >>
                                            (32 - 8 * bytes));
        } else {
            int p = startPos;
            uint32_t a = startAcc;
            for (int i = 0; i < bytes; ++i) {
                const Lum8u b = src_[p];
                p += b == 0xFF ? 2 : 1;  // FF 00 is the byte FF
                a = (a << 8) | b;
            }
            *pos = p;
            *acc = a;
        }
        *nBits = count_;
    }

  private:
    // The symbol step by step as the generic reader takes it, with its top-ups.
    [[gnu::noinline]] bool Careful(const LumiDecodeHuffmanSpec* table, uint32_t entry, uint32_t* symbol,
                                   int* value) {
        if (count_ < 8 && !TopUp()) return false;
        int sym = static_cast<int>((entry >> c::huffman::kFastSymbolShift) & 0xFF);
        const int n = static_cast<int>((entry >> c::huffman::kFastBitsShift) & c::huffman::kFastBitsMask);
        int length = n != static_cast<int>(c::huffman::kFastSlow)
                         ? n - (sym & 15)
                         : static_cast<int>(entry & c::huffman::kFastValueMask);
        if (length == 0) {
            // Longer than the look-ahead: one length at a time; no match by 16 bits is symbol 0.
            int found = -1;
            for (length = kFastBits; found < 0 && length < 16;) {
                ++length;
                found = c::huffman::SymbolOfLength(table, length, static_cast<int>(buf_ >> (64 - length)));
            }
            sym = found < 0 ? 0 : found;
        }
        if (length > 8 && count_ < length) {
            // The reader takes the bits past 8 one at a time and tops up when its count runs out.
            const int before = count_;
            Skip(before);
            if (!TopUp()) return false;
            Skip(length - before);
        } else {
            Skip(length);
        }
        const int s = sym & 15;
        *value = 0;
        if (s != 0) {
            if (count_ < s && !TopUp()) return false;
            *value = c::huffman::ExtendReceived(static_cast<int>(buf_ >> (64 - s)), s);
            Skip(s);
        }
        *symbol = static_cast<uint32_t>(sym);
        return true;
    }

    void Skip(int n) {
        buf_ <<= n;
        count_ -= n;
    }

    // The generic reader's top-up: whole bytes until 25 or more bits are counted.
    [[gnu::always_inline]] bool TopUp() {
        const int n = (32 - count_) >> 3;
        if (pos_ <= srcLen_ - 8) {
            const uint64_t w = LoadBigEndian64(src_ + pos_);
            if (!HasFF(w)) {
                // Bits below the new count take the start of the next byte; a later top-up writes the same.
                buf_ |= w >> (count_ + kAhead);
                pos_ += n;
                taken_ += n;
                count_ += 8 * n;
                return true;
            }
        }
        return Cold(&BlockReader::TopUpByBytes, n);
    }

    // Runs a rarely taken step on a copy, so that this reader never has its address taken and can live
    // in registers on the common path.
    template <typename Step, typename... Args>
    [[gnu::always_inline]] bool Cold(Step step, Args... args) {
        BlockReader copy = *this;
        const bool ok = (copy.*step)(args...);
        *this = copy;
        return ok;
    }

    [[gnu::noinline]] bool TopUpByBytes(int n) {
        for (int i = 0; i < n; ++i) {
            if (!AddByte(count_ + kAhead)) return false;
            count_ += 8;
        }
        return true;
    }

    // One byte of data, FF 00 taken as FF, placed `held` bits from the top; false at a marker or the end.
    bool AddByte(int held) {
        if (pos_ >= srcLen_) return false;
        const Lum8u b = src_[pos_];
        if (b == 0xFF) {
            if (pos_ + 1 >= srcLen_ || src_[pos_ + 1] != 0x00) return false;
            ++pos_;
            stuffed_ = true;
        }
        ++pos_;
        ++taken_;
        buf_ |= uint64_t{b} << (56 - held);
        return true;
    }

    const Lum8u* src_;
    int srcLen_;
    int pos_;               // next source byte
    uint64_t buf_;          // the reader's unread bits, then the look-ahead, from the top
    int count_;             // the generic reader's bit count
    int taken_ = 0;         // data bytes filled in (FF 00 counts once)
    bool stuffed_ = false;  // an FF 00 pair was filled in
};

[[gnu::noinline]] LumStatus Generic(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst,
                                    Lum16s* pLastDC, int* pMarker, const LumiDecodeHuffmanSpec* pDcTable,
                                    const LumiDecodeHuffmanSpec* pAcTable, LumiDecodeHuffmanState* pState) {
    return c::lumiDecodeHuffman8x8_JPEG_1u16s_C1(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, pDcTable,
                                                 pAcTable, pState);
}

}  // namespace

LumStatus lumiDecodeHuffman8x8_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst,
                                             Lum16s* pLastDC, int* pMarker,
                                             const LumiDecodeHuffmanSpec* pDcTable,
                                             const LumiDecodeHuffmanSpec* pAcTable,
                                             LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr || srcLen < 0 || pSrcPos == nullptr || pDst == nullptr || pLastDC == nullptr ||
        pMarker == nullptr || pDcTable == nullptr || pAcTable == nullptr || pState == nullptr ||
        *pMarker != 0 || *pSrcPos < 0 || *pSrcPos > srcLen || pState->nBits < 0 || pState->nBits > 32)
        return Generic(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pState);
    const int pos0 = *pSrcPos;
    const uint32_t acc0 = pState->acc;

    // Eight stores written out: as a loop the compiler makes it a string store, slow to start.
    const __m128i zero = _mm_setzero_si128();
    auto* row = reinterpret_cast<__m128i*>(pDst);
    _mm_storeu_si128(row + 0, zero);
    _mm_storeu_si128(row + 1, zero);
    _mm_storeu_si128(row + 2, zero);
    _mm_storeu_si128(row + 3, zero);
    _mm_storeu_si128(row + 4, zero);
    _mm_storeu_si128(row + 5, zero);
    _mm_storeu_si128(row + 6, zero);
    _mm_storeu_si128(row + 7, zero);

    BlockReader in(pSrc, srcLen, pos0, acc0, pState->nBits);
    uint32_t symbol;
    int value;
    if (!in.Start() || !in.Decode(pDcTable, &symbol, &value))
        return Generic(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pState);
    const auto dc = static_cast<Lum16s>(*pLastDC + value);
    pDst[0] = dc;
    for (int k = 1; k <= 63;) {
        if (!in.Decode(pAcTable, &symbol, &value))
            return Generic(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pState);
        const int r = static_cast<int>(symbol >> 4) & 15;
        if ((symbol & 15) != 0) {
            k += r;
            pDst[c::huffman::kZigzag[k]] = static_cast<Lum16s>(value);
            ++k;
        } else if (r == 15) {
            k += 16;
        } else {
            break;  // end of block
        }
    }
    int pos, nBits;
    uint32_t acc;
    in.Finish(pos0, acc0, &pos, &acc, &nBits);
    *pSrcPos = pos;
    *pLastDC = dc;
    pState->acc = acc;
    pState->nBits = nBits;
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
