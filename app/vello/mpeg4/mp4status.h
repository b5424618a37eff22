// The MPEG-4 decoder's statuses, shared by the decoder and its header module.
#ifndef VELLO_MPEG4_MP4STATUS_H
#define VELLO_MPEG4_MP4STATUS_H

namespace vello::mpeg4 {

// Their values are the ones the hosts know (0 success, -1 to -5 failures); StatusCode gives that number
// at the edge. Dropping one is a compile error.
enum class [[nodiscard]] Mpeg4Status : int{
    kOk = 0,
    kNoMemory = -1,
    kStreamError = -2,        // the stream could not be read, or no VOP start code
    kUnsupportedObject = -3,  // visual_object_type is not video
    kUnsupported = -4,        // an unsupported tool or a header syntax error
    kSizeChanged = -5,        // the picture size differs from the display's (Reeldeck)
    kMacroblockError = -5,    // inside a VOP: ends only that VOP
};

constexpr int StatusCode(Mpeg4Status status) {
    return static_cast<int>(status);
}

}  // namespace vello::mpeg4

#endif
