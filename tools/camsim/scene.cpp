#include "scene.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace camsim {
namespace {

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

const uint8_t* GlyphRows(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows;
    return nullptr;  // blank
}

void FillRect(Picture& p, int x0, int y0, int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    const int x1 = std::min(p.width, x0 + w), y1 = std::min(p.height, y0 + h);
    for (int y = std::max(0, y0); y < y1; ++y) {
        uint8_t* row = p.bgr.data() + static_cast<std::size_t>(y) * p.stride;
        for (int x = std::max(0, x0); x < x1; ++x) {
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
}

void DrawText(Picture& p, int x, int y, int scale, const std::string& text) {
    for (const char c : text) {
        if (const uint8_t* rows = GlyphRows(c)) {
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (rows[gy] & (0x10 >> gx))
                        FillRect(p, x + gx * scale, y + gy * scale, scale, scale, 255, 255, 255);
        }
        x += 6 * scale;
    }
}

}  // namespace

std::string CameraTime(std::chrono::system_clock::time_point t) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&secs, &tm);
    char buf[96];  // room for any int the fields may hold
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

Picture RenderScene(int width, int height, uint64_t index, const std::string& caption) {
    Picture p;
    p.width = width;
    p.height = height;
    p.stride = (width * 3 + 3) & ~3;
    p.bgr.assign(static_cast<std::size_t>(p.stride) * static_cast<std::size_t>(height), 0);

    // Diagonal colour bands drifting right: smooth content, like a real scene, so quality is measurable.
    const int shift = static_cast<int>(index * 4 % 256);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = p.bgr.data() + static_cast<std::size_t>(y) * p.stride;
        for (int x = 0; x < width; ++x) {
            const int v = (x + y / 2 - shift) & 255;
            row[3 * x] = static_cast<uint8_t>(v);
            row[3 * x + 1] = static_cast<uint8_t>((y * 255) / std::max(1, height - 1));
            row[3 * x + 2] = static_cast<uint8_t>(255 - v);
        }
    }
    // A square bouncing between the edges.
    const int side = std::max(8, height / 6);
    const int spanX = std::max(1, width - side), spanY = std::max(1, height - side);
    const int tx = static_cast<int>(index * 7 % (2 * static_cast<uint64_t>(spanX)));
    const int ty = static_cast<int>(index * 5 % (2 * static_cast<uint64_t>(spanY)));
    FillRect(p, tx < spanX ? tx : 2 * spanX - tx, ty < spanY ? ty : 2 * spanY - ty, side, side, 40, 200, 250);

    const int scale = std::max(1, width / 320);
    FillRect(p, 0, height - 12 * scale, width, 12 * scale, 0, 0, 0);
    DrawText(p, 4 * scale, height - 10 * scale, scale, caption);
    return p;
}

}  // namespace camsim
