// Motion vectors and motion compensation: P-VOP vector decoding with median prediction, f_code wrap and
// padding; chroma vectors; vector limiting; half-sample copies and reconstruction; block copies and
// frame border padding.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "lumacore/lumacore.h"
#include "stream_writer.h"

namespace {

using blockstream::BitWriter;

// ---- lumiDecodePadMV_PVOP_MPEG4 ----

struct Neighbours {
    std::array<LumMotionVector, 4> left{}, upper{}, upperRight{};
    alignas(4) Lum32s availLeft = 1, availUpper = 1, availUpperRight = 1;
    alignas(4) std::array<Lum8u, 4> availCur{1, 1, 1, 1};
    bool nullLeft = false, nullUpper = false, nullUpperRight = false;
};

struct MvResult {
    LumStatus status;
    std::array<LumMotionVector, 4> mv;
    long bitsConsumed;
};

MvResult DecodeMv(const std::vector<uint8_t>& stream, int offset, Neighbours& n, int fcode, int mbType) {
    MvResult r{};
    r.mv.fill({-777, -777});
    const Lum8u* p = stream.data();
    int bit = offset;
    r.status = lumiDecodePadMV_PVOP_MPEG4(
        &p, &bit, n.nullLeft ? nullptr : n.left.data(), n.nullUpper ? nullptr : n.upper.data(),
        n.nullUpperRight ? nullptr : n.upperRight.data(), r.mv.data(), &n.availLeft, &n.availUpper,
        &n.availUpperRight, n.availCur.data(), fcode, mbType);
    r.bitsConsumed = (p - stream.data()) * 8L + bit - offset;
    return r;
}

std::vector<uint8_t> Vectors(std::vector<std::array<int, 2>> diffs, int fcode, int offset = 0) {
    BitWriter w(offset);
    for (const auto& d : diffs) {
        blockstream::PutMvd(w, d[0], fcode);
        blockstream::PutMvd(w, d[1], fcode);
    }
    return w.Bytes();
}

bool Same(LumMotionVector a, int x, int y) {
    return a.dx == x && a.dy == y;
}

TEST(Mpeg4MotionVectors, ArgumentChecksInOrder) {
    const std::vector<uint8_t> s = Vectors({{1, 1}}, 1);
    Neighbours n;
    alignas(4) Lum8u availBytes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    LumMotionVector out[4] = {};
    const Lum8u* p = s.data();
    const Lum8u* nullStream = nullptr;
    int bit = 0, badBit = 8;
    auto call = [&](const Lum8u** pp, int* off, LumMotionVector* dst, const Lum32s* al, const Lum8u* cur,
                    int fcode) {
        return lumiDecodePadMV_PVOP_MPEG4(pp, off, n.left.data(), n.upper.data(), n.upperRight.data(), dst,
                                          al, &n.availUpper, &n.availUpperRight, cur, fcode, 0);
    };
    const Lum32s* misaligned = reinterpret_cast<const Lum32s*>(availBytes + 1);
    EXPECT_EQ(call(nullptr, &badBit, nullptr, nullptr, nullptr, 0), lumStsNullPtrErr);
    EXPECT_EQ(call(&p, nullptr, out, &n.availLeft, availBytes, 1), lumStsNullPtrErr);
    EXPECT_EQ(call(&nullStream, &badBit, out, &n.availLeft, availBytes, 1), lumStsNullPtrErr);
    EXPECT_EQ(call(&p, &badBit, nullptr, nullptr, nullptr, 0), lumStsMP4BitOffsetErr);
    EXPECT_EQ(call(&p, &bit, nullptr, misaligned, availBytes, 0), lumStsNullPtrErr);
    EXPECT_EQ(call(&p, &bit, out, nullptr, availBytes, 0), lumStsNullPtrErr);
    EXPECT_EQ(call(&p, &bit, out, &n.availLeft, nullptr, 0), lumStsNullPtrErr);
    EXPECT_EQ(call(&p, &bit, out, misaligned, availBytes, 0), lumStsMP4AlignErr);
    EXPECT_EQ(call(&p, &bit, out, &n.availLeft, availBytes + 2, 0), lumStsMP4AlignErr);
    EXPECT_EQ(call(&p, &bit, out, &n.availLeft, availBytes, 0), lumStsMP4FcodeErr);
    EXPECT_EQ(call(&p, &bit, out, &n.availLeft, availBytes, 8), lumStsMP4FcodeErr);
    EXPECT_EQ(p, s.data());
    EXPECT_TRUE(Same(out[0], 0, 0));
    EXPECT_EQ(call(&p, &bit, out, &n.availLeft, availBytes, 1), lumStsNoErr);
}

TEST(Mpeg4MotionVectors, OneVectorMedianPrediction) {
    struct Case {
        const char* what;
        int availLeft, availUpper, availUpperRight;
        bool nullUpper;
        int px, py;  // expected predictor
    } cases[] = {
        {"three valid: median", 1, 1, 1, false, 4, 6},
        {"upper absent counts as zero", 1, 0, 1, false, 0, 0},
        {"null upper vectors count as absent", 1, 1, 1, true, 0, 0},
        {"only upper", 0, 1, 0, false, 10, 6},
        {"only upper-right", 0, 0, 1, false, -2, 8},
        {"none", 0, 0, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        Neighbours n;
        n.left[1] = {4, -2};
        n.upper[2] = {10, 6};
        n.upperRight[2] = {-2, 8};
        n.left[3] = n.upper[3] = n.upperRight[3] = {99, 99};  // not candidates of block 0
        n.availLeft = c.availLeft;
        n.availUpper = c.availUpper;
        n.availUpperRight = c.availUpperRight;
        n.nullUpper = c.nullUpper;
        n.availCur = {0, 0, 0, 0};  // ignored with one vector
        const auto s = Vectors({{3, -1}}, 2, 5);
        for (int mbType : {0, 1, 3, 4}) {
            const MvResult r = DecodeMv(s, 5, n, 2, mbType);
            ASSERT_EQ(r.status, lumStsNoErr) << c.what;
            for (const auto& v : r.mv)
                EXPECT_TRUE(Same(v, c.px + 3, c.py - 1)) << c.what << " mbType " << mbType;
        }
    }
}

TEST(Mpeg4MotionVectors, DifferencesWrapIntoTheFcodeRange) {
    struct Case {
        int fcode, pred, diff, expected;
    } cases[] = {
        {1, 30, 2, -32},     {1, 31, 0, 31},       {1, -32, -1, 31},   {1, 0, -32, -32},
        {1, 0, 32, -32},     {3, 100, 28, -128},   {3, -128, -128, 0}, {3, 127, 1, -128},
        {7, 0, 2048, -2048}, {7, -2048, -1, 2047}, {2, 5, -13, -8},
    };
    for (const Case& c : cases) {
        Neighbours n;
        n.left[1] = n.upper[2] =
            n.upperRight[2] = {static_cast<Lum16s>(c.pred), static_cast<Lum16s>(-c.pred)};
        const auto s = Vectors({{c.diff, -c.diff}}, c.fcode);
        const MvResult r = DecodeMv(s, 0, n, c.fcode, 0);
        ASSERT_EQ(r.status, lumStsNoErr);
        EXPECT_EQ(r.mv[0].dx, c.expected) << c.fcode << " " << c.pred << " + " << c.diff;
        EXPECT_EQ(r.mv[0].dy, -c.pred - c.diff < -(16 << c.fcode)   ? -c.pred - c.diff + (32 << c.fcode)
                              : -c.pred - c.diff >= (16 << c.fcode) ? -c.pred - c.diff - (32 << c.fcode)
                                                                    : -c.pred - c.diff);
    }
    // Every difference of every f_code, from a random predictor in range.
    std::mt19937 rng(3);
    for (int fcode = 1; fcode <= 7; ++fcode) {
        const int high = 16 << fcode;
        for (int trial = 0; trial < 200; ++trial) {
            const int pred = static_cast<int>(rng() % static_cast<unsigned>(2 * high)) - high;
            const int diff = static_cast<int>(rng() % static_cast<unsigned>(2 * high + 1)) - high;
            Neighbours n;
            n.left[1] = n.upper[2] = n.upperRight[2] = {static_cast<Lum16s>(pred), 0};
            const auto s = Vectors({{diff, 0}}, fcode);
            const MvResult r = DecodeMv(s, 0, n, fcode, 1);
            const int sum = pred + diff;
            const int expected = sum < -high ? sum + 2 * high : sum >= high ? sum - 2 * high : sum;
            ASSERT_EQ(r.status, lumStsNoErr);
            ASSERT_EQ(r.mv[3].dx, expected) << "fcode " << fcode << " " << pred << " + " << diff;
        }
    }
}

TEST(Mpeg4MotionVectors, FourVectorsPredictFromTheirOwnNeighbours) {
    Neighbours n;
    n.left[1] = {2, -2};
    n.left[3] = {6, -6};
    n.upper[2] = {4, -4};
    n.upper[3] = {8, -8};
    n.upperRight[2] = {10, -10};
    for (int mbType : {2, 5}) {
        const MvResult r = DecodeMv(Vectors({{1, 1}, {0, 0}, {0, 0}, {0, 0}}, 1), 0, n, 1, mbType);
        ASSERT_EQ(r.status, lumStsNoErr);
        EXPECT_TRUE(Same(r.mv[0], 5, -3));  // median(2, 4, 10) + 1, median(-2, -4, -10) + 1
        EXPECT_TRUE(Same(r.mv[1], 8, -8));  // median(5, 8, 10), median(-3, -8, -10)
        EXPECT_TRUE(Same(r.mv[2], 6, -6));  // median(6, 5, 8), median(-6, -3, -8)
        EXPECT_TRUE(Same(r.mv[3], 6, -6));  // median(6, 5, 8)
    }
}

// Absent blocks take a present block's vector: each row names the source of every block.
TEST(Mpeg4MotionVectors, PaddingOfAbsentBlocks) {
    struct Case {
        std::array<Lum8u, 4> present;
        std::array<int, 4> source;
    } cases[] = {
        {{1, 0, 0, 0}, {0, 0, 0, 0}}, {{0, 1, 0, 0}, {1, 1, 1, 1}}, {{0, 0, 1, 0}, {2, 2, 2, 2}},
        {{0, 0, 0, 1}, {3, 3, 3, 3}}, {{1, 0, 0, 1}, {0, 0, 3, 3}}, {{0, 1, 1, 0}, {1, 1, 2, 2}},
        {{1, 1, 1, 0}, {0, 1, 2, 2}}, {{0, 1, 1, 1}, {1, 1, 2, 3}}, {{1, 0, 1, 0}, {0, 0, 2, 2}},
        {{0, 1, 0, 1}, {1, 1, 3, 3}},
    };
    for (const Case& c : cases) {
        Neighbours n;
        n.availLeft = n.availUpper = n.availUpperRight = 0;
        n.availCur = c.present;
        std::vector<std::array<int, 2>> diffs;
        for (int i = 0; i < 4; ++i)
            if (c.present[static_cast<std::size_t>(i)]) diffs.push_back({3 * i + 1, -(5 * i + 2)});
        const MvResult r = DecodeMv(Vectors(diffs, 4), 0, n, 4, 2);
        ASSERT_EQ(r.status, lumStsNoErr);
        for (int i = 0; i < 4; ++i) {
            const auto& v = r.mv[static_cast<std::size_t>(i)];
            const auto& src = r.mv[static_cast<std::size_t>(c.source[static_cast<std::size_t>(i)])];
            EXPECT_TRUE(v.dx == src.dx && v.dy == src.dy) << "block " << i;
            EXPECT_NE(v.dx, -777);
        }
    }
    // No block present: nothing is read and the vectors are zero.
    Neighbours n;
    n.availCur = {0, 0, 0, 0};
    const MvResult r = DecodeMv(std::vector<uint8_t>(8, 0), 0, n, 1, 2);
    EXPECT_EQ(r.status, lumStsNoErr);
    EXPECT_EQ(r.bitsConsumed, 0);
    for (const auto& v : r.mv) EXPECT_TRUE(Same(v, 0, 0));
}

TEST(Mpeg4MotionVectors, BadCodeKeepsEarlierVectorsAndPosition) {
    Neighbours n;
    n.availLeft = n.availUpper = n.availUpperRight = 0;
    BitWriter w(2);
    for (int d : {1, 2, 3, 4}) blockstream::PutMvd(w, d, 1);
    const long afterTwo = w.bits() - 2;
    blockstream::PutMvd(w, 5, 1);
    w.Put(0, 12);  // no motion code is twelve zeros
    const MvResult r = DecodeMv(w.Bytes(), 2, n, 1, 2);
    EXPECT_EQ(r.status, lumStsMP4MVCodeErr);
    EXPECT_EQ(r.bitsConsumed, afterTwo);
    EXPECT_TRUE(Same(r.mv[0], 1, 2));
    EXPECT_TRUE(Same(r.mv[1], 4, 6));  // predicted from block 0 alone
    EXPECT_TRUE(Same(r.mv[2], -777, -777));
    EXPECT_TRUE(Same(r.mv[3], -777, -777));
    // One vector: nothing is stored and nothing consumed.
    BitWriter one;
    blockstream::PutMvd(one, 1, 1);
    one.Put(0, 12);
    const MvResult r1 = DecodeMv(one.Bytes(), 0, n, 1, 0);
    EXPECT_EQ(r1.status, lumStsMP4MVCodeErr);
    EXPECT_EQ(r1.bitsConsumed, 0);
    EXPECT_TRUE(Same(r1.mv[0], -777, -777));
}

// ---- Chroma vectors and limiting ----

TEST(Mpeg4ChromaVectors, OneVector) {
    const int cases[][2] = {{0, 0},   {1, 1},   {2, 1},   {3, 1},           {4, 2},
                            {5, 3},   {6, 3},   {7, 3},   {8, 4},           {-1, -1},
                            {-2, -1}, {-5, -3}, {-8, -4}, {-32768, -16384}, {32767, 16383}};
    for (const auto& c : cases) {
        const LumMotionVector in{static_cast<Lum16s>(c[0]), static_cast<Lum16s>(-c[0])};
        LumMotionVector out{};
        ASSERT_EQ(lumiComputeChromaMV_MPEG4(&in, &out), lumStsNoErr);
        EXPECT_EQ(out.dx, c[1]) << c[0];
        if (c[0] != -32768) {
            EXPECT_EQ(out.dy, -c[1]) << c[0];
        }
    }
    LumMotionVector v{};
    EXPECT_EQ(lumiComputeChromaMV_MPEG4(nullptr, &v), lumStsNullPtrErr);
    EXPECT_EQ(lumiComputeChromaMV_MPEG4(&v, nullptr), lumStsNullPtrErr);
}

TEST(Mpeg4ChromaVectors, FourVectorsRoundByTheCountSummed) {
    struct Case {
        std::array<Lum8u, 4> present;
        std::array<int, 4> x;
        int expected;
    } cases[] = {
        {{1, 1, 1, 1}, {1, 1, 1, 1}, 1},      // sum 4: table16[4]
        {{1, 1, 1, 1}, {4, 4, 4, 4}, 2},      // sum 16
        {{1, 1, 1, 1}, {4, 4, 4, 3}, 2},      // sum 15: 0 * 2 + 2
        {{1, 1, 1, 1}, {-1, -1, -1, 0}, -1},  // sum -3
        {{1, 1, 1, 1}, {0, 0, 0, 2}, 0},      // sum 2
        {{1, 1, 1, 1}, {8, 8, 8, 9}, 4},      // sum 33: 2 * 2 + table16[1]
        {{1, 1, 1, 1}, {8, 8, 8, 11}, 5},     // sum 35: 2 * 2 + table16[3]
        {{1, 1, 1, 0}, {4, 3, 3, 100}, 2},    // three: sum 10, table12[10]
        {{0, 1, 0, 1}, {100, 3, 100, 4}, 2},  // two: sum 7, table8[7]
        {{0, 0, 1, 0}, {9, 9, 3, 9}, 1},      // one: table4[3]
        {{0, 0, 1, 0}, {9, 9, -5, 9}, -3},   {{0, 0, 0, 0}, {9, 9, 9, 9}, 0},
    };
    for (const Case& c : cases) {
        LumMotionVector in[4];
        for (std::size_t i = 0; i < 4; ++i)
            in[i] = {static_cast<Lum16s>(c.x[i]), static_cast<Lum16s>(-c.x[i])};
        LumMotionVector out{};
        ASSERT_EQ(lumiComputeChroma4MV_MPEG4(in, &out, c.present.data()), lumStsNoErr);
        EXPECT_EQ(out.dx, c.expected);
        EXPECT_EQ(out.dy, -c.expected);
    }
    LumMotionVector v[4] = {};
    const Lum8u avail[4] = {1, 1, 1, 1};
    EXPECT_EQ(lumiComputeChroma4MV_MPEG4(v, v, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiComputeChroma4MV_MPEG4(nullptr, v, avail), lumStsNullPtrErr);
}

TEST(Mpeg4LimitMv, ChecksAndClamping) {
    const LumiRect rect{-16, -16, 96, 80};  // a 64x48 picture with its 16-sample border
    LumMotionVector in{0, 0}, out{123, 45};
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(nullptr, &out, &rect, 0, 0, 16), lumStsNullPtrErr);
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(&in, &out, nullptr, 0, 0, 12), lumStsNullPtrErr);
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(&in, &out, &rect, 0, 0, 12), lumStsMP4BlockSizeErr);
    const LumiRect narrow{0, 0, 31, 100};
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(&in, &out, &narrow, 0, 0, 16), lumStsSizeErr);
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(&in, &out, &narrow, 0, 0, 8), lumStsNoErr);
    const LumiRect low{0, 0, 100, 15};
    out = {123, 45};
    EXPECT_EQ(lumiLimitMVToRect_MPEG4(&in, &out, &low, 0, 0, 8), lumStsSizeErr);
    EXPECT_TRUE(Same(out, 123, 45));

    struct Case {
        int mvx, mvy, x, y, size, ex, ey;
    } cases[] = {
        {0, 0, 0, 0, 16, 0, 0},         {-32, -32, 0, 0, 16, -32, -32},  // exactly at the border's start
        {-34, -33, 0, 0, 16, -32, -32},                                  // beyond it
        {-6, 0, 16, 0, 8, -6, 0},       {100, 0, 48, 0, 16, 32, 0},      // right limit: 2 * (80 - 16) - 96
        {31, 0, 48, 0, 16, 31, 0},      {32, 0, 48, 0, 16, 32, 0},       // at the limit: unchanged value
        {0, 200, 0, 32, 16, 0, 32},                                      // bottom limit: 2 * (64 - 16) - 64
        {0, 31, 0, 40, 8, 0, 31},                                        // 2 * (64 - 8) - 80 = 32
        {0, 32, 0, 40, 8, 0, 32},       {0, 33, 0, 40, 8, 0, 32},
    };
    for (const Case& c : cases) {
        const LumMotionVector v{static_cast<Lum16s>(c.mvx), static_cast<Lum16s>(c.mvy)};
        ASSERT_EQ(lumiLimitMVToRect_MPEG4(&v, &out, &rect, c.x, c.y, c.size), lumStsNoErr);
        EXPECT_TRUE(Same(out, c.ex, c.ey)) << c.mvx << "," << c.mvy << " at " << c.x << "," << c.y;
    }
    // A vector pointing 3 samples left of a rectangle that starts at 0, for a block at 0, becomes 0.
    const LumiRect atZero{0, 0, 64, 64};
    const LumMotionVector left3{-6, 0};
    ASSERT_EQ(lumiLimitMVToRect_MPEG4(&left3, &out, &atZero, 0, 0, 8), lumStsNoErr);
    EXPECT_TRUE(Same(out, 0, 0));
}

// ---- Half-sample motion compensation ----

int Predict(const Lum8u* src, std::ptrdiff_t step, int x, int y, LumMotionVector mv, int rounding) {
    const Lum8u* p = src + (mv.dx >> 1) + (mv.dy >> 1) * step + y * step + x;
    const int r = rounding ? 1 : 0;
    const int a = p[0], b = p[1], c = p[step], d = p[step + 1];
    switch ((mv.dx & 1) | ((mv.dy & 1) << 1)) {
        case 0:
            return a;
        case 1:
            return (a + b + 1 - r) / 2;
        case 2:
            return (a + c + 1 - r) / 2;
        default:
            return (a + b + c + d + 2 - r) / 4;
    }
}

TEST(Mpeg4Halfpel, RoundingControl) {
    // a = 1, b = 2: (1 + 2 + 1) >> 1 = 2 without rounding control, (1 + 2) >> 1 = 1 with it.
    std::vector<Lum8u> plane(32 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            plane[static_cast<std::size_t>(y * 32 + x)] = static_cast<Lum8u>(1 + (x & 1));
    const Lum8u* src = plane.data() + 8 * 32 + 8;
    struct Case {
        int mvx, mvy, rounding, expected;
    } cases[] = {{1, 0, 0, 2}, {1, 0, 1, 1},  {0, 1, 0, 1},  {0, 1, 1, 1}, {1, 1, 0, 2},
                 {1, 1, 1, 1}, {-1, 0, 0, 2}, {-1, 0, 1, 1}, {2, 0, 0, 2}, {-2, 0, 1, 2}};
    for (const Case& c : cases) {
        const LumMotionVector mv{static_cast<Lum16s>(c.mvx), static_cast<Lum16s>(c.mvy)};
        Lum8u out[16 * 16];
        ASSERT_EQ(lumiCopyBlockHalfpel_MPEG4_8u(src, 32, out, 8, &mv, c.rounding), lumStsNoErr);
        EXPECT_EQ(out[0], c.expected) << c.mvx << "," << c.mvy << " r" << c.rounding;
        ASSERT_EQ(lumiCopyMBHalfpel_MPEG4_8u(src, 32, out, 16, &mv, c.rounding), lumStsNoErr);
        EXPECT_EQ(out[0], c.expected);
    }
    // mvx = -1 averages the column left of pSrc with pSrc's own.
    plane.assign(plane.size(), 0);
    plane[8 * 32 + 7] = 100;
    plane[8 * 32 + 8] = 51;
    const LumMotionVector mv{-1, 0};
    Lum8u out[64];
    ASSERT_EQ(lumiCopyBlockHalfpel_MPEG4_8u(src, 32, out, 8, &mv, 0), lumStsNoErr);
    EXPECT_EQ(out[0], 76);
    EXPECT_EQ(out[1], 26);
}

TEST(Mpeg4Halfpel, RandomVectorsMatchTheFormula) {
    std::mt19937 rng(11);
    const int step = 64;
    std::vector<Lum8u> plane(static_cast<std::size_t>(step) * 64);
    for (auto& v : plane) v = static_cast<Lum8u>(rng());
    const Lum8u* src = plane.data() + 24 * step + 24;
    for (int trial = 0; trial < 200; ++trial) {
        const LumMotionVector mv{static_cast<Lum16s>(static_cast<int>(rng() % 33) - 16),
                                 static_cast<Lum16s>(static_cast<int>(rng() % 33) - 16)};
        const int rounding = static_cast<int>(rng() % 2);
        Lum8u block[8 * 8], mb[16 * 16], recon[8 * 8];
        Lum16s residual[64];
        for (auto& r : residual) r = static_cast<Lum16s>(static_cast<int>(rng() % 801) - 400);
        ASSERT_EQ(lumiCopyBlockHalfpel_MPEG4_8u(src, step, block, 8, &mv, rounding), lumStsNoErr);
        ASSERT_EQ(lumiCopyMBHalfpel_MPEG4_8u(src, step, mb, 16, &mv, rounding), lumStsNoErr);
        ASSERT_EQ(lumiReconBlockHalfpel_MPEG4_8u(src, step, residual, recon, 8, &mv, rounding), lumStsNoErr);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int p = Predict(src, step, x, y, mv, rounding);
                ASSERT_EQ(mb[y * 16 + x], p);
                if (x >= 8 || y >= 8) continue;
                ASSERT_EQ(block[y * 8 + x], p);
                const int s = p + residual[y * 8 + x];
                ASSERT_EQ(recon[y * 8 + x], s < 0 ? 0 : (s > 255 ? 255 : s));
            }
        }
    }
}

TEST(Mpeg4Halfpel, NullPointers) {
    Lum8u buf[17 * 17] = {};
    Lum16s res[64] = {};
    const LumMotionVector mv{0, 0};
    EXPECT_EQ(lumiCopyBlockHalfpel_MPEG4_8u(nullptr, 17, buf, 8, &mv, 0), lumStsNullPtrErr);
    EXPECT_EQ(lumiCopyMBHalfpel_MPEG4_8u(buf, 17, nullptr, 16, &mv, 0), lumStsNullPtrErr);
    EXPECT_EQ(lumiCopyMBHalfpel_MPEG4_8u(buf, 17, buf, 16, nullptr, 0), lumStsNullPtrErr);
    EXPECT_EQ(lumiReconBlockHalfpel_MPEG4_8u(buf, 17, nullptr, buf, 8, &mv, 0), lumStsNullPtrErr);
    EXPECT_EQ(lumiReconBlockHalfpel_MPEG4_8u(buf, 17, res, buf, 8, nullptr, 0), lumStsNullPtrErr);
}

// ---- Block copies and border padding ----

TEST(Mpeg4BlockCopy, StepChecksAndExactRegion) {
    Lum8u src[40 * 20], dst[40 * 20];
    EXPECT_EQ(lumiCopyBlock_H263_8u(nullptr, dst, 4), lumStsNullPtrErr);
    EXPECT_EQ(lumiCopyBlock_H263_8u(src, dst, 7), lumStsH263BlockStepErr);
    EXPECT_EQ(lumiCopyMB_H263_8u(src, nullptr, 8), lumStsNullPtrErr);
    EXPECT_EQ(lumiCopyMB_H263_8u(src, dst, 15), lumStsH263MBStepErr);
    for (int size : {8, 16}) {
        for (int i = 0; i < 40 * 20; ++i) {
            src[i] = static_cast<Lum8u>(i * 7);
            dst[i] = 0xEE;
        }
        ASSERT_EQ(size == 8 ? lumiCopyBlock_H263_8u(src + 41, dst + 41, 40)
                            : lumiCopyMB_H263_8u(src + 41, dst + 41, 40),
                  lumStsNoErr);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool inside = y >= 1 && y < 1 + size && x >= 1 && x < 1 + size;
                ASSERT_EQ(dst[y * 40 + x], inside ? src[y * 40 + x] : 0xEE) << size << ": " << x << "," << y;
            }
    }
}

TEST(Mpeg4ExpandFrame, ChecksInOrder) {
    Lum8u plane[64 * 64] = {};
    struct Case {
        Lum8u* p;
        int width, height, expand, step;
        LumStatus expected;
    } cases[] = {
        {nullptr, 0, 0, 0, 0, lumStsNullPtrErr},        {plane, 7, 0, 0, 0, lumStsH263FrameWidthErr},
        {plane, 8, 0, 0, 0, lumStsH263FrameHeightErr},  {plane, 8, -1, 7, 0, lumStsH263FrameHeightErr},
        {plane, 8, 1, 7, 0, lumStsH263ExpandPelsErr},   {plane, 8, 1, 8, 7, lumStsH263BlockStepErr},
        {plane, 8, 1, 8, 23, lumStsH263PlaneStepErr},   {plane, 8, 1, 8, 24, lumStsNoErr},
        {plane, 16, 8, 16, 47, lumStsH263PlaneStepErr}, {plane, 16, 8, 16, 48, lumStsNoErr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lumiExpandFrame_H263_8u(c.p, c.width, c.height, c.expand, c.step), c.expected)
            << c.width << "x" << c.height << " +" << c.expand << " step " << c.step;
}

TEST(Mpeg4ExpandFrame, BordersRepeatEdgesAndCorners) {
    const int width = 11, height = 5, border = 8, step = width + 2 * border + 3;
    const int rows = height + 2 * border;
    std::vector<Lum8u> plane(static_cast<std::size_t>(step * rows), 0xEE);
    auto at = [&](int x, int y) -> Lum8u& {
        return plane[static_cast<std::size_t>((y + border) * step + x + border)];
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) at(x, y) = static_cast<Lum8u>(10 * y + x);
    ASSERT_EQ(lumiExpandFrame_H263_8u(plane.data(), width, height, border, step), lumStsNoErr);
    for (int y = -border; y < height + border; ++y) {
        for (int x = -border; x < width + border; ++x) {
            const int cx = x < 0 ? 0 : (x >= width ? width - 1 : x),
                      cy = y < 0 ? 0 : (y >= height ? height - 1 : y);
            ASSERT_EQ(at(x, y), 10 * cy + cx) << x << "," << y;
        }
        for (int x = width + border; x < step - border; ++x) ASSERT_EQ(at(x, y), 0xEE);  // the step's slack
    }
}

}  // namespace
