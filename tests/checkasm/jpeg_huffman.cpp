// JPEG Huffman coding primitives: table and state objects, block decoders and encoders, statistics and
// the table builder.
//
// Inputs are random but valid: tables come from random symbol statistics, blocks keep their values in
// range, and the decoders read streams that the generic encoder wrote (whole, or cut short at random
// to reach the running-out paths). Every mutable thing a call touches (coefficients, positions, markers,
// predictors, states, output bytes) lives in a guarded buffer, so versions are compared on all of it.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "checkasm.h"
#include "checkasm_util.h"
#include "jpeg/huffman_internal.h"

namespace {

using checkasm::Buffers;
using checkasm::Clone;
using checkasm::CompareVersions;
using checkasm::Guarded;
using checkasm::rng;

// ---- tables ----

struct Spec {
    Lum8u bits[16] = {};
    Lum8u vals[256] = {};
    int count = 0;
};

// Code lengths for `n` symbols by a random split of a full binary tree, limited to 16 bits, keeping one
// leaf of the longest length free so that no code is all 1-bits.
Spec RandomSpec(const std::vector<int>& symbols) {
    Spec s;
    const int n = static_cast<int>(symbols.size());
    // Start with one leaf at depth 0 and split random leaves until there are n + 1 of them.
    std::vector<int> depth{0};
    while (static_cast<int>(depth.size()) < n + 1) {
        std::vector<int> candidates;
        for (int i = 0; i < static_cast<int>(depth.size()); ++i)
            if (depth[static_cast<std::size_t>(i)] < 16) candidates.push_back(i);
        const int pick = candidates[rng().Next() % candidates.size()];
        const int d = ++depth[static_cast<std::size_t>(pick)];
        depth.push_back(d);
    }
    std::sort(depth.begin(), depth.end());
    depth.pop_back();  // the longest leaf stays unused
    for (int d : depth) ++s.bits[d - 1];
    std::vector<int> order = symbols;
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rng().Next() % i]);
    for (int i = 0; i < n; ++i) s.vals[i] = static_cast<Lum8u>(order[static_cast<std::size_t>(i)]);
    s.count = n;
    return s;
}

std::vector<int> DcSymbols(int maxCategory) {
    std::vector<int> v;
    for (int i = 0; i <= maxCategory; ++i) v.push_back(i);
    return v;
}

std::vector<int> AcSymbols(int maxCategory = 10) {
    std::vector<int> v;
    for (int r = 0; r < 16; ++r)
        for (int s = 0; s <= maxCategory; ++s)
            if (s > 0 || r == 0 || r == 15) v.push_back((r << 4) | s);
    // End-of-band runs of progressive scans.
    for (int r = 1; r < 15; ++r) v.push_back(r << 4);
    return v;
}

// A listing from random counts over `symbols` by the generic table builder: every symbol gets a code.
Spec FromStatistics(const std::vector<int>& symbols) {
    Lum32s stats[256] = {};
    const int spread = rng().Range(1, 20);
    for (int sym : symbols) stats[sym] = 1 + static_cast<Lum32s>(rng().Next() % (1u << spread));
    Spec s;
    lumiEncodeHuffmanRawTableInit_JPEG_8u(stats, s.bits, s.vals);
    s.count = static_cast<int>(symbols.size());
    return s;
}

struct Tables {
    LumiEncodeHuffmanSpec* encDc = nullptr;
    LumiEncodeHuffmanSpec* encAc = nullptr;
    LumiDecodeHuffmanSpec* decDc = nullptr;
    LumiDecodeHuffmanSpec* decAc = nullptr;
    // Code lengths from random symbol counts, or (`anyLengths`) spread at random up to 16 bits, so that
    // frequent symbols such as the end of block may have long codes too. `wide` tables code every DC
    // category (up to 16) and every AC category (up to 15), so a 16-bit code with its extra bits makes
    // fields of up to 32 bits.
    explicit Tables(bool anyLengths = false, bool wide = false) {
        const std::vector<int> dcSymbols = DcSymbols(wide ? 16 : 11);
        const std::vector<int> acSymbols = AcSymbols(wide ? 15 : 10);
        const Spec dc = anyLengths ? RandomSpec(dcSymbols) : FromStatistics(dcSymbols);
        const Spec ac = anyLengths ? RandomSpec(acSymbols) : FromStatistics(acSymbols);
        lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(dc.bits, dc.vals, &encDc);
        lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(ac.bits, ac.vals, &encAc);
        lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(dc.bits, dc.vals, &decDc);
        lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(ac.bits, ac.vals, &decAc);
    }
    ~Tables() {
        lumiEncodeHuffmanSpecFree_JPEG_8u(encDc);
        lumiEncodeHuffmanSpecFree_JPEG_8u(encAc);
        lumiDecodeHuffmanSpecFree_JPEG_8u(decDc);
        lumiDecodeHuffmanSpecFree_JPEG_8u(decAc);
    }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
};

// A block with DC in [-1024, 1023] and AC magnitudes of up to 10 bits, sparse or dense; `wide`: any DC
// and AC magnitudes of up to 15 bits.
void RandomBlock(Lum16s* b, bool wide = false) {
    const int density = static_cast<int>(rng().Next() % 4);
    b[0] = static_cast<Lum16s>(wide ? rng().Range(-32768, 32767) : rng().Range(-1024, 1023));
    for (int i = 1; i < 64; ++i) {
        b[i] = 0;
        if (static_cast<int>(rng().Next() % 8) >= density * 2) continue;
        const int bits = rng().Range(1, rng().Next() % 4 ? 4 : wide ? 15 : 10);
        const int m = rng().Range(1 << (bits - 1), (1 << bits) - 1);
        b[i] = static_cast<Lum16s>(rng().Next() % 2 ? m : -m);
    }
}

struct Scalars {
    int pos;
    int marker;
    Lum16s lastDc;
};

template <typename T>
T* As(Guarded& g) {
    return reinterpret_cast<T*>(g.data());
}

}  // namespace

// ---- table and state objects ----

namespace {

// InitAlloc of a table (decoder or encoder) from random listings, every fifth one damaged (often
// invalid): status and the table's bytes compared.
template <typename Table, typename Fn>
void CheckSpecInitAlloc(const char* name, LumStatus (*freeFn)(Table*)) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 40 && !checkasm::Failed(); ++trial) {
        Spec s = RandomSpec(trial % 2 ? AcSymbols() : DcSymbols(rng().Range(0, 15)));
        if (trial % 5 == 4) s.bits[rng().Next() % 16] = static_cast<Lum8u>(rng().Next());
        auto pristine = Buffers({sizeof(Table)});
        CompareVersions(
            v, pristine,
            [&](auto fn, std::vector<Guarded>& b) {
                Table* table = nullptr;
                const LumStatus st = fn(s.bits, s.vals, &table);
                if (table != nullptr) std::memcpy(b[0].data(), table, sizeof *table);
                freeFn(table);
                return st;
            },
            "random table");
    }
    const Spec s = RandomSpec(AcSymbols());
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] {
            Table* table = nullptr;
            call(s.bits, s.vals, &table);
            freeFn(table);
        });
    }
}

}  // namespace

CHECKASM_FUNC(lumiDecodeHuffmanSpecInitAlloc_JPEG_8u) {
    CheckSpecInitAlloc<LumiDecodeHuffmanSpec, decltype(&lumiDecodeHuffmanSpecInitAlloc_JPEG_8u)>(
        "lumiDecodeHuffmanSpecInitAlloc_JPEG_8u", &lumiDecodeHuffmanSpecFree_JPEG_8u);
}

CHECKASM_FUNC(lumiEncodeHuffmanSpecInitAlloc_JPEG_8u) {
    CheckSpecInitAlloc<LumiEncodeHuffmanSpec, decltype(&lumiEncodeHuffmanSpecInitAlloc_JPEG_8u)>(
        "lumiEncodeHuffmanSpecInitAlloc_JPEG_8u", &lumiEncodeHuffmanSpecFree_JPEG_8u);
}

namespace {

// InitAlloc of a state: the new object must be zero throughout.
template <typename State, typename Fn>
void CheckStateInitAlloc(const char* name, LumStatus (*freeFn)(State*)) {
    checkasm::Versions<Fn> v(name);
    for (const auto& [level, fn] : v.all()) {
        State* state = nullptr;
        if (fn(&state) != lumStsNoErr || state == nullptr) {
            checkasm::Fail(name, level, "allocation refused");
            continue;
        }
        std::vector<Lum8u> zero(sizeof(State), 0);
        if (std::memcmp(state, zero.data(), sizeof(State)) != 0)
            checkasm::Fail(name, level, "state not zeroed");
        freeFn(state);
    }
}

// Init of a state in a guarded buffer of exactly its size.
template <typename State, typename Fn>
void CheckStateInit(const char* name) {
    checkasm::Versions<Fn> v(name);
    auto pristine = Buffers({sizeof(State)});
    CompareVersions(
        v, pristine, [&](auto fn, std::vector<Guarded>& b) { return fn(As<State>(b[0])); }, "init");
    for (const auto& [level, fn] : v.all()) {
        Guarded g(sizeof(State));
        if (fn(As<State>(g)) != lumStsNoErr) checkasm::Fail(name, level, "refused");
        for (std::size_t i = 0; i < sizeof(State); ++i)
            if (g.data()[i] != 0) checkasm::Fail(name, level, "state not zeroed");
    }
}

// The free functions: an object from the allocator accepted.
template <typename Object, typename Fn, typename Make>
void CheckFree(const char* name, Make make) {
    checkasm::Versions<Fn> v(name);
    for (const auto& [level, fn] : v.all()) {
        Object* p = make();
        if (fn(p) != lumStsNoErr) checkasm::Fail(name, level, "valid object refused");
    }
}

}  // namespace

CHECKASM_FUNC(lumiDecodeHuffmanStateInitAlloc_JPEG_8u) {
    CheckStateInitAlloc<LumiDecodeHuffmanState, decltype(&lumiDecodeHuffmanStateInitAlloc_JPEG_8u)>(
        "lumiDecodeHuffmanStateInitAlloc_JPEG_8u", &lumiDecodeHuffmanStateFree_JPEG_8u);
}

CHECKASM_FUNC(lumiEncodeHuffmanStateInitAlloc_JPEG_8u) {
    CheckStateInitAlloc<LumiEncodeHuffmanState, decltype(&lumiEncodeHuffmanStateInitAlloc_JPEG_8u)>(
        "lumiEncodeHuffmanStateInitAlloc_JPEG_8u", &lumiEncodeHuffmanStateFree_JPEG_8u);
}

CHECKASM_FUNC(lumiDecodeHuffmanStateInit_JPEG_8u) {
    CheckStateInit<LumiDecodeHuffmanState, decltype(&lumiDecodeHuffmanStateInit_JPEG_8u)>(
        "lumiDecodeHuffmanStateInit_JPEG_8u");
}

CHECKASM_FUNC(lumiEncodeHuffmanStateInit_JPEG_8u) {
    CheckStateInit<LumiEncodeHuffmanState, decltype(&lumiEncodeHuffmanStateInit_JPEG_8u)>(
        "lumiEncodeHuffmanStateInit_JPEG_8u");
}

CHECKASM_FUNC(lumiDecodeHuffmanSpecFree_JPEG_8u) {
    CheckFree<LumiDecodeHuffmanSpec, decltype(&lumiDecodeHuffmanSpecFree_JPEG_8u)>(
        "lumiDecodeHuffmanSpecFree_JPEG_8u", [] {
            const Spec s = RandomSpec(DcSymbols(11));
            LumiDecodeHuffmanSpec* p = nullptr;
            lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(s.bits, s.vals, &p);
            return p;
        });
}

CHECKASM_FUNC(lumiEncodeHuffmanSpecFree_JPEG_8u) {
    CheckFree<LumiEncodeHuffmanSpec, decltype(&lumiEncodeHuffmanSpecFree_JPEG_8u)>(
        "lumiEncodeHuffmanSpecFree_JPEG_8u", [] {
            const Spec s = RandomSpec(DcSymbols(11));
            LumiEncodeHuffmanSpec* p = nullptr;
            lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(s.bits, s.vals, &p);
            return p;
        });
}

CHECKASM_FUNC(lumiDecodeHuffmanStateFree_JPEG_8u) {
    CheckFree<LumiDecodeHuffmanState, decltype(&lumiDecodeHuffmanStateFree_JPEG_8u)>(
        "lumiDecodeHuffmanStateFree_JPEG_8u", [] {
            LumiDecodeHuffmanState* p = nullptr;
            lumiDecodeHuffmanStateInitAlloc_JPEG_8u(&p);
            return p;
        });
}

CHECKASM_FUNC(lumiEncodeHuffmanStateFree_JPEG_8u) {
    CheckFree<LumiEncodeHuffmanState, decltype(&lumiEncodeHuffmanStateFree_JPEG_8u)>(
        "lumiEncodeHuffmanStateFree_JPEG_8u", [] {
            LumiEncodeHuffmanState* p = nullptr;
            lumiEncodeHuffmanStateInitAlloc_JPEG_8u(&p);
            return p;
        });
}

// ---- baseline ----

namespace {

constexpr int kBlocks = 24;

// Encodes `blocks` with the generic baseline encoder and flushes; returns the stream followed by an
// end-of-image marker.
std::vector<Lum8u> EncodeBaseline(const Tables& t, const std::vector<Lum16s>& blocks) {
    std::vector<Lum8u> out(blocks.size() / 64 * 200 + 16);
    LumiEncodeHuffmanState* st = nullptr;
    lumiEncodeHuffmanStateInitAlloc_JPEG_8u(&st);
    int pos = 0;
    Lum16s last = 0;
    for (std::size_t b = 0; b < blocks.size(); b += 64)
        lumiEncodeHuffman8x8_JPEG_16s1u_C1(&blocks[b], out.data(), static_cast<int>(out.size()), &pos, &last,
                                           t.encDc, t.encAc, st, 0);
    lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), static_cast<int>(out.size()), &pos, nullptr,
                                       nullptr, nullptr, st, 1);
    lumiEncodeHuffmanStateFree_JPEG_8u(st);
    out.resize(static_cast<std::size_t>(pos));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

std::vector<Lum16s> RandomBlocks(int n, bool wide = false) {
    std::vector<Lum16s> blocks(static_cast<std::size_t>(n) * 64);
    for (int b = 0; b < n; ++b) RandomBlock(&blocks[static_cast<std::size_t>(b) * 64], wide);
    return blocks;
}

}  // namespace

namespace {

// Entropy-coded data as a decoder meets it in files: restart intervals of a few blocks each, closed by
// RSTn, then damaged: stuffed FF bytes and random bytes dropped in (codes longer than the table's, or no
// code at all), markers in the middle of a block, and often a cut end.
std::vector<Lum8u> DamagedStream(const Tables& t) {
    std::vector<Lum8u> out;
    for (int interval = 0; interval < 6; ++interval) {
        std::vector<Lum8u> part = EncodeBaseline(t, RandomBlocks(rng().Range(1, 6)));
        part.resize(part.size() - 2);  // its end-of-image marker
        out.insert(out.end(), part.begin(), part.end());
        out.push_back(0xFF);
        out.push_back(static_cast<Lum8u>(0xD0 + interval % 8));
    }
    const int damage = rng().Range(0, 6);
    for (int d = 0; d < damage; ++d) {
        const auto at = out.begin() + static_cast<std::ptrdiff_t>(rng().Next() % out.size());
        switch (rng().Next() % 3) {
            case 0:
                out.insert(at, {0xFF, 0x00});
                break;
            case 1:
                out.insert(at, {0xFF, static_cast<Lum8u>(rng().Range(0xC0, 0xFE))});
                break;
            default: {
                std::vector<Lum8u> noise(static_cast<std::size_t>(rng().Range(1, 24)));
                for (Lum8u& b : noise) b = static_cast<Lum8u>(rng().Next() % 255);  // no FF
                out.insert(at, noise.begin(), noise.end());
            }
        }
    }
    if (rng().Next() % 2) out.resize(rng().Next() % out.size());
    return out;
}

}  // namespace

CHECKASM_FUNC(lumiDecodeHuffman8x8_JPEG_1u16s_C1) {
    checkasm::Versions<decltype(&lumiDecodeHuffman8x8_JPEG_1u16s_C1)> v("lumiDecodeHuffman8x8_JPEG_1u16s_C1");
    for (int trial = 0; trial < 16 && !checkasm::Failed(); ++trial) {
        Tables t;
        const std::vector<Lum16s> blocks = RandomBlocks(kBlocks);
        const std::vector<Lum8u> stream = EncodeBaseline(t, blocks);
        // Whole streams, and streams cut short to reach the out-of-data paths.
        const int len = trial % 3 == 2 ? rng().Range(0, static_cast<int>(stream.size()))
                                       : static_cast<int>(stream.size());
        auto pristine =
            Buffers({kBlocks * 128, sizeof(Scalars), sizeof(LumiDecodeHuffmanState), kBlocks * 4});
        std::memset(pristine[1].data(), 0, sizeof(Scalars));
        std::memset(pristine[2].data(), 0, sizeof(LumiDecodeHuffmanState));
        const LumStatus st = CompareVersions(
            v, pristine,
            [&](auto fn, std::vector<Guarded>& b) {
                Scalars* s = As<Scalars>(b[1]);
                LumStatus last = lumStsNoErr;
                for (int k = 0; k < kBlocks; ++k) {
                    last = fn(stream.data(), len, &s->pos, As<Lum16s>(b[0]) + 64 * k, &s->lastDc, &s->marker,
                              t.decDc, t.decAc, As<LumiDecodeHuffmanState>(b[2]));
                    As<LumStatus>(b[3])[k] = last;
                }
                return last;
            },
            "baseline stream");
        if (len == static_cast<int>(stream.size())) {
            // A whole stream decodes back to what was encoded.
            std::vector<Guarded> out = Clone(pristine);
            Scalars* s = As<Scalars>(out[1]);
            for (int k = 0; k < kBlocks; ++k)
                v.ref()(stream.data(), len, &s->pos, As<Lum16s>(out[0]) + 64 * k, &s->lastDc, &s->marker,
                        t.decDc, t.decAc, As<LumiDecodeHuffmanState>(out[2]));
            if (st != lumStsNoErr || std::memcmp(out[0].data(), blocks.data(), kBlocks * 128) != 0)
                checkasm::Fail(v.name(), 0, "round trip differs");
        }
    }
    // Restart markers, stuffing, damage and cut ends. The caller acts as a decoder does: at a marker it
    // resets the state and predictor and clears the marker for an RSTn; it keeps calling after failures.
    for (int trial = 0; trial < 24 && !checkasm::Failed(); ++trial) {
        Tables t(trial % 2 == 1);
        const std::vector<Lum8u> stream = DamagedStream(t);
        constexpr int kCalls = 64;
        // After each call: its status, the position and the bit state (the bytes and bits a call takes
        // must match call by call, not only in the end).
        struct AfterCall {
            LumStatus status;
            int pos;
            LumiDecodeHuffmanState state;
        };
        auto pristine = Buffers(
            {kCalls * 128, sizeof(Scalars), sizeof(LumiDecodeHuffmanState), kCalls * sizeof(AfterCall)});
        std::memset(pristine[1].data(), 0, sizeof(Scalars));
        std::memset(pristine[2].data(), 0, sizeof(LumiDecodeHuffmanState));
        CompareVersions(
            v, pristine,
            [&](auto fn, std::vector<Guarded>& b) {
                Scalars* s = As<Scalars>(b[1]);
                auto* state = As<LumiDecodeHuffmanState>(b[2]);
                LumStatus last = lumStsNoErr;
                for (int k = 0; k < kCalls; ++k) {
                    last = fn(stream.data(), static_cast<int>(stream.size()), &s->pos,
                              As<Lum16s>(b[0]) + 64 * k, &s->lastDc, &s->marker, t.decDc, t.decAc, state);
                    As<AfterCall>(b[3])[k] = {last, s->pos, *state};
                    if (s->marker != 0) {
                        *state = {};
                        s->lastDc = 0;
                        if (s->marker >= 0xD0 && s->marker <= 0xD7) s->marker = 0;
                    }
                }
                return last;
            },
            "restart intervals, stuffing and damage");
    }
    Tables t;
    const std::vector<Lum16s> blocks = RandomBlocks(kBlocks);
    const std::vector<Lum8u> stream = EncodeBaseline(t, blocks);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        LumiDecodeHuffmanState state{};
        Lum16s out[64];
        checkasm::Bench(v.name(), level, [&] {
            int pos = 0, marker = 0;
            Lum16s last = 0;
            state = {};
            for (int k = 0; k < kBlocks; ++k)
                call(stream.data(), static_cast<int>(stream.size()), &pos, out, &last, &marker, t.decDc,
                     t.decAc, &state);
        });
    }
}

CHECKASM_FUNC(lumiEncodeHuffman8x8_JPEG_16s1u_C1) {
    checkasm::Versions<decltype(&lumiEncodeHuffman8x8_JPEG_16s1u_C1)> v("lumiEncodeHuffman8x8_JPEG_16s1u_C1");
    for (int trial = 0; trial < 24 && !checkasm::Failed(); ++trial) {
        // From trial 12 on, every category is coded and values reach 15 bits (DC differences 16).
        const bool wide = trial >= 12;
        Tables t(trial % 2 == 1, wide);
        std::vector<Lum16s> blocks = RandomBlocks(kBlocks, wide);
        // Room for everything, or a buffer that runs out part way.
        const int dstLen = trial % 3 == 2 ? rng().Range(1, 400) : kBlocks * (wide ? 400 : 200);
        // Every fourth stream has a value the tables cannot code (a category without a code, or the AC
        // value -32768) somewhere after its first blocks: the encoder must stop there like the generic one.
        if (trial % 4 == 3) {
            static const Lum16s kUncodable[] = {-32768, 32767, 1500, -2047};
            const std::size_t at = static_cast<std::size_t>(rng().Range(4, kBlocks - 1)) * 64 +
                                   static_cast<std::size_t>(rng().Range(0, 63));
            blocks[at] = kUncodable[rng().Next() % 4];
        }
        auto pristine = Buffers({static_cast<std::size_t>(dstLen), sizeof(Scalars),
                                 sizeof(LumiEncodeHuffmanState), (kBlocks + 1) * 4});
        std::memset(pristine[1].data(), 0, sizeof(Scalars));
        std::memset(pristine[2].data(), 0, sizeof(LumiEncodeHuffmanState));
        CompareVersions(
            v, pristine,
            [&](auto fn, std::vector<Guarded>& b) {
                Scalars* s = As<Scalars>(b[1]);
                auto* state = As<LumiEncodeHuffmanState>(b[2]);
                LumStatus last = lumStsNoErr;
                for (int k = 0; k <= kBlocks; ++k) {
                    const bool flush = k == kBlocks;
                    last = fn(flush ? nullptr : &blocks[static_cast<std::size_t>(k) * 64], b[0].data(),
                              dstLen, &s->pos, &s->lastDc, t.encDc, t.encAc, state, flush);
                    As<LumStatus>(b[3])[k] = last;
                    if (last != lumStsNoErr) break;
                }
                return last;
            },
            "baseline blocks");
    }
    Tables t;
    const std::vector<Lum16s> blocks = RandomBlocks(kBlocks);
    std::vector<Lum8u> out(kBlocks * 200);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        LumiEncodeHuffmanState state{};
        checkasm::Bench(v.name(), level, [&] {
            int pos = 0;
            Lum16s last = 0;
            for (int k = 0; k < kBlocks; ++k)
                call(&blocks[static_cast<std::size_t>(k) * 64], out.data(), static_cast<int>(out.size()),
                     &pos, &last, t.encDc, t.encAc, &state, 0);
            call(nullptr, out.data(), static_cast<int>(out.size()), &pos, nullptr, nullptr, nullptr, &state,
                 1);
        });
    }
}

// ---- progressive scans ----

namespace {

enum class ScanKind { kDcFirst, kDcRefine, kAcFirst, kAcRefine };

struct ScanParams {
    int Ss = 0, Se = 0, Al = 0;
};

ScanParams RandomParams(ScanKind kind) {
    ScanParams p;
    p.Al = rng().Range(0, kind == ScanKind::kAcRefine || kind == ScanKind::kDcRefine ? 3 : 2);
    if (kind == ScanKind::kAcFirst || kind == ScanKind::kAcRefine) {
        p.Ss = rng().Range(1, 63);
        p.Se = rng().Next() % 2 ? 63 : rng().Range(p.Ss, 63);
    }
    return p;
}

// The magnitude bits above Al, as a decoder holds them before the scan that refines bit Al.
void Truncate(Lum16s* block, int Al) {
    for (int i = 0; i < 64; ++i) {
        const int v = block[i];
        block[i] = static_cast<Lum16s>(v < 0 ? -((-v) >> Al << Al) : v >> Al << Al);
    }
}

// Codes `blocks` as one scan with the generic encoder (flushed at the end) and returns the stream.
std::vector<Lum8u> EncodeScan(ScanKind kind, const ScanParams& p, const Tables& t,
                              const std::vector<Lum16s>& blocks) {
    const int n = static_cast<int>(blocks.size() / 64);
    std::vector<Lum8u> out(static_cast<std::size_t>(n) * 200 + 64);
    const int len = static_cast<int>(out.size());
    LumiEncodeHuffmanState* st = nullptr;
    lumiEncodeHuffmanStateInitAlloc_JPEG_8u(&st);
    int pos = 0;
    Lum16s last = 0;
    for (int b = 0; b <= n; ++b) {
        const int flush = b == n;
        const Lum16s* src = flush ? nullptr : &blocks[static_cast<std::size_t>(b) * 64];
        switch (kind) {
            case ScanKind::kDcFirst:
                lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(src, out.data(), len, &pos, &last, p.Al, t.encDc,
                                                           st, flush);
                break;
            case ScanKind::kDcRefine:
                lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(src, out.data(), len, &pos, p.Al, st, flush);
                break;
            case ScanKind::kAcFirst:
                lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(src, out.data(), len, &pos, p.Ss, p.Se, p.Al,
                                                           t.encAc, st, flush);
                break;
            case ScanKind::kAcRefine:
                lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(src, out.data(), len, &pos, p.Ss, p.Se, p.Al,
                                                            t.encAc, st, flush);
                break;
        }
    }
    lumiEncodeHuffmanStateFree_JPEG_8u(st);
    out.resize(static_cast<std::size_t>(pos));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// Blocks with runs of empty ones, so that end-of-band runs span blocks.
std::vector<Lum16s> ProgressiveBlocks(int n) {
    std::vector<Lum16s> blocks = RandomBlocks(n);
    for (int b = 0; b < n; ++b)
        if (rng().Next() % 3 == 0) std::fill_n(&blocks[static_cast<std::size_t>(b) * 64 + 1], 63, Lum16s{0});
    return blocks;
}

// What one block call leaves: its status, the read position and the reader's state.
struct CallRecord {
    LumStatus status;
    int pos;
    LumiDecodeHuffmanState state;
};

// One decoder checker: a scan coded from random blocks, decoded by every version into coefficient
// buffers that hold what the earlier scans left (zero for first scans, the truncated values for
// refinements), whole or cut short, with tables from statistics or with codes of any length up to 16
// bits. Status, position and reader state are compared after every call.
template <typename Fn, typename Call>
void CheckProgressiveDecoder(const char* name, ScanKind kind, Call call) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 16 && !checkasm::Failed(); ++trial) {
        Tables t(trial % 2 == 1);
        const ScanParams p = RandomParams(kind);
        const std::vector<Lum16s> blocks = ProgressiveBlocks(kBlocks);
        const std::vector<Lum8u> stream = EncodeScan(kind, p, t, blocks);
        const int len = trial % 3 == 2 ? rng().Range(1, static_cast<int>(stream.size()))
                                       : static_cast<int>(stream.size());
        auto pristine = Buffers(
            {kBlocks * 128, sizeof(Scalars), sizeof(LumiDecodeHuffmanState), kBlocks * sizeof(CallRecord)});
        std::memset(pristine[0].data(), 0, kBlocks * 128);
        if (kind == ScanKind::kDcRefine || kind == ScanKind::kAcRefine) {
            std::memcpy(pristine[0].data(), blocks.data(), kBlocks * 128);
            for (int b = 0; b < kBlocks; ++b) Truncate(As<Lum16s>(pristine[0]) + 64 * b, p.Al + 1);
        }
        std::memset(pristine[1].data(), 0, sizeof(Scalars));
        std::memset(pristine[2].data(), 0, sizeof(LumiDecodeHuffmanState));
        std::memset(pristine[3].data(), 0, kBlocks * sizeof(CallRecord));
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& b) {
                Scalars* s = As<Scalars>(b[1]);
                LumStatus last = lumStsNoErr;
                for (int k = 0; k < kBlocks; ++k) {
                    last = call(fn, stream.data(), len, &s->pos, As<Lum16s>(b[0]) + 64 * k, &s->lastDc,
                                &s->marker, p, t, As<LumiDecodeHuffmanState>(b[2]));
                    As<CallRecord>(b[3])[k] = {last, s->pos, *As<LumiDecodeHuffmanState>(b[2])};
                }
                return last;
            },
            "progressive stream");
    }
    Tables t;
    const ScanParams p = RandomParams(kind);
    const std::vector<Lum16s> blocks = ProgressiveBlocks(kBlocks);
    const std::vector<Lum8u> stream = EncodeScan(kind, p, t, blocks);
    for (const auto& [level, fn] : v.all()) {
        Fn f = fn;
        std::vector<Lum16s> out(kBlocks * 64);
        checkasm::Bench(name, level, [&] {
            LumiDecodeHuffmanState state{};
            int pos = 0, marker = 0;
            Lum16s last = 0;
            for (int k = 0; k < kBlocks; ++k)
                call(f, stream.data(), static_cast<int>(stream.size()), &pos,
                     &out[static_cast<std::size_t>(k) * 64], &last, &marker, p, t, &state);
        });
    }
}

}  // namespace

CHECKASM_FUNC(lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1) {
    using Fn = decltype(&lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1);
    CheckProgressiveDecoder<Fn>(
        "lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1", ScanKind::kDcFirst,
        [](Fn fn, const Lum8u* src, int len, int* pos, Lum16s* dst, Lum16s* last, int* marker,
           const ScanParams& p, const Tables& t,
           LumiDecodeHuffmanState* st) { return fn(src, len, pos, dst, last, marker, p.Al, t.decDc, st); });
}

CHECKASM_FUNC(lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1) {
    using Fn = decltype(&lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1);
    CheckProgressiveDecoder<Fn>(
        "lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1", ScanKind::kDcRefine,
        [](Fn fn, const Lum8u* src, int len, int* pos, Lum16s* dst, Lum16s*, int* marker, const ScanParams& p,
           const Tables&, LumiDecodeHuffmanState* st) { return fn(src, len, pos, dst, marker, p.Al, st); });
}

CHECKASM_FUNC(lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1) {
    using Fn = decltype(&lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1);
    CheckProgressiveDecoder<Fn>(
        "lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1", ScanKind::kAcFirst,
        [](Fn fn, const Lum8u* src, int len, int* pos, Lum16s* dst, Lum16s*, int* marker, const ScanParams& p,
           const Tables& t, LumiDecodeHuffmanState* st) {
            return fn(src, len, pos, dst, marker, p.Ss, p.Se, p.Al, t.decAc, st);
        });
}

CHECKASM_FUNC(lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1) {
    using Fn = decltype(&lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1);
    CheckProgressiveDecoder<Fn>(
        "lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1", ScanKind::kAcRefine,
        [](Fn fn, const Lum8u* src, int len, int* pos, Lum16s* dst, Lum16s*, int* marker, const ScanParams& p,
           const Tables& t, LumiDecodeHuffmanState* st) {
            return fn(src, len, pos, dst, marker, p.Ss, p.Se, p.Al, t.decAc, st);
        });
}

namespace {

// One encoder (or statistics) checker: random blocks of one scan, then the flush, into an output that
// has room or runs out part way; output bytes, position, predictor, state and per-call statuses compared.
template <typename Fn, typename Call>
void CheckProgressiveEncoder(const char* name, ScanKind kind, Call call) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 16 && !checkasm::Failed(); ++trial) {
        Tables t;
        const ScanParams p = RandomParams(kind);
        const std::vector<Lum16s> blocks = ProgressiveBlocks(kBlocks);
        const int dstLen = trial % 3 == 2 ? rng().Range(1, 100) : kBlocks * 200;
        auto pristine = Buffers({static_cast<std::size_t>(dstLen), sizeof(Scalars),
                                 sizeof(LumiEncodeHuffmanState), (kBlocks + 1) * 4});
        std::memset(pristine[1].data(), 0, sizeof(Scalars));
        std::memset(pristine[2].data(), 0, sizeof(LumiEncodeHuffmanState));
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& b) {
                Scalars* s = As<Scalars>(b[1]);
                LumStatus last = lumStsNoErr;
                for (int k = 0; k <= kBlocks; ++k) {
                    const int flush = k == kBlocks;
                    last = call(fn, flush ? nullptr : &blocks[static_cast<std::size_t>(k) * 64], b[0].data(),
                                dstLen, &s->pos, &s->lastDc, p, t, As<LumiEncodeHuffmanState>(b[2]), flush);
                    As<LumStatus>(b[3])[k] = last;
                    if (last < 0) break;
                }
                return last;
            },
            "progressive blocks");
    }
    Tables t;
    const ScanParams p = RandomParams(kind);
    const std::vector<Lum16s> blocks = ProgressiveBlocks(kBlocks);
    std::vector<Lum8u> out(kBlocks * 200);
    for (const auto& [level, fn] : v.all()) {
        Fn f = fn;
        auto* state = static_cast<LumiEncodeHuffmanState*>(lumMalloc(sizeof(LumiEncodeHuffmanState)));
        std::memset(state, 0, sizeof *state);
        checkasm::Bench(name, level, [&] {
            int pos = 0;
            Lum16s last = 0;
            for (int k = 0; k <= kBlocks; ++k)
                call(f, k < kBlocks ? &blocks[static_cast<std::size_t>(k) * 64] : nullptr, out.data(),
                     static_cast<int>(out.size()), &pos, &last, p, t, state, k == kBlocks);
        });
        lumFree(state);
    }
}

}  // namespace

CHECKASM_FUNC(lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1) {
    using Fn = decltype(&lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1", ScanKind::kDcFirst,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int* pos, Lum16s* last, const ScanParams& p,
           const Tables& t, LumiEncodeHuffmanState* st,
           int flush) { return fn(src, dst, len, pos, last, p.Al, t.encDc, st, flush); });
}

CHECKASM_FUNC(lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1) {
    using Fn = decltype(&lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1", ScanKind::kDcRefine,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int* pos, Lum16s*, const ScanParams& p,
           const Tables&, LumiEncodeHuffmanState* st,
           int flush) -> LumStatus { return fn(src, dst, len, pos, p.Al, st, flush); });
}

CHECKASM_FUNC(lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1) {
    using Fn = decltype(&lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1", ScanKind::kAcFirst,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int* pos, Lum16s*, const ScanParams& p,
           const Tables& t, LumiEncodeHuffmanState* st,
           int flush) { return fn(src, dst, len, pos, p.Ss, p.Se, p.Al, t.encAc, st, flush); });
}

CHECKASM_FUNC(lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1) {
    using Fn = decltype(&lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1", ScanKind::kAcRefine,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int* pos, Lum16s*, const ScanParams& p,
           const Tables& t, LumiEncodeHuffmanState* st,
           int flush) { return fn(src, dst, len, pos, p.Ss, p.Se, p.Al, t.encAc, st, flush); });
}

// The statistics use the output buffer as their 256 counters (dstLen is ignored).
CHECKASM_FUNC(lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1) {
    using Fn = decltype(&lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1", ScanKind::kDcFirst,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int*, Lum16s* last, const ScanParams& p,
           const Tables&, LumiEncodeHuffmanState*, int flush) -> LumStatus {
            if (flush || len < 1024) return lumStsNoErr;
            return fn(src, reinterpret_cast<Lum32s*>(dst), last, p.Al);
        });
}

CHECKASM_FUNC(lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1) {
    using Fn = decltype(&lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1", ScanKind::kAcFirst,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int*, Lum16s*, const ScanParams& p, const Tables&,
           LumiEncodeHuffmanState* st, int flush) -> LumStatus {
            if (len < 1024) return lumStsNoErr;
            return fn(src, reinterpret_cast<Lum32s*>(dst), p.Ss, p.Se, p.Al, st, flush);
        });
}

CHECKASM_FUNC(lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1) {
    using Fn = decltype(&lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1);
    CheckProgressiveEncoder<Fn>(
        "lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1", ScanKind::kAcRefine,
        [](Fn fn, const Lum16s* src, Lum8u* dst, int len, int*, Lum16s*, const ScanParams& p, const Tables&,
           LumiEncodeHuffmanState* st, int flush) -> LumStatus {
            if (len < 1024) return lumStsNoErr;
            return fn(src, reinterpret_cast<Lum32s*>(dst), p.Ss, p.Se, p.Al, st, flush);
        });
}

CHECKASM_FUNC(lumiEncodeHuffmanRawTableInit_JPEG_8u) {
    checkasm::Versions<decltype(&lumiEncodeHuffmanRawTableInit_JPEG_8u)> v(
        "lumiEncodeHuffmanRawTableInit_JPEG_8u");
    for (int trial = 0; trial < 48 && !checkasm::Failed(); ++trial) {
        Lum32s stats[256] = {};
        const int used = trial % 8 == 0 ? rng().Range(0, 2) : rng().Range(1, 256);
        const int spread = rng().Range(0, 31);
        for (int i = 0; i < used; ++i)
            stats[rng().Next() % 256] =
                static_cast<Lum32s>(rng().Next() % (spread == 31 ? 0xFFFFFFFFu : 1u << spread));
        if (trial % 8 == 1)  // steeply growing counts: deep trees that need the 16-bit limit
            for (int i = 0; i < 40; ++i) stats[i] = static_cast<Lum32s>(1u << (i % 31));
        auto pristine = Buffers({16, 256});
        CompareVersions(
            v, pristine,
            [&](auto fn, std::vector<Guarded>& b) { return fn(stats, b[0].data(), b[1].data()); },
            "random statistics");
    }
    Lum32s stats[256];
    for (auto& c : stats) c = static_cast<Lum32s>(rng().Next() % 5000);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        Lum8u bits[16], vals[256];
        checkasm::Bench(v.name(), level, [&] { call(stats, bits, vals); });
    }
}
