// What the shared codec library holds, for --version texts and diagnostics.
#ifndef VELLO_CODEC_INFO_H
#define VELLO_CODEC_INFO_H

namespace vello {

// A one-line list of the codecs built into this library.
const char* CodecSummary();

}  // namespace vello

#endif
