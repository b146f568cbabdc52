// Draws one raster page onto the printer's black and red planes.
//
// The rendered raster may cover only the printable area of the page and may
// have another resolution than the planes (a watermark or black-only job
// prints 300 and 200 dpi pages at 600 dpi). Each source pixel is placed at
// its position on the page: it covers the plane pixels its area maps to
// (enlarging), and several source pixels that map to one plane pixel give a
// dot when any of them does (reducing keeps thin lines). Parts of the raster
// outside the plane are cut off.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <vector>

#include "bilevel.h"
#include "colour_rule.h"
#include "plane_geometry.h"

namespace kolvex
{

struct SourcePage {
    int width = 0;
    int height = 0;
    int dpiX = 600;
    int dpiY = 600;
    double leftPoints = 0; // where the raster's first column lies on the page
    double topPoints = 0;  // where its first line lies, from the top edge
    double pageWidthPoints = 0;
    double pageHeightPoints = 0;
};

// The page position and size a raster header describes.
SourcePage sourcePageFrom(const cups_page_header2_t &header);

class PageComposer
{
  public:
    // Allocates both planes (all white); throws std::bad_alloc when they
    // cannot be held.
    PageComposer(const SourcePage &source, const PlaneGeometry &plane, const ColourRule &rule);

    // Adds source line sy (0-based, in order or not), as 8-bit RGB.
    void addRow(int sy, const uint8_t *rgb);

    Bilevel &black() { return black_; }
    Bilevel &red() { return red_; }

  private:
    void span(int s, int offset, int targetDpi, int sourceDpi, int limit, int *from, int *to) const;

    SourcePage source_;
    PlaneGeometry plane_;
    const ColourRule &rule_;
    int offsetX_ = 0;
    int offsetY_ = 0;
    std::vector<int> colFrom_;
    std::vector<int> colTo_;
    std::vector<uint8_t> blackLine_;
    std::vector<uint8_t> redLine_;
    Bilevel black_;
    Bilevel red_;
};

} // namespace kolvex
