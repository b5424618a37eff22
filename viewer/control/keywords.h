// Text rules shared by the control's properties and methods: keyword comparison, whole decimal numbers,
// the viewer-mode hexadecimal form and RRGGBB colours. Pure functions, no state.
#ifndef OCUVIEW_CONTROL_KEYWORDS_H
#define OCUVIEW_CONTROL_KEYWORDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ocuview {

// Keywords are compared byte for byte over the keyword's own length, so an argument that begins with the
// keyword matches ("PRM_MUTE_ONX" is "PRM_MUTE_ON"). Callers test longer keywords first where one keyword
// begins another ("PRM_VIEWMODE_VIEWONLY" before "PRM_VIEWMODE_VIEW").
[[nodiscard]] bool MatchesKeyword(std::string_view text, std::string_view keyword);

// A whole decimal number: one to nine digits and nothing else ("12a", "", "-1" and " 5" give nothing).
[[nodiscard]] std::optional<int> ParseWholeDecimal(std::string_view text);

// The inverse of the core's ViewerModeFromDigits: "%02X" of bytes 0 to 3 in that order.
[[nodiscard]] std::string FormatViewerModeDigits(uint32_t value);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
// Six characters RRGGBB read as three of the core's HexDigitPair (upper-cased first, a non-hexadecimal
// character counting as 0). `text` must hold exactly six characters.
[[nodiscard]] Rgb ParseRgbDigits(std::string_view text);
// "RRGGBB" in upper case.
[[nodiscard]] std::string FormatRgb(Rgb colour);

// The property page's forms. Its nine view-mode boxes are bits 0 to 8 of a number V written with "%8x",
// blanks as "0" ("000001ff" with every box); read with the digit pairs above, V's bits 0 to 7 are the
// viewer-mode bits 24 to 31 and V's bit 8 is bit 16.
[[nodiscard]] std::string FormatPageViewMode(uint32_t pageBits);
[[nodiscard]] uint32_t PageViewModeBits(uint32_t viewerModeMask);
// A colour chosen on the page: "%2x%2x%2x" of R, G, B with blanks as "0", so in lower case.
[[nodiscard]] std::string FormatPageColour(Rgb colour);

}  // namespace ocuview

#endif
