// How a colour pixel becomes toner on the printer's two planes.
//
// The page is seen as white paper covered by some amount of red toner and
// some amount of black toner, each from 0 (none) to 255 (solid):
//  - A red-ish pixel (its red channel exceeds the larger of green and blue
//    by at least kMinRedness) has red amount R = r - max(g, b) and black
//    amount K = 255 - r: pure red is solid red, dark red is part red and
//    part black, pink is a light red screen.
//  - Any other pixel has black amount K = 255 - luminance
//    (luminance = (77 r + 150 g + 29 b) / 256) and no red.
//  - In black-only printing (ColorMode other than Color and Green) every
//    pixel is treated as "any other pixel": everything dark goes black and
//    red content prints as a black screen of its darkness.
// The amounts are turned into dots with a 4 x 4 ordered (Bayer) screen of
// thresholds t = 8, 24, ..., 248: a black dot where K > t, a red dot where
// R > 255 - t. As K + R never exceeds 255 the two never fall on one dot, and
// solid colours (0 or 255) print solid. cupsDarkness "Light" and "Dark" bend
// K towards lighter or darker mid-tones; solid black and white stay as they
// are.
#pragma once

#include <cstdint>

#include "job_settings.h"

namespace kolvex
{

constexpr int kMinRedness = 40;

enum class Ink : uint8_t { None = 0, Black = 1, Red = 2 };

class ColourRule
{
  public:
    ColourRule(bool redAndBlack, Darkness darkness);

    // The dot for a pixel of colour (r, g, b) at source position (x, y).
    Ink dot(uint8_t r, uint8_t g, uint8_t b, int x, int y) const
    {
        const int t = threshold(x, y);
        int red = 0;
        int black;
        if (redAndBlack_ && r - (g > b ? g : b) >= kMinRedness) {
            red = r - (g > b ? g : b);
            black = 255 - r;
        } else {
            black = 255 - ((77 * r + 150 * g + 29 * b) >> 8);
        }
        black = darknessCurve_[black];
        if (black > t)
            return Ink::Black;
        if (red > 255 - t)
            return Ink::Red;
        return Ink::None;
    }

    static int threshold(int x, int y) { return kBayer[y & 3][x & 3] * 16 + 8; }

    bool redAndBlack() const { return redAndBlack_; }

  private:
    static const uint8_t kBayer[4][4];
    bool redAndBlack_;
    uint8_t darknessCurve_[256];
};

} // namespace kolvex
