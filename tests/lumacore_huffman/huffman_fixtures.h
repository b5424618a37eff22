// Test fixtures for the Huffman primitives: the T.81 Annex K example tables and RAII owners of the
// table and state objects.
#ifndef TESTS_LUMACORE_HUFFMAN_FIXTURES_H
#define TESTS_LUMACORE_HUFFMAN_FIXTURES_H

#include <cstdint>
#include <random>
#include <vector>

#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"

namespace huffman_test {

struct TableSpec {
    Lum8u bits[16];
    std::vector<Lum8u> vals;
};

// T.81 Tables K.3 to K.6.
const TableSpec& DcLuminance();
const TableSpec& DcChrominance();
const TableSpec& AcLuminance();
const TableSpec& AcChrominance();

// Zig-zag position to natural (row-major) index.
inline constexpr const auto& kZigzag = lumacore::kZigzagToNatural;

class DecodeTable {
  public:
    explicit DecodeTable(const TableSpec& t);
    DecodeTable(const Lum8u* bits, const Lum8u* vals);
    ~DecodeTable() { lumiDecodeHuffmanSpecFree_JPEG_8u(p_); }
    DecodeTable(const DecodeTable&) = delete;
    DecodeTable& operator=(const DecodeTable&) = delete;
    const LumiDecodeHuffmanSpec* get() const { return p_; }
    LumStatus status() const { return status_; }

  private:
    LumiDecodeHuffmanSpec* p_ = nullptr;
    LumStatus status_;
};

class EncodeTable {
  public:
    explicit EncodeTable(const TableSpec& t);
    EncodeTable(const Lum8u* bits, const Lum8u* vals);
    ~EncodeTable() { lumiEncodeHuffmanSpecFree_JPEG_8u(p_); }
    EncodeTable(const EncodeTable&) = delete;
    EncodeTable& operator=(const EncodeTable&) = delete;
    const LumiEncodeHuffmanSpec* get() const { return p_; }
    LumStatus status() const { return status_; }

  private:
    LumiEncodeHuffmanSpec* p_ = nullptr;
    LumStatus status_;
};

class DecodeState {
  public:
    DecodeState() { lumiDecodeHuffmanStateInitAlloc_JPEG_8u(&p_); }
    ~DecodeState() { lumiDecodeHuffmanStateFree_JPEG_8u(p_); }
    DecodeState(const DecodeState&) = delete;
    DecodeState& operator=(const DecodeState&) = delete;
    LumiDecodeHuffmanState* get() { return p_; }

  private:
    LumiDecodeHuffmanState* p_ = nullptr;
};

class EncodeState {
  public:
    EncodeState() { lumiEncodeHuffmanStateInitAlloc_JPEG_8u(&p_); }
    ~EncodeState() { lumiEncodeHuffmanStateFree_JPEG_8u(p_); }
    EncodeState(const EncodeState&) = delete;
    EncodeState& operator=(const EncodeState&) = delete;
    LumiEncodeHuffmanState* get() { return p_; }

  private:
    LumiEncodeHuffmanState* p_ = nullptr;
};

using Block = std::vector<Lum16s>;  // 64 coefficients, natural order

// A block with a DC value and about `density` of its AC coefficients non-zero, each of at most
// `maxBits` bits of magnitude.
Block RandomBlock(std::mt19937& rng, int dc, double density, int maxBits);

}  // namespace huffman_test

#endif
