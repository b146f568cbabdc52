// The watermark bitmaps that the settings tool writes for the rasterizer:
// one Windows bitmap per model, paper and resolution, the same size as the
// page plane, whose dark pixels are the watermark (the tool draws the text
// as a screen of dots).
#pragma once

#include <string>

#include "bilevel.h"

namespace kolvex
{

// The watermark bitmap for a page: "<root>/<model>/WaterMark/WaterMarkd" +
// ("1200" for 1200x1200) + paper + suffix + ".bmp". Empty when the paper has
// no watermark bitmap (only A4 and B5 have one).
std::string watermarkPath(const std::string &root, const std::string &modelName,
                          const std::string &suffix, const std::string &paper, int resolutionCode);

// Reads an uncompressed bitmap (1, 4, 8, 24 or 32 bits per pixel, bottom-up
// or top-down) into a mask of its dark pixels (grey level below 128). On a
// missing, truncated or unsupported file returns false with a reason.
bool loadWatermark(const std::string &path, Bilevel *mask, std::string *why);

// Adds the mask's dots to the black plane, except where the page has red
// toner. A mask of another size than the plane is scaled to the page.
void stampWatermark(const Bilevel &mask, Bilevel &black, const Bilevel &red);

} // namespace kolvex
