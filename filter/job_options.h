// The job's options as the filter uses them: the PPD's marked choices after
// the job's option text has been marked on top of the PPD's defaults.
#pragma once

#include <string>

#include "filter_log.h"

namespace kolvex {

struct JobOptions {
    std::string pageSize;  // marked page size name ("A4", "B5", "C16K", "Custom.595.28x841.89" ...)
    std::string mediaType;
    std::string watermarkOptions;
    std::string colorMode;
    std::string resolution;
    std::string inputSlot;
    std::string darkness;
    std::string duplex;
    bool watermarkMarked = false;
    bool colorModeMarked = false;
    bool duplexMarked = false;
};

// Reads the options. With a readable PPD the marked choices decide; without
// one (no PPD variable, or the file cannot be opened) the job's own option
// text is used, so that the job still prints with the options it asked for.
// Returns false only for an option text that cannot be parsed.
bool readJobOptions(const char *ppdPath, const char *optionText, JobOptions *out, FilterLog &log);

} // namespace kolvex
