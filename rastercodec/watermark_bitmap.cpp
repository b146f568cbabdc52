#include "watermark_bitmap.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace kolvex
{

namespace
{

constexpr uint32_t kMaxSide = 40000;

uint32_t le32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int grey(int r, int g, int b)
{
    return (77 * r + 150 * g + 29 * b) >> 8;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

} // namespace

std::string watermarkPath(const std::string &root, const std::string &modelName,
                          const std::string &suffix, const std::string &paper, int resolutionCode)
{
    if (paper != "A4" && paper != "B5")
        return std::string();
    return root + "/" + modelName + "/WaterMark/WaterMarkd" + (resolutionCode == 1 ? "1200" : "") +
           paper + suffix + ".bmp";
}

bool loadWatermark(const std::string &path, Bilevel *mask, std::string *why)
{
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        *why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t head[54];
    if (std::fread(head, 1, sizeof head, f.get()) != sizeof head || head[0] != 'B' ||
        head[1] != 'M') {
        *why = path + " is not a Windows bitmap";
        return false;
    }
    const uint32_t dataOffset = le32(head + 10);
    const uint32_t infoSize = le32(head + 14);
    const int32_t width = static_cast<int32_t>(le32(head + 18));
    const int32_t rawHeight = static_cast<int32_t>(le32(head + 22));
    const uint16_t bpp = le16(head + 28);
    const uint32_t compression = le32(head + 30);
    uint32_t paletteCount = le32(head + 46);

    const bool topDown = rawHeight < 0;
    const uint32_t height =
        topDown ? 0u - static_cast<uint32_t>(rawHeight) : static_cast<uint32_t>(rawHeight);
    if (infoSize < 40 || width <= 0 || static_cast<uint32_t>(width) > kMaxSide || height == 0 ||
        height > kMaxSide) {
        *why = path + ": unsupported bitmap header or size";
        return false;
    }
    // BI_RGB, or BI_BITFIELDS with the usual 32-bit layout.
    if (!(compression == 0 || (compression == 3 && bpp == 32)) ||
        !(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32)) {
        *why = path + ": compressed or unsupported bitmap (" + std::to_string(bpp) +
               " bits per pixel, compression " + std::to_string(compression) + ")";
        return false;
    }

    // Palette grey levels for the indexed formats.
    std::vector<int> palette;
    if (bpp <= 8) {
        const uint32_t maxEntries = 1u << bpp;
        if (paletteCount == 0 || paletteCount > maxEntries)
            paletteCount = maxEntries;
        std::vector<uint8_t> raw(static_cast<size_t>(paletteCount) * 4);
        if (std::fseek(f.get(), static_cast<long>(14 + infoSize), SEEK_SET) != 0 ||
            std::fread(raw.data(), 1, raw.size(), f.get()) != raw.size()) {
            *why = path + ": truncated palette";
            return false;
        }
        palette.resize(maxEntries, 255);
        for (uint32_t i = 0; i < paletteCount; ++i)
            palette[i] = grey(raw[4 * i + 2], raw[4 * i + 1], raw[4 * i]);
    }

    const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    std::vector<uint8_t> line(stride);
    try {
        *mask = Bilevel(width, static_cast<int>(height));
    } catch (const std::bad_alloc &) {
        *why = path + ": not enough memory for the bitmap";
        return false;
    }
    if (std::fseek(f.get(), static_cast<long>(dataOffset), SEEK_SET) != 0) {
        *why = path + ": bad pixel data offset";
        return false;
    }
    for (uint32_t fileRow = 0; fileRow < height; ++fileRow) {
        if (std::fread(line.data(), 1, stride, f.get()) != stride) {
            *why = path + ": truncated pixel data";
            return false;
        }
        const int y = static_cast<int>(topDown ? fileRow : height - 1 - fileRow);
        uint8_t *out = mask->row(y);
        for (int x = 0; x < width; ++x) {
            int level;
            switch (bpp) {
            case 1:
                level = palette[(line[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case 4:
                level = palette[(line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0f];
                break;
            case 8:
                level = palette[line[x]];
                break;
            case 24:
                level = grey(line[3 * x + 2], line[3 * x + 1], line[3 * x]);
                break;
            default:
                level = grey(line[4 * x + 2], line[4 * x + 1], line[4 * x]);
                break;
            }
            if (level < 128)
                out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        }
    }
    return true;
}

void stampWatermark(const Bilevel &mask, Bilevel &black, const Bilevel &red)
{
    if (mask.width() <= 0 || mask.height() <= 0)
        return;
    if (mask.width() == black.width() && mask.height() == black.height()) {
        for (int y = 0; y < black.height(); ++y) {
            const uint8_t *m = mask.row(y);
            const uint8_t *r = red.row(y);
            uint8_t *b = black.row(y);
            for (size_t i = 0; i < black.stride(); ++i)
                b[i] |= static_cast<uint8_t>(m[i] & ~r[i]);
        }
        return;
    }
    // Another size: each plane pixel takes the mask pixel at the same place
    // on the page.
    std::vector<int> column(static_cast<size_t>(black.width()));
    for (int x = 0; x < black.width(); ++x)
        column[x] = static_cast<int>(static_cast<long long>(x) * mask.width() / black.width());
    for (int y = 0; y < black.height(); ++y) {
        const int my = static_cast<int>(static_cast<long long>(y) * mask.height() / black.height());
        for (int x = 0; x < black.width(); ++x) {
            if (mask.get(column[x], my) && !red.get(x, y))
                black.set(x, y);
        }
    }
}

} // namespace kolvex
