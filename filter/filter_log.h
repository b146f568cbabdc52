// Message lines of the filter on standard error. CUPS reads every line the
// filter writes there: "DEBUG:" lines go to the scheduler's log, "INFO:",
// "STATE:" and "WARNING:" lines change what the printer shows.
#pragma once

#include <cstdio>
#include <string>

namespace kolvex {

class FilterLog {
public:
    // prefix starts every debug line ("DEBUG:[KOLVEX-LR880][rastersend]");
    // verbose = false drops the lines that the network build keeps quiet.
    FilterLog(FILE *out, std::string prefix, bool verbose)
        : out_(out), prefix_(std::move(prefix)), verbose_(verbose)
    {
    }

    // A debug line with the prefix, written only by a verbose build.
    void debug(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    // A debug line with the prefix that every build writes.
    void keep(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    // A line exactly as given (a newline is added).
    void line(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    // A line exactly as given, only in a verbose build.
    void verboseLine(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    const std::string &prefix() const { return prefix_; }
    bool verbose() const { return verbose_; }
    FILE *stream() const { return out_; }

private:
    FILE *out_;
    std::string prefix_;
    bool verbose_;
};

} // namespace kolvex
