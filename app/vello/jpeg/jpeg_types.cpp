#include "vello/jpeg/jpeg_types.h"

namespace vello {

const char* JpegStatusText(JpegStatus status) {
    switch (status) {
        case JpegStatus::kOk:
            return "success";
        case JpegStatus::kNotSupported:
            return "not supported";
        case JpegStatus::kInternalError:
            return "internal failure";
        case JpegStatus::kDataExhausted:
            return "data exhausted";
        case JpegStatus::kBadHuffmanTable:
            return "bad Huffman table segment";
        case JpegStatus::kBadQuantTable:
            return "bad quantisation table segment";
        case JpegStatus::kBadScanHeader:
            return "bad scan header";
        case JpegStatus::kBadLength:
            return "bad segment length";
        case JpegStatus::kBadComponentId:
            return "bad component identifier";
        case JpegStatus::kBadSampling:
            return "bad sampling";
        case JpegStatus::kBadFrameHeader:
            return "bad frame header";
        case JpegStatus::kCorruptData:
            return "corrupt entropy-coded data";
    }
    return "unknown status";
}

}  // namespace vello
