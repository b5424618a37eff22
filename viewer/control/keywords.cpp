#include "keywords.h"

#include <cassert>
#include <cstdio>

namespace ocuview {

namespace {

// One hexadecimal character after upper-casing; other characters count as 0.
int HexValue(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

uint8_t HexPair(std::string_view text, std::size_t at) {
    return static_cast<uint8_t>(HexValue(text[at]) * 16 + HexValue(text[at + 1]));
}

}  // namespace

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

uint32_t ParseViewerModeDigits(std::string_view text) {
    assert(text.size() == 8);
    uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte) value |= uint32_t{HexPair(text, byte * 2)} << (8 * byte);
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
    return Rgb{HexPair(text, 0), HexPair(text, 2), HexPair(text, 4)};
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
