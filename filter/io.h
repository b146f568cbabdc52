// The filter's edges: the device stream and its back channel, the clock and
// its sleeps, and the calls out of the process. Production wires them to
// stdout, libcups and the system; tests script them.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

namespace kolvex {

// The OPL channel to the printer as the CUPS backend offers it.
class OplChannel {
public:
    virtual ~OplChannel() = default;
    // Writes bytes to the device stream; returns the count written or -1.
    virtual ssize_t write(const void *data, size_t size) = 0;
    // Asks the backend to send everything written so far; returns the
    // side-channel status (only logged by the filter).
    virtual int drain(double timeoutSeconds) = 0;
    // Reads one reply from the back channel, waiting at most the time-out;
    // returns the byte count, or 0 / -1 when nothing came.
    virtual ssize_t readReply(char *buffer, size_t size, double timeoutSeconds) = 0;
};

// Time as the filter sees it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepSeconds(unsigned seconds) = 0;
    virtual void sleepMicros(unsigned micros) = 0;
    virtual time_t now() = 0;
};

// Everything the filter asks of the world outside its files.
class SystemHooks {
public:
    virtual ~SystemHooks() = default;
    // Runs a command line through the shell; returns its status.
    virtual int runShell(const std::string &command) = 0;
    // The user name for "HostName=" (cupsUser in production).
    virtual std::string userName() = 0;
    // Cancels the job in the scheduler; returns the libcups result and
    // stores its last error text.
    virtual int cancelSchedulerJob(const std::string &printer, int jobId, std::string *lastError) = 0;
    // Ends the process with the status. Production never returns.
    virtual void exitProcess(int status) = 0;
};

} // namespace kolvex
