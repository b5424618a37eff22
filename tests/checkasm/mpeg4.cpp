// MPEG-4 and H.263 family: block decoders on valid random streams (and some corrupted ones), motion
// vector decoding, chroma vectors, vector limiting, half-sample compensation, block copies and border
// padding. Every version runs on copies of the same pristine outputs; statuses, bit positions, outputs
// and guard bands must match level 0.
#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "../lumacore_mpeg4/stream_writer.h"
#include "checkasm.h"
#include "checkasm_util.h"
#include "jpeg/idct.h"

namespace {

using blockstream::BitWriter;
using checkasm::Buffers;
using checkasm::Clone;
using checkasm::Guarded;
using checkasm::rng;

auto Next() {
    return rng().Next();
}

// `call(fn, outputs)` runs one version and returns what must match besides the outputs (status, and the
// bit position for the stream decoders).
template <typename Fn, typename Call>
void CompareVersions(const checkasm::Versions<Fn>& v, const std::vector<Guarded>& pristine, Call call) {
    std::vector<Guarded> ref = Clone(pristine);
    const auto refResult = call(v.ref(), ref);
    for (std::size_t i = 0; i < ref.size(); ++i)
        if (!ref[i].GuardsMatch(pristine[i])) checkasm::Fail(v.name(), 0, "wrote outside its region");
    for (const auto& [level, fn] : v.all()) {
        if (level == 0) continue;
        std::vector<Guarded> out = Clone(pristine);
        if (call(fn, out) != refResult) checkasm::Fail(v.name(), level, "status or bit position differs");
        for (std::size_t i = 0; i < out.size(); ++i)
            if (!out[i].SameAs(ref[i])) checkasm::Fail(v.name(), level, "output or guard bands differ");
    }
}

// A stream with its start offset; one in eight is damaged after its first bits.
struct Stream {
    std::vector<uint8_t> bytes;
    int offset;
};

Stream Finish(BitWriter& w, int offset) {
    Stream s{w.Bytes(), offset};
    if (Next() % 8 == 0 && s.bytes.size() > 9)
        s.bytes[1 + Next() % (s.bytes.size() - 9)] ^= static_cast<uint8_t>(1 + Next() % 255);
    return s;
}

long Position(const Lum8u* start, const Lum8u* p, int bit) {
    return (p - start) * 8L + bit;
}

// ---- Block decoders ----

template <typename Fn>
void CheckIntra(const char* name, bool dcOnly) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 300 && !checkasm::Failed(); ++trial) {
        const int offset = static_cast<int>(Next() % 8), blockIndex = static_cast<int>(Next() % 10);
        const int curQp = 1 + static_cast<int>(Next() % 31), dcVlc = static_cast<int>(Next() % 2);
        const int acPred = static_cast<int>(Next() % 2), step = 8 + static_cast<int>(Next() % 17);
        const bool chroma = blockIndex == 4 || blockIndex == 5;
        BitWriter w(offset);
        if (dcVlc) blockstream::PutDcDiff(w, chroma, static_cast<int>(Next() % 1023) - 511);
        if (!dcOnly) blockstream::PutEvents(w, true, blockstream::RandomEvents(Next, dcVlc), Next);
        const Stream s = Finish(w, offset);
        Lum8u matrix[64];
        for (auto& m : matrix) m = static_cast<Lum8u>(1 + Next() % 255);
        const bool useMatrix = Next() % 2 != 0;

        // Outputs: the block, the row buffer (entries -16..15), the column buffer (0..15), the QP pair.
        std::vector<Guarded> pristine = Buffers({static_cast<std::size_t>(7 * step + 8), 64, 32, 2});
        Lum16s* row = pristine[1].as<Lum16s>();
        Lum16s* col = pristine[2].as<Lum16s>();
        for (int i = 0; i < 32; ++i) row[i] = static_cast<Lum16s>(static_cast<int>(Next() % 61) - 30);
        for (int i = 0; i < 16; ++i) col[i] = static_cast<Lum16s>(static_cast<int>(Next() % 61) - 30);
        for (Lum16s* dc : {&row[16], &row[8], &col[0]})
            *dc = static_cast<Lum16s>(Next() % 4 == 0 ? -1 : static_cast<int>(Next() % 2048));
        pristine[3].data()[0] = static_cast<Lum8u>(1 + Next() % 31);
        pristine[3].data()[1] = static_cast<Lum8u>(Next() % 16 == 0 ? 0 : 1 + Next() % 31);

        CompareVersions(v, pristine, [&](Fn fn, std::vector<Guarded>& out) {
            const Lum8u* p = s.bytes.data();
            int bit = s.offset;
            const LumStatus st = fn(&p, &bit, out[0].data(), step, out[1].as<Lum16s>() + 16,
                                    out[2].as<Lum16s>(), static_cast<Lum8u>(curQp), out[3].data(),
                                    useMatrix ? matrix : nullptr, blockIndex, dcVlc, acPred);
            return std::make_pair(st, Position(s.bytes.data(), p, bit));
        });
    }
    BitWriter w;
    blockstream::PutDcDiff(w, false, 20);
    if (!dcOnly) blockstream::PutEvents(w, true, blockstream::RandomEvents(Next, 1), Next);
    const std::vector<uint8_t> s = w.Bytes();
    Guarded dst(64), rowBuf(64), colBuf(32);
    Lum8u qp[2] = {5, 5};
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] {
            const Lum8u* p = s.data();
            int bit = 0;
            rowBuf.as<Lum16s>()[16] = rowBuf.as<Lum16s>()[8] = colBuf.as<Lum16s>()[0] = 1024;
            call(&p, &bit, dst.data(), 8, rowBuf.as<Lum16s>() + 16, colBuf.as<Lum16s>(), 5, qp, nullptr, 0, 1,
                 1);
        });
    }
}

}  // namespace

CHECKASM_FUNC(lumiDecodeBlockCoef_Intra_MPEG4_1u8u) {
    CheckIntra<decltype(&lumiDecodeBlockCoef_Intra_MPEG4_1u8u)>("lumiDecodeBlockCoef_Intra_MPEG4_1u8u",
                                                                false);
}

CHECKASM_FUNC(lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u) {
    CheckIntra<decltype(&lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u)>(
        "lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u", true);
}

CHECKASM_FUNC(lumiDecodeBlockCoef_Inter_MPEG4_1u16s) {
    using Fn = decltype(&lumiDecodeBlockCoef_Inter_MPEG4_1u16s);
    checkasm::Versions<Fn> v("lumiDecodeBlockCoef_Inter_MPEG4_1u16s");
    for (int trial = 0; trial < 300 && !checkasm::Failed(); ++trial) {
        const int offset = static_cast<int>(Next() % 8), qp = 1 + static_cast<int>(Next() % 31);
        BitWriter w(offset);
        // A third of the blocks are a lone DC (the flat shortcut).
        if (Next() % 3 == 0)
            blockstream::PutTcoef(w, false, 1, 0, (static_cast<int>(Next() % 81) - 40) | 1);
        else
            blockstream::PutEvents(w, false, blockstream::RandomEvents(Next, 0), Next);
        const Stream s = Finish(w, offset);
        Lum8u matrix[64];
        for (auto& m : matrix) m = static_cast<Lum8u>(1 + Next() % 255);
        const bool useMatrix = Next() % 2 != 0;
        CompareVersions(v, Buffers({128}), [&](Fn fn, std::vector<Guarded>& out) {
            const Lum8u* p = s.bytes.data();
            int bit = s.offset;
            const LumStatus st = fn(&p, &bit, out[0].as<Lum16s>(), qp, useMatrix ? matrix : nullptr);
            return std::make_pair(st, Position(s.bytes.data(), p, bit));
        });
    }
    BitWriter w;
    blockstream::PutEvents(w, false, blockstream::RandomEvents(Next, 0), Next);
    const std::vector<uint8_t> s = w.Bytes();
    Guarded dst(128);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] {
            const Lum8u* p = s.data();
            int bit = 0;
            call(&p, &bit, dst.as<Lum16s>(), 7, nullptr);
        });
    }
}

// The tuned inverse DCTs the block decoders pass (not exports of their own) against the generic one, on
// the shapes MPEG-4 blocks take, every coefficient within the dequantised range [-2048, 2047]: a lone DC,
// the first row or column, the 4x4 lowest frequencies (the tuned short paths), that corner with one more
// coefficient just outside it, and full blocks, some with every value at an end of the range.
CHECKASM_FUNC(Mpeg4InverseDct8x8) {
    using Idct = void (*)(Lum16s*);
    const std::pair<int, Idct> tuned[] = {{1, &lumacore::sse2::InverseDct8x8},
                                          {2, &lumacore::sse41::InverseDct8x8},
                                          {3, &lumacore::avx2::InverseDct8x8}};
    for (int trial = 0; trial < 600 && !checkasm::Failed(); ++trial) {
        const int shape = trial % 6;
        Lum16s block[64] = {};
        for (int i = 0; i < 64; ++i) {
            const int row = i / 8, col = i % 8;
            const bool in = shape == 0   ? i == 0
                            : shape == 1 ? row == 0
                            : shape == 2 ? col == 0
                            : shape <= 4 ? row < 4 && col < 4
                                         : true;
            if (!in || Next() % 3 == 0) continue;
            block[i] = static_cast<Lum16s>(trial % 12 == 5 ? (Next() % 2 ? 2047 : -2048)
                                                           : static_cast<int>(Next() % 4096) - 2048);
        }
        if (shape == 4) {  // one coefficient outside the corner
            int p = 0;
            while (p / 8 < 4 && p % 8 < 4) p = static_cast<int>(Next() % 64);
            block[p] = static_cast<Lum16s>(Next() % 2 ? 1 : -2048);
        }
        Lum16s ref[64];
        std::copy(std::begin(block), std::end(block), ref);
        lumacore::c::InverseDct8x8(ref);
        for (const auto& [level, idct] : tuned) {
            if (level > checkasm::maxLevel()) break;
            Lum16s out[64];
            std::copy(std::begin(block), std::end(block), out);
            idct(out);
            if (!std::equal(std::begin(ref), std::end(ref), out))
                checkasm::Fail("Mpeg4InverseDct8x8", level, "shape " + std::to_string(shape));
        }
    }
}

CHECKASM_FUNC(lumiDecodePadMV_PVOP_MPEG4) {
    using Fn = decltype(&lumiDecodePadMV_PVOP_MPEG4);
    checkasm::Versions<Fn> v("lumiDecodePadMV_PVOP_MPEG4");
    for (int trial = 0; trial < 400 && !checkasm::Failed(); ++trial) {
        const int offset = static_cast<int>(Next() % 8), fcode = 1 + static_cast<int>(Next() % 7);
        const int mbType = static_cast<int>(Next() % 6), high = 16 << fcode;
        std::array<LumMotionVector, 12> neighbours;
        for (auto& n : neighbours)
            n = {static_cast<Lum16s>(static_cast<int>(Next() % (2u * high)) - high),
                 static_cast<Lum16s>(static_cast<int>(Next() % (2u * high)) - high)};
        alignas(4) Lum32s avail[3];
        for (auto& a : avail) a = Next() % 4 == 0 ? 0 : 1;
        alignas(4) Lum8u cur[4];
        for (auto& c : cur) c = Next() % 5 == 0 ? 0 : 1;
        const bool nullUpper = Next() % 8 == 0;
        BitWriter w(offset);
        for (int i = 0; i < 8; ++i)
            blockstream::PutMvd(w, static_cast<int>(Next() % (2u * high + 1)) - high, fcode);
        const Stream s = Finish(w, offset);
        CompareVersions(v, Buffers({16}), [&](Fn fn, std::vector<Guarded>& out) {
            const Lum8u* p = s.bytes.data();
            int bit = s.offset;
            const LumStatus st = fn(&p, &bit, neighbours.data(), nullUpper ? nullptr : neighbours.data() + 4,
                                    neighbours.data() + 8, out[0].as<LumMotionVector>(), &avail[0], &avail[1],
                                    &avail[2], cur, fcode, mbType);
            return std::make_pair(st, Position(s.bytes.data(), p, bit));
        });
    }
    BitWriter w;
    for (int i = 0; i < 8; ++i) blockstream::PutMvd(w, static_cast<int>(Next() % 41) - 20, 2);
    const std::vector<uint8_t> s = w.Bytes();
    std::array<LumMotionVector, 12> neighbours{};
    alignas(4) Lum32s avail[3] = {1, 1, 1};
    alignas(4) Lum8u cur[4] = {1, 1, 1, 1};
    LumMotionVector out[4];
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] {
            const Lum8u* p = s.data();
            int bit = 0;
            call(&p, &bit, neighbours.data(), neighbours.data() + 4, neighbours.data() + 8, out, &avail[0],
                 &avail[1], &avail[2], cur, 2, 2);
        });
    }
}

// ---- Vector arithmetic ----

namespace {

LumMotionVector RandomVector(int range) {
    return {static_cast<Lum16s>(static_cast<int>(Next() % (2u * range + 1)) - range),
            static_cast<Lum16s>(static_cast<int>(Next() % (2u * range + 1)) - range)};
}

}  // namespace

CHECKASM_FUNC(lumiComputeChromaMV_MPEG4) {
    using Fn = decltype(&lumiComputeChromaMV_MPEG4);
    checkasm::Versions<Fn> v("lumiComputeChromaMV_MPEG4");
    for (int trial = 0; trial < 200 && !checkasm::Failed(); ++trial) {
        const LumMotionVector in = RandomVector(trial < 100 ? 40 : 32767);
        CompareVersions(v, Buffers({4}), [&](Fn fn, std::vector<Guarded>& out) {
            return fn(&in, out[0].as<LumMotionVector>());
        });
    }
    LumMotionVector in{5, -7}, out;
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(&in, &out); });
    }
}

CHECKASM_FUNC(lumiComputeChroma4MV_MPEG4) {
    using Fn = decltype(&lumiComputeChroma4MV_MPEG4);
    checkasm::Versions<Fn> v("lumiComputeChroma4MV_MPEG4");
    for (int trial = 0; trial < 200 && !checkasm::Failed(); ++trial) {
        LumMotionVector in[4];
        for (auto& m : in) m = RandomVector(trial < 100 ? 40 : 32767);
        Lum8u avail[4];
        for (auto& a : avail) a = static_cast<Lum8u>(Next() % 3 == 0 ? 0 : Next());
        CompareVersions(v, Buffers({4}), [&](Fn fn, std::vector<Guarded>& out) {
            return fn(in, out[0].as<LumMotionVector>(), avail);
        });
    }
    LumMotionVector in[4] = {{1, 2}, {3, 4}, {-5, 6}, {7, -8}}, out;
    const Lum8u avail[4] = {1, 1, 1, 1};
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(in, &out, avail); });
    }
}

CHECKASM_FUNC(lumiLimitMVToRect_MPEG4) {
    using Fn = decltype(&lumiLimitMVToRect_MPEG4);
    checkasm::Versions<Fn> v("lumiLimitMVToRect_MPEG4");
    for (int trial = 0; trial < 300 && !checkasm::Failed(); ++trial) {
        const int size = Next() % 8 == 0 ? 12 : (Next() % 2 ? 8 : 16);
        const LumiRect rect{static_cast<int>(Next() % 65) - 32, static_cast<int>(Next() % 65) - 32,
                            static_cast<int>(Next() % 400), static_cast<int>(Next() % 300)};
        const int x = static_cast<int>(Next() % 400), y = static_cast<int>(Next() % 300);
        const LumMotionVector in = RandomVector(trial % 2 ? 200 : 32767);
        CompareVersions(v, Buffers({4}), [&](Fn fn, std::vector<Guarded>& out) {
            return fn(&in, out[0].as<LumMotionVector>(), &rect, x, y, size);
        });
    }
    const LumiRect rect{-16, -16, 384, 320};
    LumMotionVector in{-100, 90}, out;
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(&in, &out, &rect, 64, 48, 16); });
    }
}

// ---- Motion compensation and copies ----

namespace {

// A reference plane with room for vectors up to +-kReach half samples around its centre block.
constexpr int kReach = 40;
constexpr int kPlaneStep = 96;
constexpr int kPlaneRows = 80;
constexpr std::ptrdiff_t kCentre = 32 * kPlaneStep + 32;

template <typename Fn, typename Call>
void CheckHalfpel(const char* name, int size, Call call) {
    checkasm::Versions<Fn> v(name);
    Guarded plane(kPlaneStep * kPlaneRows);
    for (int trial = 0; trial < 200 && !checkasm::Failed(); ++trial) {
        plane.Randomize();
        const LumMotionVector mv = RandomVector(trial % 4 == 0 ? 3 : kReach - 2 * size + 16);
        const int rounding = static_cast<int>(Next() % 2);
        const int dstStep = size + static_cast<int>(Next() % 20);
        Guarded residual(128);
        for (int i = 0; i < 64; ++i)
            residual.as<Lum16s>()[i] = static_cast<Lum16s>(static_cast<int>(Next() % 1201) - 600);
        CompareVersions(v, Buffers({static_cast<std::size_t>((size - 1) * dstStep + size)}),
                        [&](Fn fn, std::vector<Guarded>& out) {
                            return call(fn, plane.data() + kCentre, out[0].data(), dstStep, &mv, rounding,
                                        residual.as<Lum16s>());
                        });
    }
    Guarded dst(16 * 16), residual(128);
    const LumMotionVector mv{3, -5};
    for (const auto& [level, fn] : v.all()) {
        auto f = fn;
        checkasm::Bench(v.name(), level, [&] {
            call(f, plane.data() + kCentre, dst.data(), size, &mv, 0, residual.as<Lum16s>());
        });
    }
}

}  // namespace

CHECKASM_FUNC(lumiCopyBlockHalfpel_MPEG4_8u) {
    using Fn = decltype(&lumiCopyBlockHalfpel_MPEG4_8u);
    CheckHalfpel<Fn>("lumiCopyBlockHalfpel_MPEG4_8u", 8,
                     [](Fn fn, const Lum8u* src, Lum8u* dst, int dstStep, const LumMotionVector* mv, int r,
                        const Lum16s*) { return fn(src, kPlaneStep, dst, dstStep, mv, r); });
}

CHECKASM_FUNC(lumiCopyMBHalfpel_MPEG4_8u) {
    using Fn = decltype(&lumiCopyMBHalfpel_MPEG4_8u);
    CheckHalfpel<Fn>("lumiCopyMBHalfpel_MPEG4_8u", 16,
                     [](Fn fn, const Lum8u* src, Lum8u* dst, int dstStep, const LumMotionVector* mv, int r,
                        const Lum16s*) { return fn(src, kPlaneStep, dst, dstStep, mv, r); });
}

CHECKASM_FUNC(lumiReconBlockHalfpel_MPEG4_8u) {
    using Fn = decltype(&lumiReconBlockHalfpel_MPEG4_8u);
    CheckHalfpel<Fn>("lumiReconBlockHalfpel_MPEG4_8u", 8,
                     [](Fn fn, const Lum8u* src, Lum8u* dst, int dstStep, const LumMotionVector* mv, int r,
                        const Lum16s* res) { return fn(src, kPlaneStep, res, dst, dstStep, mv, r); });
}

namespace {

template <typename Fn>
void CheckBlockCopy(const char* name, int size) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 100 && !checkasm::Failed(); ++trial) {
        const int step = size - 2 + static_cast<int>(Next() % 40);  // some below the minimum
        const std::size_t bytes = static_cast<std::size_t>((size - 1) * (step > 0 ? step : 1) + size);
        Guarded src(bytes);
        src.Randomize();
        CompareVersions(v, Buffers({bytes}), [&](Fn fn, std::vector<Guarded>& out) {
            return fn(src.data(), out[0].data(), step);
        });
    }
    Guarded src(64 * 16), dst(64 * 16);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(src.data(), dst.data(), 64); });
    }
}

}  // namespace

CHECKASM_FUNC(lumiCopyBlock_H263_8u) {
    CheckBlockCopy<decltype(&lumiCopyBlock_H263_8u)>("lumiCopyBlock_H263_8u", 8);
}

CHECKASM_FUNC(lumiCopyMB_H263_8u) {
    CheckBlockCopy<decltype(&lumiCopyMB_H263_8u)>("lumiCopyMB_H263_8u", 16);
}

CHECKASM_FUNC(lumiExpandFrame_H263_8u) {
    using Fn = decltype(&lumiExpandFrame_H263_8u);
    checkasm::Versions<Fn> v("lumiExpandFrame_H263_8u");
    for (int trial = 0; trial < 100 && !checkasm::Failed(); ++trial) {
        const int width = 6 + static_cast<int>(Next() % 60), height = static_cast<int>(Next() % 40);
        const int expand = 7 + static_cast<int>(Next() % 12);
        const int step = width + 2 * expand - 1 + static_cast<int>(Next() % 12);
        const int rows = height + 2 * expand;
        CompareVersions(
            v, Buffers({static_cast<std::size_t>(step * rows)}),
            [&](Fn fn, std::vector<Guarded>& out) { return fn(out[0].data(), width, height, expand, step); });
    }
    Guarded plane(static_cast<std::size_t>((176 + 32) * (144 + 32)));
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(plane.data(), 176, 144, 16, 176 + 32); });
    }
}
