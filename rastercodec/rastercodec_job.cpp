#include "rastercodec_job.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "announcer.h"
#include "colour_rule.h"
#include "filter_log.h"
#include "handoff.h"
#include "job_settings.h"
#include "page_composer.h"
#include "page_spool.h"
#include "plane_geometry.h"
#include "printers_root.h"
#include "row_decoder.h"
#include "watermark_bitmap.h"

namespace kolvex
{

namespace
{

// The largest page number whose path must still fit a hand-off slot.
constexpr int kLongestPageNumber = 99999;

void sleepMs(unsigned ms)
{
    usleep(ms * 1000u);
}

void onTerm(int)
{
    // The job was cancelled: take back every file of this job; the filter
    // removes the hand-off objects on its own cancellation.
    PageSpool::removeAllFromSignal();
    _exit(0);
}

void installSignals()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = onTerm;
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, nullptr);
}

struct RasterCloser {
    void operator()(cups_raster_t *r) const { cupsRasterClose(r); }
};

// Rasterizes the pages of a raster stream into the spool. Returns false on
// a stream or file error (the pages written so far stay in the spool).
class PageWriter
{
  public:
    PageWriter(const ModelConfig &model, const JobSettings &settings, PageSpool &spool,
               FilterLog &log, const std::string &program)
        : model_(model), settings_(settings), spool_(spool), log_(log), program_(program),
          rule_(settings.isColor != 0, settings.darkness)
    {
    }

    bool run(int fd)
    {
        std::unique_ptr<cups_raster_t, RasterCloser> raster(cupsRasterOpen(fd, CUPS_RASTER_READ));
        if (!raster) {
            log_.line("ERROR: [%s] cannot read the raster stream", program_.c_str());
            return false;
        }
        cups_page_header2_t header;
        int page = 0;
        while (cupsRasterReadHeader2(raster.get(), &header)) {
            ++page;
            try {
                if (!onePage(raster.get(), header, page))
                    return false;
            } catch (const std::bad_alloc &) {
                log_.line("ERROR: [%s] not enough memory for page %d", program_.c_str(), page);
                return false;
            }
        }
        return true;
    }

  private:
    bool onePage(cups_raster_t *raster, const cups_page_header2_t &header, int page)
    {
        RowDecoder decoder;
        std::string why;
        if (!decoder.setup(header, &why)) {
            log_.line("ERROR: [%s] page %d: %s", program_.c_str(), page, why.c_str());
            return false;
        }
        const SourcePage source = sourcePageFrom(header);
        const std::string paper =
            settings_.havePpd ? settings_.pageSizeName : std::string(header.cupsPageSizeName);
        const PlaneGeometry plane = planeGeometry(settings_.resolutionChoice, paper,
                                                  source.pageWidthPoints, source.pageHeightPoints);
        log_.keep("page %d: raster %dx%d at %dx%d dpi -> planes %dx%d at %dx%d dpi (%s%s)", page,
                  source.width, source.height, source.dpiX, source.dpiY, plane.width, plane.height,
                  plane.dpiX, plane.dpiY, paper.c_str(), plane.fromTable ? "" : ", page size");

        PageComposer composer(source, plane, rule_);
        std::vector<uint8_t> line(decoder.bytesPerLine());
        std::vector<uint8_t> rgb(static_cast<size_t>(decoder.width()) * 3);
        for (int y = 0; y < source.height; ++y) {
            if (cupsRasterReadPixels(raster, line.data(), decoder.bytesPerLine()) !=
                decoder.bytesPerLine()) {
                log_.line("ERROR: [%s] page %d ends early at line %d", program_.c_str(), page, y);
                return false;
            }
            decoder.decode(line.data(), rgb.data());
            composer.addRow(y, rgb.data());
        }
        if (settings_.waterMark)
            stamp(paper, composer);
        if (!spool_.writePage(page, composer.black(), composer.red(), &why)) {
            log_.line("ERROR: [%s] %s", program_.c_str(), why.c_str());
            return false;
        }
        log_.keep("page %d written: %s (%zu black dots, %zu red dots)", page,
                  spool_.paths().blackPlane(page).c_str(), composer.black().countSet(),
                  composer.red().countSet());
        return true;
    }

    void stamp(const std::string &paper, PageComposer &composer)
    {
        const std::string path = watermarkPath(printersRoot(), model_.modelName, model_.suffix,
                                               paper, settings_.resolutionChoice);
        if (path.empty()) {
            log_.keep("no watermark bitmap for paper %s; page printed without it", paper.c_str());
            return;
        }
        if (path != watermarkPath_) {
            watermarkPath_ = path;
            std::string why;
            haveWatermark_ = loadWatermark(path, &watermark_, &why);
            if (!haveWatermark_)
                log_.keep("watermark not stamped: %s", why.c_str());
        }
        if (haveWatermark_) {
            stampWatermark(watermark_, composer.black(), composer.red());
            log_.keep("watermark %s stamped", path.c_str());
        }
    }

    const ModelConfig &model_;
    const JobSettings &settings_;
    PageSpool &spool_;
    FilterLog &log_;
    std::string program_;
    ColourRule rule_;
    std::string watermarkPath_;
    bool haveWatermark_ = false;
    Bilevel watermark_;
};

} // namespace

int runRastercodec(const ModelConfig &model, int argc, char **argv)
{
    const bool network = model.network;
    const std::string program = network ? "rastercodec-net" : "rastercodec";
    FilterLog log(stderr, std::string("DEBUG:[KOLVEX-") + model.modelName + "][" + program + "]",
                  true);
    setbuf(stderr, nullptr);
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n",
                     program.c_str());
        return 1;
    }

    // The next filter reads nothing from us: give it end-of-file at once.
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull >= 0) {
        dup2(devnull, STDOUT_FILENO);
        close(devnull);
    }
    installSignals();

    const std::string jobId = argv[1];
    const JobSettings settings = readJobSettings(std::getenv("PPD"), argv[5], argv[4], log);
    const FilterPaths paths = FilterPaths::make(model, printersRoot(), jobId);

    PageSpool spool(paths);
    spool.registerForSignals();
    std::string why;
    if (!spool.start(&why)) {
        log.line("ERROR: [%s] %s", program.c_str(), why.c_str());
        return 1;
    }

    Handoff handoff(log);
    Announcer announcer(handoff, log, sleepMs);
    const key_t key = network ? networkHandoffKey(std::atoi(jobId.c_str())) : kUsbHandoffKey;
    if (!announcer.open(key)) {
        log.line("ERROR: [%s] cannot create the page hand-off with the filter", program.c_str());
        spool.finish();
        return 1;
    }

    bool ok = true;
    if (static_cast<int>(paths.blackPlane(kLongestPageNumber).size()) >= BUFSIZE) {
        log.line("ERROR: [%s] the page directory %s is too long for the hand-off", program.c_str(),
                 paths.pageDir.c_str());
        ok = false;
    }

    if (ok) {
        int fd = STDIN_FILENO;
        if (argc == 7) {
            fd = open(argv[6], O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                log.line("ERROR: [%s] cannot open %s: %s", program.c_str(), argv[6],
                         std::strerror(errno));
                ok = false;
            }
        }
        if (ok) {
            PageWriter writer(model, settings, spool, log, program);
            ok = writer.run(fd);
            if (fd != STDIN_FILENO)
                close(fd);
        }
    }

    // Announce what was written. A job with no page gets the placeholder and
    // a count of one, so the filter finds the end marker instead of a page
    // and ends the job without printing.
    const int pages = spool.pagesWritten();
    std::vector<std::string> names;
    for (int page = 1; page <= pages; ++page)
        names.push_back(paths.blackPlane(page));
    if (pages == 0) {
        log.keep("no page to print; the filter is told the job is empty");
        if (!spool.writePlaceholder(&why))
            log.line("ERROR: [%s] %s", program.c_str(), why.c_str());
    }
    const bool attached = announcer.waitForReceiver(kReceiverWaitPolls);
    announcer.announce(settings.copies, pages > 0 ? pages : 1, names);
    spool.finish();
    log.keep("announced %d page(s) and the end marker", pages);

    if (attached || announcer.receiverPresent()) {
        announcer.waitForJobEnd();
        spool.removeLeftovers();
    }
    return ok ? 0 : 1;
}

} // namespace kolvex
