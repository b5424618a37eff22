// Level 1 (SSE2) baseline Huffman encoding of one 8x8 block, also bound at levels 2 and 3 (the work is
// bit handling, which wider vectors do not speed up).
//
// The encoder gathers the block into zig-zag order with word inserts, finds the non-zero coefficients
// with vector compares (a 64-bit mask walked with count-trailing-zeros), puts each code and its extra
// bits as one field into a 64-bit buffer, and writes 32 bits at a time, stuffing byte by byte only when one
// of the four bytes is FF. With room for the longest block it writes in place, else into a local buffer that
// it commits only when the block fits; the position, predictor and bit state are committed only when the
// whole block succeeded. Any failure (a symbol without a code, an AC value of -32768, too little room, a
// flush) is handed to the generic code from the start, so statuses and outputs are the generic ones by
// construction: the bytes written in place before a failure are a prefix of what the generic code then
// writes over them. The bit state it leaves is the generic writer's exactly: pending bits under bit 23,
// the last byte written above them.
#include <emmintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "dispatch/level_impls.h"
#include "jpeg/huffman_internal.h"
#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"

namespace lumacore::sse2 {
namespace {

// The longest block: a 32-bit DC field, 63 AC fields of at most 31 bits and an end of block, every
// byte stuffed, plus the seven bits carried in.
constexpr int kBlockBytesMax = 512;

class FastWriter {
  public:
    FastWriter(Lum8u* out, uint64_t pending, int nPending) : out_(out), buf_(pending), count_(nPending) {}

    // `n` (1 to 32) bits, already masked to n bits.
    void Put(uint32_t field, int n) {
        buf_ = (buf_ << n) | field;
        count_ += n;
        if (count_ >= 32) {
            count_ -= 32;
            Write32(static_cast<uint32_t>(buf_ >> count_));
        }
    }

    // Writes the whole bytes still held; returns the bits left (fewer than 8) and their count.
    void Finish(uint32_t* rest, int* nRest) {
        while (count_ >= 8) {
            count_ -= 8;
            WriteByte(static_cast<Lum8u>(buf_ >> count_));
        }
        *rest = static_cast<uint32_t>(buf_) & ((1u << count_) - 1);
        *nRest = count_;
    }

    int size() const { return size_; }
    bool wroteData() const { return size_ != 0; }
    Lum8u lastData() const { return last_; }

  private:
    void Write32(uint32_t w) {
        // A byte is FF exactly when the same byte of ~w is zero.
        const uint32_t inv = ~w;
        if (((inv - 0x01010101u) & ~inv & 0x80808080u) == 0) {
            const uint32_t be = __builtin_bswap32(w);
            std::memcpy(out_ + size_, &be, 4);
            size_ += 4;
            last_ = static_cast<Lum8u>(w);
        } else {
            for (int shift = 24; shift >= 0; shift -= 8) WriteByte(static_cast<Lum8u>(w >> shift));
        }
    }
    void WriteByte(Lum8u b) {
        out_[size_++] = b;
        if (b == 0xFF) out_[size_++] = 0x00;
        last_ = b;
    }

    Lum8u* out_;
    uint64_t buf_;
    int count_;
    int size_ = 0;
    Lum8u last_ = 0;
};

// Code of (run << 4) | size followed by the size's extra bits, as one field; false when the symbol has
// no code or the size exceeds `maxSize` (the generic code reports those). A table from the table builder
// never holds a code that reaches 2^length, so the code needs no mask.
inline bool PutValue(FastWriter& out, const LumiEncodeHuffmanSpec* table, int run, int v, int maxSize) {
    const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    const int size = static_cast<int>(std::bit_width(magnitude));
    if (size > maxSize) return false;
    const uint32_t entry = table->code[(run << 4) | size];
    const int length = static_cast<int>(entry >> 16);
    if (length == 0) return false;
    // The extra bits of a negative value are those of v - 1.
    const uint32_t extra = static_cast<uint32_t>(v + (v >> 31)) & ((1u << size) - 1);
    out.Put(((entry & 0xFFFF) << size) | extra, length + size);
    return true;
}

inline bool PutSymbol(FastWriter& out, const LumiEncodeHuffmanSpec* table, int symbol) {
    const uint32_t entry = table->code[symbol];
    const int length = static_cast<int>(entry >> 16);
    if (length == 0) return false;
    out.Put(entry & 0xFFFF, length);
    return true;
}

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

// The block in zig-zag order into `zz`; bit k of the result set when zig-zag coefficient k is non-zero.
inline uint64_t ToZigzag(const Lum16s* block, Lum16s* zz) {
    return ZigzagPair<0>(block, zz) | ZigzagPair<1>(block, zz) | ZigzagPair<2>(block, zz) |
           ZigzagPair<3>(block, zz);
}

// The block's fields into `out`; false at the first one the generic code must report.
inline bool EncodeBlock(FastWriter& out, const Lum16s* block, int lastDc,
                        const LumiEncodeHuffmanSpec* pDcTable, const LumiEncodeHuffmanSpec* pAcTable) {
    alignas(16) Lum16s zz[64];
    uint64_t nz = ToZigzag(block, zz) & ~uint64_t{1};
    // The difference is kept in int: 16-bit predictors and values differ by up to 65535 (category 16).
    if (!PutValue(out, pDcTable, 0, zz[0] - lastDc, 16)) return false;
    int next = 1;  // the zig-zag position after the last value put
    while (nz != 0) {
        const int k = std::countr_zero(nz);
        int run = k - next;
        for (; run > 15; run -= 16)
            if (!PutSymbol(out, pAcTable, 0xF0)) return false;
        if (!PutValue(out, pAcTable, run, zz[k], 15)) return false;
        next = k + 1;
        nz &= nz - 1;
    }
    return next > 63 || PutSymbol(out, pAcTable, 0x00);
}

[[gnu::noinline]] LumStatus Generic(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                    Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                    const LumiEncodeHuffmanSpec* pAcTable, LumiEncodeHuffmanState* pState,
                                    int bFlush) {
    return c::lumiEncodeHuffman8x8_JPEG_16s1u_C1(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable,
                                                 pState, bFlush);
}

}  // namespace

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    if (bFlush || pSrc == nullptr || pDst == nullptr || dstLen <= 0 || pDstPos == nullptr || *pDstPos < 0 ||
        pLastDC == nullptr || pDcTable == nullptr || pAcTable == nullptr || pState == nullptr)
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
    // The writer's invariant: 0 to 7 pending bits under bit 23 and nothing below them. A state that
    // breaks it is left to the generic code, which defines what such a state gives.
    const uint32_t acc0 = pState->acc;
    const int n0 = pState->nBits;
    if (n0 < 0 || n0 > 7 || (acc0 & ((1u << (24 - n0)) - 1)) != 0)
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);

    const int pos = *pDstPos;
    const bool inPlace = pos <= dstLen - kBlockBytesMax;
    Lum8u local[kBlockBytesMax];
    FastWriter out(inPlace ? pDst + pos : local, (acc0 >> (24 - n0)) & ((1u << n0) - 1), n0);
    if (!EncodeBlock(out, pSrc, *pLastDC, pDcTable, pAcTable))
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
    uint32_t rest;
    int nRest;
    out.Finish(&rest, &nRest);
    if (!inPlace) {
        if (out.size() > dstLen - pos)
            return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
        std::memcpy(pDst + pos, local, static_cast<std::size_t>(out.size()));
    }
    *pDstPos = pos + out.size();
    *pLastDC = pSrc[0];
    const uint32_t top = out.wroteData() ? out.lastData() : (acc0 >> 24);
    pState->acc = (top << 24) | (rest << (24 - nRest));
    pState->nBits = nRest;
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
