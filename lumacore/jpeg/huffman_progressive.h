// The progressive AC scan coders (T.81 G.1.2.2 and G.1.2.3), written once for two sinks: the encoders
// put codes and bits through a BitWriter, the statistics functions count the symbols they would put.
//
// Both keep the same state between blocks: the end-of-band run (eobRun) and, in refinement scans, the
// correction bits of the blocks in that run (corrBits, nCorrBits). The run and its bits are put out
// before anything else is coded, when the run reaches 32767 blocks, when more than 937 correction bits
// wait, and at the flush.
#ifndef LUMACORE_JPEG_HUFFMAN_PROGRESSIVE_H
#define LUMACORE_JPEG_HUFFMAN_PROGRESSIVE_H

#include <cstdint>

#include "jpeg/huffman_bitwriter.h"
#include "jpeg/huffman_internal.h"

namespace lumacore::c::huffman {

// Puts codes and bits. The encoders take magnitudes of up to 11 bits.
class EncodeSink {
  public:
    static constexpr int kMaxMagnitudeBits = 11;
    EncodeSink(BitWriter& out, const LumiEncodeHuffmanSpec* table) : out_(out), table_(table) {}
    LumStatus Symbol(int symbol) { return out_.PutSymbol(table_, symbol); }
    LumStatus Bits(uint32_t value, int n) { return out_.Put(value, n); }

  private:
    BitWriter& out_;
    const LumiEncodeHuffmanSpec* table_;
};

// Counts symbols; bits cost nothing. Counters wrap as unsigned 32-bit numbers. The statistics stop at
// magnitudes of 10 bits, the largest AC category of 8-bit samples.
class CountSink {
  public:
    static constexpr int kMaxMagnitudeBits = 10;
    explicit CountSink(Lum32s* counters) : counters_(counters) {}
    LumStatus Symbol(int symbol) {
        counters_[symbol] = static_cast<Lum32s>(static_cast<uint32_t>(counters_[symbol]) + 1u);
        return lumStsNoErr;
    }
    LumStatus Bits(uint32_t, int) { return lumStsNoErr; }

  private:
    Lum32s* counters_;
};

// The end-of-band run: symbol (r << 4) with r = floor(log2(run)) and the low r bits of the run. Runs
// longer than 32767 (which the coders never build up) go out in pieces of 32767 first.
template <typename Sink>
LumStatus PutEobRun(Sink& sink, LumiEncodeHuffmanState* state) {
    LumStatus st;
    while (state->eobRun > kMaxEobRun) {
        if ((st = sink.Symbol(0xE0)) != lumStsNoErr || (st = sink.Bits(kMaxEobRun, 14)) != lumStsNoErr)
            return st;
        state->eobRun -= kMaxEobRun;
    }
    const int run = state->eobRun;
    if (run <= 0) return lumStsNoErr;
    const int r = BitLength(static_cast<uint32_t>(run)) - 1;
    if ((st = sink.Symbol(r << 4)) != lumStsNoErr) return st;
    if (r > 0 && (st = sink.Bits(static_cast<uint32_t>(run), r)) != lumStsNoErr) return st;
    state->eobRun = 0;
    return lumStsNoErr;
}

template <typename Sink>
LumStatus PutCorrectionBits(Sink& sink, const Lum8u* bits, int n) {
    for (int i = 0; i < n; ++i) {
        const LumStatus st = sink.Bits(bits[i], 1);
        if (st != lumStsNoErr) return st;
    }
    return lumStsNoErr;
}

// A refinement scan's run followed by the correction bits of its blocks.
template <typename Sink>
LumStatus PutEobRunWithBits(Sink& sink, LumiEncodeHuffmanState* state) {
    if (state->eobRun <= 0) return lumStsNoErr;
    LumStatus st = PutEobRun(sink, state);
    if (st == lumStsNoErr) st = PutCorrectionBits(sink, state->corrBits, state->nCorrBits);
    if (st == lumStsNoErr) state->nCorrBits = 0;
    return st;
}

// One block of an AC first scan over zig-zag positions Ss to Se, coefficients scaled down by Al.
template <typename Sink>
LumStatus CodeAcFirst(Sink& sink, const Lum16s* block, int Ss, int Se, int Al,
                      LumiEncodeHuffmanState* state) {
    LumStatus st;
    int run = 0;
    for (int k = Ss; k <= Se; ++k) {
        const int coef = block[kZigzag[k]];
        const int magnitude = (coef < 0 ? -coef : coef) >> Al;
        if (magnitude == 0) {
            ++run;
            continue;
        }
        if (state->eobRun > 0 && (st = PutEobRun(sink, state)) != lumStsNoErr) return st;
        for (; run > 15; run -= 16)
            if ((st = sink.Symbol(0xF0)) != lumStsNoErr) return st;
        const int size = BitLength(static_cast<uint32_t>(magnitude));
        if (size > Sink::kMaxMagnitudeBits) return lumStsJpegCoefRangeErr;
        if ((st = sink.Symbol((run << 4) | size)) != lumStsNoErr) return st;
        // A negative coefficient sends the one's complement of its magnitude.
        const uint32_t bits = coef < 0 ? ~static_cast<uint32_t>(magnitude) : static_cast<uint32_t>(magnitude);
        if ((st = sink.Bits(bits, size)) != lumStsNoErr) return st;
        run = 0;
    }
    if (run > 0) {
        ++state->eobRun;
        if (state->eobRun >= kMaxEobRun) return PutEobRun(sink, state);
    }
    return lumStsNoErr;
}

// One block of an AC refinement scan: coefficients whose scaled magnitude is 1 become significant now;
// larger ones already were and send bit Al as a correction bit.
template <typename Sink>
LumStatus CodeAcRefine(Sink& sink, const Lum16s* block, int Ss, int Se, int Al,
                       LumiEncodeHuffmanState* state) {
    LumStatus st;
    // A run left over by a call that failed to put it out goes first, so the buffer cannot overfill.
    if (state->nCorrBits > kCorrBitsLimit || state->eobRun >= kMaxEobRun) {
        if ((st = PutEobRunWithBits(sink, state)) != lumStsNoErr) return st;
        if (state->nCorrBits > kCorrBitsLimit) return lumStsJpegOutOfBufErr;
    }
    int magnitude[64];
    int lastNew = 0;  // position of the last newly significant coefficient
    for (int k = Ss; k <= Se; ++k) {
        const int coef = block[kZigzag[k]];
        magnitude[k] = (coef < 0 ? -coef : coef) >> Al;
        if (magnitude[k] == 1) lastNew = k;
    }
    int run = 0;
    int nBits = 0;  // correction bits of this block, buffered at `bits`
    Lum8u* bits = state->corrBits + state->nCorrBits;
    for (int k = Ss; k <= Se; ++k) {
        const int m = magnitude[k];
        if (m == 0) {
            ++run;
            continue;
        }
        // A run of more than 15 that a newly significant coefficient still follows is broken by ZRLs;
        // the correction bits gathered so far go out after the first one.
        while (run > 15 && k <= lastNew) {
            if ((st = PutEobRunWithBits(sink, state)) != lumStsNoErr) return st;
            if ((st = sink.Symbol(0xF0)) != lumStsNoErr) return st;
            run -= 16;
            if ((st = PutCorrectionBits(sink, bits, nBits)) != lumStsNoErr) return st;
            bits = state->corrBits;
            nBits = 0;
        }
        if (m > 1) {
            bits[nBits++] = static_cast<Lum8u>(m & 1);
            continue;
        }
        if ((st = PutEobRunWithBits(sink, state)) != lumStsNoErr) return st;
        if ((st = sink.Symbol((run << 4) | 1)) != lumStsNoErr) return st;
        if ((st = sink.Bits(block[kZigzag[k]] < 0 ? 0u : 1u, 1)) != lumStsNoErr) return st;
        if ((st = PutCorrectionBits(sink, bits, nBits)) != lumStsNoErr) return st;
        bits = state->corrBits;
        nBits = 0;
        run = 0;
    }
    if (run > 0 || nBits > 0) {
        // The block ends the band in zeros or with unsent correction bits: it joins the run.
        ++state->eobRun;
        state->nCorrBits = static_cast<int32_t>(bits - state->corrBits) + nBits;
        if (state->eobRun >= kMaxEobRun || state->nCorrBits > kCorrBitsLimit)
            return PutEobRunWithBits(sink, state);
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c::huffman

#endif
