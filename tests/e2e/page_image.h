// The emulator's page images, read back with libpng, and what is printed in
// a part of a page: the share of red and of black pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e
{

struct PageImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool load(const std::string &path, std::string *why);

    // Shares (0..1) of red and black pixels in an area given in points of an
    // A4 page from its top-left corner; pixels are 600 dpi / scale.
    struct Ink {
        double red = 0;
        double black = 0;
    };
    Ink inkIn(double left, double top, double right, double bottom, int scale) const;
    // The same over the whole image.
    Ink inkAll() const;
};

} // namespace e2e
