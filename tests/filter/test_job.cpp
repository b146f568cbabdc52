// Whole jobs through the filter's job logic against the scripted printer,
// in-process with a clock that only counts: the stream on the wire, the
// files left behind, and what the printer's replies make the filter do.
#include <gtest/gtest.h>

#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <regex>

#include "filter_test_support.h"

using namespace filtertest;
using oplprinter::OplEventKind;
using oplprinter::Scenario;
using oplprinter::When;

namespace {

// Pages in the order their black planes went out.
std::vector<int> blackPagesSent(const ScriptedChannel &channel)
{
    std::vector<int> pages;
    bool first = true;
    for (const Exchange &x : channel.exchanges()) {
        if (x.event.kind == OplEventKind::DataPackage && !x.event.red && first) {
            pages.push_back(std::atoi(x.event.data.c_str() + 6));  // "black-N;"
            first = false;
        }
        if (x.event.kind == OplEventKind::Command && x.event.is("Event=EndofPlane;"))
            first = true;
    }
    return pages;
}

int count(const std::vector<std::string> &commands, const std::string &c)
{
    return static_cast<int>(std::count(commands.begin(), commands.end(), c));
}

bool contains(const std::vector<std::string> &v, const std::string &s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

bool handoffRemoved(key_t key)
{
    return semget(key, 0, 0) == -1 && shmget(key, 0, 0) == -1;
}

// Turns time-stamps into a fixed text so that whole streams and logs compare.
std::string withoutTimes(std::string text)
{
    return std::regex_replace(text, std::regex("EndTime:[^\n]*\n"), "EndTime:<time>\n");
}

TEST(SimplexJob, ThreePagesGoOutExactlyAsTheGoldenStream)
{
    JobBench bench;
    EXPECT_EQ(bench.runPages(3, "", 100, 32800), 0);
    EXPECT_FALSE(bench.exitedThroughCancel);

    const std::string goldenPath = KOLVEX_FILTER_TEST_DATA "/simplex-3pages.opl";
    // KOLVEX_UPDATE_GOLDEN=1 rewrites the golden stream after a deliberate change.
    if (std::getenv("KOLVEX_UPDATE_GOLDEN"))
        writeFile(goldenPath, bench.channel.raw());
    std::string golden = readFile(goldenPath);
    ASSERT_FALSE(golden.empty());
    EXPECT_TRUE(bench.channel.raw() == golden)
        << "the stream differs from " << goldenPath << "; sent:\n"
        << [&] {
               std::string commands;
               for (const std::string &c : bench.channel.commands())
                   commands += c + "\n";
               return commands;
           }();

    // Control files for the monitor and the print log.
    EXPECT_EQ(readFile(bench.paths.jobInfoFile),
              "resolution:600dpi;\npapersize:A4;\ncolorMode:Color;\nWatermarkOptions:None;\n"
              "duplex:None;\n");
    EXPECT_EQ(readFile(bench.paths.statusCodeFile), "CODE=1\n");
    EXPECT_EQ(withoutTimes(readFile(bench.paths.printLog)),
              "PageNum=3;\nPaperSize=A4;\nResolution=600dpi;\nCopies-Actual=1;\n"
              "PrinterState=OK;\nEndTime:<time>\n\n==================================\n\n");
    // Sent pages are gone, and so are the hand-off objects.
    for (int page = 1; page <= 3; ++page) {
        EXPECT_FALSE(fileExists(bench.paths.blackPlane(page)));
        EXPECT_FALSE(fileExists(bench.paths.redPlane(page)));
    }
    EXPECT_TRUE(handoffRemoved(bench.key));
    auto lines = bench.log.lines();
    EXPECT_EQ(lines.back(), "INFO:打印机就绪");
}

TEST(SimplexJob, SendsTheJobHandshakesInOrder)
{
    JobBench bench;
    bench.runPages(1);
    auto c = bench.channel.commands();
    std::vector<std::string> start(c.begin(), c.begin() + 8);
    EXPECT_EQ(start, (std::vector<std::string>{"Status?", "LockPrinter?", "OSVersion=Linux;",
                                               "Event=StartOfJob0;", "HostName=\\\\tester;",
                                               "ExtendArea=0;", "IgnorePaper=0;",
                                               "AutoContinue=0;"}));
    std::vector<std::string> end(c.end() - 3, c.end());
    EXPECT_EQ(end, (std::vector<std::string>{"Status?", "Event=EndOfJob;", "UnlockPrinter?"}));
    // Every command leaves the host before the next step.
    EXPECT_GE(bench.channel.drains(), static_cast<int>(c.size()));
}

struct SplitCase {
    size_t planeSize;
    std::vector<size_t> packages;
};

class PackageSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PackageSplit, PlaneGoesOutInPackagesOf32768BytesAndARemainder)
{
    JobBench bench;
    bench.runPages(1, "", GetParam().planeSize, GetParam().planeSize);
    std::vector<size_t> black, red;
    std::string blackData;
    for (const Exchange &x : bench.channel.exchanges()) {
        if (x.event.kind != OplEventKind::DataPackage)
            continue;
        (x.event.red ? red : black).push_back(x.event.size());
        if (!x.event.red)
            blackData += x.event.data;
    }
    EXPECT_EQ(black, GetParam().packages);
    EXPECT_EQ(red, GetParam().packages);
    EXPECT_EQ(blackData, RasterizerStandIn::planeBytes(1, false, GetParam().planeSize));
    // Every package is closed by its own ";".
    int closes = 0;
    for (const Exchange &x : bench.channel.exchanges())
        closes += x.event.kind == OplEventKind::EndOfCmd;
    EXPECT_EQ(closes, static_cast<int>(2 * GetParam().packages.size()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PackageSplit,
                         ::testing::Values(SplitCase{100, {100}}, SplitCase{0, {0}},
                                           SplitCase{32767, {32767}},
                                           SplitCase{32768, {32768, 0}},
                                           SplitCase{65536, {32768, 32768, 0}},
                                           SplitCase{70000, {32768, 32768, 4464}}));

struct HeaderCase {
    std::string options;
    std::string startEvent;
    std::vector<std::string> header;
};

class PageHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(PageHeader, FollowsResolutionAndPaper)
{
    JobBench bench;
    bench.runPages(1, GetParam().options);
    auto c = bench.channel.commands();
    EXPECT_EQ(c[3], GetParam().startEvent);
    std::vector<std::string> header(c.begin() + 8, c.begin() + 8 + GetParam().header.size());
    EXPECT_EQ(header, GetParam().header);
}

std::vector<std::string> header(const std::string &resolution, const std::string &media,
                                const std::string &width, const std::string &height)
{
    std::vector<std::string> h = {resolution, media, "MediaType=plain;", "MediaInputTrayCheck=auto;",
                                  "Copies=1;", "PrintMode=TRUE;", "Sides=OneSided;",
                                  "Origin.Top=+50;", "Origin.Left=+50;",
                                  "RasterObject.Compression=JBIG;"};
    if (!width.empty()) {
        h.push_back("RasterObject.Width=" + width + ";");
        h.push_back("RasterObject.Height=" + height + ";");
    }
    h.push_back("RasterObject.Planes=000000,1P0000;");
    h.push_back("RasterObject.BitsPerPixel=1;");
    return h;
}

INSTANTIATE_TEST_SUITE_P(
    Options, PageHeader,
    ::testing::Values(
        HeaderCase{"", "Event=StartOfJob0;",
                   header("Resolution=600x600;", "MediaSize=na_a4_210x297mm;", "4960", "7016")},
        HeaderCase{"Resolution=1200dpi PageSize=B5", "Event=StartOfJob4;",
                   header("Resolution=1200x1200;", "MediaSize=na_b5_182x257mm;", "8600", "12140")},
        HeaderCase{"Resolution=1200*600dpi PageSize=C16K", "Event=StartOfJob1;",
                   header("Resolution=1200x600;", "MediaSize=na_c16k_195x270mm;", "4576", "6358")},
        HeaderCase{"Resolution=300dpi", "Event=StartOfJob2;",
                   header("Resolution=300x300;", "MediaSize=na_a4_210x297mm;", "2480", "3580")},
        HeaderCase{"Resolution=300dpi WatermarkOptions=OptCas1", "Event=StartOfJob0;",
                   header("Resolution=600x600;", "MediaSize=na_a4_210x297mm;", "4960", "7016")},
        HeaderCase{"Resolution=200dpi ColorMode=Mono", "Event=StartOfJob0;",
                   header("Resolution=600x600;", "MediaSize=na_a4_210x297mm;", "4960", "7016")},
        HeaderCase{"Resolution=200dpi ColorMode=Green PageSize=C16K", "Event=StartOfJob3;",
                   header("Resolution=200x200;", "MediaSize=na_c16k_195x270mm;", "1525", "2120")},
        HeaderCase{"PageSize=Letter", "Event=StartOfJob0;",
                   header("Resolution=600x600;", "MediaSize=na_a4_210x297mm;", "", "")}));

TEST(PageHeaderCommands, CustomSixteenKPaperSendsTheC16KSizeButNoRasterSize)
{
    JobBench bench;
    bench.job->StartPageHeader("1", "Custom.595.28x841.89", "", "", 0, 0);
    EXPECT_EQ(bench.channel.commands(),
              header("Resolution=600x600;", "MediaSize=na_c16k_195x270mm;", "", ""));
    // The missing size commands still drain, like every other step.
    EXPECT_EQ(bench.channel.drains(), 14);
}

TEST(PageHeaderCommands, GivenWidthAndHeightOverrideTheTable)
{
    JobBench bench;
    bench.job->StartPageHeader("1", "Letter", "", "", 5100, 6600);
    auto c = bench.channel.commands();
    EXPECT_EQ(c[10], "RasterObject.Width=5100;");
    EXPECT_EQ(c[11], "RasterObject.Height=6600;");
}

TEST(JobInformation, UnmarkedChoicesAreWrittenEmpty)
{
    JobBench bench;
    bench.ppd = "/nonexistent/queue.ppd";
    bench.runPages(1, "PageSize=B5 Resolution=1200dpi");
    EXPECT_EQ(readFile(bench.paths.jobInfoFile),
              "resolution:1200dpi;\npapersize:B5;\ncolorMode:;\nWatermarkOptions:;\nduplex:;\n");
    EXPECT_NE(bench.log.text().find("WARNING: The PPD file /nonexistent/queue.ppd could not be read"),
              std::string::npos);
    // Without a PPD the job still prints with the options it asked for.
    EXPECT_TRUE(contains(bench.channel.commands(), "RasterObject.Width=8600;"));
}

TEST(OutOfMemory, PageIsSentAgainWithANewHeaderWithoutWaitingForItsAnnouncement)
{
    JobBench bench(kolvex::kUsbModel, Scenario::outOfMemoryAfterPage(2, 2));
    EXPECT_EQ(bench.runPages(3), 0);
    EXPECT_EQ(blackPagesSent(bench.channel), (std::vector<int>{1, 2, 2, 3}));
    auto c = bench.channel.commands();
    EXPECT_EQ(count(c, "Resolution=600x600;"), 4);
    EXPECT_EQ(count(c, "Event=EndOfJob;"), 1);
    EXPECT_NE(bench.log.text().find("Flag_OOM=0,PageInc=1"), std::string::npos);
    EXPECT_FALSE(fileExists(bench.paths.blackPlane(2)));
    EXPECT_FALSE(fileExists(bench.paths.blackPlane(3)));
    EXPECT_TRUE(handoffRemoved(bench.key));
}

TEST(OutOfMemory, FirstPageSentAgainAlsoGetsItsHeader)
{
    JobBench bench(kolvex::kUsbModel, Scenario::outOfMemoryAfterPage(1, 1));
    bench.runPages(2);
    EXPECT_EQ(blackPagesSent(bench.channel), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(count(bench.channel.commands(), "Resolution=600x600;"), 3);
}

TEST(OutOfMemory, StatusIsPolledEverySecondWhileThePrinterReports3038)
{
    Scenario s;
    s.rule("Status?", {"3038", "3038", "3038", "0000"});
    JobBench bench(kolvex::kUsbModel, s);
    bench.job->CheckStatus();
    EXPECT_EQ(count(bench.channel.commands(), "Status?"), 4);
    EXPECT_EQ(bench.job->Flag_OOM, 1);
    EXPECT_DOUBLE_EQ(bench.clock.elapsed, 3.0);
}

TEST(LockPrinter, ReadyPrinterLocksAtOnceAnd6244CountsAsLocked)
{
    for (const char *reply : {"0002", "6244"}) {
        Scenario s;
        s.rule("LockPrinter?", {std::string(reply)});
        JobBench bench(kolvex::kUsbModel, s);
        EXPECT_EQ(bench.job->CheckLockPrinter(), 0) << reply;
        EXPECT_EQ(bench.job->Flag_Lock, 1);
        EXPECT_EQ(count(bench.channel.commands(), "LockPrinter?"), 1);
    }
}

TEST(LockPrinter, FingerprintFailuresAreRetriedFiveTimes)
{
    JobBench bench(kolvex::kUsbModel, Scenario::fingerprintRejected(5));
    EXPECT_EQ(bench.job->CheckLockPrinter(), 0);
    EXPECT_EQ(count(bench.channel.commands(), "LockPrinter?"), 6);
    EXPECT_DOUBLE_EQ(bench.clock.elapsed, 5 * (3 + 2));
}

TEST(LockPrinter, SixthFingerprintFailureGivesUpWithACertificateError)
{
    JobBench bench(kolvex::kUsbModel, Scenario::fingerprintRejected(6));
    bench.rasterizer->announceJob("1", 1);
    std::string stateBeforeUnlock;
    bench.channel.onEvent = [&](const oplprinter::OplEvent &e) {
        if (e.is("UnlockPrinter?") && stateBeforeUnlock.empty())
            stateBeforeUnlock = readFile(bench.paths.printerStateFile);
    };
    EXPECT_EQ(bench.run(), 0);
    EXPECT_EQ(stateBeforeUnlock, "Finger Print Certificate Error");
    auto c = bench.channel.commands();
    EXPECT_EQ(count(c, "LockPrinter?"), 6);
    EXPECT_FALSE(contains(c, "Event=StartOfJob0;"));
    EXPECT_FALSE(contains(c, "Event=EndOfJob;"));
    EXPECT_TRUE(contains(c, "UnlockPrinter?"));
    EXPECT_TRUE(contains(c, "CancelJob?"));  // asked once after unlocking a job that never locked
    EXPECT_NE(readFile(bench.paths.printLog).find("PageNum=0;"), std::string::npos);
    EXPECT_TRUE(handoffRemoved(bench.key));
}

TEST(LockPrinter, OtherAnswersAreRetriedEveryTwoSeconds)
{
    JobBench bench(kolvex::kUsbModel, Scenario::busy(3));
    EXPECT_EQ(bench.job->CheckLockPrinter(), 0);
    EXPECT_EQ(count(bench.channel.commands(), "LockPrinter?"), 4);
    EXPECT_DOUBLE_EQ(bench.clock.elapsed, 3 * 2);
}

TEST(LockPrinter, SixUnansweredLocksEndTheJobWithoutStartButWithUnlock)
{
    Scenario s;
    s.rule("LockPrinter?", {std::nullopt}, {}, true);
    JobBench bench(kolvex::kUsbModel, s);
    bench.rasterizer->announceJob("1", 1);
    EXPECT_EQ(bench.run(), 0);
    EXPECT_FALSE(bench.exitedThroughCancel);
    auto c = bench.channel.commands();
    EXPECT_EQ(count(c, "LockPrinter?"), 6);
    EXPECT_FALSE(contains(c, "OSVersion=Linux;"));
    EXPECT_FALSE(contains(c, "Event=EndOfJob;"));
    EXPECT_TRUE(contains(c, "UnlockPrinter?"));
    // Each unanswered lock was followed by four seven-blank fillers.
    int fillers = 0;
    for (const Exchange &x : bench.channel.exchanges())
        if (x.event.kind == OplEventKind::Filler) {
            EXPECT_EQ(x.event.size(), 7u);
            ++fillers;
        }
    EXPECT_EQ(fillers, 24);
    EXPECT_NE(bench.log.text().find("INFO: 打印机连接失败"), std::string::npos);
    EXPECT_EQ(bench.job->Flag_communication, 1);
}

TEST(CheckStatus, JobCancelledAtThePrinterIsConfirmedWithCancelJob)
{
    Scenario s;
    s.rule("Status?", {"0004"});
    s.rule("CancelJob?", {"0004"});
    JobBench bench(kolvex::kUsbModel, s);
    bench.job->CheckStatus();
    EXPECT_EQ(bench.channel.commands(), (std::vector<std::string>{"Status?", "CancelJob?"}));
    EXPECT_EQ(bench.job->Flag_CancelJob, 1);
}

TEST(CheckStatus, SilenceAfterThreeRetriesAsksWhetherTheJobIsCancelled)
{
    JobBench bench(kolvex::kUsbModel, Scenario::silent());
    bench.job->CheckStatus();
    EXPECT_EQ(bench.channel.commands(),
              (std::vector<std::string>{"Status?", "Status?", "Status?", "Status?", "CancelJob?"}));
    EXPECT_EQ(bench.job->Flag_CancelJob, 1);
    EXPECT_EQ(bench.job->Flag_communication, 1);
}

TEST(CheckStatus, ErrorHoldsTheJobUntilItClears)
{
    Scenario s;
    s.rule("Status?", {"3070", "3070", "0000"});
    JobBench bench(kolvex::kUsbModel, s);
    bench.job->CheckStatus();
    EXPECT_EQ(count(bench.channel.commands(), "Status?"), 3);
    EXPECT_EQ(bench.job->Flag_CancelJob, 0);
}

TEST(PrinterCancel, AfterTheBlackPlaneSkipsTheRedPlaneAndEndsInCancelJob)
{
    JobBench bench(kolvex::kUsbModel, Scenario::cancelledAfterBlackPlane(1));
    EXPECT_EQ(bench.runPages(2), 0);
    EXPECT_TRUE(bench.exitedThroughCancel);
    auto c = bench.channel.commands();
    EXPECT_FALSE(contains(c, "Event=EndOfJob;"));
    EXPECT_TRUE(contains(c, "UnlockPrinter?"));
    for (const Exchange &x : bench.channel.exchanges())
        EXPECT_FALSE(x.event.kind == OplEventKind::DataPackage && x.event.red);
    std::string log = readFile(bench.paths.printLog);
    EXPECT_NE(log.find("Print Job Canceled from the Printer\n"), std::string::npos);
    EXPECT_EQ(log.find("USB Lost Connect"), std::string::npos);
    EXPECT_EQ(bench.system.cancelledJobs.size(), 1u);
    EXPECT_TRUE(handoffRemoved(bench.key));
}

TEST(PrinterCancel, AfterTheRedPlaneRemovesThatPageAndEndsLikeANormalJob)
{
    JobBench bench(kolvex::kUsbModel, Scenario::cancelledAfterRedPlane(1));
    EXPECT_EQ(bench.runPages(3), 0);
    EXPECT_FALSE(bench.exitedThroughCancel);
    EXPECT_EQ(blackPagesSent(bench.channel), std::vector<int>{1});
    EXPECT_TRUE(contains(bench.channel.commands(), "Event=EndOfJob;"));
    EXPECT_FALSE(fileExists(bench.paths.blackPlane(1)));
    EXPECT_FALSE(fileExists(bench.paths.redPlane(1)));
    EXPECT_TRUE(fileExists(bench.paths.blackPlane(2)));  // later pages are not touched
    std::string text = bench.log.text();
    EXPECT_NE(text.find("STATE: +正在删除临时文件"), std::string::npos);
    EXPECT_NE(text.find("STATE: -正在删除临时文件"), std::string::npos);
    EXPECT_NE(readFile(bench.paths.printLog).find("PrinterState="), std::string::npos);
    EXPECT_EQ(readFile(bench.paths.printLog).find("Canceled"), std::string::npos);
}

TEST(PrinterSilence, PrinterThatStopsAnsweringEndsWithBothReasonTexts)
{
    Scenario s;
    s.rule("Status?", {std::nullopt}, {1, 0, 1}, true);
    s.rule("CancelJob?", {std::nullopt}, {}, true);
    s.rule("UnlockPrinter?", {std::nullopt}, {}, true);
    JobBench bench(kolvex::kUsbModel, s);
    EXPECT_EQ(bench.runPages(2), 0);
    EXPECT_TRUE(bench.exitedThroughCancel);
    EXPECT_EQ(bench.job->Flag_communication, 1);
    std::string log = readFile(bench.paths.printLog);
    EXPECT_NE(log.find("Print Job Canceled from the Printer\n"), std::string::npos);
    EXPECT_NE(log.find("Print Job Canceled from the Computer or USB Lost Connect\n"),
              std::string::npos);
    EXPECT_NE(log.find("\n==========================\n\n"), std::string::npos);
}

TEST(EndOfCommands, FileThatCannotBeSentEndsTheJobCleanly)
{
    JobBench bench;
    bench.rasterizer->announceJob("1", 2);
    bench.rasterizer->writePage(1, 100, 100);
    bench.rasterizer->announcePage(1);
    bench.rasterizer->announceEnd();  // page 2 never written
    EXPECT_EQ(bench.run(), 0);
    EXPECT_EQ(blackPagesSent(bench.channel), std::vector<int>{1});
    auto c = bench.channel.commands();
    EXPECT_EQ(count(c, "Event=EndOfJob;"), 1);
    EXPECT_EQ(c.back(), "UnlockPrinter?");
    EXPECT_TRUE(handoffRemoved(bench.key));
}

TEST(ManualDuplex, FourPagesPrintEvenPagesThenTurnOverThenOddPages)
{
    JobBench bench;
    // The monitor's side: the operator answers while the filter waits.
    bench.clock.onSleep = [&](double seconds) {
        if (seconds == 2 && readFile(bench.paths.statusCodeFile) == "CODE=4477\n")
            writeFile(bench.paths.statusCodeFile, "CODE=7777\n");
    };
    EXPECT_EQ(bench.runPages(4, "Duplex=DuplexNoTumble"), 0);
    EXPECT_EQ(blackPagesSent(bench.channel), (std::vector<int>{2, 4, 1, 3}));
    EXPECT_NE(bench.log.text().find("duplex-long_r88;"), std::string::npos);
    EXPECT_EQ(readFile(bench.paths.printLog).substr(0, 11), "PageNum=4;\n");
}

TEST(ManualDuplex, FivePagesWaitForTheLastPagesAnnouncement)
{
    JobBench bench;
    bench.rasterizer->announceJob("1", 5);
    for (int page = 1; page <= 4; ++page) {
        bench.rasterizer->writePage(page, 100, 50);
        bench.rasterizer->announcePage(page);
    }
    int requests = 0;
    bench.clock.onSleep = [&](double seconds) {
        if (seconds != 2 || readFile(bench.paths.statusCodeFile) != "CODE=4444\n")
            return;
        // The first answer comes too late (after the filter has read the
        // file); the second in time. The last page is rendered meanwhile.
        if (++requests == 2) {
            writeFile(bench.paths.statusCodeFile, "CODE=7777\n");
            bench.rasterizer->writePage(5, 100, 50);
            bench.rasterizer->announcePage(5);
            bench.rasterizer->announceEnd();
        }
    };
    EXPECT_EQ(bench.run("Duplex=DuplexTumble"), 0);
    EXPECT_EQ(blackPagesSent(bench.channel), (std::vector<int>{2, 4, 1, 3, 5}));
    EXPECT_EQ(requests, 2);
    EXPECT_NE(bench.log.text().find("duplex-short_r88;"), std::string::npos);
}

TEST(ManualDuplex, SinglePageJobIsPrintedSimplex)
{
    JobBench bench;
    EXPECT_EQ(bench.runPages(1, "Duplex=DuplexNoTumble"), 0);
    EXPECT_EQ(blackPagesSent(bench.channel), std::vector<int>{1});
    EXPECT_EQ(bench.log.text().find("wait the turn over signal"), std::string::npos);
}

TEST(ManualDuplex, CancellationDuringTheTurnOverEndsTheJob)
{
    // The check after page 2 finds the printer ready; the check in the
    // turn-over wait finds the job cancelled at the printer.
    Scenario s;
    s.rule("Status?", {"0000", "0004"}, {1, 0, 1});
    s.rule("CancelJob?", {"0004"});
    JobBench bench(kolvex::kUsbModel, s);
    EXPECT_EQ(bench.runPages(2, "Duplex=DuplexTumble"), 0);
    EXPECT_TRUE(bench.exitedThroughCancel);
    EXPECT_EQ(blackPagesSent(bench.channel), std::vector<int>{2});
    EXPECT_TRUE(contains(bench.channel.commands(), "Event=EndOfJob;"));
}

TEST(Signals, SigtermCancelWritesTheComputerEntryAndExits)
{
    JobBench bench;
    bench.rasterizer->announceJob("1", 1);
    bench.job->PrinterName = "LR880";
    bench.job->JobID = "42";
    try {
        bench.job->cancel_job(15);
        FAIL() << "cancel_job returned";
    } catch (const ProcessExit &e) {
        EXPECT_EQ(e.status, 0);
    }
    std::string log = withoutTimes(readFile(bench.paths.printLog));
    EXPECT_EQ(log, "PageNum=0;\nPaperSize=;\nResolution=;\nCopies-Actual=;\nEndTime:<time>\n"
                   "PrinterState=Failed to connect to printer\n"
                   "Print Job Canceled from the Computer or USB Lost Connect\n"
                   "\n==========================\n\n");
    EXPECT_EQ(bench.system.cancelledJobs,
              (std::vector<std::pair<std::string, int>>{{"LR880", 42}}));
    EXPECT_NE(bench.log.text().find("[KOLVEX-LR880][rastersend]cupsCancelJob int = 1"),
              std::string::npos);
    EXPECT_EQ(bench.log.lines().back(), "[KOLVEX-LR880][rastersend]cupsCancelJoblasterror = successful-ok");
}

TEST(Signals, SecondCancelExitsAtOnceWithPrinterReady)
{
    JobBench bench;
    bench.job->cancel_job_flag = 1;
    EXPECT_THROW(bench.job->cancel_job(15), ProcessExit);
    EXPECT_FALSE(fileExists(bench.paths.printLog));
    EXPECT_EQ(bench.log.lines().back(), "INFO:打印机就绪");
    EXPECT_EQ(bench.job->cancel_job_flag, 0);
}

TEST(LogSummarizer, RunsAfterEachEntryAndAMissingOneDoesNotBreakTheJob)
{
    {
        JobBench bench;
        EXPECT_EQ(bench.runPages(1), 0);
        EXPECT_TRUE(bench.system.shellCommands.empty());
        EXPECT_NE(bench.log.text().find("log summarizer"), std::string::npos);
    }
    JobBench bench;
    std::string marker = bench.root.file("summarized");
    writeFile(bench.paths.logSummarizer, "#!/bin/sh\ncp \"$(dirname \"$0\")/lr880_print_log\" '" +
                                             marker + "'\n");
    ASSERT_EQ(chmod(bench.paths.logSummarizer.c_str(), 0755), 0);
    EXPECT_EQ(bench.runPages(1), 0);
    ASSERT_EQ(bench.system.shellCommands.size(), 1u);
    // It ran after the entry was written.
    EXPECT_EQ(readFile(marker).substr(0, 11), "PageNum=1;\n");
}

TEST(NetworkBuild, PrefixesEveryCommandAndUsesJobIdFiles)
{
    JobBench bench(kolvex::kNetModel, Scenario::ready(), "57");
    EXPECT_EQ(bench.paths.blackPlane(2), bench.root.path() + "/tmp/printfiles_net/57-outredelsejbg2.jbg");
    EXPECT_EQ(bench.paths.markerFile, bench.root.path() + "/tmp/printfiles_net/57-rastercodec");
    EXPECT_EQ(bench.runPages(2), 0);
    for (const Exchange &x : bench.channel.exchanges()) {
        bool prefixed = x.event.kind == OplEventKind::Command ||
                        x.event.kind == OplEventKind::Query ||
                        x.event.kind == OplEventKind::DataPackage;
        EXPECT_EQ(x.event.net, prefixed) << x.event.raw;
    }
    EXPECT_EQ(readFile(bench.root.file("LR880N/control/jobid_r88n")), "57");
    EXPECT_EQ(readFile(bench.root.file("LR880N/control/duplexFlagInfo_r88n")), "CODE=1\n");
    EXPECT_NE(readFile(bench.root.file("LR880N/lr880n_print_log")).find("PageNum=2;"),
              std::string::npos);
    EXPECT_FALSE(fileExists(bench.paths.blackPlane(1)));
    // The network build keeps its debug output short.
    EXPECT_EQ(bench.log.text().find("StartPageHeader() entry."), std::string::npos);
}

TEST(NetworkBuild, KeyDependsOnlyOnTheJobId)
{
    key_t k = kolvex::networkHandoffKey(57);
    EXPECT_GE(k, 1);
    EXPECT_LE(k, 101);
    EXPECT_EQ(kolvex::networkHandoffKey(12345), kolvex::networkHandoffKey(12345));
    EXPECT_EQ(kolvex::networkHandoffKey(57), k);
}

} // namespace

namespace {

TEST(NetworkBuild, WaitsForTheBlackPlaneToStopGrowingBeforeTakingItsName)
{
    JobBench bench(kolvex::kNetModel, Scenario::ready(), "57");
    bench.rasterizer->announceJob("1", 1);
    bench.rasterizer->writePage(1, 100, 50);
    bench.rasterizer->announcePage(1);
    bench.rasterizer->announceEnd();
    auto receiveIndex = [&] {
        int32_t v;
        std::memcpy(&v, bench.rasterizer->handoff().shm_send_receve + 4, sizeof v);
        return v;
    };
    // The rasterizer is still writing: the file grows at the first two
    // looks, and no name may be taken meanwhile.
    int grown = 0;
    std::vector<int32_t> indexWhileGrowing;
    bench.clock.onSleep = [&](double seconds) {
        if (seconds > 0.39 && seconds < 0.41 && grown < 2) {
            indexWhileGrowing.push_back(receiveIndex());
            ++grown;
            writeFile(bench.paths.blackPlane(1),
                      RasterizerStandIn::planeBytes(1, false, 100 + 1000 * grown));
        }
    };
    EXPECT_EQ(bench.run(), 0);
    EXPECT_EQ(grown, 2);
    EXPECT_EQ(indexWhileGrowing, (std::vector<int32_t>{0, 0}));
    size_t sent = 0;
    for (const Exchange &x : bench.channel.exchanges())
        if (x.event.kind == OplEventKind::DataPackage && !x.event.red)
            sent += x.event.size();
    EXPECT_EQ(sent, 2100u);  // the whole, finished plane
}

TEST(NetworkBuild, CancellationCancelsInTheSchedulerAndRunsTheCancelProgram)
{
    JobBench bench(kolvex::kNetModel, Scenario::ready(), "57");
    std::string marker = bench.root.file("cancelled-by");
    writeFile(bench.paths.cancelProgram, "#!/bin/sh\necho cancel-program >> '" + marker + "'\n");
    ASSERT_EQ(chmod(bench.paths.cancelProgram.c_str(), 0755), 0);
    bench.job->PrinterName = "LR880N";
    bench.job->JobID = "57";
    EXPECT_THROW(bench.job->cancel_job(15), ProcessExit);
    EXPECT_EQ(readFile(marker), "cancel-program\n");
    EXPECT_EQ(bench.system.cancelledJobs,
              (std::vector<std::pair<std::string, int>>{{"LR880N", 57}}));
    EXPECT_NE(readFile(bench.root.file("LR880N/lr880n_print_log"))
                  .find("Print Job Canceled from the Computer or USB Lost Connect\n"),
              std::string::npos);
    // The network build does not log the scheduler's answer.
    EXPECT_EQ(bench.log.text().find("cupsCancelJob int"), std::string::npos);
}

} // namespace
