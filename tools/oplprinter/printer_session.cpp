#include "printer_session.h"

#include "page_image.h"
#include "transcript.h"

#include <cstdio>
#include <cstdlib>

namespace oplprinter
{

namespace
{

const char kWidth[] = "RasterObject.Width=";
const char kHeight[] = "RasterObject.Height=";

// The number of a "Key=123;" setting, or 0.
long settingNumber(const std::string &text, const char *key)
{
    const std::size_t n = std::char_traits<char>::length(key);
    if (text.compare(0, n, key) != 0)
        return 0;
    return std::strtol(text.c_str() + n, nullptr, 10);
}

} // namespace

PrinterSession::PrinterSession(Scenario scenario, PrinterOptions options, std::ostream *log,
                               int *pageCounter)
    : scenario_(std::move(scenario)), options_(std::move(options)), log_(log),
      pageCounter_(pageCounter)
{
    scenario_.reset();
}

void PrinterSession::logLine(const std::string &line)
{
    if (log_) {
        *log_ << line << '\n';
        log_->flush();
    }
}

std::string PrinterSession::feed(const char *bytes, std::size_t len)
{
    std::vector<OplEvent> events;
    parser_.feed(bytes, len, events);
    return handle(events);
}

std::string PrinterSession::idle()
{
    std::vector<OplEvent> events;
    parser_.markBoundary(events);
    return handle(events);
}

void PrinterSession::finish()
{
    std::vector<OplEvent> events;
    parser_.finish(events);
    handle(events);
    if (!black_.empty() || !red_.empty())
        logLine("page not printed: the host left before \"Event=EndOfPage;\" (" +
                std::to_string(black_.size()) + " black, " + std::to_string(red_.size()) +
                " red plane bytes dropped)");
    black_.clear();
    red_.clear();
}

std::string PrinterSession::handle(std::vector<OplEvent> &events)
{
    std::string replies;
    for (auto &event : events) {
        Exchange x;
        x.page = scenario_.pagesEnded() + 1;
        x.reply = scenario_.answer(event);
        x.event = std::move(event);
        logLine(renderEvent(x.event));
        if (x.reply) {
            logLine("  <- " + *x.reply);
            if (sink_)
                sink_(*x.reply);
            else
                replies += *x.reply;
        }

        const OplEvent &e = x.event;
        if (e.kind == OplEventKind::DataPackage) {
            (e.red ? red_ : black_) += e.data;
        } else if (e.kind == OplEventKind::Command) {
            if (long w = settingNumber(e.text, kWidth))
                announcedWidth_ = w;
            if (long h = settingNumber(e.text, kHeight))
                announcedHeight_ = h;
            const bool jobBoundary =
                e.text.compare(0, 16, "Event=StartOfJob") == 0 || e.text == "Event=EndOfJob;";
            if (jobBoundary && (!black_.empty() || !red_.empty())) {
                logLine("page " + std::to_string(x.page) +
                        " of this job not printed: the job ended or restarted before its end "
                        "of page");
                black_.clear();
                red_.clear();
            }
            if (e.text == "Event=EndOfPage;")
                printPage(x.page, x.reply);
        }
        exchanges_.push_back(std::move(x));
    }
    events.clear();
    return replies;
}

// Called at a page's end-of-page event: decodes both planes and writes the
// next page-NNN.png, unless the printer itself cancelled the job (0004).
void PrinterSession::printPage(int hostPage, const Reply &endReply)
{
    const std::string what = "page " + std::to_string(hostPage) + " of this job";
    if (endReply && endReply->compare(0, 4, "0004") == 0) {
        logLine(what + " not printed: the job was cancelled at the printer");
    } else if (black_.empty() && red_.empty()) {
        logLine(what + " not printed: no plane data came");
    } else {
        Bitmap black, red;
        std::string error;
        bool usable = true;
        if (!black_.empty() && !decodeJbig(black_, black, &error)) {
            logLine(what + ": black plane unreadable: " + error);
            usable = false;
        }
        if (!red_.empty() && !decodeJbig(red_, red, &error)) {
            logLine(what + ": red plane unreadable: " + error);
            usable = false;
        }
        if (!black.empty() && !red.empty() &&
            (black.width != red.width || black.height != red.height))
            logLine(what + ": warning: black plane " + std::to_string(black.width) + "x" +
                    std::to_string(black.height) + " and red plane " + std::to_string(red.width) +
                    "x" + std::to_string(red.height) + " differ");
        const Bitmap &page = black.empty() ? red : black;
        if (announcedWidth_ && announcedHeight_ && !page.empty() &&
            (static_cast<unsigned long>(announcedWidth_) != page.width ||
             static_cast<unsigned long>(announcedHeight_) != page.height))
            logLine(what + ": warning: planes are " + std::to_string(page.width) + "x" +
                    std::to_string(page.height) + " but the page header announced " +
                    std::to_string(announcedWidth_) + "x" + std::to_string(announcedHeight_));
        if (usable) {
            const int number = ++*pageCounter_;
            char name[32];
            std::snprintf(name, sizeof name, "page-%03d.png", number);
            const std::string path = options_.outDir + "/" + name;
            if (writePagePng(path, black, red, options_.scale, &error)) {
                printed_.push_back(path);
                logLine(what + " printed as " + name + " (" + std::to_string(page.width) + "x" +
                        std::to_string(page.height) + ", black " + std::to_string(black_.size()) +
                        " bytes, red " + std::to_string(red_.size()) + " bytes)");
            } else {
                logLine(what + " not printed: " + error);
            }
        }
    }
    black_.clear();
    red_.clear();
}

} // namespace oplprinter
