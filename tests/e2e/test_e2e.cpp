// Real jobs through a real CUPS scheduler: lp submits a text file or the
// sample PDF to an LR880 or LR880N queue, CUPS renders it and runs
// rastercodec and the filter, the socket backend carries the printer
// language to the emulator, which writes a PNG per page.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <chrono>
#include <sstream>
#include <string>

#include "page_image.h"
#include "print_system.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace
{

const std::string kSamplePdf = SAMPLE_PDF;

Programs programs()
{
    Programs p;
    p.rastersend = RASTERSEND_PATH;
    p.rastersendNet = RASTERSEND_NET_PATH;
    p.rastercodec = RASTERCODEC_PATH;
    p.rastercodecNet = RASTERCODEC_NET_PATH;
    p.emulator = OPLPRINTER_PATH;
    p.ppdDir = PPD_DIR;
    p.standinDir = STANDIN_DIR;
    return p;
}

// Jobs are given a generous bound (a sanitizer build is several times slower);
// a normal build takes a few seconds.
constexpr auto kJobTime = 90s;

// The areas of the sample document, in points from the page's top-left
// corner, and what each must show.
struct Area {
    double left, top, right, bottom;
};
const Area kTitle{58, 62, 240, 80};         // page 1: red title
const Area kBlackBox{60, 217, 110, 357};    // page 1: solid black box
const Area kRedBox{323, 217, 390, 357};     // page 1: solid red box
const Area kPinkScreen{60, 397, 270, 537};  // page 1: light red screen
const Area kGreyScreen{323, 397, 535, 537}; // page 1: mid grey screen
const Area kRedLine{56, 92, 200, 105};      // page 2: "Line 1", red
const Area kBlackLine{56, 116, 200, 129};   // page 2: "Line 2", black
const Area kRedArc{77, 277, 83, 287};       // page 3: left edge of the red circle
const Area kBlackArc{512, 277, 518, 287};   // page 3: right edge of the black circle
const Area kEnd{242, 559, 345, 590};        // page 3: red "END"

PageImage::Ink ink(const PageImage &p, const Area &a, int scale)
{
    return p.inkIn(a.left, a.top, a.right, a.bottom, scale);
}

// Which page of the sample document an image shows (0: none of them).
int samplePage(const PageImage &p, int scale)
{
    if (ink(p, kBlackBox, scale).black > 0.9)
        return 1;
    if (ink(p, kEnd, scale).red > 0.2)
        return 3;
    if (ink(p, kRedLine, scale).red > 0.05 && ink(p, kBlackLine, scale).black > 0.05)
        return 2;
    return 0;
}

bool handoffRemoved()
{
    return semget(61, 0, 0) == -1;
}

std::string lastLogEntry(const std::string &log)
{
    // Entries end with a line of "=" characters and a blank line.
    size_t end = log.rfind("=\n\n");
    if (end == std::string::npos)
        return log;
    size_t start = log.rfind("=\n\n", end - 1);
    start = start == std::string::npos ? 0 : start + 3;
    return log.substr(start, end + 3 - start);
}

// The last of the filter's printing / ready messages that the scheduler set
// for a job, from its log.
std::string lastFilterMessage(const std::string &log, int job)
{
    const std::string prefix =
        "[Job " + std::to_string(job) + "] Set job-printer-state-message to \"";
    std::string last;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(prefix);
        if (at == std::string::npos)
            continue;
        const std::string message = line.substr(
            at + prefix.size(), line.find('"', at + prefix.size()) - at - prefix.size());
        if (message == "打印中…………" || message == "打印机就绪")
            last = message;
    }
    return last;
}

bool noPageFiles(const std::string &dir)
{
    std::string out;
    run("ls -A " + quote(dir), &out);
    return out.empty();
}

class EndToEnd : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const std::string missing = PrintSystem::missingTool();
        if (!missing.empty())
            GTEST_SKIP() << "cannot run a CUPS scheduler here: " << missing;
        // A hand-off left by an earlier, killed job would be taken for this one's.
        int sem = semget(61, 0, 0);
        if (sem != -1)
            semctl(sem, 0, IPC_RMID);
        int shm = shmget(61, 0, 0);
        if (shm != -1)
            shmctl(shm, IPC_RMID, nullptr);
    }

    void TearDown() override
    {
        if (HasFailure() && system_)
            std::cerr << system_->diagnostics();
        system_.reset();
    }

    void startSystem(int scale, const std::string &scenario = "")
    {
        system_.reset(new PrintSystem(programs()));
        ASSERT_TRUE(system_->start(scale, scenario)) << system_->error();
    }

    PageImage page(int n)
    {
        PageImage p;
        std::string why;
        EXPECT_TRUE(p.load(system_->pageImage(n), &why)) << why;
        return p;
    }

    std::unique_ptr<PrintSystem> system_;
};

TEST_F(EndToEnd, TextFileOnTheUsbQueuePrintsItsTextAtTheA4RasterSize)
{
    startSystem(1);
    const std::string text = system_->root() + "/../hello.txt";
    writeFile(text, "Hello from the Kolvex LR880 end-to-end test.\nSecond line of black text.\n");
    const int job = system_->submit("LR880", text);
    ASSERT_GT(job, 0) << system_->error();
    ASSERT_EQ(system_->waitForJobEnd(job, kJobTime), kCompleted);

    // lpstat lists it among the completed jobs.
    EXPECT_NE(
        system_->client("lpstat", "-W completed -o LR880").find("LR880-" + std::to_string(job)),
        std::string::npos);

    // One page, full A4 at 600 dpi, black text at the top, nothing red.
    EXPECT_TRUE(exists(system_->pageImage(1)));
    EXPECT_FALSE(exists(system_->pageImage(2)));
    PageImage p = page(1);
    EXPECT_EQ(p.width, 4960);
    EXPECT_EQ(p.height, 7016);
    EXPECT_GT(p.inkIn(0, 0, 400, 80, 1).black, 0.005);
    EXPECT_EQ(p.inkIn(0, 150, 595, 842, 1).black, 0.0);
    EXPECT_EQ(p.inkAll().red, 0.0);

    // The filter's files: job information, last state, last status code,
    // the print log entry, and its summary.
    const std::string control = system_->root() + "/LR880/control/";
    EXPECT_EQ(readFile(control + "printerInfo_r88"),
              "resolution:600dpi;\npapersize:A4;\ncolorMode:Color;\nWatermarkOptions:None;\nduplex:"
              "None;\n");
    EXPECT_EQ(readFile(control + "PrinterState_r88"), "OK");
    EXPECT_EQ(readFile(control + "duplexFlagInfo_r88"), "CODE=1\n");
    const std::string entry = lastLogEntry(readFile(system_->root() + "/LR880/lr880_print_log"));
    EXPECT_EQ(entry.rfind("PageNum=1;\nPaperSize=A4;\nResolution=600dpi;\nCopies-Actual=1;\n"
                          "PrinterState=OK;\nEndTime:",
                          0),
              0u)
        << entry;
    EXPECT_NE(readFile(system_->root() + "/LR880/lr880_print_log_summary").find("Pages=1;"),
              std::string::npos);
    // The filter's last word to CUPS is that the printer is ready (the
    // backend's own messages follow it and the scheduler clears them).
    EXPECT_EQ(lastFilterMessage(readFile(system_->errorLog()), job), "打印机就绪");

    // Nothing of the job is left behind.
    EXPECT_TRUE(waitUntil([&] { return noPageFiles(system_->pageDir(false)); }, 10s));
    EXPECT_TRUE(waitUntil([&] { return handoffRemoved(); }, 10s));
    EXPECT_TRUE(waitUntil([&] { return system_->filterProcesses().empty(); }, 10s));
}

TEST_F(EndToEnd, SamplePdfOnTheNetworkQueuePrintsEveryPageInRedAndBlack)
{
    startSystem(4);
    const int job = system_->submit("LR880N", kSamplePdf);
    ASSERT_GT(job, 0) << system_->error();
    ASSERT_EQ(system_->waitForJobEnd(job, kJobTime), kCompleted);
    ASSERT_FALSE(exists(system_->pageImage(4)));

    PageImage p1 = page(1), p2 = page(2), p3 = page(3);
    EXPECT_EQ(p1.width, 4960 / 4);
    EXPECT_EQ(p1.height, 7016 / 4);
    EXPECT_GT(ink(p1, kTitle, 4).red, 0.2);
    EXPECT_LT(ink(p1, kTitle, 4).black, 0.02);
    EXPECT_GT(ink(p1, kBlackBox, 4).black, 0.95);
    EXPECT_GT(ink(p1, kRedBox, 4).red, 0.95);
    EXPECT_GT(ink(p1, kPinkScreen, 4).red, 0.3);
    EXPECT_LT(ink(p1, kPinkScreen, 4).black, 0.01);
    EXPECT_GT(ink(p1, kGreyScreen, 4).black, 0.3);
    EXPECT_LT(ink(p1, kGreyScreen, 4).red, 0.01);
    EXPECT_GT(ink(p2, kRedLine, 4).red, 0.05);
    EXPECT_LT(ink(p2, kRedLine, 4).black, 0.01);
    EXPECT_GT(ink(p2, kBlackLine, 4).black, 0.05);
    EXPECT_LT(ink(p2, kBlackLine, 4).red, 0.01);
    EXPECT_GT(ink(p3, kRedArc, 4).red, 0.5);
    EXPECT_GT(ink(p3, kBlackArc, 4).black, 0.5);
    EXPECT_GT(ink(p3, kEnd, 4).red, 0.2);

    const std::string control = system_->root() + "/LR880N/control/";
    EXPECT_EQ(readFile(control + "jobid_r88n"), std::to_string(job));
    EXPECT_EQ(readFile(control + "duplexFlagInfo_r88n"), "CODE=1\n");
    const std::string entry = lastLogEntry(readFile(system_->root() + "/LR880N/lr880n_print_log"));
    EXPECT_EQ(entry.rfind("PageNum=3;\nPaperSize=A4;\n", 0), 0u) << entry;
    EXPECT_TRUE(waitUntil([&] { return noPageFiles(system_->pageDir(true)); }, 10s));
    EXPECT_TRUE(waitUntil([&] { return system_->filterProcesses().empty(); }, 10s));
}

TEST_F(EndToEnd, BlackOnlyJobPrintsRedContentInBlack)
{
    startSystem(4);
    const int job = system_->submit("LR880", kSamplePdf, {"ColorMode=Mono", "page-ranges=1"});
    ASSERT_GT(job, 0) << system_->error();
    ASSERT_EQ(system_->waitForJobEnd(job, kJobTime), kCompleted);
    ASSERT_FALSE(exists(system_->pageImage(2)));
    PageImage p = page(1);
    EXPECT_EQ(p.inkAll().red, 0.0);
    EXPECT_GT(ink(p, kRedBox, 4).black, 0.9);
    EXPECT_GT(ink(p, kTitle, 4).black, 0.2);
    EXPECT_NE(readFile(system_->root() + "/LR880/control/printerInfo_r88").find("colorMode:Mono;"),
              std::string::npos);
}

TEST_F(EndToEnd, JobCancelledWhilePrintingEndsCleanly)
{
    // The printer jams on page 3 and keeps reporting it: the job stays in
    // the middle of printing until it is cancelled. (A one-page job never
    // asks for the status during a third page.)
    startSystem(4, "Status? page=3 -> 3070 repeat\n");
    const int job = system_->submit("LR880", kSamplePdf);
    ASSERT_GT(job, 0) << system_->error();
    ASSERT_TRUE(waitUntil(
        [&] { return readFile(system_->printerLog()).find("<- 3070") != std::string::npos; },
        kJobTime));
    EXPECT_EQ(system_->jobState(job), kProcessing);
    EXPECT_TRUE(exists(system_->pageImage(2)));

    system_->client("cancel", "LR880-" + std::to_string(job));
    EXPECT_EQ(system_->waitForJobEnd(job, 30s), kCanceled);

    // Every program of the job has ended, the hand-off is gone, no page file
    // is left for the next job, and the print log tells of the cancellation.
    EXPECT_TRUE(waitUntil([&] { return system_->filterProcesses().empty(); }, 20s));
    EXPECT_TRUE(waitUntil([&] { return handoffRemoved(); }, 10s));
    EXPECT_TRUE(waitUntil([&] { return noPageFiles(system_->pageDir(false)); }, 10s));
    const std::string entry = lastLogEntry(readFile(system_->root() + "/LR880/lr880_print_log"));
    EXPECT_NE(entry.find("Print Job Canceled from the Computer or USB Lost Connect"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("PageNum=2;"), std::string::npos) << entry;

    // The queue goes on printing.
    const std::string text = system_->root() + "/../after.txt";
    writeFile(text, "Printed after the cancelled job.\n");
    const int next = system_->submit("LR880", text);
    ASSERT_GT(next, 0) << system_->error();
    EXPECT_EQ(system_->waitForJobEnd(next, kJobTime), kCompleted);
}

TEST_F(EndToEnd, ManualDuplexJobCompletesWhenTheOperatorHasTurnedThePaper)
{
    startSystem(4);
    const int job = system_->submit("LR880", kSamplePdf, {"Duplex=DuplexNoTumble"});
    ASSERT_GT(job, 0) << system_->error();

    // Play the status monitor: when the filter asks for the stack to be
    // turned over on its long edge, answer that it has been.
    const std::string codeFile = system_->root() + "/LR880/control/duplexFlagInfo_r88";
    ASSERT_TRUE(waitUntil([&] { return readFile(codeFile) == "CODE=4477\n"; }, kJobTime));
    EXPECT_TRUE(exists(system_->pageImage(1)));
    EXPECT_FALSE(exists(system_->pageImage(2)));
    writeFile(codeFile, "CODE=7777\n");

    ASSERT_EQ(system_->waitForJobEnd(job, kJobTime), kCompleted);
    // Even pages first, then the odd ones.
    PageImage p1 = page(1), p2 = page(2), p3 = page(3);
    EXPECT_EQ(samplePage(p1, 4), 2);
    EXPECT_EQ(samplePage(p2, 4), 1);
    EXPECT_EQ(samplePage(p3, 4), 3);
    EXPECT_FALSE(exists(system_->pageImage(4)));
    const std::string entry = lastLogEntry(readFile(system_->root() + "/LR880/lr880_print_log"));
    EXPECT_EQ(entry.rfind("PageNum=3;", 0), 0u) << entry;
    EXPECT_TRUE(waitUntil([&] { return noPageFiles(system_->pageDir(false)); }, 10s));
}

} // namespace
