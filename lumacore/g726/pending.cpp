// Placeholders for the G.726 primitives that are not written yet: each refuses its call.
// A primitive's real implementation replaces its placeholder here.
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumsDecodeGetStateSize_G726_8u16s(int* /*pSize*/) { return lumStsNullPtrErr; }
LumStatus lumsDecodeInit_G726_8u16s(LumsG726DecoderState* /*pState*/, int /*rate*/, int /*law*/) { return lumStsNullPtrErr; }
LumStatus lumsDecode_G726_8u16s(LumsG726DecoderState* /*pState*/, const Lum8u* /*pSrc*/, Lum16s* /*pDst*/, int /*len*/) { return lumStsNullPtrErr; }

}  // namespace lumacore::c
