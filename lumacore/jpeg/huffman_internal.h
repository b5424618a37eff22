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

// Decoder table. Codes of up to 8 bits resolve with one look-up of the next 8 stream bits; longer codes
// walk minCode/maxCode/valPtr one length at a time (T.81 F.2.2.3).
struct LumiDecodeHuffmanSpec {
    Lum16u values[256];    // the symbols in code order, the unused tail 0
    uint32_t lookup[256];  // (length << 16) | symbol for every 8-bit prefix that starts a code of <= 8 bits,
                           // else 0
    Lum16u minCode[18];    // first code of each length (index = length; 0 and 17 unused)
    Lum16u maxCode[18];    // last code of each length, 0xFFFF (-1) when the length has no code
    Lum16u valPtr[18];     // index into `values` of the first symbol of each length
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
