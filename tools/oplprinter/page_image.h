// What the emulated printer puts on paper: the page's black and red JBIG
// planes decoded (jbigkit) and laid over each other, written as a PNG.
#pragma once

#include <string>
#include <vector>

namespace oplprinter
{

// A bi-level image: rows of (width + 7) / 8 bytes, most significant bit
// first, a set bit is a printed dot (JBIG's own layout).
struct Bitmap {
    unsigned long width = 0;
    unsigned long height = 0;
    std::vector<unsigned char> bits;

    unsigned long stride() const { return (width + 7) / 8; }
    bool empty() const { return width == 0 || height == 0; }
    // The dot at (x, y); false outside the image.
    bool dot(unsigned long x, unsigned long y) const
    {
        if (x >= width || y >= height)
            return false;
        return (bits[y * stride() + x / 8] >> (7 - x % 8)) & 1;
    }
};

// Largest plane accepted, in pixels each way: a 1200x1200 dpi page is
// 9920 x 14032; anything far above is broken data, not a page.
constexpr unsigned long kMaxPlaneSide = 20000;

// Decodes one JBIG image (BIH and data). Returns false with a message in
// *error when the data is not a complete bi-level JBIG image.
bool decodeJbig(const std::string &bie, Bitmap &out, std::string *error);

// Writes the page as a palette PNG: white paper, black where the black
// plane has a dot, red where the red plane has one (red wins). The page
// takes the black plane's size (the red plane's when there is no black
// one). scale N > 1 shrinks it N times: an output pixel is red if any red
// dot falls in its N x N block, else black if any black dot does.
bool writePagePng(const std::string &path, const Bitmap &black, const Bitmap &red, int scale,
                  std::string *error);

} // namespace oplprinter
