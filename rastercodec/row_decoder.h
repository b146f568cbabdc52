// Turns one line of CUPS raster into 8-bit RGB, whatever colour space the
// rendering filter produced (the PPD asks for RGB, or grey for black-only
// printing, but a queue's options can change it).
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>

namespace kolvex
{

class RowDecoder
{
  public:
    // Accepts chunky 8-bit W, SW, K, RGB, SRGB, AdobeRGB, RGBA, RGBW, CMY,
    // CMYK and 1-bit W, SW, K pages; anything else is refused with a reason
    // in *why.
    bool setup(const cups_page_header2_t &header, std::string *why);

    // Bytes of one raster line the decoder reads.
    unsigned bytesPerLine() const { return bytesPerLine_; }
    unsigned width() const { return width_; }

    // Decodes `width` pixels of `line` into `rgb` (3 bytes per pixel).
    void decode(const uint8_t *line, uint8_t *rgb) const;

  private:
    enum class Kind { Grey8, Ink8, Rgb8, Rgbx8, Cmy8, Cmyk8, Grey1, Ink1 };
    Kind kind_ = Kind::Rgb8;
    unsigned width_ = 0;
    unsigned bytesPerLine_ = 0;
};

} // namespace kolvex
