// In-process test bench for the filter's job logic: a scripted printer on
// the OPL channel (the same stream parser and scenarios as the printer
// emulator), a clock that only counts, system hooks that record, and a
// temporary printers root with the rasterizer's side of the hand-off.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filter_log.h"
#include "handoff.h"
#include "io.h"
#include "opl_stream.h"
#include "rastersend.h"
#include "scenario.h"
#include "test_files.h"

namespace filtertest {

// One event the filter put on the wire, with the printer's answer.
struct Exchange {
    oplprinter::OplEvent event;
    oplprinter::Reply reply;
};

class FakeClock : public kolvex::Clock {
public:
    void sleepSeconds(unsigned seconds) override;
    void sleepMicros(unsigned micros) override;
    time_t now() override { return static_cast<time_t>(start + elapsed); }

    // Adds time; throws when a job runs past the limit, so that a filter
    // stuck in a loop fails its test instead of hanging it.
    void advance(double seconds);

    double elapsed = 0;
    double limit = 100000;
    time_t start = 1767225600;  // 2026-01-01 00:00:00 UTC
    // Called after every sleep with the seconds slept.
    std::function<void(double)> onSleep;
};

class ScriptedChannel : public kolvex::OplChannel {
public:
    ScriptedChannel(oplprinter::Scenario scenario, FakeClock &clock)
        : scenario_(std::move(scenario)), clock_(clock)
    {
    }

    ssize_t write(const void *data, size_t size) override;
    int drain(double timeoutSeconds) override;
    ssize_t readReply(char *buffer, size_t size, double timeoutSeconds) override;

    // Everything the filter sent, in order, with replies.
    const std::vector<Exchange> &exchanges() const { return exchanges_; }
    const std::string &raw() const { return raw_; }
    // Commands and queries only (no packages, fillers or package closes), prefix kept.
    std::vector<std::string> commands() const;
    // Number of drains asked for.
    int drains() const { return drains_; }
    // Makes the next write fail after this many more bytes (-1: never).
    long failWritesAfter = -1;
    // Called for every event as it is parsed.
    std::function<void(const oplprinter::OplEvent &)> onEvent;

private:
    void take(std::vector<oplprinter::OplEvent> &events);

    oplprinter::Scenario scenario_;
    FakeClock &clock_;
    oplprinter::OplParser parser_;
    std::vector<Exchange> exchanges_;
    std::vector<std::string> pendingReplies_;
    std::string raw_;
    int drains_ = 0;
};

// Thrown by FakeSystem::exitProcess so that a test sees the exit.
struct ProcessExit {
    int status;
};

class FakeSystem : public kolvex::SystemHooks {
public:
    int runShell(const std::string &command) override;
    std::string userName() override { return "tester"; }
    int cancelSchedulerJob(const std::string &printer, int jobId, std::string *lastError) override;
    void exitProcess(int status) override { throw ProcessExit{status}; }

    std::vector<std::string> shellCommands;
    std::vector<std::pair<std::string, int>> cancelledJobs;
};

// A temporary printers root with the model's folders, removed afterwards.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    const std::string &path() const { return path_; }
    std::string file(const std::string &relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

using kolvextest::fileExists;
using kolvextest::readFile;
using kolvextest::writeFile;

// An IPC key no other test process uses.
key_t uniqueKey();

// The rasterizer's side: writes plane files and announces them.
class RasterizerStandIn {
public:
    RasterizerStandIn(const kolvex::FilterPaths &paths, key_t key);
    ~RasterizerStandIn();
    // Writes page n's planes with the given sizes (bytes), filled with a
    // pattern that names the page and plane.
    void writePage(int page, size_t blackSize, size_t redSize);
    void announceJob(const std::string &copies, int pages);
    void announcePage(int page);
    void announceEnd();
    // The same text as the file holds, for comparison with packages.
    static std::string planeBytes(int page, bool red, size_t size);

    kolvex::Handoff &handoff() { return handoff_; }

private:
    kolvex::FilterPaths paths_;
    FILE *logFile_;
    kolvex::FilterLog log_;
    kolvex::Handoff handoff_;
};

// Captures a FilterLog's lines.
class CapturedLog {
public:
    explicit CapturedLog(bool verbose = true);
    ~CapturedLog();
    kolvex::FilterLog &log() { return log_; }
    std::string text() const;
    std::vector<std::string> lines() const;

private:
    FILE *file_;
    kolvex::FilterLog log_;
};

// One filter job run in-process against the scripted printer.
struct JobBench {
    explicit JobBench(const kolvex::ModelConfig &model = kolvex::kUsbModel,
                      oplprinter::Scenario scenario = oplprinter::Scenario::ready(),
                      const std::string &jobId = "42");

    // Runs the job with these options; returns the exit status (also when
    // the job ended through a cancellation).
    int run(const std::string &options = "", const std::string &copies = "1");
    // A whole job whose pages are all on disk and announced up front.
    int runPages(int pages, const std::string &options = "", size_t blackSize = 100,
                 size_t redSize = 60);

    const kolvex::ModelConfig &model;
    std::string jobId;
    TempRoot root;
    FakeClock clock;
    ScriptedChannel channel;
    FakeSystem system;
    CapturedLog log;
    key_t key;
    kolvex::FilterPaths paths;
    std::unique_ptr<RasterizerStandIn> rasterizer;
    std::unique_ptr<kolvex::Rastersend> job;
    std::string ppd;
    bool exitedThroughCancel = false;
};

// The path of the test PPD.
std::string testPpd();

} // namespace filtertest
