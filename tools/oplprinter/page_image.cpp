#include "page_image.h"

extern "C" {
#include <jbig.h>
}
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace oplprinter
{

bool decodeJbig(const std::string &bie, Bitmap &out, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (bie.size() < 20)
        return fail("JBIG data of " + std::to_string(bie.size()) +
                    " bytes is shorter than a JBIG header");

    struct jbg_dec_state dec;
    jbg_dec_init(&dec);
    jbg_dec_maxsize(&dec, kMaxPlaneSide, kMaxPlaneSide);
    // jbg_dec_in takes a non-const buffer, so decode from a copy.
    std::vector<unsigned char> data(bie.begin(), bie.end());
    size_t used = 0;
    int rc = jbg_dec_in(&dec, data.data(), data.size(), &used);
    bool ok = false;
    if (rc == JBG_EOK) {
        ok = true;
    } else if (rc == JBG_EOK_INTR) {
        fail("JBIG image is larger than " + std::to_string(kMaxPlaneSide) + " pixels each way");
    } else if (rc == JBG_EAGAIN) {
        fail("JBIG data ends before the image is complete");
    } else {
        fail(std::string("JBIG data is not valid: ") + jbg_strerror(rc));
    }
    if (ok && jbg_dec_getplanes(&dec) != 1) {
        ok = false;
        fail("JBIG image has " + std::to_string(jbg_dec_getplanes(&dec)) +
             " planes, a printer plane has one");
    }
    if (ok) {
        unsigned char *img = jbg_dec_getimage(&dec, 0);
        out.width = jbg_dec_getwidth(&dec);
        out.height = jbg_dec_getheight(&dec);
        if (!img || out.width == 0 || out.height == 0) {
            fail("JBIG image is empty");
            ok = false;
            out = Bitmap();
        } else {
            out.bits.assign(img, img + out.stride() * out.height);
        }
    }
    jbg_dec_free(&dec);
    return ok;
}

namespace
{

// libpng reports errors by longjmp; this function holds nothing that needs
// a destructor between setjmp and the writes. Returns a libpng message or
// nullptr on success.
const char *writeIndexedPng(FILE *f, unsigned long width, unsigned long height,
                            void (*makeRow)(void *ctx, unsigned long y, png_bytep row), void *ctx,
                            png_bytep row)
{
    static thread_local char lastError[256];
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr,
        [](png_structp p, png_const_charp msg) {
            std::snprintf(lastError, sizeof lastError, "%s", msg);
            png_longjmp(p, 1);
        },
        nullptr);
    if (!png)
        return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return lastError;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 2,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Paper, toner, red toner.
    png_color palette[3] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}};
    png_set_PLTE(png, info, palette, 3);
    png_write_info(png, info);
    for (unsigned long y = 0; y < height; ++y) {
        makeRow(ctx, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

struct RowMaker {
    const Bitmap *black;
    const Bitmap *red;
    unsigned long scale;
    unsigned long width;
};

// Fills one output row with 2-bit palette indices (four pixels a byte).
void makeRow(void *ctx, unsigned long y, png_bytep row)
{
    const RowMaker &m = *static_cast<const RowMaker *>(ctx);
    std::memset(row, 0, (m.width + 3) / 4);
    for (unsigned long x = 0; x < m.width; ++x) {
        int colour = 0;
        for (unsigned long dy = 0; dy < m.scale && colour != 2; ++dy) {
            const unsigned long sy = y * m.scale + dy;
            for (unsigned long dx = 0; dx < m.scale; ++dx) {
                const unsigned long sx = x * m.scale + dx;
                if (m.red->dot(sx, sy)) {
                    colour = 2;
                    break;
                }
                if (m.black->dot(sx, sy))
                    colour = 1;
            }
        }
        row[x / 4] |= static_cast<png_byte>(colour << (6 - 2 * (x % 4)));
    }
}

} // namespace

bool writePagePng(const std::string &path, const Bitmap &black, const Bitmap &red, int scale,
                  std::string *error)
{
    const Bitmap &size = black.empty() ? red : black;
    if (size.empty()) {
        if (error)
            *error = "the page has no plane to print";
        return false;
    }
    const unsigned long s = scale < 1 ? 1 : static_cast<unsigned long>(scale);
    RowMaker m{&black, &red, s, (size.width + s - 1) / s};
    const unsigned long height = (size.height + s - 1) / s;
    std::vector<png_byte> row((m.width + 3) / 4);

    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error)
            *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const char *msg = writeIndexedPng(f, m.width, height, makeRow, &m, row.data());
    const bool closed = std::fclose(f) == 0;
    if (msg || !closed) {
        if (error)
            *error = "cannot write " + path + ": " + (msg ? msg : std::strerror(errno));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace oplprinter
