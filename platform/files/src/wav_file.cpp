#include "platform/wav_file.h"

#include <vector>

namespace platform {
namespace {

void PutLe(uint8_t* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// What the RIFF size field (dataBytes + 36) still holds.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u;

}  // namespace

std::array<uint8_t, kWavHeaderBytes> WavHeader(uint16_t channels, uint32_t samplesPerSec,
                                               uint32_t dataBytes) {
    std::array<uint8_t, kWavHeaderBytes> h{'R', 'I', 'F', 'F', 0,   0, 0, 0, 'W', 'A', 'V',
                                           'E', 'f', 'm', 't', ' ', 0, 0, 0, 0,   0,   0};
    const uint32_t blockAlign = 2u * channels;
    PutLe(&h[4], 36 + dataBytes, 4);
    PutLe(&h[16], 16, 4);  // the format chunk's size
    PutLe(&h[20], 1, 2);   // linear PCM
    PutLe(&h[22], channels, 2);
    PutLe(&h[24], samplesPerSec, 4);
    PutLe(&h[28], samplesPerSec * blockAlign, 4);
    PutLe(&h[32], blockAlign, 2);
    PutLe(&h[34], 16, 2);  // bits per sample
    h[36] = 'd', h[37] = 'a', h[38] = 't', h[39] = 'a';
    PutLe(&h[40], dataBytes, 4);
    return h;
}

FileStatus WavFileWriter::Open(const std::string& path, uint16_t channels, uint32_t samplesPerSec,
                               std::span<const std::string> inputs) {
    channels_ = channels;
    samplesPerSec_ = samplesPerSec;
    dataBytes_ = 0;
    error_.clear();
    FileStatus status = file_.Open(path, inputs);
    // The header as a placeholder; Finish() writes it again with the sizes.
    const auto header = WavHeader(channels_, samplesPerSec_, 0);
    if (status == FileStatus::kOk) status = file_.Write(header.data(), header.size());
    return status;
}

FileStatus WavFileWriter::Append(std::span<const int16_t> samples) {
    if (samples.size() > (kMaxDataBytes - dataBytes_) / 2) {
        file_.Discard();
        error_ = file_.Path() + ": more than the 4 GiB of samples a WAV file holds";
        return FileStatus::kTooLarge;
    }
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        PutLe(&bytes[2 * i], static_cast<uint16_t>(samples[i]), 2);
    const FileStatus status = file_.Write(bytes.data(), bytes.size());
    if (status == FileStatus::kOk) dataBytes_ += static_cast<uint32_t>(bytes.size());
    return status;
}

FileStatus WavFileWriter::Finish() {
    const auto header = WavHeader(channels_, samplesPerSec_, dataBytes_);
    FileStatus status = file_.WriteAt(0, header.data(), header.size());
    if (status == FileStatus::kOk) status = file_.Commit();
    return status;
}

}  // namespace platform
