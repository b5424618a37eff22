// An independent decoder as the oracle: streams entropy-coded here are wrapped in a minimal grey-scale
// JPEG file and read back as coefficients by libjpeg (jpeg_read_coefficients), so the bit stream, the
// padding at restart markers and the progressive scan semantics are checked against T.81 as another
// implementation reads it.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "huffman_fixtures.h"

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace huffman_test {
namespace {

constexpr int kCols = 12, kRows = 5;  // image of 96x40 samples, 60 blocks in raster order

class FileWriter {
  public:
    void Byte(int b) { data_.push_back(static_cast<Lum8u>(b)); }
    void Word(int w) {
        Byte(w >> 8);
        Byte(w & 0xFF);
    }
    void Marker(int m) {
        Byte(0xFF);
        Byte(m);
    }
    void Header(int sof) {
        Marker(0xD8);
        Marker(0xDB);  // quantisation table 0: all ones
        Word(67);
        Byte(0);
        for (int i = 0; i < 64; ++i) Byte(1);
        Marker(sof);
        Word(11);
        Byte(8);
        Word(kRows * 8);
        Word(kCols * 8);
        Byte(1);
        Byte(1);
        Byte(0x11);
        Byte(0);
    }
    void Table(int tableClass, const Lum8u* bits, const Lum8u* vals) {
        int n = 0;
        for (int i = 0; i < 16; ++i) n += bits[i];
        Marker(0xC4);
        Word(2 + 17 + n);
        Byte(tableClass << 4);
        for (int i = 0; i < 16; ++i) Byte(bits[i]);
        for (int i = 0; i < n; ++i) Byte(vals[i]);
    }
    void RestartInterval(int n) {
        Marker(0xDD);
        Word(4);
        Word(n);
    }
    void ScanHeader(int Ss, int Se, int Ah, int Al) {
        Marker(0xDA);
        Word(8);
        Byte(1);
        Byte(1);
        Byte(0x00);
        Byte(Ss);
        Byte(Se);
        Byte((Ah << 4) | Al);
    }
    void Bytes(const std::vector<Lum8u>& b, int n) { data_.insert(data_.end(), b.begin(), b.begin() + n); }
    std::vector<Lum8u>& data() { return data_; }

  private:
    std::vector<Lum8u> data_;
};

struct ErrorTrap {
    jpeg_error_mgr mgr;
    std::jmp_buf exit;
    int errors = 0;
};

// Reads the file's coefficients; fails the test on any error or warning (corrupt data is a warning).
std::vector<Block> ReadCoefficients(const std::vector<Lum8u>& file) {
    jpeg_decompress_struct cinfo;
    ErrorTrap trap;
    cinfo.err = jpeg_std_error(&trap.mgr);
    trap.mgr.emit_message = [](j_common_ptr c, int level) {
        if (level < 0) ++reinterpret_cast<ErrorTrap*>(c->err)->errors;
    };
    // A fatal error returns here through longjmp (libjpeg is C: no exception may cross it).
    trap.mgr.error_exit = [](j_common_ptr c) {
        char text[JMSG_LENGTH_MAX];
        c->err->format_message(c, text);
        ADD_FAILURE() << "libjpeg: " << text;
        std::longjmp(reinterpret_cast<ErrorTrap*>(c->err)->exit, 1);
    };
    std::vector<Block> out;
    jpeg_create_decompress(&cinfo);
    if (setjmp(trap.exit) == 0) {
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
        for (int row = 0; row < kRows; ++row) {
            JBLOCKARRAY rowp = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[0], static_cast<JDIMENSION>(row), 1, FALSE);
            for (int col = 0; col < kCols; ++col) out.emplace_back(rowp[0][col], rowp[0][col] + 64);
        }
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    EXPECT_EQ(trap.errors, 0) << "libjpeg reported corrupt data";
    return out;
}

std::vector<Block> RandomImageBlocks(std::mt19937& rng) {
    std::vector<Block> blocks;
    for (int i = 0; i < kCols * kRows; ++i) {
        const double density = std::vector<double>{0.0, 0.05, 0.3, 0.9}[static_cast<std::size_t>(i % 4)];
        blocks.push_back(RandomBlock(rng, std::uniform_int_distribution<int>(-1024, 1023)(rng), density, 10));
    }
    return blocks;
}

// Baseline with a restart interval: each interval is flushed, followed by its RSTn marker, and starts
// with a fresh state and predictor.
TEST(HuffmanOracle, BaselineWithRestarts) {
    std::mt19937 rng(2024);
    const std::vector<Block> blocks = RandomImageBlocks(rng);
    for (int interval : {0, 1, 7}) {
        SCOPED_TRACE(interval);
        FileWriter f;
        f.Header(0xC0);
        f.Table(0, DcLuminance().bits, DcLuminance().vals.data());
        f.Table(1, AcLuminance().bits, AcLuminance().vals.data());
        if (interval) f.RestartInterval(interval);
        f.ScanHeader(0, 63, 0, 0);
        EncodeTable dc(DcLuminance()), ac(AcLuminance());
        EncodeState state;
        std::vector<Lum8u> out(64 * 1024);
        const int len = static_cast<int>(out.size());
        int pos = 0, restart = 0;
        Lum16s last = 0;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (interval && b > 0 && b % static_cast<std::size_t>(interval) == 0) {
                ASSERT_EQ(lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), len, &pos, nullptr, nullptr,
                                                             nullptr, state.get(), 1),
                          lumStsNoErr);
                out[static_cast<std::size_t>(pos++)] = 0xFF;
                out[static_cast<std::size_t>(pos++)] = static_cast<Lum8u>(0xD0 + restart);
                restart = (restart + 1) % 8;
                last = 0;
            }
            ASSERT_EQ(lumiEncodeHuffman8x8_JPEG_16s1u_C1(blocks[b].data(), out.data(), len, &pos, &last,
                                                         dc.get(), ac.get(), state.get(), 0),
                      lumStsNoErr);
        }
        ASSERT_EQ(lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), len, &pos, nullptr, nullptr,
                                                     nullptr, state.get(), 1),
                  lumStsNoErr);
        f.Bytes(out, pos);
        f.Marker(0xD9);
        EXPECT_EQ(ReadCoefficients(f.data()), blocks);
    }
}

// A progressive file: DC first/refine, two spectral bands refined from Al = 2 down to 0, each scan with
// tables optimised from its own statistics.
TEST(HuffmanOracle, ProgressiveScanScript) {
    struct Scan {
        int Ss, Se, Ah, Al;
    };
    const Scan script[] = {{0, 0, 0, 1}, {1, 5, 0, 2},  {6, 63, 0, 2}, {0, 0, 1, 0},
                           {1, 5, 2, 1}, {6, 63, 2, 1}, {1, 5, 1, 0},  {6, 63, 1, 0}};
    std::mt19937 rng(77);
    const std::vector<Block> blocks = RandomImageBlocks(rng);
    FileWriter f;
    f.Header(0xC2);
    for (const Scan& s : script) {
        SCOPED_TRACE(testing::Message() << s.Ss << "-" << s.Se << " " << s.Ah << "/" << s.Al);
        const bool dc = s.Ss == 0;
        std::array<Lum32s, 256> stats{};
        EncodeState state;
        Lum16s last = 0;
        for (std::size_t b = 0; b <= blocks.size(); ++b) {
            const Lum16s* src = b < blocks.size() ? blocks[b].data() : nullptr;
            const int flush = src == nullptr;
            LumStatus st = lumStsNoErr;
            if (dc && s.Ah == 0 && src)
                st = lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(src, stats.data(), &last, s.Al);
            else if (!dc && s.Ah == 0)
                st = lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(src, stats.data(), s.Ss, s.Se, s.Al,
                                                                     state.get(), flush);
            else if (!dc && s.Ah != 0)
                st = lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(src, stats.data(), s.Ss, s.Se, s.Al,
                                                                      state.get(), flush);
            ASSERT_EQ(st, lumStsNoErr) << "statistics, block " << b;
        }
        Lum8u bits[16] = {}, vals[256] = {};
        std::unique_ptr<EncodeTable> table;
        if (!(dc && s.Ah != 0)) {  // a DC refinement scan has no table
            ASSERT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(stats.data(), bits, vals), lumStsNoErr);
            table = std::make_unique<EncodeTable>(bits, vals);
            f.Table(dc ? 0 : 1, bits, vals);
        }
        f.ScanHeader(s.Ss, s.Se, s.Ah, s.Al);
        std::vector<Lum8u> out(64 * 1024);
        const int len = static_cast<int>(out.size());
        int pos = 0;
        last = 0;
        for (std::size_t b = 0; b <= blocks.size(); ++b) {
            const Lum16s* src = b < blocks.size() ? blocks[b].data() : nullptr;
            const int flush = src == nullptr;
            LumStatus st;
            if (dc && s.Ah == 0)
                st = lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(src, out.data(), len, &pos, &last, s.Al,
                                                                table->get(), state.get(), flush);
            else if (dc)
                st = lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(src, out.data(), len, &pos, s.Al,
                                                                 state.get(), flush);
            else if (s.Ah == 0)
                st = lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(src, out.data(), len, &pos, s.Ss, s.Se, s.Al,
                                                                table->get(), state.get(), flush);
            else
                st = lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(src, out.data(), len, &pos, s.Ss, s.Se, s.Al,
                                                                 table->get(), state.get(), flush);
            ASSERT_EQ(st, lumStsNoErr) << "block " << b;
        }
        f.Bytes(out, pos);
    }
    f.Marker(0xD9);
    EXPECT_EQ(ReadCoefficients(f.data()), blocks);
}

}  // namespace
}  // namespace huffman_test
