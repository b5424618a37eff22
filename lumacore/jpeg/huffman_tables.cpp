// Huffman table construction (T.81 Annex C) and the decoder and encoder state objects.
#include <cstring>

#include "jpeg/huffman_internal.h"

namespace lumacore::c {
namespace huffman {

LumStatus FreeObject(void* p) {
    if (p == nullptr) return lumStsNullPtrErr;
    lumFree(p);
    return lumStsNoErr;
}

namespace {

struct CodeList {
    int count = 0;
    Lum8u size[256];
    Lum16u code[256];
};

// Code lengths (Figure C.1) and canonical codes (Figure C.2) from the 16 counts. More than 256 codes is
// an invalid table. Codes are not checked against their lengths here: the encoder does that.
LumStatus GenerateCodes(const Lum8u* pListBits, CodeList* list) {
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < pListBits[length - 1]; ++i) {
            if (k >= 256) return lumStsJpegHuffTableErr;
            list->size[k++] = static_cast<Lum8u>(length);
        }
    }
    list->count = k;
    unsigned code = 0;
    int length = k > 0 ? list->size[0] : 0;
    for (int i = 0; i < k; ++i) {
        while (list->size[i] != length) {
            code <<= 1;
            ++length;
        }
        list->code[i] = static_cast<Lum16u>(code);
        ++code;
    }
    return lumStsNoErr;
}

// The largest code of a length must stay below 2^length (a code of length L that reaches 2^L would
// collide with longer codes).
bool CodesFitLengths(const Lum8u* pListBits) {
    uint32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
        code += pListBits[length - 1];
        if (pListBits[length - 1] != 0 && code > (1u << length)) return false;
        code <<= 1;
    }
    return true;
}

// The look-ahead entry of a prefix whose code (if any) is `length` bits long and stands for `symbol`.
uint32_t LookAheadEntry(unsigned prefix, int length, int symbol) {
    const int s = symbol & 15;
    if (length == 0 || length + s > kFastBits)
        return kFastSlow | (static_cast<uint32_t>(symbol) << kFastSymbolShift) |
               (static_cast<uint32_t>(length) << kFastValueShift);
    const int raw = static_cast<int>(prefix >> (kFastBits - length - s)) & ((1 << s) - 1);
    return static_cast<uint32_t>(length + s) | (static_cast<uint32_t>(symbol) << kFastSymbolShift) |
           (static_cast<uint32_t>(ExtendReceived(raw, s)) << kFastValueShift);
}

// The look-ahead entries of the tuned decoders, derived from the generic reader's own fields so that they
// decode exactly what it decodes from the same bits, whatever the table (valid, overflowing or the
// cleared table of a failed construction): a prefix's code is found as the reader finds it, through
// `lookup` for up to 8 bits and then one length at a time. The prefixes that share their first 8 bits
// share a short code, so `lookup` is read once for each such group.
void FillLookAhead(LumiDecodeHuffmanSpec* spec) {
    constexpr int kGroupShift = kFastBits - 8;
    for (unsigned group = 0; group < 256; ++group) {
        const unsigned first = group << kGroupShift;
        const uint32_t short8 = spec->lookup[group];
        if (short8 != 0) {
            const int length = static_cast<int>(short8 >> 16);
            const int symbol = static_cast<int>(short8 & 0xFF);
            if (length + (symbol & 15) <= 8) {
                // The code and its extra bits lie in the group's 8 bits: one entry for all its prefixes.
                const uint32_t entry = LookAheadEntry(first, length, symbol);
                for (unsigned j = 0; j < (1u << kGroupShift); ++j) spec->fast[first + j] = entry;
            } else {
                for (unsigned j = 0; j < (1u << kGroupShift); ++j)
                    spec->fast[first + j] = LookAheadEntry(first + j, length, symbol);
            }
            continue;
        }
        for (unsigned prefix = first; prefix < first + (1u << kGroupShift); ++prefix) {
            int length = 0, symbol = 0;
            for (int l = 9; l <= kFastBits && length == 0; ++l) {
                const int found = SymbolOfLength(spec, l, static_cast<int>(prefix >> (kFastBits - l)));
                if (found >= 0) {
                    length = l;
                    symbol = found;
                }
            }
            spec->fast[prefix] = LookAheadEntry(prefix, length, symbol);
        }
    }
}

}  // namespace
}  // namespace huffman

LumStatus lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* pListBits, const Lum8u* pListVals,
                                                 LumiDecodeHuffmanSpec** ppSpec) {
    if (pListBits == nullptr || pListVals == nullptr || ppSpec == nullptr) return lumStsNullPtrErr;
    auto* spec = static_cast<LumiDecodeHuffmanSpec*>(lumMalloc(sizeof(LumiDecodeHuffmanSpec)));
    if (spec == nullptr) return lumStsNullPtrErr;
    std::memset(spec, 0, sizeof *spec);

    huffman::CodeList list;
    const LumStatus status = huffman::GenerateCodes(pListBits, &list);
    if (status == lumStsNoErr) {
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            const int n = pListBits[length - 1];
            if (n == 0) {
                spec->maxCode[length] = 0xFFFF;
                continue;
            }
            spec->valPtr[length] = static_cast<Lum16u>(k);
            spec->minCode[length] = list.code[k];
            spec->maxCode[length] = list.code[k + n - 1];
            k += n;
        }
        spec->maxCode[17] = 0xFFFF;
        for (int i = 0; i < list.count; ++i) spec->values[i] = pListVals[i];
        for (int i = 0; i < list.count && list.size[i] <= 8; ++i) {
            const int length = list.size[i];
            const unsigned code = list.code[i];
            if (code >= (1u << length)) break;  // an overflowing table: the longer codes cannot be placed
            const unsigned first = code << (8 - length);
            const uint32_t entry = (static_cast<uint32_t>(length) << 16) | pListVals[i];
            for (unsigned j = 0; j < (1u << (8 - length)); ++j) spec->lookup[first + j] = entry;
        }
    }
    huffman::FillLookAhead(spec);
    *ppSpec = spec;
    return status;
}

LumStatus lumiDecodeHuffmanSpecFree_JPEG_8u(LumiDecodeHuffmanSpec* pSpec) {
    return huffman::FreeObject(pSpec);
}

LumStatus lumiDecodeHuffmanStateInitAlloc_JPEG_8u(LumiDecodeHuffmanState** ppState) {
    if (ppState == nullptr) return lumStsNullPtrErr;
    auto* state = static_cast<LumiDecodeHuffmanState*>(lumMalloc(sizeof(LumiDecodeHuffmanState)));
    if (state == nullptr) return lumStsNullPtrErr;
    std::memset(state, 0, sizeof *state);
    *ppState = state;
    return lumStsNoErr;
}

LumStatus lumiDecodeHuffmanStateInit_JPEG_8u(LumiDecodeHuffmanState* pState) {
    if (pState == nullptr) return lumStsNullPtrErr;
    std::memset(pState, 0, sizeof *pState);
    return lumStsNoErr;
}

LumStatus lumiDecodeHuffmanStateFree_JPEG_8u(LumiDecodeHuffmanState* pState) {
    return huffman::FreeObject(pState);
}

LumStatus lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* pListBits, const Lum8u* pListVals,
                                                 LumiEncodeHuffmanSpec** ppSpec) {
    if (pListBits == nullptr || pListVals == nullptr || ppSpec == nullptr) return lumStsNullPtrErr;
    auto* spec = static_cast<LumiEncodeHuffmanSpec*>(lumMalloc(sizeof(LumiEncodeHuffmanSpec)));
    if (spec == nullptr) return lumStsNullPtrErr;
    std::memset(spec, 0, sizeof *spec);

    huffman::CodeList list;
    LumStatus status = huffman::GenerateCodes(pListBits, &list);
    if (status == lumStsNoErr && !huffman::CodesFitLengths(pListBits)) status = lumStsJpegHuffTableErr;
    if (status == lumStsNoErr) {
        for (int i = 0; i < list.count; ++i)
            spec->code[pListVals[i]] = (static_cast<uint32_t>(list.size[i]) << 16) | list.code[i];
    }
    *ppSpec = spec;
    return status;
}

LumStatus lumiEncodeHuffmanSpecFree_JPEG_8u(LumiEncodeHuffmanSpec* pSpec) {
    return huffman::FreeObject(pSpec);
}

LumStatus lumiEncodeHuffmanStateInitAlloc_JPEG_8u(LumiEncodeHuffmanState** ppState) {
    if (ppState == nullptr) return lumStsNullPtrErr;
    auto* state = static_cast<LumiEncodeHuffmanState*>(lumMalloc(sizeof(LumiEncodeHuffmanState)));
    if (state == nullptr) return lumStsNullPtrErr;
    std::memset(state, 0, sizeof *state);
    *ppState = state;
    return lumStsNoErr;
}

LumStatus lumiEncodeHuffmanStateInit_JPEG_8u(LumiEncodeHuffmanState* pState) {
    if (pState == nullptr) return lumStsNullPtrErr;
    std::memset(pState, 0, sizeof *pState);
    return lumStsNoErr;
}

LumStatus lumiEncodeHuffmanStateFree_JPEG_8u(LumiEncodeHuffmanState* pState) {
    return huffman::FreeObject(pState);
}

}  // namespace lumacore::c
