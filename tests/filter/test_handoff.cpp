// The hand-off with the rasterizer over real SysV semaphores and shared
// memory: the ring's slots and wrap, the mailboxes, the give-backs, removal.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "filter_test_support.h"

using namespace filtertest;
using namespace kolvex;

namespace {

struct Pair {
    Pair() : key(uniqueKey()), sender(senderLog.log()), receiver(receiverLog.log())
    {
        EXPECT_EQ(sender.initsender(key), 1);
        EXPECT_EQ(receiver.initreceiver(key), 1);
    }
    ~Pair()
    {
        receiver.unlinkshm();
        sender.unlinkshm();
        sender.removeSem();
        sender.removeShm();
    }
    int semValue(int num) const { return semctl(sender.semid, num, GETVAL); }
    int32_t field(int offset) const
    {
        int32_t v;
        std::memcpy(&v, receiver.shm_send_receve + offset, sizeof v);
        return v;
    }
    const char *slot(int i) const { return receiver.shm_send_receve + 20 + 70 * i; }

    key_t key;
    CapturedLog senderLog, receiverLog;
    Handoff sender;
    Handoff receiver;
};

TEST(Handoff, ReceiverNeedsTheSendersSemaphoreSet)
{
    CapturedLog log;
    Handoff receiver(log.log());
    EXPECT_EQ(receiver.initreceiver(uniqueKey()), -1);
    EXPECT_NE(log.text().find("the sem get error"), std::string::npos);
}

TEST(Handoff, SenderStartsEverySemaphoreAndZeroesTheBlock)
{
    Pair p;
    const int expected[] = {99, 0, 1, 1, 0, 1, 0, 1, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(p.semValue(i), expected[i]) << "semaphore " << i;
    struct shmid_ds ds;
    ASSERT_EQ(shmctl(p.sender.shmid, IPC_STAT, &ds), 0);
    EXPECT_EQ(ds.shm_segsz, 7020u);
    EXPECT_EQ(ds.shm_perm.mode & 0777, 0666);
}

TEST(Handoff, NumbersGoThroughTheirMailboxes)
{
    Pair p;
    p.sender.produce("3", kKindCopies);
    p.sender.produce("12", kKindPagesCount);
    EXPECT_EQ(p.field(8), 3);
    EXPECT_EQ(p.field(12), 12);
    EXPECT_EQ(p.receiver.consume(kKindCopies), "3");
    EXPECT_EQ(p.receiver.consume(kKindPagesCount), "12");
    EXPECT_EQ(p.field(8), 0);  // taken
    EXPECT_EQ(p.semValue(kSemCopiesFree), 1);
    EXPECT_EQ(p.semValue(kSemCopiesFull), 0);
}

TEST(Handoff, ZeroCopiesIsNotYetAValueAndLeavesTheRingAlone)
{
    Pair p;
    p.sender.produce("0", kKindCopies);
    EXPECT_EQ(p.receiver.consume(kKindCopies), "");
    EXPECT_EQ(p.semValue(kSemNamesFree), 99);
    EXPECT_EQ(p.semValue(kSemNamesWaiting), 0);
    EXPECT_EQ(p.semValue(kSemCopiesFree), 1);  // the sender can write the real value
    p.sender.produce("2", kKindCopies);
    EXPECT_EQ(p.receiver.consume(kKindCopies), "2");
}

TEST(Handoff, RingUsesSlotsOneToNinetyEightThenZero)
{
    Pair p;
    for (int i = 1; i <= 98; ++i) {
        p.sender.produce("/p/name" + std::to_string(i), kKindFileName);
        EXPECT_STREQ(p.slot(i), ("/p/name" + std::to_string(i)).c_str());
        EXPECT_EQ(p.receiver.consume(kKindFileName), "/p/name" + std::to_string(i));
    }
    p.sender.produce("/p/name99", kKindFileName);
    EXPECT_STREQ(p.slot(0), "/p/name99");
    p.sender.produce("/p/name100", kKindFileName);
    EXPECT_STREQ(p.slot(1), "/p/name100");
    EXPECT_EQ(p.receiver.consume(kKindFileName), "/p/name99");
    EXPECT_EQ(p.receiver.consume(kKindFileName), "/p/name100");
    EXPECT_STREQ(p.slot(99), "");  // never used
    // A read slot is cleared.
    EXPECT_STREQ(p.slot(0), "");
}

TEST(Handoff, SenderCannotRunAHundredNamesAhead)
{
    Pair p;
    for (int i = 1; i <= 99; ++i)
        p.sender.produce("/p/n" + std::to_string(i), kKindFileName);
    EXPECT_EQ(p.semValue(kSemNamesFree), 0);  // the 100th would wait
    EXPECT_EQ(p.receiver.consume(kKindFileName), "/p/n1");
    EXPECT_EQ(p.semValue(kSemNamesFree), 1);
}

TEST(Handoff, OneCharacterNameIsGivenBackToTheRing)
{
    Pair p;
    p.sender.produce("x", kKindFileName);
    EXPECT_EQ(p.receiver.consume(kKindFileName), "");
    EXPECT_EQ(p.semValue(kSemNamesWaiting), 1);
    EXPECT_EQ(p.semValue(kSemNamesFree), 98);
    EXPECT_EQ(p.field(4), 0);  // receiveIndex stepped back
}

TEST(Handoff, ReceiverWaitsForTheSenderInAnotherProcess)
{
    Pair p;
    pid_t child = fork();
    if (child == 0) {
        usleep(100000);
        CapturedLog log;
        Handoff sender(log.log());
        if (sender.initreceiver(p.key) != 1)
            _exit(1);
        sender.produce("/p/late.jbg", kKindFileName);
        _exit(0);
    }
    EXPECT_EQ(p.receiver.consume(kKindFileName), "/p/late.jbg");
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Handoff, RemovedObjectsEndAWaitAndLetTheNextJobStartAfresh)
{
    key_t key;
    {
        Pair p;
        key = p.key;
        EXPECT_EQ(p.receiver.unlinkshm(), 0);
        EXPECT_EQ(p.receiver.removeSem(), 0);
        EXPECT_EQ(p.receiver.removeShm(), 0);
        EXPECT_EQ(p.sender.consume(kKindFileName), "");
        EXPECT_TRUE(p.sender.failed());
    }
    EXPECT_EQ(semget(key, 0, 0), -1);
    CapturedLog log;
    Handoff next(log.log());
    EXPECT_EQ(next.initsender(key), 1);
    EXPECT_EQ(semctl(next.semid, kSemNamesFree, GETVAL), 99);
    next.unlinkshm();
    next.removeSem();
    next.removeShm();
}

} // namespace
