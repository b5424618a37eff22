#include "vello/mpeg4/start_code.h"

namespace vello::mpeg4 {

const std::uint8_t* FindStartCode(const std::uint8_t* begin, const std::uint8_t* end) {
    if (end - begin < 4) return end;
    const std::uint8_t* last = end - 4;  // the last position whose value byte is held
    // Looks at the third byte first: above 1 no prefix can begin at p, p + 1 or p + 2; a 1 closes a prefix
    // only at p; a 0 may still open one at p + 1 or p + 2.
    for (const std::uint8_t* p = begin; p <= last;) {
        if (p[2] > 1) {
            p += 3;
        } else if (p[2] == 0) {
            ++p;
        } else {
            if (p[0] == 0 && p[1] == 0) return p;
            p += 3;
        }
    }
    return end;
}

const std::uint8_t* FindStartCodeOrShortHeader(const std::uint8_t* begin, const std::uint8_t* end) {
    for (const std::uint8_t* p = begin; end - p >= 3; ++p) {
        if (p[0] != 0 || p[1] != 0) continue;
        if (p[2] == 1 && end - p >= 4) return p;
        if ((p[2] & 0xFC) == 0x80) return p;
    }
    return end;
}

}  // namespace vello::mpeg4
