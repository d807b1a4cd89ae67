// The caption: a line of text in the image's lower left corner, drawn with a 5 x 7 pixel font of its own
// that holds the characters a size caption needs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "render/render.h"

namespace tessaline {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

struct Glyph {
  char c;
  uint8_t rows[kGlyphHeight];  // top row first; bit 4 is the leftmost pixel
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}}, {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}}, {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}}, {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
};

const uint8_t* GlyphRows(char c) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.c == c) return glyph.rows;
  }
  return nullptr;  // drawn as a space
}

void Blend(RgbaImage& image, int x, int y, const uint8_t colour[3]) {
  if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height)) return;
  uint8_t* p = &image.pixels[(size_t{static_cast<uint32_t>(y)} * image.width + static_cast<uint32_t>(x)) * 4];
  for (int c = 0; c < 3; ++c)
    p[c] = colour[c];
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

void DrawCaption(RgbaImage& image, const std::string& text) {
  // Larger images get larger letters, so that the caption stays readable.
  const int scale = std::max(1, static_cast<int>(image.height / 300));
  const int margin = 3 * scale;
  const int top = static_cast<int>(image.height) - margin - kGlyphHeight * scale;
  static constexpr uint8_t kInk[3] = {24, 28, 36};
  for (size_t k = 0; k < text.size(); ++k) {
    const uint8_t* rows = GlyphRows(text[k]);
    if (rows == nullptr) continue;
    const int left = margin + static_cast<int>(k) * (kGlyphWidth + 1) * scale;
    for (int row = 0; row < kGlyphHeight; ++row) {
      for (int column = 0; column < kGlyphWidth; ++column) {
        if ((rows[row] >> (kGlyphWidth - 1 - column) & 1) == 0) continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx)
            Blend(image, left + column * scale + dx, top + row * scale + dy, kInk);
        }
      }
    }
  }
}

std::string SizeCaption(const RenderModel& model) {
  std::array<double, 3> low, high;
  ModelBounds(model, low, high);
  return Number(high[0] - low[0]) + " x " + Number(high[1] - low[1]) + " x " + Number(high[2] - low[2]) +
         " units";
}

}  // namespace tessaline
