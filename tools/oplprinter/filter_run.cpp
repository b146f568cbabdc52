#include "filter_run.h"

#include "transcript.h"

#include <cups/sidechannel.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

extern char **environ;

namespace oplprinter
{

namespace
{

using Clock = std::chrono::steady_clock;

// How long the loop sleeps in poll() at most; bounds the delay in noticing
// that the child has ended.
constexpr int kPollMillis = 10;
// Once the child is reaped, how long to wait for the pipes to reach EOF (a
// grandchild may still hold them open).
constexpr auto kEofGrace = std::chrono::milliseconds(200);
// After the forced kill, how long finish() waits for the loop to end.
constexpr auto kKillGrace = std::chrono::seconds(5);

const char kUnset[] = "\x01";

// Moves a descriptor to 10 or above, close-on-exec, so that the child's
// dup2() onto 0..4 can never overwrite another of our descriptors.
int lift(int fd)
{
    if (fd < 0)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return moved;
}

void setNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// A write to a pipe whose reader is gone raises SIGPIPE in the writing
// thread; keep it blocked around the write and swallow it, so that a
// filter that exits never takes the test process down with it.
ssize_t writeNoSigpipe(int fd, const char *data, size_t len)
{
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    ssize_t n = write(fd, data, len);
    int saved = errno;
    if (n < 0 && saved == EPIPE) {
        struct timespec zero = {0, 0};
        sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = saved;
    return n;
}

std::string findProgram(const std::string &program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return program;
}

} // namespace

std::string FilterResult::describe() const
{
    std::string d;
    if (!started)
        return "not started: " + error;
    if (exited)
        d = "exit " + std::to_string(exitStatus);
    else if (termSignal)
        d = "signal " + std::to_string(termSignal) + " (" + strsignal(termSignal) + ")";
    else
        d = "still running";
    if (overstayed)
        d += ", killed after overstaying its time-out";
    if (!error.empty())
        d += "; " + error;
    return d;
}

FilterRun::FilterRun(Scenario scenario) : scenario_(std::move(scenario)) {}

FilterRun::~FilterRun()
{
    if (thread_.joinable()) {
        sendSignal(SIGKILL);
        thread_.join();
    }
    closeFds();
}

void FilterRun::setProgram(const std::string &path)
{
    program_ = path;
}

void FilterRun::setArguments(const std::vector<std::string> &argv)
{
    argv_ = argv;
}

void FilterRun::setFilterArguments(const std::string &queue, const std::string &jobId,
                                   const std::string &user, const std::string &title,
                                   const std::string &copies, const std::string &options,
                                   const std::string &file)
{
    argv_ = {queue, jobId, user, title, copies, options};
    if (!file.empty())
        argv_.push_back(file);
}

void FilterRun::setEnv(const std::string &name, const std::string &value)
{
    envChanges_.emplace_back(name, value);
}

void FilterRun::unsetEnv(const std::string &name)
{
    envChanges_.emplace_back(name, kUnset);
}

void FilterRun::setStdinFile(const std::string &path)
{
    stdinFile_ = path;
}

void FilterRun::setScenario(Scenario scenario)
{
    scenario_ = std::move(scenario);
}

void FilterRun::addHook(Hook hook)
{
    hooks_.push_back(std::move(hook));
}

void FilterRun::closeFds()
{
    closeFd(outFd_);
    closeFd(errFd_);
    closeFd(scFd_);
    std::lock_guard<std::mutex> lock(backMutex_);
    closeFd(backFd_);
}

bool FilterRun::start()
{
    auto fail = [this](const std::string &why) {
        std::lock_guard<std::mutex> lock(mutex_);
        result_.error = why;
        finished_ = true;
        return false;
    };
    if (thread_.joinable() || pid_ > 0)
        return fail("already started");
    if (program_.empty())
        return fail("no program set");
    const std::string path = findProgram(program_);
    if (access(path.c_str(), X_OK) != 0)
        return fail("cannot execute " + path + ": " + strerror(errno));
    if (argv_.empty())
        argv_.push_back(program_);

    // The environment: ours with the requested changes.
    std::map<std::string, std::string> env;
    for (char **e = environ; e && *e; ++e) {
        std::string kv = *e;
        std::size_t eq = kv.find('=');
        if (eq != std::string::npos)
            env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto &change : envChanges_) {
        if (change.second == kUnset)
            env.erase(change.first);
        else
            env[change.first] = change.second;
    }
    std::vector<std::string> envStrings;
    for (const auto &kv : env)
        envStrings.push_back(kv.first + "=" + kv.second);

    // Everything the child needs is prepared before fork(): after it only
    // async-signal-safe calls are allowed (other threads may hold locks).
    std::vector<char *> argvPtrs, envPtrs;
    for (auto &a : argv_)
        argvPtrs.push_back(const_cast<char *>(a.c_str()));
    argvPtrs.push_back(nullptr);
    for (auto &e : envStrings)
        envPtrs.push_back(const_cast<char *>(e.c_str()));
    envPtrs.push_back(nullptr);

    int outPipe[2], errPipe[2], backPipe[2], sc[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return fail(std::string("pipe: ") + strerror(errno));
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return fail(std::string("pipe: ") + strerror(errno));
    }
    if (pipe2(backPipe, O_CLOEXEC) != 0) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            close(fd);
        return fail(std::string("pipe: ") + strerror(errno));
    }
    if (socketpair(AF_LOCAL, SOCK_STREAM | SOCK_CLOEXEC, 0, sc) != 0) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], backPipe[0], backPipe[1]})
            close(fd);
        return fail(std::string("socketpair: ") + strerror(errno));
    }
    const std::string in = stdinFile_.empty() ? "/dev/null" : stdinFile_;
    int inFd = open(in.c_str(), O_RDONLY | O_CLOEXEC);
    if (inFd < 0) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], backPipe[0], backPipe[1],
                       sc[0], sc[1]})
            close(fd);
        return fail("cannot open " + in + ": " + strerror(errno));
    }
    inFd = lift(inFd);
    for (int *fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1], &backPipe[0], &backPipe[1],
                    &sc[0], &sc[1]})
        *fd = lift(*fd);

    const pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {inFd, outPipe[0], outPipe[1], errPipe[0], errPipe[1], backPipe[0],
                       backPipe[1], sc[0], sc[1]})
            close(fd);
        return fail(std::string("fork: ") + strerror(errno));
    }
    if (pid == 0) {
        // Child: default signal handling, nothing blocked, the CUPS filter
        // descriptors 0-4, nothing else open.
        struct sigaction dfl;
        memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            sigaction(s, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (dup2(inFd, 0) < 0 || dup2(outPipe[1], 1) < 0 || dup2(errPipe[1], 2) < 0 ||
            dup2(backPipe[0], 3) < 0 || dup2(sc[1], 4) < 0)
            _exit(127);
#ifdef SYS_close_range
        syscall(SYS_close_range, 5U, ~0U, 0U);
#endif
        execve(path.c_str(), argvPtrs.data(), envPtrs.data());
        static const char msg[] = "FilterRun: exec failed\n";
        ssize_t ignored = write(2, msg, sizeof msg - 1);
        (void)ignored;
        _exit(127);
    }

    pid_ = pid;
    for (int fd : {inFd, outPipe[1], errPipe[1], backPipe[0], sc[1]})
        close(fd);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    backFd_ = backPipe[1];
    scFd_ = sc[0];
    for (int fd : {outFd_, errFd_, backFd_, scFd_})
        setNonBlocking(fd);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result_.started = true;
    }
    scenario_.reset();
    thread_ = std::thread(&FilterRun::loop, this);
    return true;
}

void FilterRun::sendSignal(int sig)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Only while the child is unreaped: afterwards the pid may be reused.
    if (pid_ > 0 && !reaped_)
        kill(pid_, sig);
}

void FilterRun::noteLocked(const std::string &note)
{
    notes_.push_back(note);
}

bool FilterRun::writeAll(int fd, const std::string &bytes, bool sideChannel)
{
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size()) {
        ssize_t n = sideChannel ? send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                                : writeNoSigpipe(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
            struct pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 50);
            continue;
        }
        return false;
    }
    return true;
}

bool FilterRun::writeBackChannel(const std::string &bytes)
{
    std::lock_guard<std::mutex> lock(backMutex_);
    if (backFd_ < 0)
        return false;
    return writeAll(backFd_, bytes, false);
}

void FilterRun::processEvents(std::vector<OplEvent> &events)
{
    for (auto &event : events) {
        Exchange x;
        x.page = scenario_.pagesEnded() + 1;
        x.reply = scenario_.answer(event);
        x.event = std::move(event);
        for (auto &hook : hooks_)
            hook(x);
        bool written = true;
        if (x.reply)
            written = writeBackChannel(*x.reply);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!written)
            noteLocked("could not write reply \"" + *x.reply + "\" to " + renderEvent(x.event) +
                       ": the back channel is closed or full");
        exchanges_.push_back(std::move(x));
        changed_.notify_all();
    }
    events.clear();
}

// Reads what the child has written so far. Returns false at EOF.
bool FilterRun::readStdout()
{
    if (outFd_ < 0)
        return false;
    char buf[65536];
    std::vector<OplEvent> events;
    for (;;) {
        ssize_t n = read(outFd_, buf, sizeof buf);
        if (n > 0) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stdout_.append(buf, static_cast<std::size_t>(n));
            }
            parser_.feed(buf, static_cast<std::size_t>(n), events);
            processEvents(events);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        closeFd(outFd_);
        return false;
    }
}

void FilterRun::readStderr()
{
    char buf[8192];
    for (;;) {
        ssize_t n = read(errFd_, buf, sizeof buf);
        if (n > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            stderr_.append(buf, static_cast<std::size_t>(n));
            changed_.notify_all();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        closeFd(errFd_);
        return;
    }
}

void FilterRun::readSideChannel()
{
    char buf[4096];
    for (;;) {
        ssize_t n = recv(scFd_, buf, sizeof buf, 0);
        if (n > 0) {
            scDecoder_.feed(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno != EAGAIN))
            closeFd(scFd_);
        break;
    }
    SideChannelMessage request;
    while (scDecoder_.next(request)) {
        if (request.command == CUPS_SC_CMD_DRAIN_OUTPUT) {
            // The filter has flushed before asking: take everything it
            // wrote, so that the reply to its last query is on its way
            // before the drain is confirmed.
            readStdout();
            std::vector<OplEvent> events;
            parser_.markBoundary(events);
            processEvents(events);
        }
        const SideChannelMessage answer = backendAnswer(request);
        bool sent = scFd_ >= 0 && writeAll(scFd_, encodeSideChannel(answer), true);
        std::lock_guard<std::mutex> lock(mutex_);
        scRequests_.push_back(request);
        if (request.command == CUPS_SC_CMD_DRAIN_OUTPUT && !exchanges_.empty())
            ++exchanges_.back().drains;
        if (!sent)
            noteLocked("could not answer side-channel " + sideChannelCommandName(request.command));
        changed_.notify_all();
    }
}

void FilterRun::loop()
{
    Clock::time_point reapedAt{};
    bool reaped = false;
    for (;;) {
        struct pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, scIdx = -1;
        if (outFd_ >= 0) {
            fds[n] = {outFd_, POLLIN, 0};
            outIdx = n++;
        }
        if (errFd_ >= 0) {
            fds[n] = {errFd_, POLLIN, 0};
            errIdx = n++;
        }
        if (scFd_ >= 0) {
            fds[n] = {scFd_, POLLIN, 0};
            scIdx = n++;
        }
        int ready = poll(fds, static_cast<nfds_t>(n), kPollMillis);
        if (ready > 0) {
            // Standard output first: a drain request must find the bytes
            // that preceded it already parsed.
            if (outIdx >= 0 && fds[outIdx].revents)
                readStdout();
            if (errIdx >= 0 && fds[errIdx].revents)
                readStderr();
            if (scIdx >= 0 && fds[scIdx].revents)
                readSideChannel();
        }

        if (!reaped) {
            int status = 0;
            std::lock_guard<std::mutex> lock(mutex_);
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno == ECHILD)) {
                reaped = reaped_ = true;
                reapedAt = Clock::now();
                if (r == pid_ && WIFEXITED(status)) {
                    result_.exited = true;
                    result_.exitStatus = WEXITSTATUS(status);
                } else if (r == pid_ && WIFSIGNALED(status)) {
                    result_.termSignal = WTERMSIG(status);
                } else if (r < 0) {
                    result_.error = "the child was reaped elsewhere";
                }
            }
        }
        if (reaped && ((outFd_ < 0 && errFd_ < 0) || Clock::now() - reapedAt > kEofGrace))
            break;
    }

    if (outFd_ >= 0)
        readStdout();
    if (errFd_ >= 0)
        readStderr();
    std::vector<OplEvent> events;
    parser_.finish(events);
    processEvents(events);
    closeFd(outFd_);
    closeFd(errFd_);
    closeFd(scFd_);
    {
        std::lock_guard<std::mutex> lock(backMutex_);
        closeFd(backFd_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

bool FilterRun::waitFor(const std::function<bool(const View &)> &pred,
                        std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        View view{exchanges_, stdout_, stderr_, finished_};
        if (pred(view))
            return true;
        if (finished_)
            return false;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            View last{exchanges_, stdout_, stderr_, finished_};
            return pred(last);
        }
    }
}

bool FilterRun::waitForEvent(const std::string &text, std::chrono::milliseconds timeout, int count)
{
    return waitFor([&](const View &v) { return countEvents(v.exchanges, text) >= count; }, timeout);
}

bool FilterRun::waitForStderr(const std::string &text, std::chrono::milliseconds timeout)
{
    return waitFor([&](const View &v) { return v.stderrText.find(text) != std::string::npos; },
                   timeout);
}

FilterResult FilterRun::finish(std::chrono::milliseconds timeout)
{
    if (!thread_.joinable())
        return result();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return finished_; })) {
            result_.overstayed = true;
            if (!reaped_)
                kill(pid_, SIGKILL);
            // The loop ends once the killed child is reaped and the EOF
            // grace has passed; it cannot block longer than that.
            changed_.wait_for(lock, kKillGrace, [this] { return finished_; });
        }
    }
    thread_.join();
    return result();
}

std::vector<Exchange> FilterRun::exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

std::string FilterRun::stdoutBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stdout_;
}

std::string FilterRun::stderrText() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stderr_;
}

std::vector<SideChannelMessage> FilterRun::sideChannelRequests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return scRequests_;
}

std::vector<std::string> FilterRun::harnessNotes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return notes_;
}

FilterResult FilterRun::result() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

bool FilterRun::finished() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

std::string FilterRun::transcript() const
{
    return renderTranscript(exchanges());
}

} // namespace oplprinter
