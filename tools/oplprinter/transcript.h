// Readable renderings of an exchange list, for test failure messages,
// golden transcripts and the emulator's log.
#pragma once

#include "filter_run.h"

#include <string>
#include <vector>

namespace oplprinter
{

struct TranscriptOptions {
    bool showDrains = false; // append "  (drain)" lines for side-channel drains
};

// One line per event: commands and queries as sent ("NET." kept),
// packages as "RasterObject.Data#N=<N bytes>", the package close as ";"
// (or ";<1 space>"), fillers as "<7 spaces>", errors as "!! error: ...";
// each reply on its own line as "  <- 0002".
std::string renderTranscript(const std::vector<Exchange> &exchanges,
                             const TranscriptOptions &options = TranscriptOptions());

// One event as its transcript line (without the reply).
std::string renderEvent(const OplEvent &event);

// The texts (prefix removed) of the commands and queries, in order; no
// packages, closes or fillers.
std::vector<std::string> commandTexts(const std::vector<Exchange> &exchanges);

// Number of events whose text (prefix removed) is text.
int countEvents(const std::vector<Exchange> &exchanges, const std::string &text);

} // namespace oplprinter
