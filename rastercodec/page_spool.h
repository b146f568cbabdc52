// The page files the rasterizer leaves for the filter in the page directory:
// per page a black and a red JBIG plane under the names the filter forms
// (FilterPaths::blackPlane / redPlane), plus the marker file that tells the
// filter the rasterizer is still at work.
//
// A plane is written under a temporary name without ".jbg" and renamed when
// complete, so the filter never counts or sends a half-written page.
#pragma once

#include <string>

#include "bilevel.h"
#include "model_config.h"

namespace kolvex
{

class PageSpool
{
  public:
    explicit PageSpool(const FilterPaths &paths) : paths_(paths) {}

    // Makes the page directory if needed and creates the marker file.
    bool start(std::string *why);

    // Writes page n's two planes; false (with a reason) on any write error,
    // leaving no file of that page behind.
    bool writePage(int page, const Bilevel &black, const Bilevel &red, std::string *why);

    // An empty file "outredelsejbg0.jbg" (never a page of a job): it lets the
    // filter's look for page files succeed when a job has no page to print,
    // so that it reaches the end marker and ends the job.
    bool writePlaceholder(std::string *why);

    // Removes the marker file: the rasterizer has announced everything.
    void finish();

    // Removes whatever page files of this job (and the placeholder) are
    // still there; the filter deletes the pages it has sent.
    void removeLeftovers();

    int pagesWritten() const { return pagesWritten_; }
    const FilterPaths &paths() const { return paths_; }

    // For the SIGTERM handler: removes the marker, the placeholder and the
    // files of pages 1 .. pages written + 1 (the one being written) using
    // only async-signal-safe calls. Registered by registerForSignals().
    static void removeAllFromSignal();
    void registerForSignals();

  private:
    std::string placeholderPath() const;

    FilterPaths paths_;
    int pagesWritten_ = 0;
    bool placeholder_ = false;
};

} // namespace kolvex
