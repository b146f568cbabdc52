// Production wiring of the filter's edges: standard output, the CUPS side
// and back channels, real sleeps, the shell and the scheduler.
#pragma once

#include "io.h"

namespace kolvex {

class CupsOplChannel : public OplChannel {
public:
    ssize_t write(const void *data, size_t size) override;
    int drain(double timeoutSeconds) override;
    ssize_t readReply(char *buffer, size_t size, double timeoutSeconds) override;
};

class RealClock : public Clock {
public:
    void sleepSeconds(unsigned seconds) override;
    void sleepMicros(unsigned micros) override;
    time_t now() override;
};

class RealSystemHooks : public SystemHooks {
public:
    int runShell(const std::string &command) override;
    std::string userName() override;
    int cancelSchedulerJob(const std::string &printer, int jobId, std::string *lastError) override;
    void exitProcess(int status) override;
};

} // namespace kolvex
