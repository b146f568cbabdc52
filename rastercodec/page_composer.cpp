#include "page_composer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kolvex
{

SourcePage sourcePageFrom(const cups_page_header2_t &h)
{
    SourcePage s;
    s.width = static_cast<int>(h.cupsWidth);
    s.height = static_cast<int>(h.cupsHeight);
    s.dpiX = h.HWResolution[0] > 0 ? static_cast<int>(h.HWResolution[0]) : 600;
    s.dpiY = h.HWResolution[1] > 0 ? static_cast<int>(h.HWResolution[1]) : 600;
    s.pageWidthPoints = h.cupsPageSize[0] > 0 ? h.cupsPageSize[0] : h.PageSize[0];
    s.pageHeightPoints = h.cupsPageSize[1] > 0 ? h.cupsPageSize[1] : h.PageSize[1];
    // A raster of the printable area only starts at the area's top-left corner.
    double left = h.cupsImagingBBox[0], top = h.cupsImagingBBox[3];
    if (top <= 0) {
        left = h.ImagingBoundingBox[0];
        top = h.ImagingBoundingBox[3];
    }
    if (top > 0 && s.pageHeightPoints >= top) {
        s.leftPoints = left;
        s.topPoints = s.pageHeightPoints - top;
    }
    return s;
}

PageComposer::PageComposer(const SourcePage &source, const PlaneGeometry &plane,
                           const ColourRule &rule)
    : source_(source), plane_(plane), rule_(rule), black_(plane.width, plane.height),
      red_(plane.width, plane.height)
{
    offsetX_ = static_cast<int>(std::lround(source.leftPoints * plane.dpiX / 72.0));
    offsetY_ = static_cast<int>(std::lround(source.topPoints * plane.dpiY / 72.0));
    colFrom_.resize(static_cast<size_t>(source.width));
    colTo_.resize(static_cast<size_t>(source.width));
    for (int sx = 0; sx < source.width; ++sx)
        span(sx, offsetX_, plane.dpiX, source.dpiX, plane.width, &colFrom_[sx], &colTo_[sx]);
    blackLine_.resize(black_.stride());
    redLine_.resize(red_.stride());
}

// The plane pixels [from, to) that source pixel s covers along one axis,
// clipped to [0, limit); from == to when it falls outside.
void PageComposer::span(int s, int offset, int targetDpi, int sourceDpi, int limit, int *from,
                        int *to) const
{
    long long a = offset + static_cast<long long>(s) * targetDpi / sourceDpi;
    long long b = offset + static_cast<long long>(s + 1) * targetDpi / sourceDpi;
    if (b <= a)
        b = a + 1;
    a = std::max<long long>(a, 0);
    b = std::min<long long>(b, limit);
    if (b < a)
        b = a;
    *from = static_cast<int>(a);
    *to = static_cast<int>(b);
}

void PageComposer::addRow(int sy, const uint8_t *rgb)
{
    if (sy < 0 || sy >= source_.height)
        return;
    int rowFrom, rowTo;
    span(sy, offsetY_, plane_.dpiY, source_.dpiY, plane_.height, &rowFrom, &rowTo);
    if (rowFrom >= rowTo)
        return;

    std::memset(blackLine_.data(), 0, blackLine_.size());
    std::memset(redLine_.data(), 0, redLine_.size());
    bool anyBlack = false, anyRed = false;
    for (int sx = 0; sx < source_.width; ++sx) {
        const uint8_t *p = rgb + 3 * sx;
        // Most of a page is paper white: skip it without the screen lookup.
        if ((p[0] & p[1] & p[2]) == 255)
            continue;
        const Ink ink = rule_.dot(p[0], p[1], p[2], sx, sy);
        if (ink == Ink::None || colFrom_[sx] >= colTo_[sx])
            continue;
        if (ink == Ink::Black) {
            setBitRange(blackLine_.data(), colFrom_[sx], colTo_[sx]);
            anyBlack = true;
        } else {
            setBitRange(redLine_.data(), colFrom_[sx], colTo_[sx]);
            anyRed = true;
        }
    }
    for (int ty = rowFrom; ty < rowTo; ++ty) {
        if (anyBlack) {
            uint8_t *dst = black_.row(ty);
            for (size_t i = 0; i < blackLine_.size(); ++i)
                dst[i] |= blackLine_[i];
        }
        if (anyRed) {
            uint8_t *dst = red_.row(ty);
            for (size_t i = 0; i < redLine_.size(); ++i)
                dst[i] |= redLine_[i];
        }
    }
}

} // namespace kolvex
