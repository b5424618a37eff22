#include "vello/codec_info.h"

namespace vello {

const char* CodecSummary() {
    return "JPEG (baseline and progressive), MPEG-4 Part 2 (I/P), G.711, G.726";
}

}  // namespace vello
