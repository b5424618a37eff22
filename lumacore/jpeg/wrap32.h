// The 32-bit arithmetic of the reference transforms and quantiser scaling. Products and sums are formed in
// 64 bits and wrapped to 32 before every shift, which gives the same bits as the 32-bit code in every case
// without signed overflow (hostile coefficients and quality factors do overflow 32 bits).
#ifndef LUMACORE_JPEG_WRAP32_H
#define LUMACORE_JPEG_WRAP32_H

#include <cstdint>

namespace lumacore::c {

inline int32_t Wrap(int64_t x) {
    return static_cast<int32_t>(static_cast<uint32_t>(x));
}

}  // namespace lumacore::c

#endif
