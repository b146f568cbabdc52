// rastersend and rastersend-net as real processes: started with the CUPS
// filter arguments, fed by a rasterizer stand-in over real SysV IPC, talking
// to the scripted printer through a real back and side channel, and
// cancelled with real signals.
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "filter_run.h"
#include "filter_test_support.h"
#include "transcript.h"

using namespace filtertest;
using namespace std::chrono_literals;
using oplprinter::FilterResult;
using oplprinter::FilterRun;
using oplprinter::Scenario;

namespace {


// A job for one build of the filter, with its own printers root.
struct ProcessJob {
    ProcessJob(const kolvex::ModelConfig &m, Scenario scenario, const std::string &id = "42")
        : model(m), jobId(id), paths(kolvex::FilterPaths::make(m, root.path(), id)),
          key(m.network ? kolvex::networkHandoffKey(std::atoi(id.c_str())) : kolvex::kUsbHandoffKey),
          run(std::move(scenario))
    {
        rasterizer = std::make_unique<RasterizerStandIn>(paths, key);
        run.setProgram(m.network ? RASTERSEND_NET_PATH : RASTERSEND_PATH);
        run.setEnv("PPD", testPpd());
        run.setEnv("KOLVEX_PRINTERS_ROOT", root.path());
        run.setEnv("TZ", "UTC");
        // No scheduler to reach: cancelling the job in CUPS fails at once.
        run.setEnv("CUPS_SERVER", root.file("no-scheduler.sock"));
    }

    void preparePages(int pages, size_t black = 100, size_t red = 32800, bool announceAll = true)
    {
        rasterizer->announceJob("1", pages);
        for (int page = 1; page <= pages; ++page) {
            rasterizer->writePage(page, black, red);
            if (announceAll)
                rasterizer->announcePage(page);
        }
        if (announceAll)
            rasterizer->announceEnd();
    }

    bool start(const std::string &options = "")
    {
        run.setFilterArguments(model.network ? "LR880N" : "LR880", jobId, "alice", "report.pdf",
                               "1", options);
        return run.start();
    }

    const kolvex::ModelConfig &model;
    std::string jobId;
    TempRoot root;
    kolvex::FilterPaths paths;
    key_t key;
    FilterRun run;
    std::unique_ptr<RasterizerStandIn> rasterizer;
};

bool ipcsShowsKey(key_t key)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(key));
    std::string out;
    kolvextest::run("ipcs -s -m", &out);
    return out.find(hex) != std::string::npos;
}

std::string lastLine(const std::string &text)
{
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    return t.substr(t.rfind('\n') + 1);
}

TEST(FilterProcess, ThreePageJobSendsTheGoldenStreamAndCleansUp)
{
    ProcessJob job(kolvex::kUsbModel, Scenario::ready());
    job.preparePages(3);
    ASSERT_TRUE(job.start()) << job.run.result().error;
    FilterResult r = job.run.finish(60s);
    ASSERT_TRUE(r.ok()) << r.describe() << "\n" << job.run.stderrText();

    std::string golden = readFile(KOLVEX_FILTER_TEST_DATA "/simplex-3pages.opl");
    // The host name is the user the filter runs as.
    const std::string recorded = "HostName=\\\\tester;";
    size_t at = golden.find(recorded);
    ASSERT_NE(at, std::string::npos);
    golden.replace(at, recorded.size(), std::string("HostName=\\\\") + cupsUser() + ";");
    // Compared whole; on a difference the readable transcript is shown.
    EXPECT_TRUE(job.run.stdoutBytes() == golden) << job.run.transcript();
    for (const oplprinter::Exchange &x : job.run.exchanges()) {
        if (x.event.kind != oplprinter::OplEventKind::DataPackage) {
            EXPECT_GE(x.drains, 1) << "no drain after " << x.event.raw;
        }
    }

    EXPECT_EQ(lastLine(job.run.stderrText()), "INFO:打印机就绪");
    EXPECT_EQ(readFile(job.paths.statusCodeFile), "CODE=1\n");
    EXPECT_NE(readFile(job.paths.printLog).find("PageNum=3;\n"), std::string::npos);
    for (int page = 1; page <= 3; ++page) {
        EXPECT_FALSE(fileExists(job.paths.blackPlane(page)));
    }
    EXPECT_FALSE(ipcsShowsKey(job.key));
}

TEST(FilterProcess, SigtermDuringPageSendingCancelsAndCleansUp)
{
    ProcessJob job(kolvex::kUsbModel, Scenario::ready());
    job.preparePages(3);
    job.run.addHook([&](oplprinter::Exchange &x) {
        if (x.event.is("Event=EndofPlane;") && x.page == 2)
            job.run.sendSignal(SIGTERM);
    });
    ASSERT_TRUE(job.start());
    FilterResult r = job.run.finish(60s);
    ASSERT_TRUE(r.ok()) << r.describe() << "\n" << job.run.stderrText();
    std::string log = readFile(job.paths.printLog);
    EXPECT_NE(log.find("PageNum=1;\n"), std::string::npos) << log;
    EXPECT_NE(log.find("PrinterState=Failed to connect to printer\n"
                       "Print Job Canceled from the Computer or USB Lost Connect\n"),
              std::string::npos)
        << log;
    EXPECT_NE(job.run.stderrText().find("[KOLVEX-LR880][rastersend]cupsCancelJob int = 0"),
              std::string::npos);
    std::string err = job.run.stderrText();
    EXPECT_LT(err.rfind("INFO:打印机就绪"), err.find("cupsCancelJob int"));
    EXPECT_FALSE(ipcsShowsKey(job.key));
}

TEST(FilterProcess, SecondSigtermDuringTheCancellationExitsAtOnce)
{
    ProcessJob job(kolvex::kUsbModel, Scenario::ready());
    job.preparePages(2);
    // A slow log summarizer keeps the first cancellation busy.
    std::string started = job.root.file("summarizer-started");
    writeFile(job.paths.logSummarizer,
              "#!/bin/sh\necho $$ > '" + started + "'\nexec sleep 20\n");
    chmod(job.paths.logSummarizer.c_str(), 0755);
    job.run.addHook([&](oplprinter::Exchange &x) {
        if (x.event.is("Event=EndofPlane;"))
            job.run.sendSignal(SIGTERM);
    });
    ASSERT_TRUE(job.start());
    for (int i = 0; i < 200 && readFile(started).empty(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(readFile(started).empty()) << job.run.stderrText();
    job.run.sendSignal(SIGTERM);
    FilterResult r = job.run.finish(10s);
    kill(std::atoi(readFile(started).c_str()), SIGKILL);
    ASSERT_TRUE(r.ok()) << r.describe();
    EXPECT_EQ(lastLine(job.run.stderrText()), "INFO:打印机就绪");
    // The scheduler was never asked: the second entry ends the process.
    EXPECT_EQ(job.run.stderrText().find("cupsCancelJob"), std::string::npos);
    EXPECT_FALSE(ipcsShowsKey(job.key));
}

TEST(FilterProcess, PrinterCancellationAfterTheBlackPlaneEndsInCancelJob)
{
    ProcessJob job(kolvex::kUsbModel, Scenario::cancelledAfterBlackPlane(1));
    job.preparePages(2);
    ASSERT_TRUE(job.start());
    FilterResult r = job.run.finish(60s);
    ASSERT_TRUE(r.ok()) << r.describe();
    auto texts = oplprinter::commandTexts(job.run.exchanges());
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Event=EndOfJob;"), 0);
    EXPECT_NE(readFile(job.paths.printLog).find("Print Job Canceled from the Printer\n"),
              std::string::npos);
    EXPECT_NE(job.run.stderrText().find("This Job has been canceled;"), std::string::npos);
    EXPECT_FALSE(ipcsShowsKey(job.key));
}

TEST(FilterProcess, ManualDuplexWaitsForTheMonitorsAnswer)
{
    ProcessJob job(kolvex::kUsbModel, Scenario::ready());
    job.preparePages(4);
    ASSERT_TRUE(job.start("Duplex=DuplexNoTumble"));
    // Play the monitor: answer the turn-over request once it appears.
    bool answered = false;
    for (int i = 0; i < 400 && !job.run.finished(); ++i) {
        if (!answered && readFile(job.paths.statusCodeFile) == "CODE=4477\n") {
            writeFile(job.paths.statusCodeFile, "CODE=7777\n");
            answered = true;
        }
        std::this_thread::sleep_for(50ms);
    }
    FilterResult r = job.run.finish(30s);
    ASSERT_TRUE(r.ok()) << r.describe() << "\n" << job.run.stderrText();
    EXPECT_TRUE(answered);
    std::vector<int> pages;
    for (const oplprinter::Exchange &x : job.run.exchanges())
        if (x.event.kind == oplprinter::OplEventKind::DataPackage && !x.event.red)
            pages.push_back(std::atoi(x.event.data.c_str() + 6));
    EXPECT_EQ(pages, (std::vector<int>{2, 4, 1, 3}));
}

// The two builds of one job: the same stream, every command prefixed in the
// network build, and each build's own files.
struct BuildCase {
    const kolvex::ModelConfig *model;
    std::string prefix;
    std::string jobIdFile;
};

class BothBuilds : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BothBuilds, SendTheSameJobWithTheirOwnPrefixAndFiles)
{
    const BuildCase &c = GetParam();
    ProcessJob job(*c.model, Scenario::ready(), "57");
    job.preparePages(2, 100, 200);
    ASSERT_TRUE(job.start());
    FilterResult r = job.run.finish(60s);
    ASSERT_TRUE(r.ok()) << r.describe() << job.run.stderrText();

    std::vector<std::string> stream;
    for (const oplprinter::Exchange &x : job.run.exchanges()) {
        bool command = x.event.kind == oplprinter::OplEventKind::Command ||
                       x.event.kind == oplprinter::OplEventKind::Query ||
                       x.event.kind == oplprinter::OplEventKind::DataPackage;
        EXPECT_EQ(x.event.raw.rfind(c.prefix, 0) == 0 && !c.prefix.empty(),
                  command && !c.prefix.empty())
            << x.event.raw;
        // The network build also checks the printer while it waits for
        // pages; apart from those status queries the streams are the same.
        if (!x.event.is("Status?"))
            stream.push_back(x.event.text);
    }
    // Recorded once from the USB build; both builds must send it.
    static std::vector<std::string> first;
    if (first.empty())
        first = stream;
    EXPECT_EQ(stream, first);
    if (!c.jobIdFile.empty()) {
        EXPECT_EQ(readFile(job.root.file(c.jobIdFile)), "57");
    } else {
        EXPECT_FALSE(fileExists(job.root.file("LR880N/control/jobid_r88n")));
    }
    EXPECT_FALSE(fileExists(job.paths.blackPlane(1)));
    EXPECT_FALSE(ipcsShowsKey(job.key));
}

INSTANTIATE_TEST_SUITE_P(Models, BothBuilds,
                         ::testing::Values(BuildCase{&kolvex::kUsbModel, "", ""},
                                           BuildCase{&kolvex::kNetModel, "NET.",
                                                     "LR880N/control/jobid_r88n"}));

} // namespace
