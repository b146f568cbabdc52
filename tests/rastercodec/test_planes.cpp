// Page planes: placing raster pixels on the planes, JBIG compression that
// decodes back to the same bits with the announced size and options, and the
// watermark bitmap read from disk and stamped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "bilevel.h"
#include "colour_rule.h"
#include "jbig_plane.h"
#include "page_composer.h"
#include "support.h"
#include "watermark_bitmap.h"

using namespace kolvex;
using rctest::countIn;

namespace
{

// ---------------------------------------------------------------- composer

SourcePage source(int w, int h, int dpi)
{
    SourcePage s;
    s.width = w;
    s.height = h;
    s.dpiX = s.dpiY = dpi;
    s.pageWidthPoints = 595;
    s.pageHeightPoints = 842;
    return s;
}

PlaneGeometry plane(int w, int h, int dpi)
{
    PlaneGeometry g;
    g.width = w;
    g.height = h;
    g.dpiX = g.dpiY = dpi;
    return g;
}

std::vector<uint8_t> whiteRow(int w)
{
    return std::vector<uint8_t>(static_cast<size_t>(w) * 3, 255);
}

void setPixel(std::vector<uint8_t> &row, int x, uint8_t r, uint8_t g, uint8_t b)
{
    row[3 * x] = r;
    row[3 * x + 1] = g;
    row[3 * x + 2] = b;
}

TEST(PageComposer, SameResolutionPutsEachPixelOnItsPlane)
{
    ColourRule rule(true, Darkness::Normal);
    PageComposer c(source(16, 4, 600), plane(16, 4, 600), rule);
    std::vector<uint8_t> row = whiteRow(16);
    setPixel(row, 3, 0, 0, 0);
    setPixel(row, 9, 255, 0, 0);
    c.addRow(2, row.data());
    EXPECT_EQ(c.black().countSet(), 1u);
    EXPECT_TRUE(c.black().get(3, 2));
    EXPECT_EQ(c.red().countSet(), 1u);
    EXPECT_TRUE(c.red().get(9, 2));
}

TEST(PageComposer, LowerResolutionRasterIsEnlargedToThePlane)
{
    // A 300 dpi page printed at 600 dpi (a watermark job): one source pixel
    // covers a 2 x 2 block.
    ColourRule rule(true, Darkness::Normal);
    PageComposer c(source(8, 8, 300), plane(16, 16, 600), rule);
    std::vector<uint8_t> row = whiteRow(8);
    setPixel(row, 5, 0, 0, 0);
    c.addRow(3, row.data());
    EXPECT_EQ(c.black().countSet(), 4u);
    EXPECT_EQ(countIn(c.black(), 10, 6, 12, 8), 4u);
}

TEST(PageComposer, HigherResolutionRasterKeepsThinLinesWhenReduced)
{
    // A one-pixel line at 1200 dpi on odd columns must not vanish at 600.
    ColourRule rule(true, Darkness::Normal);
    PageComposer c(source(16, 2, 1200), plane(8, 1, 600), rule);
    std::vector<uint8_t> row = whiteRow(16);
    setPixel(row, 7, 0, 0, 0);
    c.addRow(1, row.data());
    EXPECT_TRUE(c.black().get(3, 0));
    EXPECT_EQ(c.black().countSet(), 1u);
}

TEST(PageComposer, RasterOfThePrintableAreaStartsAtItsMargin)
{
    // 12 pt margins at 600 dpi are 100 pixels.
    ColourRule rule(true, Darkness::Normal);
    SourcePage s = source(50, 50, 600);
    s.leftPoints = 12;
    s.topPoints = 12;
    PageComposer c(s, plane(400, 400, 600), rule);
    std::vector<uint8_t> row = whiteRow(50);
    setPixel(row, 0, 0, 0, 0);
    c.addRow(0, row.data());
    EXPECT_TRUE(c.black().get(100, 100));
    EXPECT_EQ(c.black().countSet(), 1u);
}

TEST(PageComposer, PixelsBeyondThePlaneAreCutOff)
{
    ColourRule rule(true, Darkness::Normal);
    PageComposer c(source(20, 20, 600), plane(10, 10, 600), rule);
    std::vector<uint8_t> row(20 * 3, 0);
    for (int y = 0; y < 20; ++y)
        c.addRow(y, row.data());
    c.addRow(-1, row.data());
    c.addRow(25, row.data());
    EXPECT_EQ(c.black().countSet(), 100u);
}

TEST(SourcePageFrom, ReadsTheImagingBoxOfTheRaster)
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.cupsWidth = 4758;
    h.cupsHeight = 6817;
    h.HWResolution[0] = h.HWResolution[1] = 600;
    h.PageSize[0] = 595;
    h.PageSize[1] = 842;
    h.ImagingBoundingBox[0] = 12;
    h.ImagingBoundingBox[1] = 12;
    h.ImagingBoundingBox[2] = 583;
    h.ImagingBoundingBox[3] = 830;
    SourcePage s = sourcePageFrom(h);
    EXPECT_DOUBLE_EQ(s.leftPoints, 12);
    EXPECT_DOUBLE_EQ(s.topPoints, 12);
    EXPECT_DOUBLE_EQ(s.pageHeightPoints, 842);
}

// ---------------------------------------------------------------- JBIG

TEST(JbigPlane, DecodesToTheSameBitsAtThePlaneSize)
{
    Bilevel p(1001, 333);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if ((x * 7 + y * 13) % 11 == 0 || (x > 400 && x < 600 && y > 100 && y < 200))
                p.set(x, y);
    std::vector<uint8_t> data = encodeJbigPlane(p);

    struct jbg_dec_state s;
    jbg_dec_init(&s);
    size_t used = 0;
    ASSERT_EQ(jbg_dec_in(&s, data.data(), data.size(), &used), JBG_EOK);
    EXPECT_EQ(jbg_dec_getwidth(&s), 1001u);
    EXPECT_EQ(jbg_dec_getheight(&s), 333u);
    EXPECT_EQ(jbg_dec_getplanes(&s), 1);
    EXPECT_EQ(std::memcmp(jbg_dec_getimage(&s, 0), p.data(), p.stride() * p.height()), 0);
    jbg_dec_free(&s);
}

TEST(JbigPlane, HeaderAnnouncesOneLayerOnePlaneAndTheChosenOptions)
{
    Bilevel p(4960, 7016);
    std::vector<uint8_t> data = encodeJbigPlane(p);
    ASSERT_GE(data.size(), 20u);
    auto be32 = [&](size_t i) {
        return (uint32_t(data[i]) << 24) | (uint32_t(data[i + 1]) << 16) |
               (uint32_t(data[i + 2]) << 8) | data[i + 3];
    };
    EXPECT_EQ(data[0], 0);     // DL: lowest layer 0
    EXPECT_EQ(data[1], 0);     // D: no resolution reduction
    EXPECT_EQ(data[2], 1);     // P: one bit plane
    EXPECT_EQ(be32(4), 4960u); // XD
    EXPECT_EQ(be32(8), 7016u); // YD
    EXPECT_EQ(be32(12), 128u); // L0: stripe height
    EXPECT_EQ(data[16], 0);    // MX: no adaptive template moves
    EXPECT_EQ(data[18], JBG_ILEAVE | JBG_SMID);
    EXPECT_EQ(data[19] & JBG_TPBON, JBG_TPBON);
    EXPECT_EQ(data[19] & JBG_LRLTWO, 0);
    // A blank page compresses to almost nothing.
    EXPECT_LT(data.size(), 2000u);
}

TEST(JbigPlane, WriteFailureIsReported)
{
    FILE *full = std::fopen("/dev/full", "wb");
    if (!full)
        GTEST_SKIP() << "/dev/full is not available";
    Bilevel p(64, 64);
    p.set(1, 1);
    EXPECT_FALSE(writeJbigPlane(p, full));
    std::fclose(full);
}

// ---------------------------------------------------------------- watermark

// A 1-bit bottom-up bitmap with palette (white, black), as the settings tool
// writes it; dark(x, y) decides each pixel.
std::string monoBmp(int w, int h, bool (*dark)(int, int))
{
    const int stride = ((w + 31) / 32) * 4;
    const int offset = 14 + 40 + 8;
    std::string d(static_cast<size_t>(offset + stride * h), '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    d[0] = 'B';
    d[1] = 'M';
    put32(2, static_cast<uint32_t>(d.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    d[26] = 1;
    d[28] = 1;
    put32(46, 2);
    put32(54, 0x00ffffff); // index 0 white
    put32(58, 0x00000000); // index 1 black
    for (int y = 0; y < h; ++y) {
        size_t row = offset + static_cast<size_t>(stride) * (h - 1 - y);
        for (int x = 0; x < w; ++x)
            if (dark(x, y))
                d[row + x / 8] = static_cast<char>(d[row + x / 8] | (0x80 >> (x % 8)));
    }
    return d;
}

// A 24-bit top-down bitmap.
std::string rgbTopDownBmp(int w, int h, bool (*dark)(int, int))
{
    const int stride = ((w * 24 + 31) / 32) * 4;
    const int offset = 54;
    std::string d(static_cast<size_t>(offset + stride * h), '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    d[0] = 'B';
    d[1] = 'M';
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(-h));
    d[26] = 1;
    d[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char v = dark(x, y) ? 0 : static_cast<char>(0xff);
            size_t at = offset + static_cast<size_t>(stride) * y + 3 * x;
            d[at] = d[at + 1] = d[at + 2] = v;
        }
    return d;
}

bool diagonal(int x, int y)
{
    return x == y;
}

bool topLeftCorner(int x, int y)
{
    return x < 2 && y < 2;
}

TEST(WatermarkBitmap, MonoBottomUpBitmapReadsRowsFromTheTop)
{
    rctest::TempDir dir;
    const std::string path = dir.path() + "/w.bmp";
    rctest::writeFile(path, monoBmp(37, 21, diagonal));
    Bilevel mask;
    std::string why;
    ASSERT_TRUE(loadWatermark(path, &mask, &why)) << why;
    EXPECT_EQ(mask.width(), 37);
    EXPECT_EQ(mask.height(), 21);
    EXPECT_EQ(mask.countSet(), 21u);
    for (int i = 0; i < 21; ++i)
        EXPECT_TRUE(mask.get(i, i));
}

TEST(WatermarkBitmap, TrueColourTopDownBitmapIsRead)
{
    rctest::TempDir dir;
    const std::string path = dir.path() + "/w.bmp";
    rctest::writeFile(path, rgbTopDownBmp(10, 6, topLeftCorner));
    Bilevel mask;
    std::string why;
    ASSERT_TRUE(loadWatermark(path, &mask, &why)) << why;
    EXPECT_EQ(mask.countSet(), 4u);
    EXPECT_TRUE(mask.get(0, 0));
    EXPECT_TRUE(mask.get(1, 1));
}

TEST(WatermarkBitmap, MissingTruncatedOrForeignFilesAreRefused)
{
    rctest::TempDir dir;
    Bilevel mask;
    std::string why;
    EXPECT_FALSE(loadWatermark(dir.path() + "/none.bmp", &mask, &why));
    EXPECT_NE(why.find("cannot open"), std::string::npos);

    std::string bmp = monoBmp(64, 64, diagonal);
    rctest::writeFile(dir.path() + "/short.bmp", bmp.substr(0, bmp.size() - 10));
    EXPECT_FALSE(loadWatermark(dir.path() + "/short.bmp", &mask, &why));
    EXPECT_NE(why.find("truncated"), std::string::npos);

    rctest::writeFile(dir.path() + "/text.bmp", std::string(100, 'x'));
    EXPECT_FALSE(loadWatermark(dir.path() + "/text.bmp", &mask, &why));

    std::string huge = monoBmp(8, 8, diagonal);
    huge[21] = 0x7f; // width far beyond any page
    rctest::writeFile(dir.path() + "/huge.bmp", huge);
    EXPECT_FALSE(loadWatermark(dir.path() + "/huge.bmp", &mask, &why));
}

TEST(WatermarkBitmap, PathDependsOnModelPaperAndResolution)
{
    EXPECT_EQ(watermarkPath("/r", "LR880", "_r88", "A4", 0),
              "/r/LR880/WaterMark/WaterMarkdA4_r88.bmp");
    EXPECT_EQ(watermarkPath("/r", "LR880", "_r88", "B5", 2),
              "/r/LR880/WaterMark/WaterMarkdB5_r88.bmp");
    EXPECT_EQ(watermarkPath("/r", "LR880", "_r88", "A4", 1),
              "/r/LR880/WaterMark/WaterMarkd1200A4_r88.bmp");
    EXPECT_EQ(watermarkPath("/r", "LR880N", "_r88n", "B5", 1),
              "/r/LR880N/WaterMark/WaterMarkd1200B5_r88n.bmp");
    EXPECT_EQ(watermarkPath("/r", "LR880", "_r88", "C16K", 0), "");
    EXPECT_EQ(watermarkPath("/r", "LR880", "_r88", "Letter", 0), "");
}

TEST(StampWatermark, DotsGoToTheBlackPlaneButNotOverRedToner)
{
    Bilevel mask(16, 2), black(16, 2), red(16, 2);
    for (int x = 0; x < 16; ++x)
        mask.set(x, 0);
    red.set(4, 0);
    stampWatermark(mask, black, red);
    EXPECT_EQ(black.countSet(), 15u);
    EXPECT_FALSE(black.get(4, 0));
    EXPECT_EQ(countIn(black, 0, 1, 16, 2), 0u);
}

TEST(StampWatermark, BitmapOfAnotherSizeIsScaledToThePage)
{
    Bilevel mask(4, 4), black(8, 8), red(8, 8);
    mask.set(3, 3);
    stampWatermark(mask, black, red);
    EXPECT_EQ(black.countSet(), 4u);
    EXPECT_EQ(rctest::countIn(black, 6, 6, 8, 8), 4u);
}

} // namespace
