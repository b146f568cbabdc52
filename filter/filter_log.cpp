#include "filter_log.h"

#include <cstdarg>

namespace kolvex {

namespace {

void writeLine(FILE *out, const std::string *prefix, const char *fmt, va_list ap)
{
    if (prefix)
        std::fputs(prefix->c_str(), out);
    std::vfprintf(out, fmt, ap);
    std::fputc('\n', out);
    std::fflush(out);
}

} // namespace

void FilterLog::debug(const char *fmt, ...)
{
    if (!verbose_)
        return;
    va_list ap;
    va_start(ap, fmt);
    writeLine(out_, &prefix_, fmt, ap);
    va_end(ap);
}

void FilterLog::keep(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    writeLine(out_, &prefix_, fmt, ap);
    va_end(ap);
}

void FilterLog::line(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    writeLine(out_, nullptr, fmt, ap);
    va_end(ap);
}

void FilterLog::verboseLine(const char *fmt, ...)
{
    if (!verbose_)
        return;
    va_list ap;
    va_start(ap, fmt);
    writeLine(out_, nullptr, fmt, ap);
    va_end(ap);
}

} // namespace kolvex
