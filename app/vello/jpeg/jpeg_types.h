// Values shared by the JPEG decoder and encoder: colour spaces, sampling layouts and result codes.
#ifndef VELLO_JPEG_JPEG_TYPES_H
#define VELLO_JPEG_JPEG_TYPES_H

namespace vello {

// A colour space, both for what a file holds and for the pixels a caller asks for or supplies.
enum JpegColour : int {
    kJpegColourUnknown = 0,  // planes are copied unchanged
    kJpegColourGrey = 1,
    kJpegColourRGB = 2,
    kJpegColourBGR = 3,  // only as a requested output or an encoder source, never a file's colour
    kJpegColourYCbCr = 4,
    kJpegColourCMYK = 5,
    kJpegColourYCCK = 6,
};

// Chroma sampling of a 1-, 3- or 4-component image.
enum JpegSampling : int {
    kJpegSampling444 = 0,
    kJpegSampling422 = 1,    // chroma halved horizontally
    kJpegSampling420 = 2,    // chroma halved both ways
    kJpegSamplingOther = 3,  // anything else: not supported
};

// Result of every decoder and encoder operation. The numbers are the codes callers and stored logs know:
// 0 for success, a negative code for each failure. [[nodiscard]]: a status that is dropped does not compile.
enum class [[nodiscard]] JpegStatus : int{
    kOk = 0,
    kNotSupported = -1,  // a process, precision, layout, scan or colour pair the decoder refuses; over limits
    kInternalError = -2,    // an allocation or a primitive failed
    kDataExhausted = -3,    // the source ended early, or the encoder's output buffer is too small
    kBadHuffmanTable = -4,  // DHT counts too large or table identifier above 3
    kBadQuantTable = -5,    // DQT table identifier above 3
    kBadScanHeader = -6,    // SOS component count outside 1..4, or a table selector above 3
    kBadLength = -7,        // a segment length that does not match its content
    kBadComponentId = -8,   // SOS names a component the frame does not have
    kBadSampling = -9,      // a single component not sampled 1x1
    kBadFrameHeader = -10,  // more than 4 components, a sampling factor below 1, a zero width
    kCorruptData =
        -11,  // damaged or cut-off entropy-coded data: what could be decoded is there, the rest grey
};

// The number of a status, for messages and logs.
constexpr int JpegStatusCode(JpegStatus status) {
    return static_cast<int>(status);
}

// A short lower-case description of a status, e.g. "not supported"; "unknown status" for other values.
const char* JpegStatusText(JpegStatus status);

}  // namespace vello

#endif
