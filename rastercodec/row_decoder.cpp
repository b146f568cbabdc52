#include "row_decoder.h"

namespace kolvex
{

namespace
{

uint8_t clampInk(int v)
{
    return static_cast<uint8_t>(v > 255 ? 0 : 255 - v);
}

} // namespace

bool RowDecoder::setup(const cups_page_header2_t &h, std::string *why)
{
    width_ = h.cupsWidth;
    bytesPerLine_ = h.cupsBytesPerLine;
    if (h.cupsColorOrder != CUPS_ORDER_CHUNKED) {
        *why = "only chunky colour order is supported, got " + std::to_string(h.cupsColorOrder);
        return false;
    }
    const unsigned bpc = h.cupsBitsPerColor;
    const unsigned bpp = h.cupsBitsPerPixel;
    const cups_cspace_t cs = h.cupsColorSpace;
    bool ok = false;
    if (bpc == 8) {
        switch (cs) {
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_SW:
            kind_ = Kind::Grey8;
            ok = bpp == 8;
            break;
        case CUPS_CSPACE_K:
            kind_ = Kind::Ink8;
            ok = bpp == 8;
            break;
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB:
        case CUPS_CSPACE_ADOBERGB:
            kind_ = Kind::Rgb8;
            ok = bpp == 24;
            break;
        case CUPS_CSPACE_RGBA:
        case CUPS_CSPACE_RGBW:
            kind_ = Kind::Rgbx8;
            ok = bpp == 32;
            break;
        case CUPS_CSPACE_CMY:
            kind_ = Kind::Cmy8;
            ok = bpp == 24;
            break;
        case CUPS_CSPACE_CMYK:
            kind_ = Kind::Cmyk8;
            ok = bpp == 32;
            break;
        default:
            break;
        }
    } else if (bpc == 1 && bpp == 1) {
        if (cs == CUPS_CSPACE_W || cs == CUPS_CSPACE_SW) {
            kind_ = Kind::Grey1;
            ok = true;
        } else if (cs == CUPS_CSPACE_K) {
            kind_ = Kind::Ink1;
            ok = true;
        }
    }
    if (!ok) {
        *why = "unsupported raster colour space " + std::to_string(cs) + " with " +
               std::to_string(bpc) + " bits per colour and " + std::to_string(bpp) +
               " bits per pixel";
        return false;
    }
    // A line must hold all of its pixels, or decoding would read past it.
    const unsigned long long needed = (static_cast<unsigned long long>(width_) * bpp + 7) / 8;
    if (width_ == 0 || h.cupsHeight == 0 || bytesPerLine_ < needed) {
        *why = "inconsistent raster header: width " + std::to_string(width_) + ", height " +
               std::to_string(h.cupsHeight) + ", bytes per line " + std::to_string(bytesPerLine_);
        return false;
    }
    return true;
}

void RowDecoder::decode(const uint8_t *in, uint8_t *rgb) const
{
    const unsigned w = width_;
    switch (kind_) {
    case Kind::Grey8:
        for (unsigned x = 0; x < w; ++x)
            rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = in[x];
        break;
    case Kind::Ink8:
        for (unsigned x = 0; x < w; ++x)
            rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = static_cast<uint8_t>(255 - in[x]);
        break;
    case Kind::Rgb8:
        for (unsigned x = 0; x < 3 * w; ++x)
            rgb[x] = in[x];
        break;
    case Kind::Rgbx8:
        for (unsigned x = 0; x < w; ++x) {
            rgb[3 * x] = in[4 * x];
            rgb[3 * x + 1] = in[4 * x + 1];
            rgb[3 * x + 2] = in[4 * x + 2];
        }
        break;
    case Kind::Cmy8:
        for (unsigned x = 0; x < 3 * w; ++x)
            rgb[x] = static_cast<uint8_t>(255 - in[x]);
        break;
    case Kind::Cmyk8:
        for (unsigned x = 0; x < w; ++x) {
            const int k = in[4 * x + 3];
            rgb[3 * x] = clampInk(in[4 * x] + k);
            rgb[3 * x + 1] = clampInk(in[4 * x + 1] + k);
            rgb[3 * x + 2] = clampInk(in[4 * x + 2] + k);
        }
        break;
    case Kind::Grey1:
    case Kind::Ink1:
        for (unsigned x = 0; x < w; ++x) {
            const bool bit = (in[x >> 3] >> (7 - (x & 7))) & 1;
            const bool dark = kind_ == Kind::Grey1 ? !bit : bit;
            rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = dark ? 0 : 255;
        }
        break;
    }
}

} // namespace kolvex
