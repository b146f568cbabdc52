#include "handoff.h"

#include <dirent.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kolvex {

namespace {

constexpr int kOffSendIndex = 0;
constexpr int kOffReceiveIndex = 4;
constexpr int kOffCopies = 8;
constexpr int kOffPagesCount = 12;
constexpr int kOffSize = 16;
constexpr int kOffSlots = 20;

// Start values of the nine semaphores. The ring has 99 usable slots, so the
// sender gets 99 free places: with 100 it could overwrite a name that the
// filter has not read yet.
constexpr int kSemStartValues[kHandoffSemCount] = {99, 0, 1, 1, 0, 1, 0, 1, 0};

union semun {
    int val;
    struct semid_ds *buf;
    unsigned short *array;
};

struct KindSems {
    int free;
    int full;
};

bool kindSems(int kind, KindSems *out)
{
    switch (kind) {
    case kKindPageSize: *out = {kSemSizeFree, kSemSizeFull}; return true;
    case kKindCopies: *out = {kSemCopiesFree, kSemCopiesFull}; return true;
    case kKindFileName: *out = {kSemNamesFree, kSemNamesWaiting}; return true;
    case kKindPagesCount: *out = {kSemCountFree, kSemCountFull}; return true;
    default: return false;
    }
}

int semStep(int id, int num, int delta)
{
    struct sembuf op;
    op.sem_num = static_cast<unsigned short>(num);
    op.sem_op = static_cast<short>(delta);
    op.sem_flg = 0;
    int r;
    // A signal handler that returns (SIGCHLD, SIGHUP ...) must not turn a
    // wait into a failure; SIGTERM never returns here.
    do {
        r = semop(id, &op, 1);
    } while (r == -1 && errno == EINTR);
    return r;
}

int nextIndex(int index)
{
    return index >= kHandoffLastSlot || index < 0 ? 0 : index + 1;
}

int previousIndex(int index)
{
    return index <= 0 ? kHandoffLastSlot : index - 1;
}

} // namespace

key_t networkHandoffKey(int jobId)
{
    std::srand(static_cast<unsigned>(jobId));
    return static_cast<key_t>(std::rand() % 101 + 1);
}

int createsem(key_t key, int n, FilterLog &log)
{
    int id = semget(key, n, IPC_CREAT | 0666);
    if (id == -1)
        log.line("%s semget(createsem) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
    return id;
}

int opensem(key_t key, FilterLog &log)
{
    int id = semget(key, 0, 0);
    if (id == -1)
        log.line("%s semget(opensem) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
    return id;
}

int setsem(int id, int num, int value, FilterLog &log)
{
    union semun arg;
    arg.val = value;
    if (semctl(id, num, SETVAL, arg) == -1) {
        log.line("%s semctl(setsem) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
        return -1;
    }
    return 1;
}

int waitSem(int id, int num, FilterLog &log)
{
    if (semStep(id, num, -1) == -1) {
        log.line("%s semop(waitSem) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
        return -1;
    }
    return 0;
}

int sigSem(int id, int num, FilterLog &log)
{
    if (semStep(id, num, +1) == -1) {
        log.line("%s semop(sigSem) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
        return -1;
    }
    return 0;
}

int deleteSem(int id)
{
    return semctl(id, 0, IPC_RMID);
}

int createshm(key_t key, int size, FilterLog &log)
{
    int id = shmget(key, static_cast<size_t>(size), IPC_CREAT | 0666);
    if (id == -1)
        log.line("%s shmget(createshm) error, the errno=%d, the info: %s", log.prefix().c_str(),
                 errno, std::strerror(errno));
    return id;
}

int unLinkShm(const void *address)
{
    return shmdt(address);
}

int deleteshm(int id)
{
    return shmctl(id, IPC_RMID, nullptr);
}

int32_t *Handoff::field(int offset) const
{
    return reinterpret_cast<int32_t *>(shm_send_receve + offset);
}

char *Handoff::slot(int index) const
{
    return shm_send_receve + kOffSlots + BUFSIZE * index;
}

int Handoff::attach(key_t key, bool create)
{
    failed_ = false;
    const char *p = log_.prefix().c_str();
    semid = create ? createsem(key, kHandoffSemCount, log_) : opensem(key, log_);
    if (semid == -1) {
        log_.line("%s the sem get error, errno = %d, reason:%s", p, errno, std::strerror(errno));
        return -1;
    }
    shmid = createshm(key, kHandoffShmSize, log_);
    if (shmid == -1) {
        log_.line("%s the shm get error, errno = %d, reason:%s", p, errno, std::strerror(errno));
        return -2;
    }
    void *address = shmat(shmid, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        log_.line("%s the shmat error, errno = %d, reason:%s", p, errno, std::strerror(errno));
        shm_send_receve = nullptr;
        return -3;
    }
    shm_send_receve = static_cast<char *>(address);
    return 1;
}

int Handoff::initsender(key_t key)
{
    int r = attach(key, true);
    if (r != 1)
        return r;
    for (int i = 0; i < kHandoffSemCount; ++i)
        setsem(semid, i, kSemStartValues[i], log_);
    std::memset(shm_send_receve, 0, kHandoffShmSize);
    return 1;
}

int Handoff::initreceiver(key_t key)
{
    return attach(key, false);
}

void Handoff::produce(const std::string &text, int kind)
{
    static const char *const kNames[] = {"", "size", "copies", "filepth", "pagescount"};
    KindSems sems;
    if (!kindSems(kind, &sems) || !shm_send_receve)
        return;
    log_.debug(" write %s = %s, to the shared memroy:", kNames[kind], text.c_str());
    if (waitSem(semid, sems.free, log_) == -1)
        return;
    if (waitSem(semid, kSemMutex, log_) == -1) {
        sigSem(semid, sems.free, log_);
        return;
    }
    produce_send(text, kind);
    sigSem(semid, kSemMutex, log_);
    sigSem(semid, sems.full, log_);
}

void Handoff::produce_send(const std::string &text, int kind)
{
    const char *p = log_.prefix().c_str();
    switch (kind) {
    case kKindPageSize:
        *field(kOffSize) = std::atoi(text.c_str());
        log_.verboseLine("%s the shme pagesize=%s", p, text.c_str());
        break;
    case kKindCopies:
        *field(kOffCopies) = std::atoi(text.c_str());
        log_.verboseLine("%s the shme copies=%s", p, text.c_str());
        break;
    case kKindPagesCount:
        *field(kOffPagesCount) = std::atoi(text.c_str());
        log_.verboseLine("%s the shme pagescount=%s", p, text.c_str());
        break;
    case kKindFileName: {
        int index = nextIndex(*field(kOffSendIndex));
        *field(kOffSendIndex) = index;
        char *s = slot(index);
        std::memset(s, 0, BUFSIZE);
        // A name longer than a slot would not be a page file of ours; it is
        // cut to the slot and the receiver will not match it.
        std::strncpy(s, text.c_str(), BUFSIZE - 1);
        log_.verboseLine("%s the shme fileConvert=%s", p, text.c_str());
        break;
    }
    default:
        break;
    }
}

std::string Handoff::consume(int kind)
{
    KindSems sems;
    buffer[0] = '\0';
    if (!kindSems(kind, &sems) || !shm_send_receve)
        return std::string();
    if (waitSem(semid, sems.full, log_) == -1) {
        failed_ = true;
        return std::string();
    }
    if (waitSem(semid, kSemMutex, log_) == -1) {
        failed_ = true;
        sigSem(semid, sems.full, log_);
        return std::string();
    }
    std::string value = consume_receive(kind);
    sigSem(semid, kSemMutex, log_);
    sigSem(semid, sems.free, log_);
    return value;
}

std::string Handoff::consume_receive(int kind)
{
    const char *p = log_.prefix().c_str();
    if (kind != kKindFileName) {
        int offset = kind == kKindCopies ? kOffCopies
                     : kind == kKindPagesCount ? kOffPagesCount
                                               : kOffSize;
        const char *name = kind == kKindCopies ? "copies"
                           : kind == kKindPagesCount ? "pagescount"
                                                     : "size";
        int32_t value = *field(offset);
        log_.line("%s the receive consumer %s = %d", p, name, value);
        std::snprintf(buffer, sizeof buffer, "%d", value);
        if (value != 0) {
            *field(offset) = 0;
            return buffer;
        }
        // Nothing written yet. The mailbox simply goes back to free (the
        // caller asks again and the sender's next value fills it); the
        // file-name ring is not touched, so its counts stay right.
        if (kind == kKindPageSize)
            log_.verboseLine("%s consumer get the useless value, return the goods to the store", p);
        else
            log_.verboseLine("%s get the useless value, return the goods to the store", p);
        buffer[0] = '\0';
        return std::string();
    }

    int index = nextIndex(*field(kOffReceiveIndex));
    *field(kOffReceiveIndex) = index;
    char *s = slot(index);
    std::memcpy(buffer, s, BUFSIZE);
    buffer[BUFSIZE - 1] = '\0';
    log_.verboseLine("%s the receive consumer file name = %s", p, buffer);
    if (buffer[0] != '\0' && std::strlen(buffer) != 1) {
        std::memset(s, 0, BUFSIZE);
        return buffer;
    }
    // The slot is not written yet: give the name back to the ring so that
    // the counts are as before this call.
    log_.verboseLine("%s get the useless value, return the goods to the store", p);
    waitSem(semid, kSemNamesFree, log_);
    *field(kOffReceiveIndex) = previousIndex(index);
    sigSem(semid, kSemNamesWaiting, log_);
    buffer[0] = '\0';
    return std::string();
}

int Handoff::unlinkshm()
{
    if (!shm_send_receve) {
        errno = EINVAL;
        return -1;
    }
    int r = unLinkShm(shm_send_receve);
    if (r == 0)
        shm_send_receve = nullptr;
    return r;
}

int Handoff::removeSem()
{
    int r = deleteSem(semid);
    if (r == 0)
        semid = -1;
    return r;
}

int Handoff::removeShm()
{
    int r = deleteshm(shmid);
    if (r == 0)
        shmid = -1;
    return r;
}

int selectfile(const struct dirent *entry)
{
    return std::strstr(entry->d_name, ".jbg") != nullptr;
}

} // namespace kolvex
