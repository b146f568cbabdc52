#include "job_options.h"

#include <cups/cups.h>
#include <cups/ppd.h>

namespace kolvex {

namespace {

// The PPD interface is what CUPS filters read their options with; its
// deprecation notes point at IPP destinations, which a filter has no use for.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

bool markedChoice(ppd_file_t *ppd, const char *keyword, std::string *out)
{
    ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
    if (!choice)
        return false;
    *out = choice->choice;
    return true;
}

bool readFromPpd(const char *ppdPath, const char *optionText, JobOptions *o, FilterLog &log)
{
    ppd_file_t *ppd = ppdOpenFile(ppdPath);
    if (!ppd) {
        int line = 0;
        ppd_status_t status = ppdLastError(&line);
        log.line("WARNING: The PPD file %s could not be read (%s, line %d); using the job's options.",
                 ppdPath, ppdErrorString(status), line);
        return false;
    }

    cups_option_t *options = nullptr;
    int count = cupsParseOptions(optionText ? optionText : "", 0, &options);
    ppdMarkDefaults(ppd);
    cupsMarkOptions(ppd, count, options);
    cupsFreeOptions(count, options);

    if (ppd_size_t *size = ppdPageSize(ppd, nullptr)) {
        log.debug("size->bottom=%f,size->left=%f,size->length=%f,size->marked=%d,size->name=%s,"
                  "size->right=%f,size->top=%f,size->width=%f",
                  size->bottom, size->left, size->length, size->marked, size->name, size->right,
                  size->top, size->width);
        o->pageSize = size->name;
    }
    markedChoice(ppd, "MediaType", &o->mediaType);
    o->watermarkMarked = markedChoice(ppd, "WatermarkOptions", &o->watermarkOptions);
    o->colorModeMarked = markedChoice(ppd, "ColorMode", &o->colorMode);
    markedChoice(ppd, "Resolution", &o->resolution);
    markedChoice(ppd, "InputSlot", &o->inputSlot);
    markedChoice(ppd, "cupsDarkness", &o->darkness);
    o->duplexMarked = markedChoice(ppd, "Duplex", &o->duplex);
    ppdClose(ppd);
    return true;
}

#pragma GCC diagnostic pop

bool option(int count, cups_option_t *options, const char *name, std::string *out)
{
    const char *value = cupsGetOption(name, count, options);
    if (!value)
        return false;
    *out = value;
    return true;
}

void readFromOptionText(const char *optionText, JobOptions *o)
{
    cups_option_t *options = nullptr;
    int count = cupsParseOptions(optionText ? optionText : "", 0, &options);
    if (!option(count, options, "PageSize", &o->pageSize))
        option(count, options, "media", &o->pageSize);
    option(count, options, "MediaType", &o->mediaType);
    o->watermarkMarked = option(count, options, "WatermarkOptions", &o->watermarkOptions);
    o->colorModeMarked = option(count, options, "ColorMode", &o->colorMode);
    option(count, options, "Resolution", &o->resolution);
    option(count, options, "InputSlot", &o->inputSlot);
    option(count, options, "cupsDarkness", &o->darkness);
    o->duplexMarked = option(count, options, "Duplex", &o->duplex);
    cupsFreeOptions(count, options);
}

} // namespace

bool readJobOptions(const char *ppdPath, const char *optionText, JobOptions *out, FilterLog &log)
{
    *out = JobOptions();
    if (ppdPath && *ppdPath) {
        if (readFromPpd(ppdPath, optionText, out, log))
            return true;
    } else {
        log.line("WARNING: No PPD file for this queue; using the job's options.");
    }
    readFromOptionText(optionText, out);
    return true;
}

} // namespace kolvex
