// Layouts of the Huffman table and state objects that the JPEG entropy-coding primitives hand out as
// opaque pointers, and the helpers every coder shares (zig-zag order, size categories).
//
// Tables are immutable once built and may be shared between scans and threads; a state belongs to one
// scan on one thread at a time and carries the bit buffer (and the end-of-band run of a progressive scan)
// from one block call to the next.
#ifndef LUMACORE_JPEG_HUFFMAN_INTERNAL_H
#define LUMACORE_JPEG_HUFFMAN_INTERNAL_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"

namespace lumacore::c::huffman {

// Width of the tuned decoders' look-ahead: one entry per prefix of this many bits.
inline constexpr int kFastBits = 10;

// A look-ahead entry: what the generic reader decodes from a prefix. When the code and all its extra bits
// lie inside the prefix: the bits they take together (bits 0-5), the symbol (8-15) and the sign-extended
// value (16-31). Otherwise: kFastSlow in bits 0-5, the symbol (8-15) and the code's length (16-31, 0 when
// it is longer than the prefix). The bit count comes first so that a decoder shifts its buffer by the
// entry itself (a 64-bit shift takes the low 6 bits of its count).
inline constexpr uint32_t kFastBitsMask = 63;
inline constexpr int kFastSymbolShift = 8;
inline constexpr int kFastValueShift = 16;
inline constexpr uint32_t kFastSlow = 63;

}  // namespace lumacore::c::huffman

// Decoder table. Codes of up to 8 bits resolve with one look-up of the next 8 stream bits; longer codes
// walk minCode/maxCode/valPtr one length at a time (T.81 F.2.2.3). `fast` is derived from the fields
// above it by the table builder, for the tuned block decoders only.
struct LumiDecodeHuffmanSpec {
    Lum16u values[256];    // the symbols in code order, the unused tail 0
    uint32_t lookup[256];  // (length << 16) | symbol for every 8-bit prefix that starts a code of <= 8 bits,
                           // else 0
    Lum16u minCode[18];    // first code of each length (index = length; 0 and 17 unused)
    Lum16u maxCode[18];    // last code of each length, 0xFFFF (-1) when the length has no code
    Lum16u valPtr[18];     // index into `values` of the first symbol of each length
    uint32_t fast[1 << lumacore::c::huffman::kFastBits];  // look-ahead entries (above), by prefix
};

// Decoder bit state: the unread bits are the low `nBits` bits of `acc`, oldest first.
struct LumiDecodeHuffmanState {
    uint32_t acc;
    int32_t nBits;
    int32_t eobRun;  // blocks of the current band still to skip (progressive AC scans)
};

// Encoder table: (code length << 16) | code per symbol; length 0 marks a symbol without a code.
struct LumiEncodeHuffmanSpec {
    uint32_t code[256];
};

inline constexpr int kCorrBitsCapacity = 1024;
// The end-of-band run and its buffered correction bits are put out once more than this many bits wait,
// so that one more block (at most 63 bits) still fits the buffer.
inline constexpr int kCorrBitsLimit = 937;
inline constexpr int kMaxEobRun = 32767;

// Encoder bit state: `nBits` pending bits left-aligned under bit 23 of `acc` (a 24-bit window).
struct LumiEncodeHuffmanState {
    uint32_t acc;
    int32_t nBits;
    int32_t eobRun;                     // end-of-band run not yet put out (progressive AC scans)
    int32_t nCorrBits;                  // correction bits buffered in corrBits (AC refinement scans)
    Lum8u corrBits[kCorrBitsCapacity];  // one bit per byte, in stream order
};

namespace lumacore::c::huffman {

// Natural (row-major) index of each zig-zag position (T.81 Figure A.6). The 16 entries past 63 absorb
// a run that a corrupt stream pushes beyond the block: position 63 plus a run of up to 15 still lands on
// coefficient 63 instead of outside the table.
inline constexpr std::array<Lum8u, 64 + 16> kZigzag = [] {
    std::array<Lum8u, 64 + 16> padded{};
    for (std::size_t i = 0; i < padded.size(); ++i) padded[i] = i < 64 ? lumacore::kZigzagToNatural[i] : 63;
    return padded;
}();

// Number of significant bits of a magnitude (the T.81 size category): 0 for 0.
inline int BitLength(uint32_t magnitude) {
    return static_cast<int>(std::bit_width(magnitude));
}

// The symbol that `code`, taken as a code of `length` bits, stands for; -1 when it is beyond the last code
// of that length (the search goes on with one more bit). Only a table whose codes overflow their lengths
// can point outside `values`; such an index gives symbol 0.
inline int SymbolOfLength(const LumiDecodeHuffmanSpec* table, int length, int code) {
    const int maxCode = table->maxCode[length] == 0xFFFF ? -1 : table->maxCode[length];
    if (code > maxCode) return -1;
    const int index = table->valPtr[length] + code - table->minCode[length];
    return index >= 0 && index < 256 ? table->values[index] : 0;
}

// The value of `s` received extra bits `raw` (T.81 F.2.2.1): with its top bit clear it is negative.
inline int ExtendReceived(int raw, int s) {
    return s > 0 && raw < (1 << (s - 1)) ? raw + 1 - (1 << s) : raw;
}

inline bool BadSpectralRange(int Ss, int Se, int Al) {
    return Ss < 1 || Ss > 63 || Se < Ss || Se > 63 || Al < 0 || Al > 13;
}

inline bool BadBitPosition(int Al) {
    return Al < 0 || Al > 13;
}

// The free functions of all four object kinds.
LumStatus FreeObject(void* p);

}  // namespace lumacore::c::huffman

#endif
