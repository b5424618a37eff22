// Fixed-point JFIF colour conversion tables (16 fractional bits), indexed by an 8-bit sample.
#ifndef LUMACORE_JPEG_COLOUR_TABLES_H
#define LUMACORE_JPEG_COLOUR_TABLES_H

#include "lumacore/lumacore.h"

namespace lumacore::c {

// Each output sample costs three look-ups and additions. The forward rows already hold the rounding bias
// (+32768) and the chroma offset (128 << 16), so the sum of one row's three entries shifted right by 16 is
// the sample, always within 0..255. The inverse entries for R and B are already shifted; G's two entries
// are summed (one holds the rounding bias) and then shifted.
struct ColourTables {
    Lum32s yFromR[256], yFromG[256], yFromB[256];
    Lum32s cbFromR[256], cbFromG[256];
    Lum32s chromaFromMax[256];  // Cb from B and Cr from R share 32768 x + 8421375
    Lum32s crFromG[256], crFromB[256];
    Lum32s rFromCr[256], bFromCb[256];
    Lum32s gFromCr[256], gFromCb[256];
};

extern const ColourTables kColourTables;

inline Lum8u ClampToByte(int v) {
    return static_cast<Lum8u>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Full-range YCbCr from one R, G, B triple.
inline Lum8u LumaFromRgb(const ColourTables& t, int r, int g, int b) {
    return static_cast<Lum8u>((t.yFromR[r] + t.yFromG[g] + t.yFromB[b]) >> 16);
}
inline Lum8u CbFromRgb(const ColourTables& t, int r, int g, int b) {
    return static_cast<Lum8u>((t.cbFromR[r] + t.cbFromG[g] + t.chromaFromMax[b]) >> 16);
}
inline Lum8u CrFromRgb(const ColourTables& t, int r, int g, int b) {
    return static_cast<Lum8u>((t.chromaFromMax[r] + t.crFromG[g] + t.crFromB[b]) >> 16);
}

// R, G, B (clamped) from one full-range Y, Cb, Cr triple.
struct Rgb {
    Lum8u r, g, b;
};
inline Rgb RgbFromYCbCr(const ColourTables& t, int y, int cb, int cr) {
    return Rgb{ClampToByte(y + t.rFromCr[cr]), ClampToByte(y + ((t.gFromCb[cb] + t.gFromCr[cr]) >> 16)),
               ClampToByte(y + t.bFromCb[cb])};
}

}  // namespace lumacore::c

#endif
