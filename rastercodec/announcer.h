// The rasterizer's side of the page hand-off: it creates the hand-off
// objects, waits until the filter has attached, then announces the copies
// value, the page count, every page's black-plane path and the end marker,
// and finally waits until the filter has ended the job.
//
// The filter needs the page count before it locks the printer, and the
// page count is only known at the end of the raster stream; so the pages
// are all written first and announced afterwards. Nothing is announced
// before the filter waits for its first value (it sleeps on the copies or
// page-count semaphore): by then it is done with its own set-up, which
// resets the objects when it started before the rasterizer had made them
// and would wipe a value announced earlier.
//
// A name is produced only when the ring has a free place (the filter has
// read the names before it), so the rasterizer never runs 100 names ahead,
// and it never blocks on a filter that has gone away.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "filter_log.h"
#include "handoff.h"

namespace kolvex
{

class Announcer
{
  public:
    using SleepFn = void (*)(unsigned milliseconds);

    Announcer(Handoff &handoff, FilterLog &log, SleepFn sleep);

    // initsender, tried a few times; false when the objects cannot be made.
    bool open(key_t key);

    // Polls (every kPollMs) until the filter waits for the copies value or
    // the page count, at most maxPolls times. False on time-out or when the
    // objects vanished.
    bool waitForReceiver(int maxPolls);

    // Announces copies, the page count, the names in order and "convert-end".
    // Stops early (false) when the filter goes away or removes the objects.
    bool announce(const std::string &copies, int pageCount, const std::vector<std::string> &names);

    // Polls until the filter has ended the job: it removed the objects or
    // detached from them. Detaches this side too.
    void waitForJobEnd();

    // True while the objects exist and the receiver is attached.
    bool receiverPresent() const;
    bool objectsExist() const;

    static constexpr unsigned kPollMs = 20;
    static constexpr unsigned kEndPollMs = 200;

  private:
    bool produceWhenFree(int freeSem, const std::string &text, int kind);
    int attachCount() const;
    int waiters(int sem) const;

    Handoff &handoff_;
    FilterLog &log_;
    SleepFn sleep_;
};

} // namespace kolvex
