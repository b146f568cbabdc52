// The emulated printer: pages made of real JBIG planes come out as PNGs
// with the right colours, over TCP and through the session directly.
#include "filter_run.h"
#include "page_image.h"
#include "printer_session.h"

extern "C" {
#include <jbig.h>
}
#include <png.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace oplprinter;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace
{

constexpr unsigned long kW = 40, kH = 24;

// The test page: a black block and a red block that overlap.
bool blackDot(unsigned long x, unsigned long y)
{
    return x >= 2 && x < 20 && y >= 2 && y < 10;
}
bool redDot(unsigned long x, unsigned long y)
{
    return x >= 10 && x < 30 && y >= 6 && y < 20;
}

void collect(unsigned char *start, size_t len, void *file)
{
    static_cast<std::string *>(file)->append(reinterpret_cast<char *>(start), len);
}

// Encodes a w x h bitmap (JBIG layout) with jbigkit's encoder.
std::string encodeBits(unsigned long w, unsigned long h, std::vector<unsigned char> &bits)
{
    std::string out;
    unsigned char *planes[1] = {bits.data()};
    struct jbg_enc_state enc;
    jbg_enc_init(&enc, w, h, 1, planes, collect, &out);
    jbg_enc_out(&enc);
    jbg_enc_free(&enc);
    return out;
}

// Encodes a w x h plane with dots where dot(x, y).
std::string encodePlane(unsigned long w, unsigned long h,
                        const std::function<bool(unsigned long, unsigned long)> &dot)
{
    const unsigned long stride = (w + 7) / 8;
    std::vector<unsigned char> bits(stride * h, 0);
    for (unsigned long y = 0; y < h; ++y)
        for (unsigned long x = 0; x < w; ++x)
            if (dot(x, y))
                bits[y * stride + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    return encodeBits(w, h, bits);
}

struct Rgb {
    unsigned long width = 0, height = 0;
    std::vector<unsigned char> pixels;
    std::string at(unsigned long x, unsigned long y) const
    {
        const unsigned char *p = &pixels[(y * width + x) * 3];
        if (p[0] == 255 && p[1] == 255 && p[2] == 255)
            return "white";
        if (p[0] == 0 && p[1] == 0 && p[2] == 0)
            return "black";
        if (p[0] == 255 && p[1] == 0 && p[2] == 0)
            return "red";
        return "other";
    }
};

// Reads a PNG with libpng into RGB.
bool readPng(const std::string &path, Rgb &out)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGB;
    out.width = img.width;
    out.height = img.height;
    out.pixels.assign(PNG_IMAGE_SIZE(img), 0);
    return png_image_finish_read(&img, nullptr, out.pixels.data(), 0, nullptr) != 0;
}

std::string package(const std::string &net, bool red, const std::string &data)
{
    return net + (red ? "RasterObject.RedData#" : "RasterObject.Data#") +
           std::to_string(data.size()) + "=" + data + ";";
}

// One job of one page the way the filter sends it; the black plane split
// into two packages and closed with an empty one.
std::string onePageJob(const std::string &net, const std::string &black, const std::string &red,
                       unsigned long w = kW, unsigned long h = kH)
{
    const std::size_t cut = black.size() / 2;
    std::string s;
    for (const char *c :
         {"Status?", "LockPrinter?", "OSVersion=Linux;", "Event=StartOfJob0;",
          "HostName=\\\\alice;", "ExtendArea=0;", "IgnorePaper=0;", "AutoContinue=0;",
          "Resolution=600x600;", "MediaSize=na_a4_210x297mm;", "RasterObject.Compression=JBIG;"})
        s += net + c;
    s += net + "RasterObject.Width=" + std::to_string(w) + ";";
    s += net + "RasterObject.Height=" + std::to_string(h) + ";";
    s += package(net, false, black.substr(0, cut));
    s += package(net, false, black.substr(cut));
    s += package(net, false, "");
    s += net + "Event=EndofPlane;" + "      " + net + "Status?";
    s += package(net, true, red);
    s += net + "NumberOfDots=1740;" + net + "Event=EndOfPage;" + net + "Status?";
    s += net + "Event=EndOfJob;" + net + "UnlockPrinter?";
    return s;
}

class TempDir
{
  public:
    TempDir()
    {
        char tmpl[] = "/tmp/oplprinter-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void expectTestPage(const Rgb &img, unsigned long scale)
{
    ASSERT_EQ(img.width, kW / scale);
    ASSERT_EQ(img.height, kH / scale);
    for (unsigned long y = 0; y < img.height; ++y) {
        for (unsigned long x = 0; x < img.width; ++x) {
            bool anyRed = false, anyBlack = false;
            for (unsigned long dy = 0; dy < scale; ++dy)
                for (unsigned long dx = 0; dx < scale; ++dx) {
                    anyRed |= redDot(x * scale + dx, y * scale + dy);
                    anyBlack |= blackDot(x * scale + dx, y * scale + dy);
                }
            const char *want = anyRed ? "red" : anyBlack ? "black" : "white";
            ASSERT_EQ(img.at(x, y), want) << "pixel " << x << "," << y;
        }
    }
}

} // namespace

TEST(Emulator, PrintsAPageSentOverTcpWithRedOverBlackOnWhite)
{
    TempDir out;
    FilterRun emu;
    emu.setProgram(OPLPRINTER_EMU_PATH);
    emu.setArguments({"oplprinter", "--port", "0", "--once", "--quiet", "--out", out.path()});
    ASSERT_TRUE(emu.start()) << emu.result().error;
    ASSERT_TRUE(emu.waitFor(
        [](const FilterRun::View &v) { return v.stdoutBytes.find('\n') != std::string::npos; },
        20s))
        << emu.stderrText();
    const std::string line = emu.stdoutBytes();
    const std::string prefix = "oplprinter: listening on 127.0.0.1:";
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    const int port = std::atoi(line.c_str() + prefix.size());
    ASSERT_GT(port, 0);

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);

    const std::string job =
        onePageJob("NET.", encodePlane(kW, kH, blackDot), encodePlane(kW, kH, redDot));
    ASSERT_EQ(send(fd, job.data(), job.size(), MSG_NOSIGNAL), static_cast<ssize_t>(job.size()));
    shutdown(fd, SHUT_WR);
    std::string replies;
    for (;;) {
        struct pollfd p = {fd, POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 20000), 0) << "no reply, got \"" << replies << "\"";
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        replies.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    // Status, lock, end of plane, status, end of page, status, unlock.
    EXPECT_EQ(replies, "0000000200000000000000000003");
    FilterResult r = emu.finish(20s);
    EXPECT_TRUE(r.ok()) << r.describe() << emu.stderrText();

    Rgb img;
    ASSERT_TRUE(readPng(out.path() + "/page-001.png", img));
    expectTestPage(img, 1);
    EXPECT_FALSE(fs::exists(out.path() + "/page-002.png"));

    const std::string log = readFile(out.path() + "/printer.log");
    EXPECT_NE(log.find("NET.LockPrinter?\n  <- 0002\n"), std::string::npos) << log;
    EXPECT_NE(log.find("NET.Event=EndofPlane;\n  <- 0000\n<6 spaces>\n"), std::string::npos);
    EXPECT_NE(log.find("NET.RasterObject.RedData#"), std::string::npos);
    EXPECT_NE(log.find("page 1 of this job printed as page-001.png (40x24"), std::string::npos);
}

TEST(Emulator, ReadsStandardInputAndShrinksThePage)
{
    TempDir out;
    const std::string jobFile = out.path() + "/job.opl";
    std::ofstream(jobFile, std::ios::binary)
        << onePageJob("", encodePlane(kW, kH, blackDot), encodePlane(kW, kH, redDot));
    const std::string scenario = out.path() + "/warm.scn";
    std::ofstream(scenario) << "Status? -> 1003\n";

    FilterRun emu;
    emu.setProgram(OPLPRINTER_EMU_PATH);
    emu.setArguments({"oplprinter", "--stdio", "--quiet", "--scale", "4", "--scenario", scenario,
                      "--out", out.path() + "/pages"});
    emu.setStdinFile(jobFile);
    ASSERT_TRUE(emu.start());
    FilterResult r = emu.finish(20s);
    EXPECT_TRUE(r.ok()) << r.describe() << emu.stderrText();
    EXPECT_EQ(emu.stdoutBytes(), "1003000200000000000000000003");
    Rgb img;
    ASSERT_TRUE(readPng(out.path() + "/pages/page-001.png", img));
    expectTestPage(img, 4);
}

TEST(Emulator, RefusesABadScenarioFile)
{
    TempDir out;
    const std::string scenario = out.path() + "/bad.scn";
    std::ofstream(scenario) << "Status? 0000\n";
    FilterRun emu;
    emu.setProgram(OPLPRINTER_EMU_PATH);
    emu.setArguments({"oplprinter", "--stdio", "--scenario", scenario, "--out", out.path()});
    ASSERT_TRUE(emu.start());
    FilterResult r = emu.finish(20s);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(emu.stderrText().find("bad.scn: line 1: unknown qualifier"), std::string::npos)
        << emu.stderrText();
}

TEST(PrinterSession, PageCancelledAtThePrinterIsNotPrinted)
{
    TempDir out;
    PrinterOptions opt;
    opt.outDir = out.path();
    int pages = 0;
    std::ostringstream log;
    PrinterSession s(Scenario::cancelledAfterRedPlane(1), opt, &log, &pages);
    std::string replies = s.feed(
        onePageJob("", encodePlane(kW, kH, blackDot), encodePlane(kW, kH, redDot)) + "CancelJob?");
    s.finish();
    EXPECT_EQ(replies, "00000002000000000004000000030004");
    EXPECT_EQ(pages, 0);
    EXPECT_TRUE(s.printedPages().empty());
    EXPECT_NE(
        log.str().find("page 1 of this job not printed: the job was cancelled at the printer"),
        std::string::npos)
        << log.str();
}

TEST(PrinterSession, BlackPlaneWithoutEndOfPageIsDroppedAndSaidSo)
{
    TempDir out;
    PrinterOptions opt;
    opt.outDir = out.path();
    int pages = 0;
    std::ostringstream log;
    PrinterSession s(Scenario::cancelledAfterBlackPlane(1), opt, &log, &pages);
    const std::string black = encodePlane(kW, kH, blackDot);
    std::string replies = s.feed(package("", false, black) + "Event=EndofPlane;CancelJob?");
    s.finish();
    EXPECT_EQ(replies, "00040004");
    EXPECT_EQ(pages, 0);
    EXPECT_NE(log.str().find("page not printed: the host left before"), std::string::npos)
        << log.str();
}

TEST(PrinterSession, PagesAreNumberedAcrossConnections)
{
    TempDir out;
    PrinterOptions opt;
    opt.outDir = out.path();
    int pages = 0;
    const std::string job = onePageJob("", encodePlane(kW, kH, blackDot), "");
    for (int connection = 0; connection < 2; ++connection) {
        PrinterSession s(Scenario::ready(), opt, nullptr, &pages);
        s.feed(job.data(), job.size());
        s.finish();
    }
    EXPECT_EQ(pages, 2);
    Rgb img;
    ASSERT_TRUE(readPng(out.path() + "/page-002.png", img));
    EXPECT_EQ(img.at(5, 5), "black");
    EXPECT_EQ(img.at(25, 15), "white");
}

TEST(PrinterSession, BrokenPlaneAndSizeMismatchAreLoggedNotFatal)
{
    TempDir out;
    PrinterOptions opt;
    opt.outDir = out.path();
    int pages = 0;
    std::ostringstream log;
    PrinterSession s(Scenario::ready(), opt, &log, &pages);
    // Page 1: the header announces another size than the planes have.
    s.feed(onePageJob("", encodePlane(kW, kH, blackDot), encodePlane(kW, kH, redDot), 4960, 7016));
    // Page 2: the black plane is cut short, the red one is garbage.
    const std::string black = encodePlane(kW, kH, blackDot);
    s.feed(onePageJob("", black.substr(0, 21), std::string(64, '\x55')));
    s.finish();
    EXPECT_EQ(pages, 1);
    const std::string l = log.str();
    EXPECT_NE(l.find("warning: planes are 40x24 but the page header announced 4960x7016"),
              std::string::npos)
        << l;
    EXPECT_NE(l.find("black plane unreadable: JBIG data ends before the image is complete"),
              std::string::npos)
        << l;
    EXPECT_NE(l.find("red plane unreadable"), std::string::npos);
}

TEST(PageImage, FullSizeA4PlaneRoundTrips)
{
    // A 600 dpi A4 plane with a frame, as the rasterizer would make it.
    const unsigned long w = 4960, h = 7016, stride = w / 8;
    std::vector<unsigned char> bits(stride * h, 0);
    for (unsigned long y = 0; y < h; ++y) {
        if (y < 8 || y >= h - 8) {
            std::fill(bits.begin() + static_cast<long>(y * stride),
                      bits.begin() + static_cast<long>((y + 1) * stride), 0xff);
        } else {
            bits[y * stride] = 0xff;
            bits[y * stride + stride - 1] = 0xff;
        }
    }
    Bitmap bm;
    std::string error;
    ASSERT_TRUE(decodeJbig(encodeBits(w, h, bits), bm, &error)) << error;
    EXPECT_EQ(bm.width, w);
    EXPECT_EQ(bm.height, h);
    EXPECT_TRUE(bm.dot(0, 0));
    EXPECT_TRUE(bm.dot(4959, 7015));
    EXPECT_FALSE(bm.dot(100, 100));
    EXPECT_FALSE(bm.dot(w, 0));
}

TEST(ScenarioFiles, ShippedWithTheEmulatorAllParse)
{
    int files = 0;
    for (const auto &entry : fs::directory_iterator(OPLPRINTER_SCENARIO_DIR)) {
        Scenario s;
        std::string error;
        EXPECT_TRUE(Scenario::load(entry.path().string(), s, &error)) << error;
        ++files;
    }
    EXPECT_GE(files, 10);
}
