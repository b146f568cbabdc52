#include "plane_geometry.h"

#include <algorithm>
#include <cmath>

namespace kolvex
{

namespace
{

struct TableRow {
    int code;
    int a4w, a4h, b5w, b5h, c16w, c16h;
};

// Width x height in pixels per resolution code; 3580 (not 3508) is the
// printer's own A4 height at 300 dpi.
const TableRow kTable[] = {
    {0, 4960, 7016, 4300, 6070, 4576, 6358},    {2, 4960, 7016, 4300, 6070, 4576, 6358},
    {1, 9920, 14032, 8600, 12140, 9152, 12716}, {3, 2480, 3580, 2150, 3035, 2288, 3179},
    {4, 1632, 2268, 1408, 1964, 1525, 2120},
};

} // namespace

bool rasterTableSize(int resolutionCode, const std::string &paper, int *width, int *height)
{
    for (const TableRow &row : kTable) {
        if (row.code != resolutionCode)
            continue;
        if (paper == "A4") {
            *width = row.a4w;
            *height = row.a4h;
        } else if (paper == "B5") {
            *width = row.b5w;
            *height = row.b5h;
        } else if (paper == "C16K") {
            *width = row.c16w;
            *height = row.c16h;
        } else {
            return false;
        }
        return true;
    }
    return false;
}

void planeResolution(int resolutionCode, int *dpiX, int *dpiY)
{
    switch (resolutionCode) {
    case 1:
        *dpiX = *dpiY = 1200;
        break;
    case 3:
        *dpiX = *dpiY = 300;
        break;
    case 4:
        *dpiX = *dpiY = 200;
        break;
    default:
        *dpiX = *dpiY = 600;
        break;
    }
}

PlaneGeometry planeGeometry(int resolutionCode, const std::string &paper, double pageWidthPoints,
                            double pageHeightPoints)
{
    PlaneGeometry g;
    planeResolution(resolutionCode, &g.dpiX, &g.dpiY);
    if (rasterTableSize(resolutionCode, paper, &g.width, &g.height)) {
        g.fromTable = true;
        return g;
    }
    auto pixels = [](double points, int dpi) {
        double v = std::floor(points * dpi / 72.0 + 0.5);
        if (!(v >= 1.0))
            return 1;
        return static_cast<int>(std::min(v, static_cast<double>(kMaxPlaneSide)));
    };
    g.width = pixels(pageWidthPoints, g.dpiX);
    g.height = pixels(pageHeightPoints, g.dpiY);
    return g;
}

} // namespace kolvex
