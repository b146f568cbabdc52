#include "colour_rule.h"

namespace kolvex
{

const uint8_t ColourRule::kBayer[4][4] = {
    {0, 8, 2, 10},
    {12, 4, 14, 6},
    {3, 11, 1, 9},
    {15, 7, 13, 5},
};

ColourRule::ColourRule(bool redAndBlack, Darkness darkness) : redAndBlack_(redAndBlack)
{
    for (int v = 0; v < 256; ++v) {
        int out = v;
        if (darkness == Darkness::Light)
            out = v * v / 255;
        else if (darkness == Darkness::Dark)
            out = 255 - (255 - v) * (255 - v) / 255;
        darknessCurve_[v] = static_cast<uint8_t>(out);
    }
}

} // namespace kolvex
