// Everything the camera simulator reads from a client: HTTP requests (with their Basic credentials and
// CGI bodies), RTCP compound packets, and fault specifications. The first byte picks the parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cgi.h"
#include "config.h"
#include "http.h"
#include "rtp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0: {
            camsim::HttpRequest r;
            std::size_t used = 0;
            if (camsim::ParseHttpRequest(input, &r, &used) == camsim::ParseResult::kComplete) {
                if (used > input.size()) __builtin_trap();
                (void)r.QueryValue("speed");
                (void)r.QueryValue("UdpPort");
                if (const std::string* a = r.Header("authorization"); a != nullptr && a->size() > 6)
                    (void)camsim::Base64Decode(std::string_view(*a).substr(6));
            }
            break;
        }
        case 1: {
            std::vector<camsim::SeenReceiverReport> reports;
            std::vector<uint32_t> byes;
            camsim::ParseRtcpCompound(data + 1, size - 1, &reports, &byes);
            if (reports.size() * 24 > size || byes.size() * 4 > size) __builtin_trap();
            break;
        }
        case 2: {
            camsim::Config c;
            (void)camsim::ApplyFaultSpec(c, std::string(input));
            (void)camsim::ApplyWindowSpec(c, std::string(input));
            break;
        }
        default: {
            camsim::Config c;
            camsim::ApplyMotionDetection(c, input);
            (void)camsim::AnswerInquiry(c, input);
            (void)camsim::TriggerOf(input);
            break;
        }
    }
    return 0;
}
