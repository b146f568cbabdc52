#include "cups_io.h"

#include <cups/cups.h>
#include <cups/sidechannel.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kolvex {

namespace {

constexpr int kBackChannelFd = 3;

// Sleeps the whole interval even when a handled signal interrupts it.
void sleepFor(time_t seconds, long nanos)
{
    struct timespec left = {seconds, nanos};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

} // namespace

ssize_t CupsOplChannel::write(const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(STDOUT_FILENO, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int CupsOplChannel::drain(double timeoutSeconds)
{
    char answer[512];
    int length = sizeof answer;
    return cupsSideChannelDoRequest(CUPS_SC_CMD_DRAIN_OUTPUT, answer, &length, timeoutSeconds);
}

ssize_t CupsOplChannel::readReply(char *buffer, size_t size, double timeoutSeconds)
{
    // libcups' own time-out is not kept when nothing arrives (it falls
    // through to a blocking read), so wait for the back channel here and
    // read only what is there.
    struct pollfd pfd = {kBackChannelFd, POLLIN, 0};
    int r;
    do {
        r = poll(&pfd, 1, static_cast<int>(timeoutSeconds * 1000));
    } while (r == -1 && errno == EINTR);
    if (r <= 0)
        return r;
    if (pfd.revents & POLLNVAL) {
        // No back channel at all (run by hand): behave like a silent printer.
        sleepFor(static_cast<time_t>(timeoutSeconds),
                 static_cast<long>((timeoutSeconds - static_cast<long>(timeoutSeconds)) * 1e9));
        return -1;
    }
    return cupsBackChannelRead(buffer, size, 0.0);
}

void RealClock::sleepSeconds(unsigned seconds)
{
    sleepFor(seconds, 0);
}

void RealClock::sleepMicros(unsigned micros)
{
    sleepFor(micros / 1000000, static_cast<long>(micros % 1000000) * 1000);
}

time_t RealClock::now()
{
    return time(nullptr);
}

int RealSystemHooks::runShell(const std::string &command)
{
    return system(command.c_str());
}

std::string RealSystemHooks::userName()
{
    return cupsUser();
}

int RealSystemHooks::cancelSchedulerJob(const std::string &printer, int jobId,
                                        std::string *lastError)
{
    int r = cupsCancelJob(printer.c_str(), jobId);
    *lastError = cupsLastErrorString();
    return r;
}

void RealSystemHooks::exitProcess(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status);
}

} // namespace kolvex
