// The job's options as the rasterizer needs them. They are read from the
// queue's PPD with the job's option text marked, by the same rules as the
// filter rastersend uses, so that the planes written here have exactly the
// size that the filter's page header announces.
#pragma once

#include <string>

#include "filter_log.h"

namespace kolvex
{

// Resolution codes shared with the filter's page header.
enum ResolutionCode {
    kRes600x600 = 0,
    kRes1200x1200 = 1,
    kRes1200x600 = 2,
    kRes300x300 = 3,
    kRes200x200 = 4,
};

// Print darkness (cupsDarkness): shifts mid-tones; solid black stays solid.
enum class Darkness { Light, Normal, Dark };

struct JobSettings {
    std::string pageSizeName; // marked PageSize ("A4", "B5", "C16K", ...), empty without a PPD
    std::string colorMode;    // marked ColorMode text, empty if none
    int isColor = 1;          // 1 Color (or none), 2 Green, 0 black only
    std::string resolution;   // marked Resolution text, empty if none
    int resolutionChoice = kRes600x600;
    std::string watermarkOptions; // marked WatermarkOptions text
    bool waterMark = false;       // a watermark is asked for
    std::string darknessText;     // marked cupsDarkness text
    Darkness darkness = Darkness::Normal;
    std::string copies = "1"; // copies value to announce (never empty or "0")
    bool havePpd = false;
};

// "Color" or nothing marked -> 1, "Green" -> 2, anything else -> 0.
int colorModeValue(const char *marked);

// The filter's resolution rule: the Resolution text compared exactly; 300 and
// 200 dpi fall back to 600x600 with a watermark or for black-only printing.
int resolutionChoiceFor(const std::string &resolution, bool waterMark, int isColor);

Darkness darknessFor(const std::string &text);

// The copies text to announce: argv[4] when it is a positive number, else "1".
std::string copiesText(const char *argv4);

// Opens the PPD, marks its defaults and the job's options and reads the
// marked choices. A missing or unreadable PPD leaves the defaults (and
// havePpd false) and is logged; the caller then falls back to the raster
// header's page size.
JobSettings readJobSettings(const char *ppdPath, const char *optionText, const char *copies,
                            FilterLog &log);

} // namespace kolvex
