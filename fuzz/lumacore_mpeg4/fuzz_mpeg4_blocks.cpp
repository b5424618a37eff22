// Arbitrary bytes through the MPEG-4 bitstream primitives (intra, intra DC-only and inter blocks, P-VOP
// vectors), one after another as a macroblock layer would call them, on a buffer that ends exactly
// 8 zero bytes after the data: the read-ahead contract of the decoders. The first bytes pick the
// parameters of every call.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lumacore/lumacore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const uint8_t* params = data;
    std::vector<uint8_t> stream(data + 8, data + size);
    const std::size_t dataBytes = stream.size();
    stream.resize(dataBytes + 8, 0);

    Lum8u matrix[64];
    for (int i = 0; i < 64; ++i) matrix[i] = static_cast<Lum8u>(1 + ((params[0] + 7 * i) & 0x7F));
    Lum16s rowBuf[32], colBuf[16];
    for (auto& v : rowBuf) v = static_cast<Lum16s>(params[1] * 3 - 100);
    for (auto& v : colBuf) v = static_cast<Lum16s>(params[2] * 5 - 300);
    Lum8u qp[2] = {static_cast<Lum8u>(params[3] % 32), static_cast<Lum8u>(params[4] % 32)};
    Lum8u pixels[8 * 8];
    Lum16s residual[64];
    LumMotionVector neighbours[12] = {};
    LumMotionVector mv[4];
    alignas(4) Lum32s avail[3] = {params[5] & 1, (params[5] >> 1) & 1, (params[5] >> 2) & 1};
    alignas(4) Lum8u cur[4] = {1, static_cast<Lum8u>(params[6] & 1), 1, static_cast<Lum8u>(params[6] & 2)};

    const Lum8u* p = stream.data();
    int bit = params[7] & 7;
    for (int call = 0; call < 200; ++call) {
        const uint8_t sel = params[call % 8];
        const int which = (sel + call) % 4;
        const Lum8u curQp = static_cast<Lum8u>(1 + (sel + call) % 31);
        LumStatus st;
        switch (which) {
            case 0:
            case 1:
                st = (which == 0 ? lumiDecodeBlockCoef_Intra_MPEG4_1u8u
                                 : lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u)(
                    &p, &bit, pixels, 8, rowBuf + 16, colBuf, curQp, qp, (sel & 16) ? matrix : nullptr,
                    (sel >> 1) % 10, sel & 1, (sel >> 5) & 1);
                break;
            case 2:
                st = lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &bit, residual, curQp,
                                                           (sel & 32) ? matrix : nullptr);
                break;
            default:
                st = lumiDecodePadMV_PVOP_MPEG4(&p, &bit, neighbours, neighbours + 4, neighbours + 8, mv,
                                                &avail[0], &avail[1], &avail[2], cur, 1 + sel % 7, sel % 6);
                std::memcpy(neighbours, mv, sizeof mv);
                break;
        }
        if (st != lumStsNoErr && st != lumStsMP4QPErr) break;
        // The position never runs into the padding by more than the decoders' read-ahead allows.
        if (p > stream.data() + dataBytes + 4) __builtin_trap();
    }
    return 0;
}
