// The viewer core's pieces without a network: Base64, request bytes, proxy rules, reply headers,
// multipart reassembly, the inquiry parser, RTP statistics and the small decisions of the pipeline.
#include <gtest/gtest.h>

#include "core/base64.h"

namespace {

TEST(Base64, EncodesTheRfcVectors) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {"admin:secret", "YWRtaW46c2VjcmV0"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(ocuview::Base64Encode(in), out) << in;
}

}  // namespace
