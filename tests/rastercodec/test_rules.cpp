// The decisions the rasterizer makes per job and per pixel: the resolution
// and plane sizes it must agree on with the filter's page header, and the
// colour rule that splits a pixel into black and red toner.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "colour_rule.h"
#include "filter_log.h"
#include "job_settings.h"
#include "plane_geometry.h"

using namespace kolvex;

namespace
{

// ---------------------------------------------------------------- resolution

struct ResolutionCase {
    const char *resolution;
    bool waterMark;
    int isColor;
    int expected;
};

class ResolutionRule : public ::testing::TestWithParam<ResolutionCase>
{
};

TEST_P(ResolutionRule, MatchesTheFiltersChoice)
{
    const ResolutionCase &c = GetParam();
    EXPECT_EQ(resolutionChoiceFor(c.resolution, c.waterMark, c.isColor), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ResolutionRule,
                         ::testing::Values(ResolutionCase{"600dpi", false, 1, kRes600x600},
                                           ResolutionCase{"1200dpi", true, 0, kRes1200x1200},
                                           ResolutionCase{"1200*600dpi", true, 0, kRes1200x600},
                                           ResolutionCase{"1200*600dpi", false, 1, kRes1200x600},
                                           ResolutionCase{"300dpi", false, 1, kRes300x300},
                                           ResolutionCase{"300dpi", false, 2, kRes300x300},
                                           ResolutionCase{"300dpi", true, 1, kRes600x600},
                                           ResolutionCase{"300dpi", false, 0, kRes600x600},
                                           ResolutionCase{"200dpi", false, 1, kRes200x200},
                                           ResolutionCase{"200dpi", true, 2, kRes600x600},
                                           ResolutionCase{"200dpi", false, 0, kRes600x600},
                                           ResolutionCase{"1200x600dpi", false, 1, kRes600x600},
                                           ResolutionCase{"", false, 1, kRes600x600}));

TEST(ColorModeValue, ColorOrNothingIsOneGreenIsTwoElseBlack)
{
    EXPECT_EQ(colorModeValue(nullptr), 1);
    EXPECT_EQ(colorModeValue("Color"), 1);
    EXPECT_EQ(colorModeValue("Green"), 2);
    EXPECT_EQ(colorModeValue("Mono"), 0);
    EXPECT_EQ(colorModeValue("color"), 0);
}

TEST(CopiesText, OnlyPositiveNumbersAreAnnouncedElseOne)
{
    EXPECT_EQ(copiesText("3"), "3");
    EXPECT_EQ(copiesText("0"), "1");
    EXPECT_EQ(copiesText(""), "1");
    EXPECT_EQ(copiesText(nullptr), "1");
    EXPECT_EQ(copiesText("-2"), "1");
    EXPECT_EQ(copiesText("2x"), "1");
}

// ---------------------------------------------------------------- plane sizes

struct SizeCase {
    int code;
    const char *paper;
    int width;
    int height;
};

class RasterTable : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(RasterTable, PlaneHasTheSizeThePageHeaderAnnounces)
{
    const SizeCase &c = GetParam();
    PlaneGeometry g = planeGeometry(c.code, c.paper, 595, 842);
    EXPECT_TRUE(g.fromTable);
    EXPECT_EQ(g.width, c.width);
    EXPECT_EQ(g.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RasterTable,
    ::testing::Values(SizeCase{0, "A4", 4960, 7016}, SizeCase{0, "B5", 4300, 6070},
                      SizeCase{0, "C16K", 4576, 6358}, SizeCase{2, "A4", 4960, 7016},
                      SizeCase{2, "B5", 4300, 6070}, SizeCase{2, "C16K", 4576, 6358},
                      SizeCase{1, "A4", 9920, 14032}, SizeCase{1, "B5", 8600, 12140},
                      SizeCase{1, "C16K", 9152, 12716}, SizeCase{3, "A4", 2480, 3580},
                      SizeCase{3, "B5", 2150, 3035}, SizeCase{3, "C16K", 2288, 3179},
                      SizeCase{4, "A4", 1632, 2268}, SizeCase{4, "B5", 1408, 1964},
                      SizeCase{4, "C16K", 1525, 2120}));

TEST(PlaneGeometry, TwelveHundredBySixHundredIsDrawnAtSixHundred)
{
    PlaneGeometry g = planeGeometry(kRes1200x600, "A4", 595, 842);
    EXPECT_EQ(g.dpiX, 600);
    EXPECT_EQ(g.dpiY, 600);
}

TEST(PlaneGeometry, PaperOutsideTheTableUsesThePageSizeAtThePlaneResolution)
{
    PlaneGeometry letter = planeGeometry(kRes600x600, "Letter", 612, 792);
    EXPECT_FALSE(letter.fromTable);
    EXPECT_EQ(letter.width, 5100);
    EXPECT_EQ(letter.height, 6600);
    PlaneGeometry custom = planeGeometry(kRes300x300, "Custom.595.28x841.89", 595.28, 841.89);
    EXPECT_EQ(custom.width, 2480);
    EXPECT_EQ(custom.height, 3508);
}

TEST(PlaneGeometry, AbsurdPageSizesAreBounded)
{
    PlaneGeometry g = planeGeometry(kRes1200x1200, "Huge", 1e9, -5);
    EXPECT_EQ(g.width, kMaxPlaneSide);
    EXPECT_EQ(g.height, 1);
}

// ---------------------------------------------------------------- colour rule

// Dots a flat colour gives over one 4 x 4 screen cell.
struct Coverage {
    int black = 0;
    int red = 0;
};

Coverage cell(const ColourRule &rule, uint8_t r, uint8_t g, uint8_t b)
{
    Coverage c;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            Ink ink = rule.dot(r, g, b, x, y);
            c.black += ink == Ink::Black;
            c.red += ink == Ink::Red;
        }
    return c;
}

struct ColourCase {
    const char *name;
    bool redAndBlack;
    Darkness darkness;
    uint8_t r, g, b;
    int black;
    int red;
};

class ColourSplit : public ::testing::TestWithParam<ColourCase>
{
};

TEST_P(ColourSplit, CoverageOfOneScreenCell)
{
    const ColourCase &c = GetParam();
    ColourRule rule(c.redAndBlack, c.darkness);
    Coverage got = cell(rule, c.r, c.g, c.b);
    EXPECT_EQ(got.black, c.black) << c.name;
    EXPECT_EQ(got.red, c.red) << c.name;
}

constexpr Darkness N = Darkness::Normal;

INSTANTIATE_TEST_SUITE_P(
    Table, ColourSplit,
    ::testing::Values(
        ColourCase{"white", true, N, 255, 255, 255, 0, 0},
        ColourCase{"black", true, N, 0, 0, 0, 16, 0},
        ColourCase{"pure red is solid red", true, N, 255, 0, 0, 0, 16},
        ColourCase{"dark red is half red half black", true, N, 128, 0, 0, 8, 8},
        ColourCase{"pink is a light red screen", true, N, 255, 128, 128, 0, 8},
        ColourCase{"mid grey is a half black screen", true, N, 128, 128, 128, 8, 0},
        ColourCase{"blue is dark, so mostly black", true, N, 0, 0, 255, 14, 0},
        ColourCase{"magenta is not red-ish", true, N, 255, 0, 255, 9, 0},
        ColourCase{"barely warm grey is grey", true, N, 200, 170, 170, 5, 0},
        ColourCase{"black only: red goes black by its darkness", false, N, 255, 0, 0, 11, 0},
        ColourCase{"black only: black stays solid", false, N, 0, 0, 0, 16, 0},
        ColourCase{"black only: white stays white", false, N, 255, 255, 255, 0, 0},
        ColourCase{"light darkness lightens mid grey", true, Darkness::Light, 128, 128, 128, 4, 0},
        ColourCase{"dark darkness darkens mid grey", true, Darkness::Dark, 128, 128, 128, 12, 0},
        ColourCase{"light darkness keeps solid black", true, Darkness::Light, 0, 0, 0, 16, 0},
        ColourCase{"dark darkness keeps white", true, Darkness::Dark, 255, 255, 255, 0, 0}),
    [](const ::testing::TestParamInfo<ColourCase> &info) {
        std::string n;
        for (const char *p = info.param.name; *p; ++p)
            n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return n;
    });

TEST(ColourSplit, NeverPutsBothTonersOnOneDot)
{
    ColourRule rule(true, Darkness::Normal);
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15)
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 4; ++x) {
                        Ink ink = rule.dot(static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                           static_cast<uint8_t>(b), x, y);
                        ASSERT_TRUE(ink == Ink::None || ink == Ink::Black || ink == Ink::Red);
                    }
    // The amounts never exceed one dot's worth: a red-ish colour's black and
    // red coverage add up to at most the whole cell.
    for (int r = 40; r < 256; r += 7) {
        Coverage c = cell(rule, static_cast<uint8_t>(r), 0, 0);
        EXPECT_LE(c.black + c.red, 16) << r;
    }
}

TEST(ColourSplit, TheScreenUsesEveryThresholdOnceInACell)
{
    int seen[16] = {};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ++seen[(ColourRule::threshold(x, y) - 8) / 16];
    for (int count : seen)
        EXPECT_EQ(count, 1);
}

} // namespace
