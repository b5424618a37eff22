// Helpers shared by the audio tests: WAV reading, waiting for a condition, G.726 test packets.
#ifndef TESTS_AUDIO_AUDIO_TEST_UTIL_H
#define TESTS_AUDIO_AUDIO_TEST_UTIL_H

#include <unistd.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace audiotest {

struct Wav {
    bool ok = false;
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

inline uint32_t Le(const std::vector<uint8_t>& b, std::size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b[at + static_cast<std::size_t>(i)]) << (8 * i);
    return v;
}

// Reads a WAV file the tests wrote, and deletes it.
inline Wav ReadWav(const std::string& path) {
    std::vector<uint8_t> b;
    {
        std::ifstream in(path, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path.c_str());
    Wav w;
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF") return w;
    w.format = static_cast<uint16_t>(Le(b, 20, 2));
    w.channels = static_cast<uint16_t>(Le(b, 22, 2));
    w.rate = Le(b, 24, 4);
    w.bits = static_cast<uint16_t>(Le(b, 34, 2));
    const uint32_t dataBytes = Le(b, 40, 4);
    if (44 + static_cast<std::size_t>(dataBytes) > b.size()) return w;
    for (uint32_t i = 0; i + 1 < dataBytes; i += 2)
        w.samples.push_back(static_cast<int16_t>(Le(b, 44 + i, 2)));
    w.ok = true;
    return w;
}

template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Random G.726 packets of 360 codes, packed most significant bit first, and the codes themselves.
struct Stream {
    int bits;
    std::vector<std::vector<uint8_t>> packets;
    std::vector<std::vector<uint8_t>> codes;
};

// Codes of `bits` bits packed most significant bit first, the way the camera sends them.
inline std::vector<uint8_t> PackMsbFirst(const std::vector<uint8_t>& codes, int bits) {
    std::vector<uint8_t> packed;
    uint32_t acc = 0;
    int held = 0;
    for (uint8_t v : codes) {
        acc = (acc << bits) | v;
        held += bits;
        while (held >= 8) {
            held -= 8;
            packed.push_back(static_cast<uint8_t>(acc >> held));
        }
        acc &= (1u << held) - 1;
    }
    return packed;
}

inline Stream MakeStream(int bits, int count, unsigned seed) {
    std::mt19937 rng(seed);
    Stream s{bits, {}, {}};
    for (int p = 0; p < count; ++p) {
        std::vector<uint8_t> c(360);
        // Small codes keep the signal moderate; the sign bit varies.
        for (auto& v : c) v = static_cast<uint8_t>((rng() % 3) | ((rng() & 1) << (bits - 1)));
        s.packets.push_back(PackMsbFirst(c, bits));
        s.codes.push_back(c);
    }
    return s;
}

inline std::string ScratchPath(const std::string& name) {
    return std::string(QXR_BINARY_DIR) + "/audio_test_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace audiotest

#endif
