// Arbitrary table definitions and entropy-coded data through the JPEG Huffman decoders, one block
// after another as a scan loop would call them, then the decoded coefficients through the encoders.
// Layout: 4 parameter bytes, 16 code-length counts, the symbols they announce, then the data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lumacore/lumacore.h"

// The generic implementations, compiled into this target.
namespace lumacore::c {
decltype(::lumiDecodeHuffmanSpecInitAlloc_JPEG_8u) lumiDecodeHuffmanSpecInitAlloc_JPEG_8u;
decltype(::lumiDecodeHuffmanSpecFree_JPEG_8u) lumiDecodeHuffmanSpecFree_JPEG_8u;
decltype(::lumiDecodeHuffmanStateInitAlloc_JPEG_8u) lumiDecodeHuffmanStateInitAlloc_JPEG_8u;
decltype(::lumiDecodeHuffmanStateFree_JPEG_8u) lumiDecodeHuffmanStateFree_JPEG_8u;
decltype(::lumiDecodeHuffman8x8_JPEG_1u16s_C1) lumiDecodeHuffman8x8_JPEG_1u16s_C1;
decltype(::lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1) lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1;
decltype(::lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1) lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1;
decltype(::lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1) lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1;
decltype(::lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1) lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1;
decltype(::lumiEncodeHuffmanRawTableInit_JPEG_8u) lumiEncodeHuffmanRawTableInit_JPEG_8u;
decltype(::lumiEncodeHuffmanSpecInitAlloc_JPEG_8u) lumiEncodeHuffmanSpecInitAlloc_JPEG_8u;
decltype(::lumiEncodeHuffmanSpecFree_JPEG_8u) lumiEncodeHuffmanSpecFree_JPEG_8u;
decltype(::lumiEncodeHuffmanStateInitAlloc_JPEG_8u) lumiEncodeHuffmanStateInitAlloc_JPEG_8u;
decltype(::lumiEncodeHuffmanStateFree_JPEG_8u) lumiEncodeHuffmanStateFree_JPEG_8u;
decltype(::lumiEncodeHuffman8x8_JPEG_16s1u_C1) lumiEncodeHuffman8x8_JPEG_16s1u_C1;
decltype(::lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1) lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1;
decltype(::lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1) lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1;
decltype(::lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1) lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1;
decltype(::lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1) lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1;
decltype(::lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1) lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1;
decltype(::lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1) lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1;
}  // namespace lumacore::c

namespace H = lumacore::c;

namespace {

// T.81 Table K.3, the second table of every scan.
const Lum8u kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const Lum8u kDcVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 20) return 0;
    const uint8_t* params = data;
    Lum8u bits[16];
    std::memcpy(bits, data + 4, 16);
    std::size_t count = 0;
    for (Lum8u b : bits) count += b;
    Lum8u vals[256] = {};
    std::size_t at = 20;
    for (std::size_t i = 0; i < count && i < 256 && at < size; ++i) vals[i] = data[at++];
    const std::vector<Lum8u> stream(data + at, data + size);
    const Lum8u none = 0;
    const Lum8u* src = stream.empty() ? &none : stream.data();
    const int srcLen = static_cast<int>(stream.size());

    LumiDecodeHuffmanSpec* table = nullptr;
    LumiDecodeHuffmanSpec* dcTable = nullptr;
    LumiDecodeHuffmanState* state = nullptr;
    H::lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(bits, vals,
                                              &table);  // refused counts still give an object
    H::lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(kDcBits, kDcVals, &dcTable);
    H::lumiDecodeHuffmanStateInitAlloc_JPEG_8u(&state);

    const int kind = params[0] % 5;
    const int Ss = 1 + params[1] % 63;
    const int Se = Ss + params[2] % (64 - Ss);
    const int Al = params[3] % 14;
    std::vector<Lum16s> coefs(64 * 64, 0);
    int pos = 0, marker = 0;
    Lum16s lastDc = 0;
    for (int b = 0; b < 64; ++b) {
        Lum16s* dst = &coefs[static_cast<std::size_t>(b) * 64];
        LumStatus st = lumStsNoErr;
        switch (kind) {
            case 0:
                st = H::lumiDecodeHuffman8x8_JPEG_1u16s_C1(src, srcLen, &pos, dst, &lastDc, &marker,
                                                           params[1] & 1 ? table : dcTable, table, state);
                break;
            case 1:
                st = H::lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(src, srcLen, &pos, dst, &lastDc, &marker,
                                                                   Al, table, state);
                break;
            case 2:
                st = H::lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(src, srcLen, &pos, dst, &marker, Al,
                                                                    state);
                break;
            case 3:
                st = H::lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src, srcLen, &pos, dst, &marker, Ss, Se,
                                                                   Al, table, state);
                break;
            default:
                // A refinement scan over what a first scan of the same data left.
                std::memcpy(dst, &coefs[0], 64 * sizeof(Lum16s));
                st = H::lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(src, srcLen, &pos, dst, &marker, Ss, Se,
                                                                    Al, table, state);
                break;
        }
        if (pos < 0 || pos > srcLen) __builtin_trap();
        if (st != lumStsNoErr) break;
    }

    // Whatever came out goes back through the encoders with the same table, if the encoder accepts it.
    LumiEncodeHuffmanSpec* encTable = nullptr;
    LumiEncodeHuffmanState* encState = nullptr;
    if (H::lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(bits, vals, &encTable) == lumStsNoErr &&
        H::lumiEncodeHuffmanStateInitAlloc_JPEG_8u(&encState) == lumStsNoErr) {
        std::vector<Lum8u> out(2048);
        int outPos = 0;
        Lum16s last = 0;
        Lum32s stats[256] = {};
        for (int b = 0; b <= 64; ++b) {
            const int flush = b == 64;
            const Lum16s* blk = flush ? nullptr : &coefs[static_cast<std::size_t>(b) * 64];
            switch (kind) {
                case 0:
                    H::lumiEncodeHuffman8x8_JPEG_16s1u_C1(blk, out.data(), 2048, &outPos, &last, encTable,
                                                          encTable, encState, flush);
                    break;
                case 1:
                    H::lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(blk, out.data(), 2048, &outPos, &last, Al,
                                                                  encTable, encState, flush);
                    break;
                case 2:
                    H::lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(blk, out.data(), 2048, &outPos, Al,
                                                                   encState, flush);
                    break;
                case 3:
                    H::lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(blk, out.data(), 2048, &outPos, Ss, Se, Al,
                                                                  encTable, encState, flush);
                    H::lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(blk, stats, Ss, Se, Al, encState,
                                                                       flush);
                    break;
                default:
                    H::lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(blk, out.data(), 2048, &outPos, Ss, Se, Al,
                                                                   encTable, encState, flush);
                    H::lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(blk, stats, Ss, Se, Al, encState,
                                                                        flush);
                    break;
            }
            if (outPos < 0 || outPos > 2048) __builtin_trap();
        }
        Lum8u outBits[16], outVals[256];
        H::lumiEncodeHuffmanRawTableInit_JPEG_8u(stats, outBits, outVals);
    }
    H::lumiEncodeHuffmanStateFree_JPEG_8u(encState);
    H::lumiEncodeHuffmanSpecFree_JPEG_8u(encTable);
    H::lumiDecodeHuffmanStateFree_JPEG_8u(state);
    H::lumiDecodeHuffmanSpecFree_JPEG_8u(dcTable);
    H::lumiDecodeHuffmanSpecFree_JPEG_8u(table);
    return 0;
}
