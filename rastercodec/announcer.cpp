#include "announcer.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

namespace kolvex
{

Announcer::Announcer(Handoff &handoff, FilterLog &log, SleepFn sleep)
    : handoff_(handoff), log_(log), sleep_(sleep)
{
}

bool Announcer::open(key_t key)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (handoff_.initsender(key) == 1) {
            log_.keep("hand-off created, key %d, semid %d, shmid %d", static_cast<int>(key),
                      handoff_.semid, handoff_.shmid);
            return true;
        }
        sleep_(100);
    }
    log_.keep("cannot create the hand-off objects with key %d", static_cast<int>(key));
    return false;
}

int Announcer::attachCount() const
{
    struct shmid_ds ds;
    if (handoff_.shmid < 0 || shmctl(handoff_.shmid, IPC_STAT, &ds) != 0)
        return -1;
    return static_cast<int>(ds.shm_nattch);
}

bool Announcer::objectsExist() const
{
    return handoff_.semid >= 0 && semctl(handoff_.semid, 0, GETVAL) != -1 && attachCount() >= 0;
}

bool Announcer::receiverPresent() const
{
    return objectsExist() && attachCount() >= 2;
}

int Announcer::waiters(int sem) const
{
    const int n = semctl(handoff_.semid, sem, GETNCNT);
    return n < 0 ? 0 : n;
}

bool Announcer::waitForReceiver(int maxPolls)
{
    for (int poll = 0; poll < maxPolls; ++poll) {
        if (!objectsExist()) {
            log_.keep("the hand-off objects were removed before the filter attached");
            return false;
        }
        if (waiters(kSemCopiesFull) + waiters(kSemCountFull) > 0) {
            log_.keep("the filter waits for the job's values");
            return true;
        }
        sleep_(kPollMs);
    }
    log_.keep("no filter waits on the hand-off; announcing anyway");
    return false;
}

bool Announcer::produceWhenFree(int freeSem, const std::string &text, int kind)
{
    for (;;) {
        const int free = semctl(handoff_.semid, freeSem, GETVAL);
        if (free == -1) {
            log_.keep("the hand-off objects are gone (%s); stop announcing", std::strerror(errno));
            return false;
        }
        if (free > 0)
            break;
        if (!receiverPresent()) {
            log_.keep("no filter reads the hand-off; stop announcing at \"%s\"", text.c_str());
            return false;
        }
        sleep_(kPollMs);
    }
    handoff_.produce(text, kind);
    return objectsExist();
}

bool Announcer::announce(const std::string &copies, int pageCount,
                         const std::vector<std::string> &names)
{
    if (!produceWhenFree(kSemCopiesFree, copies, kKindCopies))
        return false;
    if (!produceWhenFree(kSemCountFree, std::to_string(pageCount), kKindPagesCount))
        return false;
    for (const std::string &name : names) {
        if (static_cast<int>(name.size()) >= BUFSIZE) {
            log_.keep("page path %s is longer than a hand-off slot (%d bytes)", name.c_str(),
                      BUFSIZE - 1);
            return false;
        }
        if (!produceWhenFree(kSemNamesFree, name, kKindFileName))
            return false;
    }
    return produceWhenFree(kSemNamesFree, kEndMarker, kKindFileName);
}

void Announcer::waitForJobEnd()
{
    while (receiverPresent())
        sleep_(kEndPollMs);
    if (handoff_.shm_send_receve)
        handoff_.unlinkshm();
    log_.keep("the filter has ended the job");
}

} // namespace kolvex
