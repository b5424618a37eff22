// The media the simulated camera sends: an MPEG-4 elementary stream cut into pictures, and audio frames.
#ifndef CAMSIM_MEDIA_H
#define CAMSIM_MEDIA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camsim {

// An MPEG-4 visual elementary stream: the configuration (everything before the first picture) and the
// pictures, each starting at its group header (00 00 01 B3) when it has one, else at its VOP start code.
struct Mpeg4Stream {
    std::string config;
    std::vector<std::string> pictures;
};

// A stream or audio file larger than this is refused before it is read: the simulator holds it in memory.
constexpr std::size_t kMaxMediaFileBytes = std::size_t{256} << 20;

// Reads and cuts `path`; false with a reason when it cannot be read or holds no picture.
bool LoadMpeg4Stream(const std::string& path, Mpeg4Stream* out, std::string* error);

// `picture` with a user-data record "CamTim: <time>\r\n" (start code 00 00 01 B2) placed just before its
// VOP start code, where the viewer looks for it.
std::string WithCameraTime(const std::string& picture, const std::string& cameraTime);

// Reads a file of packed audio codes in `codec`, once for every stream that loops it; false with a reason
// when it cannot be read or holds less than one frame.
bool LoadAudioFile(const std::string& path, const std::string& codec, std::shared_ptr<const std::string>* out,
                   std::string* error);

// Audio frames in the camera's codec, looped from loaded codes (LoadAudioFile) or, without them,
// generated: a quiet tone for G.711, near-silent codes for G.726.
class AudioFrames {
  public:
    AudioFrames(const std::string& codec, std::shared_ptr<const std::string> codes);
    std::string Next();
    int frameBytes() const { return frameBytes_; }
    int frameMilliseconds() const { return frameMs_; }
    int samplesPerFrame() const;

  private:
    std::string codec_;
    std::shared_ptr<const std::string> codes_;  // null or at least one frame
    std::size_t pos_ = 0;
    int frameBytes_ = 256, frameMs_ = 32;
    uint64_t phase_ = 0;
};

// G.711 mu-law code of a 16-bit linear sample.
uint8_t LinearToMuLaw(int16_t sample);

}  // namespace camsim

#endif
