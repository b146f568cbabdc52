// The emulated printer's side of one connection: parses the OPL stream,
// answers by the scenario, collects each page's black and red planes and
// prints the page (a PNG) at its end-of-page event, and logs every command
// and reply.
#pragma once

#include "filter_run.h"
#include "opl_stream.h"
#include "scenario.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace oplprinter
{

struct PrinterOptions {
    std::string outDir = "."; // where page-NNN.png go
    int scale = 1;            // PNG shrink factor (1 = full size)
};

class PrinterSession
{
  public:
    // log receives one line per command, reply and printed page; it may be
    // nullptr. pageCounter numbers the PNG files across sessions.
    PrinterSession(Scenario scenario, PrinterOptions options, std::ostream *log, int *pageCounter);

    // Where replies go the moment they are known, before a finished page is
    // decoded and written (which takes a while for a full-size page). Without
    // a sink, feed() and idle() return the replies instead.
    using ReplySink = std::function<void(const std::string &reply)>;
    void setReplySink(ReplySink sink) { sink_ = std::move(sink); }

    // Takes bytes from the host; returns the reply bytes to send back now
    // (empty when a sink takes them).
    std::string feed(const char *bytes, std::size_t len);
    std::string feed(const std::string &bytes) { return feed(bytes.data(), bytes.size()); }
    // The line has gone quiet: a pending filler or package close is complete.
    std::string idle();
    // The host closed the connection: flushes and reports unfinished pages.
    void finish();

    const std::vector<Exchange> &exchanges() const { return exchanges_; }
    // PNG files written by this session, in page order.
    const std::vector<std::string> &printedPages() const { return printed_; }

  private:
    std::string handle(std::vector<OplEvent> &events);
    void printPage(int hostPage, const Reply &endReply);
    void logLine(const std::string &line);

    Scenario scenario_;
    PrinterOptions options_;
    ReplySink sink_;
    std::ostream *log_;
    int *pageCounter_;
    OplParser parser_;
    std::vector<Exchange> exchanges_;
    std::vector<std::string> printed_;
    std::string black_, red_; // the current page's plane data
    long announcedWidth_ = 0; // from "RasterObject.Width=" of the page header
    long announcedHeight_ = 0;
};

} // namespace oplprinter
