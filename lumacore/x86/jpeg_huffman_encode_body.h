// The baseline Huffman block encoder of the tuned levels, shared by level 1 (SSE2) and levels 2-3
// (SSE4.1); they differ only in how they find the non-zero coefficients in zig-zag order. `Scan`
// supplies that: scan.NonZero(block) gives the 64-bit mask (bit k set when zig-zag coefficient k is
// non-zero), then scan.At(block, k) gives zig-zag coefficient k. Internal to each including file (see
// dct8_lines.h).
//
// Each code and its extra bits go out as one field into a 64-bit buffer, written 32 bits at a time,
// stuffing byte by byte only when one of the four bytes is FF. Buffer, bit count and write pointer are
// plain locals of one function, so they stay in registers. With room for the longest block the encoder
// writes in place, else into a local buffer that it commits only when the block fits; the position,
// predictor and bit state are committed only when the whole block succeeded. Any failure (a symbol
// without a code, an AC value of -32768, too little room, a flush) is handed to the generic code from
// the start, so statuses and outputs are the generic ones by construction: the bytes written in place
// before a failure are a prefix of what the generic code then writes over them. The bit state it leaves
// is the generic writer's exactly: pending bits under bit 23, the last byte written above them.
#ifndef LUMACORE_X86_JPEG_HUFFMAN_ENCODE_BODY_H
#define LUMACORE_X86_JPEG_HUFFMAN_ENCODE_BODY_H

#include <x86intrin.h>

#include <cstdint>
#include <cstring>

#include "dispatch/level_impls.h"
#include "jpeg/huffman_internal.h"
#include "lumacore/lumacore.h"

namespace lumacore::x86 {
namespace {

// The longest block: a 32-bit DC field, 63 AC fields of at most 31 bits and an end of block, every
// byte stuffed, plus the seven bits carried in.
constexpr int kBlockBytesMax = 512;

// Writes the four bytes of `w` (first byte in bits 31-24), each FF followed by a stuffed 00; returns
// the end. Out of line: about one word in sixty holds an FF.
[[gnu::noinline]] Lum8u* WriteStuffed(Lum8u* out, uint32_t w) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        const Lum8u b = static_cast<Lum8u>(w >> shift);
        *out++ = b;
        if (b == 0xFF) *out++ = 0x00;
    }
    return out;
}

inline Lum8u* Write32(Lum8u* out, uint32_t w) {
    // A byte is FF exactly when the same byte of ~w is zero.
    const uint32_t inv = ~w;
    if (__builtin_expect(((inv - 0x01010101u) & ~inv & 0x80808080u) != 0, 0)) return WriteStuffed(out, w);
    const uint32_t be = __builtin_bswap32(w);
    std::memcpy(out, &be, 4);
    return out + 4;
}

// The bits not yet written: the low `count` bits of `buf` (older bits above newer ones), count < 32
// between puts; what lies above them is never written. Fields are 1 to 32 bits, so a put never loses a
// pending bit.
struct Bits {
    uint64_t buf;
    int count;
    Lum8u* out;
};

inline void Put(Bits& b, uint32_t field, int n) {
    b.buf = (b.buf << n) | field;
    b.count += n;
    if (b.count >= 32) {
        b.count -= 32;
        b.out = Write32(b.out, static_cast<uint32_t>(b.buf >> b.count));
    }
}

// The block's fields; false at the first one the generic code must report (a symbol without a code,
// the AC value -32768). A table from the table builder never holds a code that reaches 2^length, so
// codes need no mask.
//
// Each value goes out as one field: the code of (run << 4) | size, then the size's extra bits. The extra
// bits of a negative v are the low `size` bits of v - 1, and v - 1 >= -2^size, so with s = -1 for a
// negative v (else 0) the field is ((code - s) << size) + (v + s) without any mask: for a negative v
// that is (code << size) + 2^size + v - 1, which lies in [code << size, (code + 1) << size). A DC field
// reaches 16 + 16 bits; 32-bit arithmetic is still exact, the sum wrapping where it passes 2^32.
template <typename Scan>
inline bool EncodeBlock(Bits& bits, const Lum16s* block, int lastDc, const uint32_t* dc, const uint32_t* ac) {
    Scan scan;
    uint64_t nz = scan.NonZero(block) & ~uint64_t{1};

    // The difference is kept in int: 16-bit predictors and values differ by up to 65535 (size 16).
    // bsr(2m + 1) is the bit length of m, 0 included.
    const int diff = block[0] - lastDc;
    int s = diff >> 31;
    uint32_t magnitude = static_cast<uint32_t>((diff ^ s) - s);
    int size = _bit_scan_reverse(static_cast<int>(2 * magnitude + 1));
    uint32_t entry = dc[size];
    if ((entry >> 16) == 0) return false;
    Put(bits, (((entry & 0xFFFF) - static_cast<uint32_t>(s)) << size) + static_cast<uint32_t>(diff + s),
        static_cast<int>(entry >> 16) + size);

    int next = 1;  // the zig-zag position after the last value put
    while (nz != 0) {
        const int k = __builtin_ctzll(nz);
        nz &= nz - 1;
        int run = k - next;
        next = k + 1;
        if (__builtin_expect(run > 15, 0)) {
            const uint32_t zrl = ac[0xF0];
            if ((zrl >> 16) == 0) return false;
            do {
                Put(bits, zrl & 0xFFFF, static_cast<int>(zrl >> 16));
                run -= 16;
            } while (run > 15);
        }
        const int v = scan.At(block, k);
        s = v >> 31;
        magnitude = static_cast<uint32_t>((v ^ s) - s);  // 1 to 32768
        size = _bit_scan_reverse(static_cast<int>(2 * magnitude));
        // -32768 has size 16, which an AC symbol cannot carry.
        if (__builtin_expect(size > 15, 0)) return false;
        entry = ac[(run << 4) + size];
        if (__builtin_expect((entry >> 16) == 0, 0)) return false;
        Put(bits, (((entry & 0xFFFF) - static_cast<uint32_t>(s)) << size) + static_cast<uint32_t>(v + s),
            static_cast<int>(entry >> 16) + size);
    }
    if (next <= 63) {
        entry = ac[0x00];
        if ((entry >> 16) == 0) return false;
        Put(bits, entry & 0xFFFF, static_cast<int>(entry >> 16));
    }
    return true;
}

[[gnu::noinline]] LumStatus Generic(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                    Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                    const LumiEncodeHuffmanSpec* pAcTable, LumiEncodeHuffmanState* pState,
                                    int bFlush) {
    return c::lumiEncodeHuffman8x8_JPEG_16s1u_C1(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable,
                                                 pState, bFlush);
}

template <typename Scan>
LumStatus EncodeBaseline(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos, Lum16s* pLastDC,
                         const LumiEncodeHuffmanSpec* pDcTable, const LumiEncodeHuffmanSpec* pAcTable,
                         LumiEncodeHuffmanState* pState, int bFlush) {
    if (bFlush || pSrc == nullptr || pDst == nullptr || dstLen <= 0 || pDstPos == nullptr || *pDstPos < 0 ||
        pLastDC == nullptr || pDcTable == nullptr || pAcTable == nullptr || pState == nullptr)
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
    // The writer's invariant: 0 to 7 pending bits under bit 23 and nothing below them. A state that
    // breaks it is left to the generic code, which defines what such a state gives.
    // (Shifted up past the top byte and the pending bits, nothing may be left.)
    const uint32_t acc0 = pState->acc;
    const int n0 = pState->nBits;
    if (static_cast<unsigned>(n0) > 7 || ((acc0 << 8) << n0) != 0)
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);

    const int pos = *pDstPos;
    const bool inPlace = pos <= dstLen - kBlockBytesMax;
    Lum8u local[kBlockBytesMax];
    Lum8u* const start = inPlace ? pDst + pos : local;
    Bits bits{acc0 >> (24 - n0), n0, start};  // the last byte written stays above the pending bits
    if (!EncodeBlock<Scan>(bits, pSrc, *pLastDC, pDcTable->code, pAcTable->code))
        return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
    // The whole bytes still held, then the fewer than 8 bits left.
    while (bits.count >= 8) {
        bits.count -= 8;
        const Lum8u b = static_cast<Lum8u>(bits.buf >> bits.count);
        *bits.out++ = b;
        if (b == 0xFF) *bits.out++ = 0x00;
    }
    const int size = static_cast<int>(bits.out - start);
    if (!inPlace) {
        if (size > dstLen - pos)
            return Generic(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable, pState, bFlush);
        std::memcpy(pDst + pos, local, static_cast<std::size_t>(size));
    }
    *pDstPos = pos + size;
    *pLastDC = pSrc[0];
    // The generic writer keeps the last data byte above the pending bits. A written 00 after an FF is
    // the FF's stuffing (data FF is always stuffed), so the data byte is then the FF.
    uint32_t top = acc0 >> 24;
    if (size > 0) {
        top = start[size - 1];
        if (top == 0x00 && size > 1 && start[size - 2] == 0xFF) top = 0xFF;
    }
    const int nRest = bits.count;
    const uint32_t rest = static_cast<uint32_t>(bits.buf) & ((1u << nRest) - 1);
    pState->acc = (top << 24) | (rest << (24 - nRest));
    pState->nBits = nRest;
    return lumStsNoErr;
}

}  // namespace
}  // namespace lumacore::x86

#endif
