// The size and resolution of the planes the rasterizer writes for a page.
// For the three papers the printer knows the size comes from its raster size
// table (the same table the filter announces in the page header); for any
// other paper it is the page's own size at the plane resolution.
#pragma once

#include <string>

namespace kolvex
{

struct PlaneGeometry {
    int width = 0;  // pixels
    int height = 0; // pixels
    int dpiX = 600; // resolution the page is drawn at
    int dpiY = 600;
    bool fromTable = false;
};

// The printer's raster size for a resolution code and a paper name ("A4",
// "B5", "C16K"); false for any other paper or code.
bool rasterTableSize(int resolutionCode, const std::string &paper, int *width, int *height);

// Drawing resolution of a code. 1200x600 uses the 600x600 raster sizes and is
// drawn at 600 dpi.
void planeResolution(int resolutionCode, int *dpiX, int *dpiY);

// Geometry of a page: the table size when the paper is in the table, else
// the page size (in points) at the code's resolution. Width and height are
// at least 1 and at most kMaxPlaneSide.
PlaneGeometry planeGeometry(int resolutionCode, const std::string &paper, double pageWidthPoints,
                            double pageHeightPoints);

constexpr int kMaxPlaneSide = 20000;

} // namespace kolvex
