// The page hand-off between the rasterizer (rastercodec) and the filter: a
// SysV semaphore set and a shared-memory block through which the rasterizer
// announces the job's copies, its page count and the file name of every black
// plane it has written, ending with "convert-end".
//
// Block layout (7020 bytes, native 32-bit integers):
//   0 sendIndex, 4 receiveIndex, 8 copies, 12 pagescount, 16 size,
//   20 + 70*i: ring slot i, a NUL-terminated full path.
// Both indices advance before use and wrap after 98, so the ring uses the
// slots 1..98, 0; slot 99 stays unused.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <string>

#include "filter_log.h"

namespace kolvex {

// The kinds of value passed through the hand-off, the same numbers on both sides.
enum HandoffKind { kKindPageSize = 1, kKindCopies = 2, kKindFileName = 3, kKindPagesCount = 4 };

constexpr int BUFSIZE = 70;              // one ring slot, and the receiver's buffer
constexpr int kHandoffSlots = 100;
constexpr int kHandoffLastSlot = 98;     // indices wrap to 0 after this slot
constexpr int kHandoffShmSize = 7020;
constexpr int kHandoffSemCount = 9;
constexpr key_t kUsbHandoffKey = 61;
constexpr const char *kEndMarker = "convert-end";

// Semaphore numbers of the set.
enum HandoffSem {
    kSemNamesFree = 0,
    kSemNamesWaiting = 1,
    kSemMutex = 2,
    kSemCopiesFree = 3,
    kSemCopiesFull = 4,
    kSemSizeFree = 5,
    kSemSizeFull = 6,
    kSemCountFree = 7,
    kSemCountFull = 8,
};

// The network model derives the key from the job id so that several network
// jobs can hand off pages at once: srand(job id), then rand() % 101 + 1.
// Both sides must use this function (same C library generator).
key_t networkHandoffKey(int jobId);

// Thin wrappers over the IPC calls; each logs its failure with errno on the
// given log (whose prefix is the caller's debug prefix) and returns -1.
int createsem(key_t key, int n, FilterLog &log);
int opensem(key_t key, FilterLog &log);
int setsem(int id, int num, int value, FilterLog &log);
int waitSem(int id, int num, FilterLog &log);
int sigSem(int id, int num, FilterLog &log);
int deleteSem(int id);
int createshm(key_t key, int size, FilterLog &log);
int unLinkShm(const void *address);
int deleteshm(int id);

// One side's view of the hand-off objects.
class Handoff {
public:
    explicit Handoff(FilterLog &log) : log_(log) {}

    // Creates (or takes over) the objects and resets them to their start
    // values: 1 on success, -1 semaphores, -2 shared memory, -3 attach.
    int initsender(key_t key);
    // Attaches to a set the sender has created; values stay as they are.
    // Same results as initsender.
    int initreceiver(key_t key);

    // Sender: waits for room, stores the value, announces it.
    void produce(const std::string &text, int kind);
    // Receiver: waits for a value and returns it; an empty text when the
    // value was not usable yet (the caller asks again).
    std::string consume(int kind);

    // Detaches the block; removes the semaphore set and the block. Each
    // returns the system result (0 or -1 with errno set).
    int unlinkshm();
    int removeSem();
    int removeShm();

    // True once a wait on the semaphore set has failed (the set was
    // removed): the other side is gone and waiting again is pointless.
    bool failed() const { return failed_; }

    int semid = -1;
    int shmid = -1;
    char *shm_send_receve = nullptr;
    char buffer[BUFSIZE] = {};

private:
    void produce_send(const std::string &text, int kind);
    std::string consume_receive(int kind);
    int attach(key_t key, bool create);
    int32_t *field(int offset) const;
    char *slot(int index) const;

    FilterLog &log_;
    bool failed_ = false;
};

// Accepts a directory entry whose name holds ".jbg" (a page file).
int selectfile(const struct dirent *entry);

} // namespace kolvex
