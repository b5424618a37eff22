#include "keywords.h"

#include <cassert>
#include <cstdio>

#include "core/camera_description.h"

namespace ocuview {

bool MatchesKeyword(std::string_view text, std::string_view keyword) {
    return text.size() >= keyword.size() && text.compare(0, keyword.size(), keyword) == 0;
}

std::optional<int> ParseWholeDecimal(std::string_view text) {
    // Nine digits keep the value inside int; every accepted range is far below.
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FormatViewerModeDigits(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", value & 0xFFu, (value >> 8) & 0xFFu,
                  (value >> 16) & 0xFFu, value >> 24);
    return text;
}

Rgb ParseRgbDigits(std::string_view text) {
    assert(text.size() == 6);
    return Rgb{HexDigitPair(text[0], text[1]), HexDigitPair(text[2], text[3]),
               HexDigitPair(text[4], text[5])};
}

std::string FormatRgb(Rgb colour) {
    char text[7];
    std::snprintf(text, sizeof text, "%02X%02X%02X", unsigned{colour.r}, unsigned{colour.g},
                  unsigned{colour.b});
    return text;
}

namespace {

std::string BlanksToZeros(std::string text) {
    for (char& c : text)
        if (c == ' ') c = '0';
    return text;
}

}  // namespace

std::string FormatPageViewMode(uint32_t pageBits) {
    char text[16];
    std::snprintf(text, sizeof text, "%8x", pageBits);
    return BlanksToZeros(text);
}

uint32_t PageViewModeBits(uint32_t viewerModeMask) {
    return ((viewerModeMask >> 24) & 0xFFu) | (((viewerModeMask >> 16) & 1u) << 8);
}

std::string FormatPageColour(Rgb colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%2x%2x%2x", unsigned{colour.r}, unsigned{colour.g}, unsigned{colour.b});
    return BlanksToZeros(text);
}

}  // namespace ocuview
