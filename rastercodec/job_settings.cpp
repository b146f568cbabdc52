#include "job_settings.h"

#include <cups/cups.h>
#include <cups/ppd.h>

#include <cstdlib>
#include <cstring>

// The PPD API is deprecated in libcups but is the interface CUPS filters of
// PPD-based queues read their options with.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace kolvex
{

int colorModeValue(const char *marked)
{
    if (!marked || std::strcmp(marked, "Color") == 0)
        return 1;
    if (std::strcmp(marked, "Green") == 0)
        return 2;
    return 0;
}

int resolutionChoiceFor(const std::string &resolution, bool waterMark, int isColor)
{
    if (resolution == "600dpi")
        return kRes600x600;
    if (resolution == "1200dpi")
        return kRes1200x1200;
    if (resolution == "1200*600dpi")
        return kRes1200x600;
    if (resolution == "300dpi")
        return (waterMark || isColor == 0) ? kRes600x600 : kRes300x300;
    if (resolution == "200dpi")
        return (waterMark || isColor == 0) ? kRes600x600 : kRes200x200;
    return kRes600x600;
}

Darkness darknessFor(const std::string &text)
{
    if (text == "Light")
        return Darkness::Light;
    if (text == "Dark")
        return Darkness::Dark;
    return Darkness::Normal;
}

std::string copiesText(const char *argv4)
{
    if (!argv4 || !*argv4)
        return "1";
    char *end = nullptr;
    long n = std::strtol(argv4, &end, 10);
    if (*end != '\0' || n <= 0 || n > 9999)
        return "1";
    return std::to_string(n);
}

namespace
{

std::string markedChoice(ppd_file_t *ppd, const char *keyword, bool *marked)
{
    ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
    if (marked)
        *marked = choice != nullptr;
    return choice ? std::string(choice->choice) : std::string();
}

} // namespace

JobSettings readJobSettings(const char *ppdPath, const char *optionText, const char *copies,
                            FilterLog &log)
{
    JobSettings s;
    s.copies = copiesText(copies);

    ppd_file_t *ppd = (ppdPath && *ppdPath) ? ppdOpenFile(ppdPath) : nullptr;
    if (!ppd) {
        log.keep("no readable PPD (%s); the defaults and the raster header's page size are used",
                 ppdPath ? ppdPath : "PPD not set");
    } else {
        s.havePpd = true;
        ppdMarkDefaults(ppd);
        cups_option_t *options = nullptr;
        int count = optionText ? cupsParseOptions(optionText, 0, &options) : 0;
        if (count > 0)
            cupsMarkOptions(ppd, count, options);
        cupsFreeOptions(count, options);

        ppd_size_t *size = ppdPageSize(ppd, nullptr);
        if (size)
            s.pageSizeName = size->name;

        bool marked = false;
        s.watermarkOptions = markedChoice(ppd, "WatermarkOptions", &marked);
        s.waterMark = marked && s.watermarkOptions != "None";
        s.colorMode = markedChoice(ppd, "ColorMode", &marked);
        s.isColor = colorModeValue(marked ? s.colorMode.c_str() : nullptr);
        s.resolution = markedChoice(ppd, "Resolution", nullptr);
        s.darknessText = markedChoice(ppd, "cupsDarkness", nullptr);
        ppdClose(ppd);
    }
    s.resolutionChoice = resolutionChoiceFor(s.resolution, s.waterMark, s.isColor);
    s.darkness = darknessFor(s.darknessText);
    log.keep("job settings: paper=%s colorMode=%s isColor=%d resolution=%s code=%d "
             "watermark=%s darkness=%s copies=%s",
             s.pageSizeName.c_str(), s.colorMode.c_str(), s.isColor, s.resolution.c_str(),
             s.resolutionChoice, s.watermarkOptions.c_str(), s.darknessText.c_str(),
             s.copies.c_str());
    return s;
}

} // namespace kolvex
