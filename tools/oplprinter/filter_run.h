// FilterRun plays the CUPS backend and the printer for one real filter
// process: it starts the program with the filter's argv and environment,
// gives it a back channel (a pipe on fd 3 that the harness writes replies
// into) and a side channel (a socket on fd 4 that the harness answers),
// reads its standard output as an OPL stream and its standard error as text,
// and answers every query and end event by a Scenario. All of this runs on
// a background thread; the test thread looks at snapshots, waits for
// conditions, sends signals and finally collects the exit status.
#pragma once

#include "opl_stream.h"
#include "scenario.h"
#include "side_channel.h"

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace oplprinter
{

// One event of the stream with what the printer did about it.
struct Exchange {
    OplEvent event;
    Reply reply;    // the reply written to the back channel, nullopt for none
    int page = 1;   // page being sent: "Event=EndOfPage;" seen before this event + 1
    int drains = 0; // drain requests that came after this event and before the next
};

// How the filter process ended.
struct FilterResult {
    bool started = false;
    bool exited = false; // it called exit (exitStatus is valid)
    int exitStatus = -1;
    int termSignal = 0;      // the signal that ended it, 0 if none
    bool overstayed = false; // finish() had to kill it: a failure
    std::string error;       // the harness's own trouble (could not start ...)

    // Exited by itself, with status 0, in time.
    bool ok() const { return started && exited && exitStatus == 0 && !overstayed; }
    // "exit 0", "signal 15 (killed after the time-out)", "not started: ..."
    std::string describe() const;
};

class FilterRun
{
  public:
    // Called on the harness thread for every event, before its reply is
    // written; a hook may change exchange.reply. Hooks may call
    // sendSignal(), writeBackChannel() and the snapshot accessors.
    using Hook = std::function<void(Exchange &exchange)>;

    // What a waitFor() predicate sees; valid only during the call.
    struct View {
        const std::vector<Exchange> &exchanges;
        const std::string &stdoutBytes;
        const std::string &stderrText;
        bool finished; // the child has ended and its output is read
    };

    explicit FilterRun(Scenario scenario = Scenario::ready());
    // Kills (SIGKILL) and reaps a child that is still running.
    ~FilterRun();
    FilterRun(const FilterRun &) = delete;
    FilterRun &operator=(const FilterRun &) = delete;

    // Setup, before start().
    void setProgram(const std::string &path);
    // The whole argv, argv[0] included.
    void setArguments(const std::vector<std::string> &argv);
    // The CUPS filter argv: queue name, job id, user, title, copies,
    // options, and the file when not empty.
    void setFilterArguments(const std::string &queue, const std::string &jobId,
                            const std::string &user, const std::string &title,
                            const std::string &copies, const std::string &options,
                            const std::string &file = std::string());
    // The child inherits this process's environment with these changes.
    void setEnv(const std::string &name, const std::string &value);
    void unsetEnv(const std::string &name);
    // Standard input from this file (default /dev/null).
    void setStdinFile(const std::string &path);
    void setScenario(Scenario scenario);
    void addHook(Hook hook);

    // Starts the child and the harness thread. False if it could not start
    // (see result().error).
    bool start();

    // Sends a signal to the child if it is still there.
    void sendSignal(int sig);
    // Writes bytes to the back channel as if the printer had sent them.
    // False once the filter has closed its end.
    bool writeBackChannel(const std::string &bytes);

    // Waits until pred(view) holds or the time-out passes; returns whether
    // it holds. Returns false early when the child ended without it holding.
    // pred runs with the harness locked: it must not call FilterRun.
    bool waitFor(const std::function<bool(const View &)> &pred, std::chrono::milliseconds timeout);
    // Waits for the count-th event whose text (prefix ignored) is text.
    bool waitForEvent(const std::string &text, std::chrono::milliseconds timeout, int count = 1);
    // Waits for text to appear on the child's standard error.
    bool waitForStderr(const std::string &text, std::chrono::milliseconds timeout);

    // Waits for the child to end and its output to be read. A child that
    // overstays is killed with SIGKILL and the result says so. Never hangs
    // beyond the time-out plus a short grace for reaping.
    FilterResult finish(std::chrono::milliseconds timeout);

    // Snapshots, safe at any time.
    std::vector<Exchange> exchanges() const;
    std::string stdoutBytes() const;
    std::string stderrText() const;
    std::vector<SideChannelMessage> sideChannelRequests() const;
    // Problems of the harness while running (a reply it could not write ...).
    std::vector<std::string> harnessNotes() const;
    FilterResult result() const;
    bool finished() const;
    pid_t pid() const { return pid_; }
    // The exchanges rendered by renderTranscript().
    std::string transcript() const;

  private:
    void loop();
    bool readStdout();
    void readStderr();
    void readSideChannel();
    void processEvents(std::vector<OplEvent> &events);
    void noteLocked(const std::string &note);
    bool writeAll(int fd, const std::string &bytes, bool sideChannel);
    void closeFds();

    // Setup.
    std::string program_;
    std::vector<std::string> argv_;
    std::vector<std::pair<std::string, std::string>> envChanges_; // value "\x01" unsets
    std::string stdinFile_;
    std::vector<Hook> hooks_;

    // Harness thread state (scenario and parser are touched by it only).
    Scenario scenario_;
    OplParser parser_;
    SideChannelDecoder scDecoder_;
    int outFd_ = -1, errFd_ = -1, scFd_ = -1, backFd_ = -1;
    pid_t pid_ = -1;
    std::thread thread_;
    std::mutex backMutex_; // serialises back-channel writes

    // Shared with the test thread, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Exchange> exchanges_;
    std::string stdout_;
    std::string stderr_;
    std::vector<SideChannelMessage> scRequests_;
    std::vector<std::string> notes_;
    FilterResult result_;
    bool reaped_ = false;
    bool finished_ = false;
};

} // namespace oplprinter
