// Level 1 (SSE2) baseline Huffman encoding of one 8x8 block, also bound at levels 2 and 3 (the work is
// bit handling, which wider vectors do not speed up).
//
// The encoder finds the non-zero coefficients with one vector compare of the zig-zag-ordered block
// (a 64-bit mask walked with count-trailing-zeros), puts each code and its extra bits as one field
// into a 64-bit buffer, and writes 32 bits at a time, stuffing byte by byte only when one of the four
// bytes is FF. It encodes into a local buffer and commits the bytes, position, predictor and bit state
// only when the whole block succeeded and fits; any failure (a symbol without a code, an AC value of
// -32768, too little room, a flush) is handed to the generic code from the start, so statuses and
// partial outputs are the generic ones by construction. The bit state it leaves is the generic writer's
// exactly: pending bits under bit 23, the last byte written above them.
#include <emmintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "dispatch/level_impls.h"
#include "jpeg/huffman_internal.h"
#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

// The longest block: a 32-bit DC field, 63 AC fields of at most 31 bits and an end of block, every
// byte stuffed, plus the seven bits carried in.
constexpr int kBlockBytesMax = 512;

class FastWriter {
  public:
    FastWriter(uint64_t pending, int nPending) : buf_(pending), count_(nPending) {}

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

    const Lum8u* bytes() const { return out_; }
    int size() const { return size_; }
    bool wroteData() const { return wroteData_; }
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
            wroteData_ = true;
        } else {
            for (int shift = 24; shift >= 0; shift -= 8) WriteByte(static_cast<Lum8u>(w >> shift));
        }
    }
    void WriteByte(Lum8u b) {
        out_[size_++] = b;
        if (b == 0xFF) out_[size_++] = 0x00;
        last_ = b;
        wroteData_ = true;
    }

    uint64_t buf_;
    int count_;
    int size_ = 0;
    bool wroteData_ = false;
    Lum8u last_ = 0;
    Lum8u out_[kBlockBytesMax];
};

// Code of (run << 4) | size followed by the size's extra bits, as one field; false when the symbol has
// no code or the size exceeds `maxSize` (the generic code reports those).
inline bool PutValue(FastWriter& out, const LumiEncodeHuffmanSpec* table, int run, int v, int maxSize) {
    const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    const int size = static_cast<int>(std::bit_width(magnitude));
    if (size > maxSize) return false;
    const uint32_t entry = table->code[(run << 4) | size];
    const int length = static_cast<int>(entry >> 16);
    if (length == 0) return false;
    const uint32_t code = entry & 0xFFFF & ((1u << length) - 1);
    const uint32_t extra = static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << size) - 1);
    out.Put((code << size) | extra, length + size);
    return true;
}

inline bool PutSymbol(FastWriter& out, const LumiEncodeHuffmanSpec* table, int symbol) {
    const uint32_t entry = table->code[symbol];
    const int length = static_cast<int>(entry >> 16);
    if (length == 0) return false;
    out.Put(entry & 0xFFFF & ((1u << length) - 1), length);
    return true;
}

// Bit k set when zig-zag coefficient k is non-zero.
inline uint64_t NonZeroMask(const Lum16s* zz) {
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(zz + 16 * i));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(zz + 16 * i + 8));
        const __m128i eq = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(eq))) << (16 * i);
    }
    return ~zeros;
}

}  // namespace

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    auto generic = [&] {
        return c::lumiEncodeHuffman8x8_JPEG_16s1u_C1(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable,
                                                     pState, bFlush);
    };
    if (bFlush || pSrc == nullptr || pDst == nullptr || dstLen <= 0 || pDstPos == nullptr || *pDstPos < 0 ||
        pLastDC == nullptr || pDcTable == nullptr || pAcTable == nullptr || pState == nullptr)
        return generic();
    // The writer's invariant: 0 to 7 pending bits under bit 23 and nothing below them. A state that
    // breaks it is left to the generic code, which defines what such a state gives.
    const uint32_t acc0 = pState->acc;
    const int n0 = pState->nBits;
    if (n0 < 0 || n0 > 7 || (acc0 & ((1u << (24 - n0)) - 1)) != 0) return generic();

    alignas(16) Lum16s zz[64];
    for (int k = 0; k < 64; ++k) zz[k] = pSrc[c::huffman::kZigzag[k]];

    FastWriter out((acc0 >> (24 - n0)) & ((1u << n0) - 1), n0);
    // The difference is kept in int: 16-bit predictors and values differ by up to 65535 (category 16).
    if (!PutValue(out, pDcTable, 0, zz[0] - *pLastDC, 16)) return generic();
    uint64_t nz = NonZeroMask(zz) & ~uint64_t{1};
    int next = 1;  // the zig-zag position after the last value put
    while (nz != 0) {
        const int k = std::countr_zero(nz);
        int run = k - next;
        for (; run > 15; run -= 16)
            if (!PutSymbol(out, pAcTable, 0xF0)) return generic();
        if (!PutValue(out, pAcTable, run, zz[k], 15)) return generic();
        next = k + 1;
        nz &= nz - 1;
    }
    if (next <= 63 && !PutSymbol(out, pAcTable, 0x00)) return generic();

    uint32_t rest;
    int nRest;
    out.Finish(&rest, &nRest);
    const int pos = *pDstPos;
    if (out.size() > dstLen - pos) return generic();
    std::memcpy(pDst + pos, out.bytes(), static_cast<std::size_t>(out.size()));
    *pDstPos = pos + out.size();
    *pLastDC = pSrc[0];
    const uint32_t top = out.wroteData() ? out.lastData() : (acc0 >> 24);
    pState->acc = (top << 24) | (rest << (24 - nRest));
    pState->nBits = nRest;
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
