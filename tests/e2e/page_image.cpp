#include "page_image.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace e2e
{

bool PageImage::load(const std::string &path, std::string *why)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *why = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        *why = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

namespace
{

PageImage::Ink count(const PageImage &p, int x0, int y0, int x1, int y1)
{
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(p.width, x1);
    y1 = std::min(p.height, y1);
    PageImage::Ink ink;
    if (x1 <= x0 || y1 <= y0)
        return ink;
    long red = 0, black = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t *px = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
            if (px[0] > 180 && px[1] < 100 && px[2] < 100)
                ++red;
            else if (px[0] < 80 && px[1] < 80 && px[2] < 80)
                ++black;
        }
    const double n = double(x1 - x0) * double(y1 - y0);
    ink.red = red / n;
    ink.black = black / n;
    return ink;
}

} // namespace

PageImage::Ink PageImage::inkIn(double left, double top, double right, double bottom,
                                int scale) const
{
    const double k = 600.0 / 72.0 / scale;
    return count(*this, int(left * k), int(top * k), int(right * k), int(bottom * k));
}

PageImage::Ink PageImage::inkAll() const
{
    return count(*this, 0, 0, width, height);
}

} // namespace e2e
