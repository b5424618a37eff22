// An optimal Huffman table from symbol statistics (T.81 Annex K.2), limited to codes of 16 bits.
#include <cstdint>
#include <cstring>

#include "jpeg/huffman_internal.h"

namespace lumacore::c {

LumStatus lumiEncodeHuffmanRawTableInit_JPEG_8u(const Lum32s pStatistics[256], Lum8u* pListBits,
                                                Lum8u* pListVals) {
    if (pStatistics == nullptr || pListBits == nullptr || pListVals == nullptr) return lumStsNullPtrErr;

    constexpr int kSymbols = 257;  // symbol 256 is reserved so that no real code is all 1-bits
    constexpr int kMaxLength = 32;
    // Counters wrap as unsigned 32-bit numbers; merged frequencies need more than 32 bits.
    int64_t freq[kSymbols];
    int codeSize[kSymbols] = {};
    int others[kSymbols];
    for (int i = 0; i < 256; ++i) freq[i] = static_cast<uint32_t>(pStatistics[i]);
    freq[256] = 1;
    for (int& o : others) o = -1;

    // Figure K.1: merge the two least frequent trees until one is left; among equal frequencies the
    // higher symbol number is taken.
    for (;;) {
        int c1 = -1, c2 = -1;
        for (int i = 0; i < kSymbols; ++i)
            if (freq[i] != 0 && (c1 < 0 || freq[i] <= freq[c1])) c1 = i;
        for (int i = 0; i < kSymbols; ++i)
            if (freq[i] != 0 && i != c1 && (c2 < 0 || freq[i] <= freq[c2])) c2 = i;
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }

    // Figure K.2: symbols per code length.
    int bits[kMaxLength + 1] = {};
    for (int i = 0; i < kSymbols; ++i) {
        if (codeSize[i] == 0) continue;
        if (codeSize[i] > kMaxLength) return lumStsJpegHuffTableErr;
        ++bits[codeSize[i]];
    }

    // Figure K.3: move pairs of the longest codes up until no code exceeds 16 bits, then drop the
    // reserved symbol's code from the longest length in use.
    for (int i = kMaxLength; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (j > 0 && bits[j] == 0) --j;
            if (j == 0) return lumStsJpegHuffTableErr;  // not a complete code; cannot happen
            bits[i] -= 2;
            ++bits[i - 1];
            bits[j + 1] += 2;
            --bits[j];
        }
    }
    int longest = 16;
    while (longest > 0 && bits[longest] == 0) --longest;
    if (longest > 0) --bits[longest];  // no symbol had a non-zero count: the listing stays empty

    // Figure K.4: symbols by the length Figure K.1 gave them, then by number.
    for (int i = 1; i <= 16; ++i) pListBits[i - 1] = static_cast<Lum8u>(bits[i]);
    int n = 0;
    for (int length = 1; length <= kMaxLength; ++length)
        for (int symbol = 0; symbol < 256; ++symbol)
            if (codeSize[symbol] == length) pListVals[n++] = static_cast<Lum8u>(symbol);
    return lumStsNoErr;
}

}  // namespace lumacore::c
