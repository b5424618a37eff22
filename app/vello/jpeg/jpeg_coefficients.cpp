// JpegDecoder, coefficients: buffer allocation, Huffman decoding of sequential and progressive scans
// with the restart step, and the inverse transform of blocks into the components' sample buffers.
#include <algorithm>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_decoder_parts.h"

namespace vello {

using jpeg_detail::CeilDiv;

JpegStatus JpegDecoder::AllocateBuffers() {
    if (buffersReady_) return JpegStatus::kOk;
    if (componentCount_ == 2) return Refuse("2-component images are not supported");
    if (sampling_ == kJpegSamplingOther)
        return Refuse("this sampling layout is not supported (4:4:4, 4:2:2 and 4:2:0 are)");
    // The coefficient buffer is checked first, so that a refused file allocates nothing.
    const std::int64_t mcuCoefficientBytes = static_cast<std::int64_t>(blocksPerMcu_) * 64 * 2;
    // Sequential scans transform each MCU as soon as it is decoded, so one MCU of coefficients is enough.
    std::int64_t coefficientBytes = mcuCoefficientBytes;
    if (progressive_) {
        coefficientBytes *= static_cast<std::int64_t>(mcusPerRow_) * mcuRows_;
        if (coefficientBytes > limits_.maxCoefficientBytes)
            return Refuse("the progressive coefficients exceed the decoder's memory limit");
        // Every block takes at least one bit in the DC scans, so a file too short for that many blocks is
        // cut off or hostile: refuse it before allocating for the whole picture.
        std::int64_t blocks = 0;
        for (int i = 0; i < componentCount_; ++i) {
            const Component& c = *components_[i];
            blocks += static_cast<std::int64_t>(CeilDiv(c.sampleWidth, 8)) * CeilDiv(c.sampleHeight, 8);
        }
        if (static_cast<std::int64_t>(srcLength_) * 8 < blocks) return JpegStatus::kDataExhausted;
    }
    const std::int64_t rowWidth = rowWidth_;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        const std::int64_t planeRows =
            progressive_ ? paddedHeight_ : 2 * mcuHeight_;  // sequential: two slots
        if (!c.plane.Allocate(rowWidth * planeRows)) return JpegStatus::kInternalError;
        if (c.hUp != 1 || c.vUp != 1) {
            c.upsampleStep = rowWidth_ / c.hUp + 2;
            std::int64_t lines = 0;
            if (progressive_) {
                c.upsampleSlotLines = paddedHeight_ / c.vUp + 2;
                lines = c.upsampleSlotLines;
            } else {
                c.upsampleSlotLines = c.v * 8 + 2;
                lines = 2 * c.upsampleSlotLines;
            }
            if (!c.upsample.Allocate(lines * c.upsampleStep)) return JpegStatus::kInternalError;
        }
    }
    if (!coefficients_.Allocate(coefficientBytes / 2)) return JpegStatus::kInternalError;
    if (huffState_ == nullptr && LumInitAlloc(huffState_, lumiDecodeHuffmanStateInitAlloc_JPEG_8u) < 0)
        return JpegStatus::kInternalError;
    buffersReady_ = true;
    return JpegStatus::kOk;
}

Lum8u* JpegDecoder::SampleOrigin(Component& c, int slot) {
    if (c.hUp == 1 && c.vUp == 1)
        return c.plane.data() + static_cast<std::ptrdiff_t>(slot) * rowWidth_ * mcuHeight_;
    return c.upsample.data() + static_cast<std::ptrdiff_t>(slot) * c.upsampleSlotLines * c.upsampleStep +
           c.upsampleStep + 1;
}

int JpegDecoder::SampleStep(const Component& c) const {
    return (c.hUp == 1 && c.vUp == 1) ? rowWidth_ : c.upsampleStep;
}

Lum16s* JpegDecoder::ProgressiveBlock(int mcuX, int mcuY, int blockInMcu) {
    const std::ptrdiff_t mcu = static_cast<std::ptrdiff_t>(mcuY) * mcusPerRow_ + mcuX;
    return coefficients_.data() + (mcu * blocksPerMcu_ + blockInMcu) * 64;
}

// ---- Work bound ----

std::int64_t JpegDecoder::ScanWork(const int* components, int count, int ss, int se) const {
    if (!progressive_) return static_cast<std::int64_t>(mcusPerRow_) * mcuRows_ * blocksPerMcu_ * 64;
    const bool dcScan = ss == 0 || se == 0;
    const std::int64_t band = dcScan ? 1 : std::max(se - ss + 1, 1);
    std::int64_t blocks = 0;
    if (count > 1) {
        std::int64_t perMcu = 0;
        for (int k = 0; k < count; ++k)
            perMcu += components_[components[k]]->h * components_[components[k]]->v;
        blocks = perMcu * mcusPerRow_ * mcuRows_;
    } else if (count == 1) {
        const Component& c = *components_[components[0]];
        blocks = static_cast<std::int64_t>(CeilDiv(c.sampleWidth, 8)) * CeilDiv(c.sampleHeight, 8);
    }
    return blocks * band;
}

std::int64_t JpegDecoder::WorkBudget() const {
    return std::max(limits_.minCoefficientVisits, limits_.coefficientVisitsPerByte * srcLength_);
}

std::int64_t JpegDecoder::PlannedWork() const {
    std::int64_t total = ScanWork(scanComponents_, scanComponentCount_, ss_, se_);
    int p = pos_;
    int marker = 0;
    while (FindMarker(&p, &marker) == JpegStatus::kOk && marker != 0xD9) {
        if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;  // no length field
        if (srcLength_ - p < 2) break;
        const int length = (src_[p] << 8) | src_[p + 1];
        if (length < 2 || length > srcLength_ - p) break;
        const int end = p + length;
        if (marker == 0xDA && length >= 3) {
            // Scan header: components by identifier, then Ss and Se; one that names no frame component
            // will be refused when it is read, and counts for nothing here.
            const int count = src_[p + 2];
            int indices[4] = {0, 0, 0, 0};
            int found = 0;
            if (count >= 1 && count <= 4 && length == 2 * count + 6) {
                for (int k = 0; k < count; ++k)
                    for (int i = 0; i < componentCount_; ++i)
                        if (components_[i]->id == src_[p + 3 + 2 * k] && found < 4) indices[found++] = i;
                if (found == count)
                    total += ScanWork(indices, count, src_[p + 3 + 2 * count], src_[p + 4 + 2 * count]);
            }
        }
        p = end;  // entropy-coded data after a scan header is passed over by the next marker search
    }
    return total;
}

// ---- Entropy-coded data ----

JpegStatus JpegDecoder::BlockDecoded(LumStatus ls) {
    if (ls >= 0) return JpegStatus::kOk;
    if (ls != lumStsJpegOutOfBufErr) return JpegStatus::kInternalError;
    damaged_ = true;
    skipping_ = true;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::CheckScanTables() const {
    for (int k = 0; k < scanComponentCount_; ++k) {
        const Component& c = *components_[scanComponents_[k]];
        // A sequential scan codes both; a progressive DC scan its first pass only (a refinement reads raw
        // bits), an AC scan its band.
        const bool dcScan = ss_ == 0 || se_ == 0;
        const bool needsDc = !progressive_ || (dcScan && ah_ == 0);
        const bool needsAc = !progressive_ || !dcScan;
        if ((needsDc && dcTables_[c.dcSelector] == nullptr) ||
            (needsAc && acTables_[c.acSelector] == nullptr))
            return JpegStatus::kBadHuffmanTable;
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::RestartStep() {
    if (lumiDecodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    for (int i = 0; i < componentCount_; ++i) components_[i]->lastDc = 0;
    if (pendingMarker_ == 0xFF) {
        if (pos_ > 0) --pos_;
        pendingMarker_ = 0;
    }
    if (pendingMarker_ == 0) {
        // Resynchronise at the next marker after a damaged interval. A marker other than RSTn (the end of
        // the image, say) stays pending, so that the blocks after it fail instead of reading a segment's
        // bytes as entropy-coded data; not finding any marker is not an error by itself.
        int marker = 0;
        if (SearchMarker(&marker) == JpegStatus::kOk && (marker < 0xD0 || marker > 0xD7))
            pendingMarker_ = marker;
    } else if (pendingMarker_ >= 0xD0 && pendingMarker_ <= 0xD7) {
        pendingMarker_ = 0;
    }
    restartsToGo_ = restartInterval_;
    skipping_ = false;  // a damaged interval ends here
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::BeginScan() {
    const JpegStatus tables = CheckScanTables();
    if (tables != JpegStatus::kOk) return tables;
    if (lumiDecodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    pendingMarker_ = 0;
    skipping_ = false;
    for (int i = 0; i < componentCount_; ++i) components_[i]->lastDc = 0;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::DecodeSequential() {
    if (const JpegStatus begun = BeginScan(); begun != JpegStatus::kOk) return begun;
    Lum16s* const mcuCoefficients = coefficients_.data();
    // Each block of an MCU with its component's DC predictor, tables, quantiser and place in the MCU,
    // looked up once per scan; frame headers allow at most 4 components of at most 4 x 4 blocks.
    struct McuBlock {
        Lum16s* lastDc;
        const LumiDecodeHuffmanSpec* dc;
        const LumiDecodeHuffmanSpec* ac;
        const Lum16u* quant;
        Component* component;
        std::ptrdiff_t offset;  // of its top-left sample from the MCU's in the component's samples
        int step;               // sample row step
        int mcuAdvance;         // samples from one MCU to the next in a row
        Lum8u* out;             // top-left sample in the current MCU
    } mcuBlocks[4 * 16];
    int blocksPerMcu = 0;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        const QuantTable* q = quant_[c.quantSelector].get();
        const int step = SampleStep(c);
        for (int v = 0; v < c.v; ++v) {
            for (int h = 0; h < c.h && blocksPerMcu < 4 * 16; ++h) {
                mcuBlocks[blocksPerMcu++] = {
                    &c.lastDc,
                    dcTables_[c.dcSelector] ? dcTables_[c.dcSelector]->spec.get() : nullptr,
                    acTables_[c.acSelector] ? acTables_[c.acSelector]->spec.get() : nullptr,
                    q ? q->inverse : nullptr,
                    &c,
                    static_cast<std::ptrdiff_t>(v * 8) * step + h * 8,
                    step,
                    c.h * 8,
                    nullptr};
            }
        }
    }
    const Lum8u* const src = src_;
    const int srcLength = srcLength_;
    LumiDecodeHuffmanState* const huffState = huffState_.get();
    // Row r is entropy-decoded and transformed into slot r % 2 before row r - 1 is upsampled and
    // converted: the triangle filter of a 4:2:0 image needs the first chroma line of the next row. Each
    // MCU is transformed right after it is decoded, while its coefficients are still in the first-level
    // cache.
    for (int row = 0; row <= mcuRows_; ++row) {
        if (row < mcuRows_) {
            const int slot = row & 1;
            for (int b = 0; b < blocksPerMcu; ++b)
                mcuBlocks[b].out = SampleOrigin(*mcuBlocks[b].component, slot) + mcuBlocks[b].offset;
            for (int mx = 0; mx < mcusPerRow_; ++mx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                int b = 0;
                Lum16s* block = mcuCoefficients;
                if (!skipping_) {
                    for (; b < blocksPerMcu; ++b, block += 64) {
                        const McuBlock& m = mcuBlocks[b];
                        const LumStatus ls = lumiDecodeHuffman8x8_JPEG_1u16s_C1(
                            src, srcLength, &pos_, block, m.lastDc, &pendingMarker_, m.dc, m.ac, huffState);
                        if (ls < 0) {
                            const JpegStatus st = BlockDecoded(ls);
                            if (st != JpegStatus::kOk) return st;
                            break;  // now skipping: this block is cleared below
                        }
                    }
                }
                // Blocks of a damaged interval, the one that broke off included, are all zero: level 128,
                // the grey the damage shows as.
                for (; b < blocksPerMcu; ++b, block += 64) std::fill_n(block, 64, Lum16s{0});
                if (restartInterval_ != 0) --restartsToGo_;
                block = mcuCoefficients;
                for (b = 0; b < blocksPerMcu; ++b, block += 64) {
                    McuBlock& m = mcuBlocks[b];
                    if (lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(block, m.out, m.step, m.quant) < 0)
                        return JpegStatus::kInternalError;
                    m.out += m.mcuAdvance;
                }
            }
            if (const JpegStatus st = SetLineAbove(row, slot); st != JpegStatus::kOk) return st;
        }
        if (row > 0) {
            const JpegStatus st = FinishSequentialRow(row - 1, (row - 1) & 1, row < mcuRows_);
            if (st != JpegStatus::kOk) return st;
        }
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::InverseTransformRow(const Lum16s* coefficients, int mcuRow) {
    // Each component's row origin, step and quantiser once per row, not once per MCU.
    struct Target {
        Lum8u* rowOrigin;
        int step;
        int h, v;
        const Lum16u* quant;
    } targets[4];
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        const QuantTable* q = quant_[c.quantSelector].get();
        const int step = SampleStep(c);
        const int firstLine = mcuRow * c.v * 8;
        targets[i] = {SampleOrigin(c, 0) + static_cast<std::ptrdiff_t>(firstLine) * step, step, c.h, c.v,
                      q ? q->inverse : nullptr};
    }
    for (int mx = 0; mx < mcusPerRow_; ++mx) {
        const Lum16s* block = coefficients + static_cast<std::ptrdiff_t>(mx) * blocksPerMcu_ * 64;
        for (int i = 0; i < componentCount_; ++i) {
            const Target& t = targets[i];
            for (int v = 0; v < t.v; ++v) {
                Lum8u* out = t.rowOrigin + static_cast<std::ptrdiff_t>(v * 8) * t.step + mx * t.h * 8;
                for (int h = 0; h < t.h; ++h) {
                    if (lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(block, out + h * 8, t.step, t.quant) < 0)
                        return JpegStatus::kInternalError;
                    block += 64;
                }
            }
        }
    }
    return JpegStatus::kOk;
}

// ---- Progressive ----

JpegStatus JpegDecoder::DecodeProgressiveScan() {
    if (const JpegStatus begun = BeginScan(); begun != JpegStatus::kOk) return begun;
    const bool dcScan = (ss_ == 0 || se_ == 0);

    // The blocks of a damaged interval keep what earlier scans gave them.
    auto decodeBlock = [&](Component& c, Lum16s* block) -> JpegStatus {
        if (skipping_) return JpegStatus::kOk;
        LumStatus ls;
        if (dcScan) {
            const HuffmanTable* dc = dcTables_[c.dcSelector].get();
            ls = ah_ == 0 ? lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(src_, srcLength_, &pos_, block,
                                                                       &c.lastDc, &pendingMarker_, al_,
                                                                       dc->spec.get(), huffState_.get())
                          : lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(
                                src_, srcLength_, &pos_, block, &pendingMarker_, al_, huffState_.get());
        } else {
            const LumiDecodeHuffmanSpec* spec = acTables_[c.acSelector]->spec.get();
            ls = ah_ == 0 ? lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src_, srcLength_, &pos_, block,
                                                                       &pendingMarker_, ss_, se_, al_, spec,
                                                                       huffState_.get())
                          : lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(src_, srcLength_, &pos_, block,
                                                                        &pendingMarker_, ss_, se_, al_, spec,
                                                                        huffState_.get());
        }
        return BlockDecoded(ls);
    };

    if (scanComponentCount_ > 1) {
        // Interleaved (DC only): MCU by MCU over the scan's components.
        for (int my = 0; my < mcuRows_; ++my) {
            for (int mx = 0; mx < mcusPerRow_; ++mx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                for (int k = 0; k < scanComponentCount_; ++k) {
                    Component& c = *components_[scanComponents_[k]];
                    for (int b = 0; b < c.h * c.v; ++b) {
                        const JpegStatus st = decodeBlock(c, ProgressiveBlock(mx, my, c.blockOffset + b));
                        if (st != JpegStatus::kOk) return st;
                    }
                }
                if (restartInterval_ != 0) --restartsToGo_;
            }
        }
    } else {
        // One component: its blocks in raster order, only those that hold image samples (T.81 A.2.2).
        Component& c = *components_[scanComponents_[0]];
        const int blocksAcross = CeilDiv(c.sampleWidth, 8);
        const int blocksDown = CeilDiv(c.sampleHeight, 8);
        for (int by = 0; by < blocksDown; ++by) {
            for (int bx = 0; bx < blocksAcross; ++bx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                Lum16s* block =
                    ProgressiveBlock(bx / c.h, by / c.v, c.blockOffset + (by % c.v) * c.h + bx % c.h);
                const JpegStatus st = decodeBlock(c, block);
                if (st != JpegStatus::kOk) return st;
                if (restartInterval_ != 0) --restartsToGo_;
            }
        }
    }

    for (int k = 0; k < scanComponentCount_; ++k) {
        Component& c = *components_[scanComponents_[k]];
        if (al_ == 0) (dcScan ? c.finalDcDone : c.finalAcDone) = true;
    }
    progressiveDirty_ = true;
    bool complete = true;
    for (int i = 0; i < componentCount_; ++i)
        complete = complete && components_[i]->finalDcDone && components_[i]->finalAcDone;
    // Reconstruct once the last refinement is in. A later scan marks the image dirty again, and the end of
    // the image reconstructs it then, so a hostile run of scans cannot force a reconstruction per scan.
    if (complete && !reconstructed_) return ReconstructProgressive();
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReconstructProgressive() {
    progressiveDirty_ = false;
    reconstructed_ = true;
    const std::ptrdiff_t rowCoefficients = static_cast<std::ptrdiff_t>(mcusPerRow_) * blocksPerMcu_ * 64;
    for (int my = 0; my < mcuRows_; ++my) {
        const JpegStatus st = InverseTransformRow(coefficients_.data() + my * rowCoefficients, my);
        if (st != JpegStatus::kOk) return st;
    }
    return FinishProgressive();
}

}  // namespace vello
