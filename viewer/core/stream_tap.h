// A tap on the live stream as the camera sent it, before anything is decoded: the recorder's way in. The
// viewer's pipeline threads call it; each call only copies and queues (it must never wait for a disk).
#ifndef OCUVIEW_CORE_STREAM_TAP_H
#define OCUVIEW_CORE_STREAM_TAP_H

#include <cstdint>
#include <span>
#include <string_view>

namespace ocuview {

class StreamTap {
  public:
    virtual ~StreamTap() = default;
    // Motion JPEG thread: one picture part's payload (the JPEG image as sent) and the camera time of its
    // part header ("YYYY/MM/DD HH:MM:SS.mmm"; empty when the part had none).
    virtual void OnJpegPicture(std::span<const uint8_t> jpeg, std::string_view cameraTime) = 0;
    // MPEG-4 decoding thread: once when the tap is attached, the stream's headers (everything the stream
    // held before its first picture), then the elementary stream's bytes in order from the next packet on.
    virtual void OnMpeg4Headers(std::span<const uint8_t> headers) = 0;
    virtual void OnMpeg4Bytes(std::span<const uint8_t> bytes) = 0;
    // The thread that queues audio (a network thread, or the Motion JPEG thread): whole codec frames of
    // code words as received, in order.
    virtual void OnAudio(std::span<const uint8_t> codes) = 0;
};

}  // namespace ocuview

#endif
