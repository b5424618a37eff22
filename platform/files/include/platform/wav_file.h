// The one WAV-file writer: 16-bit linear PCM, little-endian, the sizes in the header written when the
// file is finished. Written through OutputFile, so a failed or unfinished file leaves nothing behind.
#ifndef PLATFORM_WAV_FILE_H
#define PLATFORM_WAV_FILE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/output_file.h"

namespace platform {

constexpr std::size_t kWavHeaderBytes = 44;

// The canonical 44-byte header for `dataBytes` bytes of 16-bit samples.
std::array<uint8_t, kWavHeaderBytes> WavHeader(uint16_t channels, uint32_t samplesPerSec, uint32_t dataBytes);

class WavFileWriter {
  public:
    FileStatus Open(const std::string& path, uint16_t channels, uint32_t samplesPerSec,
                    std::span<const std::string> inputs = {});
    // Interleaved samples; refused with kTooLarge once the data would pass the format's 4 GiB.
    FileStatus Append(std::span<const int16_t> samples);
    // Writes the header with the final sizes and puts the file in place.
    FileStatus Finish();

    uint32_t DataBytes() const { return dataBytes_; }
    const std::string& Error() const { return error_.empty() ? file_.Error() : error_; }

  private:
    OutputFile file_;
    uint16_t channels_ = 1;
    uint32_t samplesPerSec_ = 8000;
    uint32_t dataBytes_ = 0;
    std::string error_;  // the writer's own refusals; the file's are in file_
};

}  // namespace platform

#endif
