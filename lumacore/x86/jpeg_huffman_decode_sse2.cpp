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
//
// The block loop keeps only the buffer, the count, the read position, the table, the block and the
// coefficient index in registers; the caller's arguments wait in memory for the rare hand-over, and the
// rare steps (a top-up near an FF, a symbol with a top-up inside it) run out of line on a copy of the
// reader.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dispatch/level_impls.h"
#include "jpeg/huffman_internal.h"
#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

using c::huffman::kFastBits;
static_assert(kFastBits >= 8 && kFastBits < 16, "the long-code search starts above the look-ahead");
static_assert(c::huffman::kFastBitsMask == 63, "a 64-bit shift by an entry shifts by its bit count");

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

// `buf` shifted by the bit count in the low 6 bits of `entry`, as the shift instruction reads its count:
// the shift then waits only for the entry's load, not for a mask on the way (it is on the path from one
// symbol's table load to the next one's).
inline uint64_t ShiftByEntry(uint64_t buf, uint32_t entry) {
    asm("shlq %%cl, %0" : "+r"(buf) : "c"(entry) : "cc");
    return buf;
}

// The reader's state. `buf` holds, from its top, the generic reader's `count` unread bits and then at
// least kAhead bits of the data that follows them (its low bits are data bytes further on, or zero);
// `pos` is the source byte after the data in `buf`.
struct Reader {
    uint64_t buf;
    int count;
    int pos;
    bool stuffed;  // an FF 00 pair was taken into `buf`
};

// The source and its limits, for the rare steps.
struct Source {
    const Lum8u* src;
    int srcLen;
};

// One byte of data, FF 00 taken as FF, placed `held` bits from the top; false at a marker or the end.
bool AddByte(const Source& in, Reader* r, int held) {
    if (r->pos >= in.srcLen) return false;
    const Lum8u b = in.src[r->pos];
    if (b == 0xFF) {
        if (r->pos + 1 >= in.srcLen || in.src[r->pos + 1] != 0x00) return false;
        ++r->pos;
        r->stuffed = true;
    }
    ++r->pos;
    r->buf |= uint64_t{b} << (56 - held);
    return true;
}

// The generic reader's top-up, byte by byte: whole bytes until 25 or more bits are counted.
[[gnu::noinline]] bool TopUpByBytes(const Source& in, Reader* r) {
    for (int n = (32 - r->count) >> 3; n > 0; --n) {
        if (!AddByte(in, r, r->count + kAhead)) return false;
        r->count += 8;
    }
    return true;
}

// The generic reader's top-up: the count grows by whole bytes to 25..32 bits.
[[gnu::always_inline]] inline bool TopUp(const Source& in, int limit, Reader* r) {
    if (r->pos <= limit) {
        const uint64_t w = LoadBigEndian64(in.src + r->pos);
        if (!HasFF(w)) {
            // Bits below the new count take the start of the next byte; a later top-up writes the same.
            const int n = (32 - r->count) >> 3;
            r->buf |= w >> (r->count + kAhead);
            r->pos += n;
            r->count += 8 * n;
            return true;
        }
    }
    // Out of line on a copy, so that the caller's reader never has its address taken.
    Reader copy = *r;
    const bool ok = TopUpByBytes(in, &copy);
    *r = copy;
    return ok;
}

void Skip(Reader* r, int n) {
    r->buf <<= n;
    r->count -= n;
}

// The symbol of `entry` step by step as the generic reader takes it, with its top-ups; the count is 8
// or more.
[[gnu::noinline]] bool Careful(const Source& in, const LumiDecodeHuffmanSpec* table, uint32_t entry,
                               Reader* r, uint32_t* symbol, int* value) {
    const int limit = in.srcLen - 8;
    int sym = static_cast<int>((entry >> c::huffman::kFastSymbolShift) & 0xFF);
    const int n = static_cast<int>(entry & c::huffman::kFastBitsMask);
    int length = n != static_cast<int>(c::huffman::kFastSlow)
                     ? n - (sym & 15)
                     : static_cast<int>(entry >> c::huffman::kFastValueShift);
    if (length == 0) {
        // Longer than the look-ahead: one length at a time; no match by 16 bits is symbol 0.
        int found = -1;
        for (length = kFastBits; found < 0 && length < 16;) {
            ++length;
            found = c::huffman::SymbolOfLength(table, length, static_cast<int>(r->buf >> (64 - length)));
        }
        sym = found < 0 ? 0 : found;
    }
    if (length > 8 && r->count < length) {
        // The reader takes the bits past 8 one at a time and tops up when its count runs out.
        const int before = r->count;
        Skip(r, before);
        if (!TopUp(in, limit, r)) return false;
        Skip(r, length - before);
    } else {
        Skip(r, length);
    }
    const int s = sym & 15;
    *value = 0;
    if (s != 0) {
        if (r->count < s && !TopUp(in, limit, r)) return false;
        *value = c::huffman::ExtendReceived(static_cast<int>(r->buf >> (64 - s)), s);
        Skip(r, s);
    }
    *symbol = static_cast<uint32_t>(sym);
    return true;
}

[[gnu::noinline]] bool StartByBytes(const Source& in, Reader* r) {
    for (int i = 0; i < 4; ++i)
        if (!AddByte(in, r, r->count + 8 * i)) return false;
    return true;
}

// The look-ahead loaded behind the caller's bits; false when it cannot be had plainly.
[[gnu::always_inline]] inline bool Start(const Source& in, Reader* r) {
    if (r->pos <= in.srcLen - 8) {
        const uint64_t w = LoadBigEndian64(in.src + r->pos);
        if (!HasFF(w)) {
            r->buf |= w >> r->count;
            r->pos += 4;
            return true;
        }
    }
    Reader copy = *r;
    const bool ok = StartByBytes(in, &copy);
    *r = copy;
    return ok;
}

// The caller's arguments, kept for a hand-over to the generic code.
struct Call {
    const Lum8u* pSrc;
    int srcLen;
    int* pSrcPos;
    Lum16s* pDst;
    Lum16s* pLastDC;
    int* pMarker;
    const LumiDecodeHuffmanSpec* pDcTable;
    const LumiDecodeHuffmanSpec* pAcTable;
    LumiDecodeHuffmanState* pState;
};

[[gnu::noinline]] LumStatus Generic(const Call& a) {
    return c::lumiDecodeHuffman8x8_JPEG_1u16s_C1(a.pSrc, a.srcLen, a.pSrcPos, a.pDst, a.pLastDC, a.pMarker,
                                                 a.pDcTable, a.pAcTable, a.pState);
}

// At the block's end: the generic reader's position and accumulator. It took the bytes that went into
// the buffer, less the look-ahead's.
void Finish(const Lum8u* src, int startPos, uint32_t startAcc, const Reader& r, int* pos, uint32_t* acc) {
    if (!r.stuffed) {
        const int bytes = r.pos - startPos - kAhead / 8;
        *pos = startPos + bytes;
        *acc = bytes >= 4
                   ? LoadBigEndian32(src + *pos - 4)
                   : static_cast<uint32_t>(((uint64_t{startAcc} << 32) | LoadBigEndian32(src + startPos)) >>
                                           (32 - 8 * bytes));
        return;
    }
    // FF 00 is the byte FF: count the data bytes taken, then walk all but the look-ahead's.
    int data = 0;
    for (int p = startPos; p < r.pos; p += src[p] == 0xFF ? 2 : 1) ++data;
    int p = startPos;
    uint32_t a = startAcc;
    for (int i = 0; i < data - kAhead / 8; ++i) {
        const Lum8u b = src[p];
        p += b == 0xFF ? 2 : 1;
        a = (a << 8) | b;
    }
    *pos = p;
    *acc = a;
}

// Decodes the block with the look-ahead loaded; false hands it to the generic code.
[[gnu::always_inline]] inline bool DecodeBlock(const Source& in, Reader& r, Lum16s* dst,
                                               const LumiDecodeHuffmanSpec* dcTable,
                                               const LumiDecodeHuffmanSpec* acTable, int* dcDiff) {
    const int limit = in.srcLen - 8;
    const Lum8u* const zigzag = c::huffman::kZigzag.data();
    // Four-byte loads at positions up to `safe` see no FF and stay in the data: the first FF in the next
    // 32 bytes bounds them (most blocks take fewer bytes; the rest go on with a check at each top-up).
    int safe = -1;
    if (r.pos <= in.srcLen - 32) {
        const __m128i ff = _mm_set1_epi8(static_cast<char>(0xFF));
        const auto* p = reinterpret_cast<const __m128i*>(in.src + r.pos);
        const auto mask =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(p), ff))) |
            (static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(p + 1), ff))) << 16);
        safe = r.pos + (mask == 0 ? 32 : __builtin_ctz(mask)) - 4;
    }
    // One symbol: its entry, the top-up the generic reader makes before it, then either the whole symbol
    // from the entry or the careful way when the count runs out inside it (entries without their value
    // say 63 bits, which also lands there).
    auto next = [&](const LumiDecodeHuffmanSpec* table, uint32_t* entryOut) -> bool {
        const uint32_t entry = table->fast[r.buf >> (64 - kFastBits)];
        if (r.pos <= safe) [[likely]] {
            // No branch on the count: its turns below 8 follow the code lengths and would be
            // mispredicted. The next bytes are placed behind the look-ahead whether or not the count
            // takes them (they are the data that follows it; the 32 - count free bits take them), and the
            // count takes (32 - count) / 8 of them when it is below 8.
            r.buf |= uint64_t{LoadBigEndian32(in.src + r.pos)} >> r.count;
            const int bytes = ((32 - r.count) >> 3) & ((r.count - 8) >> 31);
            r.pos += bytes;
            r.count += 8 * bytes;
        } else if (r.count < 8 && !TopUp(in, limit, &r)) {
            return false;
        }
        const int n = static_cast<int>(entry & c::huffman::kFastBitsMask);
        if (r.count < n) [[unlikely]] {
            // A code within the look-ahead whose extra bits reach past it (large DC differences, mostly):
            // taken here when the count holds both, as the generic reader then takes them without a top-up.
            const auto length = static_cast<int>(entry >> c::huffman::kFastValueShift);
            const int size = static_cast<int>(entry >> c::huffman::kFastSymbolShift) & 15;
            if (n == static_cast<int>(c::huffman::kFastSlow) && length != 0 && r.count >= length + size) {
                // A slow entry with a length has extra bits (without them the code would fit).
                const auto raw = static_cast<int>((r.buf << length) >> (64 - size));
                r.buf <<= length + size;
                r.count -= length + size;
                *entryOut = (entry & (0xFFu << c::huffman::kFastSymbolShift)) |
                            (static_cast<uint32_t>(c::huffman::ExtendReceived(raw, size))
                             << c::huffman::kFastValueShift);
                return true;
            }
            Reader copy = r;
            uint32_t sym;
            int val;
            if (!Careful(in, table, entry, &copy, &sym, &val)) return false;
            r = copy;
            *entryOut = (sym << c::huffman::kFastSymbolShift) |
                        (static_cast<uint32_t>(val) << c::huffman::kFastValueShift);
            return true;
        }
        r.buf = ShiftByEntry(r.buf, entry);
        r.count -= n;
        *entryOut = entry;
        return true;
    };
    uint32_t e;
    if (!next(dcTable, &e)) return false;
    *dcDiff = static_cast<int32_t>(e) >> c::huffman::kFastValueShift;
    for (std::ptrdiff_t k = 1; k <= 63;) {
        if (!next(acTable, &e)) return false;
        const auto r4 = static_cast<std::ptrdiff_t>((e >> (c::huffman::kFastSymbolShift + 4)) & 15);
        if ((e & (15u << c::huffman::kFastSymbolShift)) != 0) {
            k += r4;
            dst[zigzag[k]] = static_cast<Lum16s>(static_cast<int32_t>(e) >> c::huffman::kFastValueShift);
            ++k;
        } else if (r4 == 15) {
            k += 16;
        } else {
            break;  // end of block
        }
    }
    return true;
}

}  // namespace

// g++ at -O3 packs the reader's count and position into one vector register around the out-of-line
// steps and pays for it in every symbol; the reader stays in plain registers without that pass.
#if defined(__GNUC__) && !defined(__clang__)
#define LUM_SCALAR_READER [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define LUM_SCALAR_READER
#endif

LUM_SCALAR_READER LumStatus lumiDecodeHuffman8x8_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                               Lum16s* pDst, Lum16s* pLastDC, int* pMarker,
                                                               const LumiDecodeHuffmanSpec* pDcTable,
                                                               const LumiDecodeHuffmanSpec* pAcTable,
                                                               LumiDecodeHuffmanState* pState) {
    const Call call{pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, pDcTable, pAcTable, pState};
    if (pSrc == nullptr || srcLen < 0 || pSrcPos == nullptr || pDst == nullptr || pLastDC == nullptr ||
        pMarker == nullptr || pDcTable == nullptr || pAcTable == nullptr || pState == nullptr ||
        *pMarker != 0 || *pSrcPos < 0 || *pSrcPos > srcLen || pState->nBits < 0 || pState->nBits > 32)
        return Generic(call);
    const int pos0 = *pSrcPos;
    const uint32_t acc0 = pState->acc;
    const int count0 = pState->nBits;

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

    const Source in{pSrc, srcLen};
    Reader r{count0 == 0 ? 0 : uint64_t{acc0} << (64 - count0), count0, pos0, false};
    int dcDiff = 0;
    if (!Start(in, &r) || !DecodeBlock(in, r, pDst, pDcTable, pAcTable, &dcDiff)) return Generic(call);
    const auto dc = static_cast<Lum16s>(*pLastDC + dcDiff);
    pDst[0] = dc;
    int pos;
    uint32_t acc;
    Finish(pSrc, pos0, acc0, r, &pos, &acc);
    *pSrcPos = pos;
    *pLastDC = dc;
    pState->acc = acc;
    pState->nBits = r.count;
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
