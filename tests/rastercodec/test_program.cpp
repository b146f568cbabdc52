// The real rastercodec and rastercodec-net programs, run as CUPS would run
// them (filter arguments, $PPD, raster on standard input), with the test
// playing the filter's side of the page hand-off.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "handoff.h"
#include "support.h"

using namespace rctest;
using kolvex::Bilevel;

namespace
{

const std::string kUsbProgram = RASTERCODEC_USB;
const std::string kNetProgram = RASTERCODEC_NET;
const std::string kPpdDir = TEST_PPD_DIR;

// Black box and red box of the sample pages, in points from the top left.
struct Box {
    double left, top, right, bottom;
    bool contains(double x, double y) const
    {
        return x >= left && x < right && y >= top && y < bottom;
    }
    // The box in pixels at dpi, shrunk by `margin` pixels on each side (a
    // page rendered at a lower resolution has coarser edges).
    void pixels(int dpi, int *x0, int *y0, int *x1, int *y1, int margin = 1) const
    {
        *x0 = static_cast<int>(left * dpi / 72) + margin;
        *y0 = static_cast<int>(top * dpi / 72) + margin;
        *x1 = static_cast<int>(right * dpi / 72) - margin;
        *y1 = static_cast<int>(bottom * dpi / 72) - margin;
    }
};

const Box kBlackBox{72, 72, 216, 144};
const Box kRedBox{300, 400, 500, 460};

// An A4 page rendered at dpi, whole page, black box and red box on white.
RgbPage samplePage(int dpi, const Box &black = kBlackBox, const Box &red = kRedBox)
{
    RgbPage p;
    p.dpi = dpi;
    p.width = static_cast<int>(595.0 * dpi / 72);
    p.height = static_cast<int>(842.0 * dpi / 72);
    p.paint = [dpi, black, red](int x, int y, uint8_t *rgb) {
        const double px = x * 72.0 / dpi, py = y * 72.0 / dpi;
        if (black.contains(px, py))
            rgb[0] = rgb[1] = rgb[2] = 0;
        else if (red.contains(px, py))
            rgb[1] = rgb[2] = 0;
    };
    return p;
}

size_t dotsIn(const Bilevel &plane, const Box &box, int dpi, int margin = 1)
{
    int x0, y0, x1, y1;
    box.pixels(dpi, &x0, &y0, &x1, &y1, margin);
    return countIn(plane, x0, y0, x1, y1);
}

size_t boxArea(const Box &box, int dpi, int margin = 1)
{
    int x0, y0, x1, y1;
    box.pixels(dpi, &x0, &y0, &x1, &y1, margin);
    return static_cast<size_t>(x1 - x0) * static_cast<size_t>(y1 - y0);
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

class RastercodecProgram : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        removeHandoff(kolvex::kUsbHandoffKey);
        rasterPath = dir.path() + "/job.ras";
        root = dir.path() + "/root";
        mkdir(root.c_str(), 0755);
        usbDir = root + "/tmp/printfiles/";
        netDir = root + "/tmp/printfiles_net/";
    }

    void TearDown() override
    {
        removeHandoff(kolvex::kUsbHandoffKey);
        for (key_t k : extraKeys)
            removeHandoff(k);
    }

    Child start(const std::string &program, const std::string &jobId, const std::string &options,
                const std::string &copies = "1", const std::string &ppd = "LR880.ppd")
    {
        return startProgram(program, {jobId, "user", "title", copies, options},
                            {{"PPD", kPpdDir + "/" + ppd}, {"KOLVEX_PRINTERS_ROOT", root}},
                            rasterPath, dir.path() + "/stderr-" + jobId + ".log");
    }

    TempDir dir;
    std::string rasterPath, root, usbDir, netDir;
    std::vector<key_t> extraKeys;
};

TEST_F(RastercodecProgram, AnnouncesCopiesPageCountEveryPageAndTheEndMarker)
{
    writeRaster(rasterPath, {samplePage(600), samplePage(600, kRedBox, kBlackBox)});
    Child child = start(kUsbProgram, "12", "", "3");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();

    EXPECT_EQ(receiver.copies(), "3") << child.log();
    EXPECT_EQ(receiver.pagesCount(), "2");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg2.jbg");
    EXPECT_EQ(receiver.fileName(), "convert-end");
    // The marker goes once everything is announced.
    EXPECT_TRUE(waitFor([&] { return !fileExists(usbDir + "rastercodec"); }));

    // Page 1: black box on the black plane, red box on the red plane, at
    // the A4 600 dpi raster size; page 2 has them swapped.
    Bilevel black1 = decodeJbigFile(usbDir + "outredelsejbg1.jbg");
    Bilevel red1 = decodeJbigFile(usbDir + "outredjbg1.jbg");
    EXPECT_EQ(black1.width(), 4960);
    EXPECT_EQ(black1.height(), 7016);
    EXPECT_EQ(red1.width(), 4960);
    EXPECT_EQ(red1.height(), 7016);
    EXPECT_EQ(dotsIn(black1, kBlackBox, 600), boxArea(kBlackBox, 600));
    EXPECT_EQ(dotsIn(red1, kRedBox, 600), boxArea(kRedBox, 600));
    EXPECT_EQ(dotsIn(black1, kRedBox, 600), 0u);
    EXPECT_EQ(dotsIn(red1, kBlackBox, 600), 0u);
    Bilevel red2 = decodeJbigFile(usbDir + "outredjbg2.jbg");
    EXPECT_EQ(dotsIn(red2, kBlackBox, 600), boxArea(kBlackBox, 600));
    EXPECT_EQ(dotsIn(red2, kRedBox, 600), 0u);

    // The filter sends and deletes page 1, then ends the job: the rasterizer
    // takes back what was not sent and exits.
    std::remove((usbDir + "outredelsejbg1.jbg").c_str());
    std::remove((usbDir + "outredjbg1.jbg").c_str());
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
    EXPECT_FALSE(fileExists(usbDir + "outredelsejbg2.jbg"));
    EXPECT_FALSE(fileExists(usbDir + "outredjbg2.jbg"));
    EXPECT_FALSE(fileExists(usbDir + "rastercodec"));
}

TEST_F(RastercodecProgram, BlackOnlyPrintingPutsRedContentOnTheBlackPlane)
{
    writeRaster(rasterPath, {samplePage(150)});
    Child child = start(kUsbProgram, "13", "ColorMode=Mono");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "1");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    EXPECT_EQ(receiver.fileName(), "convert-end");

    Bilevel black = decodeJbigFile(usbDir + "outredelsejbg1.jbg");
    Bilevel red = decodeJbigFile(usbDir + "outredjbg1.jbg");
    EXPECT_EQ(red.countSet(), 0u);
    // Pure red is a dark colour: about 11 of 16 dots black.
    const double share = double(dotsIn(black, kRedBox, 600)) / boxArea(kRedBox, 600);
    EXPECT_NEAR(share, 11.0 / 16, 0.02);
    EXPECT_EQ(dotsIn(black, kBlackBox, 600), boxArea(kBlackBox, 600));
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
}

struct SizeCase {
    const char *name;
    const char *options;
    int width;
    int height;
    bool red; // red content stays red (not black-only printing)
};

class RastercodecSizes : public RastercodecProgram, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(RastercodecSizes, PlanesHaveTheRasterSizeOfTheJobsResolutionAndPaper)
{
    RgbPage page = samplePage(100);
    writeRaster(rasterPath, {page});
    Child child = start(kUsbProgram, "14", GetParam().options);
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "1");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    Bilevel black = decodeJbigFile(usbDir + "outredelsejbg1.jbg");
    Bilevel red = decodeJbigFile(usbDir + "outredjbg1.jbg");
    EXPECT_EQ(black.width(), GetParam().width);
    EXPECT_EQ(black.height(), GetParam().height);
    EXPECT_EQ(red.width(), GetParam().width);
    EXPECT_EQ(red.height(), GetParam().height);
    EXPECT_GT(black.countSet(), 0u);
    EXPECT_EQ(red.countSet() > 0, GetParam().red);
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
}

INSTANTIATE_TEST_SUITE_P(
    Table, RastercodecSizes,
    ::testing::Values(
        SizeCase{"A4_300", "Resolution=300dpi", 2480, 3580, true},
        SizeCase{"A4_300_watermark_at_600", "Resolution=300dpi WatermarkOptions=OptCas1", 4960,
                 7016, true},
        SizeCase{"A4_200_black_only_at_600", "Resolution=200dpi ColorMode=Mono", 4960, 7016, false},
        SizeCase{"Green_keeps_red", "ColorMode=Green", 4960, 7016, true},
        SizeCase{"C16K_200", "Resolution=200dpi PageSize=C16K", 1525, 2120, true},
        SizeCase{"B5_1200x600", "Resolution=1200*600dpi PageSize=B5", 4300, 6070, true},
        SizeCase{"B5_1200", "Resolution=1200dpi media=B5", 8600, 12140, true}),
    [](const ::testing::TestParamInfo<SizeCase> &info) { return std::string(info.param.name); });

TEST_F(RastercodecProgram, NetworkBuildUsesTheJobIdsKeyAndFileNames)
{
    const key_t key = kolvex::networkHandoffKey(57);
    extraKeys.push_back(key);
    removeHandoff(key);
    writeRaster(rasterPath, {samplePage(100), samplePage(100)});
    Child child = start(kNetProgram, "57", "", "2", "LR880N.ppd");
    Receiver receiver(key);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_TRUE(fileExists(netDir + "57-rastercodec"));
    EXPECT_EQ(receiver.copies(), "2");
    EXPECT_EQ(receiver.pagesCount(), "2");
    EXPECT_EQ(receiver.fileName(), netDir + "57-outredelsejbg1.jbg");
    EXPECT_EQ(receiver.fileName(), netDir + "57-outredelsejbg2.jbg");
    EXPECT_EQ(receiver.fileName(), "convert-end");
    EXPECT_TRUE(fileExists(netDir + "57-outredjbg2.jbg"));

    // A filter that ends without removing the objects (its printer could not
    // be locked) still lets the rasterizer clean up and end.
    receiver.detach();
    EXPECT_EQ(child.wait(), 0) << child.log();
    EXPECT_FALSE(fileExists(netDir + "57-outredelsejbg1.jbg"));
    EXPECT_FALSE(fileExists(netDir + "57-outredjbg2.jbg"));
    EXPECT_FALSE(fileExists(netDir + "57-rastercodec"));
}

// Two dark blocks of the watermark bitmap: one on blank paper, one under
// the red box of the sample page.
bool watermarkBlocks(int x, int y)
{
    return (x >= 300 && x < 400 && y >= 500 && y < 600) ||
           (x >= 240 && x < 430 && y >= 320 && y < 400);
}

TEST_F(RastercodecProgram, WatermarkBitmapIsStampedOnTheBlackPlane)
{
    // A 1-bit bitmap a tenth of the page plane (496 x 702): scaled to the
    // page, its first block covers x 3000..4000, y ~5000..6000.
    const std::string wmDir = root + "/LR880/WaterMark";
    ASSERT_EQ(system(("mkdir -p " + wmDir).c_str()), 0);
    const int w = 496, h = 702, stride = ((w + 31) / 32) * 4, offset = 62;
    std::string bmp(static_cast<size_t>(offset + stride * h), '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(10, offset);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    bmp[26] = 1;
    bmp[28] = 1;
    put32(46, 2);
    put32(54, 0xffffff);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (watermarkBlocks(x, y))
                bmp[offset + static_cast<size_t>(stride) * (h - 1 - y) + x / 8] |=
                    static_cast<char>(0x80 >> (x % 8));
    writeFile(wmDir + "/WaterMarkdA4_r88.bmp", bmp);

    writeRaster(rasterPath, {samplePage(100)});
    Child child = start(kUsbProgram, "15", "WatermarkOptions=OptCas1");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "1");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    Bilevel black = decodeJbigFile(usbDir + "outredelsejbg1.jbg");
    Bilevel red = decodeJbigFile(usbDir + "outredjbg1.jbg");
    EXPECT_EQ(countIn(black, 3000, 5010, 4000, 5990), 1000u * 980u);
    EXPECT_EQ(countIn(black, 3000, 6100, 4960, 7016), 0u);
    // Red content stays red: no watermark toner over it.
    EXPECT_EQ(dotsIn(black, kRedBox, 600, 6), 0u);
    EXPECT_EQ(dotsIn(red, kRedBox, 600, 6), boxArea(kRedBox, 600, 6));
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
    EXPECT_NE(child.log().find("stamped"), std::string::npos);
}

TEST_F(RastercodecProgram, MissingWatermarkBitmapPrintsThePageWithoutIt)
{
    writeRaster(rasterPath, {samplePage(100)});
    Child child = start(kUsbProgram, "16", "WatermarkOptions=OptCas1");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "1");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    Bilevel black = decodeJbigFile(usbDir + "outredelsejbg1.jbg");
    EXPECT_EQ(dotsIn(black, kBlackBox, 600), boxArea(kBlackBox, 600));
    EXPECT_EQ(countIn(black, 2000, 3000, 3000, 4000), 0u);
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
    EXPECT_NE(child.log().find("watermark not stamped"), std::string::npos);
}

TEST_F(RastercodecProgram, EmptyJobLetsTheFilterEndWithoutPrinting)
{
    writeRaster(rasterPath, {});
    Child child = start(kUsbProgram, "17", "");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.copies(), "1");
    // A count of 0 would keep the filter asking for ever.
    EXPECT_EQ(receiver.pagesCount(), "1");
    // The filter's look for page files finds the placeholder, then the end
    // marker comes instead of page 1.
    EXPECT_TRUE(fileExists(usbDir + "outredelsejbg0.jbg"));
    EXPECT_FALSE(fileExists(usbDir + "outredelsejbg1.jbg"));
    EXPECT_EQ(receiver.fileName(), "convert-end");
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
    EXPECT_FALSE(fileExists(usbDir + "outredelsejbg0.jbg"));
}

TEST_F(RastercodecProgram, BrokenRasterAnnouncesTheGoodPagesAndFails)
{
    writeRaster(rasterPath, {samplePage(100), samplePage(100)}, /*truncateLastPage=*/true);
    Child child = start(kUsbProgram, "18", "");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "1");
    EXPECT_EQ(receiver.fileName(), usbDir + "outredelsejbg1.jbg");
    EXPECT_EQ(receiver.fileName(), "convert-end");
    EXPECT_FALSE(fileExists(usbDir + "outredelsejbg2.jbg"));
    EXPECT_FALSE(fileExists(usbDir + "outredelsejbg2.part"));
    receiver.endJob();
    EXPECT_EQ(child.wait(), 1) << child.log();
    EXPECT_NE(child.log().find("ERROR: [rastercodec] page 2 ends early"), std::string::npos)
        << child.log();
}

TEST_F(RastercodecProgram, CancelledJobTakesBackItsFiles)
{
    // No filter attaches: the rasterizer has written its pages and waits.
    writeRaster(rasterPath, {samplePage(100), samplePage(100)});
    Child child = start(kUsbProgram, "19", "");
    ASSERT_TRUE(waitFor([&] { return fileExists(usbDir + "outredelsejbg2.jbg"); })) << child.log();
    EXPECT_TRUE(fileExists(usbDir + "rastercodec"));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(child.wait(), 0) << child.log();
    for (const char *name : {"outredelsejbg1.jbg", "outredjbg1.jbg", "outredelsejbg2.jbg",
                             "outredjbg2.jbg", "rastercodec"})
        EXPECT_FALSE(fileExists(usbDir + name)) << name;
}

TEST_F(RastercodecProgram, NeverRunsAHundredNamesAheadOfTheFilter)
{
    // 120 small pages: the ring has 99 usable places. The test reads nothing
    // until the rasterizer has stopped for room, then checks that every name
    // arrives intact and in order.
    RgbPage tiny;
    tiny.dpi = 200;
    tiny.width = 20;
    tiny.height = 20;
    tiny.paint = [](int x, int, uint8_t *rgb) {
        if (x < 5)
            rgb[0] = rgb[1] = rgb[2] = 0;
    };
    writeRaster(rasterPath, std::vector<RgbPage>(120, tiny));
    Child child = start(kUsbProgram, "20", "Resolution=200dpi");
    Receiver receiver(kolvex::kUsbHandoffKey);
    ASSERT_TRUE(receiver.attach()) << child.log();
    EXPECT_EQ(receiver.pagesCount(), "120");
    ASSERT_TRUE(waitFor([&] { return receiver.semValue(kolvex::kSemNamesFree) == 0; }, 60000))
        << child.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(receiver.semValue(kolvex::kSemNamesWaiting), 99);
    EXPECT_EQ(receiver.semValue(kolvex::kSemNamesFree), 0);
    for (int page = 1; page <= 120; ++page) {
        ASSERT_EQ(receiver.fileName(), usbDir + "outredelsejbg" + std::to_string(page) + ".jbg");
        EXPECT_LE(receiver.semValue(kolvex::kSemNamesWaiting), 99);
    }
    EXPECT_EQ(receiver.fileName(), "convert-end");
    receiver.endJob();
    EXPECT_EQ(child.wait(), 0) << child.log();
}

TEST_F(RastercodecProgram, WrongArgumentCountIsAnErrorWithUsage)
{
    Child child = startProgram(kUsbProgram, {"1", "user"}, {{"KOLVEX_PRINTERS_ROOT", root}},
                               "/dev/null", dir.path() + "/usage.log");
    EXPECT_EQ(child.wait(), 1);
    EXPECT_NE(child.log().find("Usage: rastercodec job-id user title copies options [file]"),
              std::string::npos);
}

} // namespace
