// A private print system for end-to-end tests: the printer emulator on a
// loopback port, a CUPS scheduler of its own (configuration, port, spool and
// logs in a temporary folder, as CUPS's own test suite runs one), queues of
// both models whose device is the emulator, and a printers root laid out as
// the package installs it.
#pragma once

#include "test_files.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e
{

// Runs a command line through the shell; returns the exit status, and the
// combined output in *output.
using kolvextest::quote;
using kolvextest::readFile;
using kolvextest::run;
using kolvextest::writeFile;
bool exists(const std::string &path);

// Polls `condition` every 50 ms until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout);

struct Programs {
    std::string rastersend, rastersendNet, rastercodec, rastercodecNet;
    std::string emulator;
    std::string ppdDir;     // LR880.ppd and LR880N.ppd
    std::string standinDir; // the stand-in scripts of the package
};

// IPP job states (job-state enum values).
enum JobState {
    kPending = 3,
    kHeld = 4,
    kProcessing = 5,
    kStopped = 6,
    kCanceled = 7,
    kAborted = 8,
    kCompleted = 9
};

class PrintSystem
{
  public:
    explicit PrintSystem(Programs programs);
    ~PrintSystem();

    // Why the system cannot run here (a tool is missing), or "".
    static std::string missingTool();

    // Starts everything. emulatorScale shrinks the page images; scenario is
    // the emulator's reply script (empty: a ready printer). False with a
    // reason in error() when something does not start.
    bool start(int emulatorScale, const std::string &scenario = "");
    const std::string &error() const { return error_; }

    // lp -d queue [options] file: returns the job id, 0 on failure.
    int submit(const std::string &queue, const std::string &file,
               const std::vector<std::string> &options = {});
    int jobState(int jobId);
    // Waits for one of the end states (completed, canceled, aborted).
    int waitForJobEnd(int jobId, std::chrono::seconds timeout);
    // The output of an lpstat (or cancel) command line against this scheduler.
    std::string client(const std::string &program, const std::string &arguments);

    // Paths.
    const std::string &root() const { return root_; } // the printers root
    std::string pageImage(int n) const;               // emulator's page-00n.png
    std::string printerLog() const { return pagesDir_ + "/printer.log"; }
    std::string errorLog() const { return dir_ + "/log/error_log"; }
    std::string pageDir(bool network) const;
    // Processes still running from this system's filter folder.
    std::vector<pid_t> filterProcesses() const;

    // Everything that helps to understand a failure.
    std::string diagnostics() const;

  private:
    bool layOutRoot();
    bool makeServerBin();
    bool writeConfig();
    std::string readableByFilters(const std::string &options);
    bool startEmulator(int scale, const std::string &scenario);
    bool startScheduler();
    bool addQueues();
    void stopAll();

    Programs programs_;
    std::string dir_, root_, pagesDir_;
    int port_ = 0;
    int emulatorPort_ = 0;
    pid_t cupsd_ = -1;
    pid_t emulator_ = -1;
    int copies_ = 0;
    std::string error_;
};

} // namespace e2e
