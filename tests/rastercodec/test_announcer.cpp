// The rasterizer's side of the hand-off against the filter's receiving
// code, in one process with a key of its own (not the USB model's 61), and
// with the poll sleeps counted instead of slept.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "announcer.h"
#include "filter_log.h"
#include "handoff.h"
#include "support.h"

using namespace kolvex;

namespace
{

std::atomic<int> gSleeps{0};

void countSleep(unsigned)
{
    ++gSleeps;
}

void shortSleep(unsigned)
{
    ++gSleeps;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class AnnouncerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        // A key of this test process alone.
        key_ = static_cast<key_t>(0x4b560000 + (getpid() & 0xffff));
        rctest::removeHandoff(key_);
        gSleeps = 0;
    }
    void TearDown() override
    {
        if (sender_.shm_send_receve)
            sender_.unlinkshm();
        rctest::removeHandoff(key_);
    }

    key_t key_ = 0;
    FilterLog log_{stderr, "DEBUG:[test]", false};
    Handoff sender_{log_};
};

TEST_F(AnnouncerTest, WaitingForAFilterGivesUpAfterItsPolls)
{
    Announcer a(sender_, log_, countSleep);
    ASSERT_TRUE(a.open(key_));
    EXPECT_FALSE(a.waitForReceiver(7));
    EXPECT_EQ(gSleeps, 7);
}

TEST_F(AnnouncerTest, WaitingForAFilterEndsWhenTheObjectsAreRemoved)
{
    Announcer a(sender_, log_, countSleep);
    ASSERT_TRUE(a.open(key_));
    semctl(sender_.semid, 0, IPC_RMID);
    EXPECT_FALSE(a.waitForReceiver(1000));
    EXPECT_EQ(gSleeps, 0);
}

TEST_F(AnnouncerTest, AnnouncesOnlyOnceTheFilterWaitsAndInTheFiltersOrder)
{
    Announcer a(sender_, log_, shortSleep);
    ASSERT_TRUE(a.open(key_));

    std::vector<std::string> got;
    std::thread filter([&] {
        FilterLog log(stderr, "DEBUG:[filter]", false);
        Handoff receiver(log);
        ASSERT_EQ(receiver.initreceiver(key_), 1);
        got.push_back(receiver.consume(kKindCopies));
        got.push_back(receiver.consume(kKindPagesCount));
        for (int i = 0; i < 3; ++i)
            got.push_back(receiver.consume(kKindFileName));
        receiver.unlinkshm();
    });
    ASSERT_TRUE(a.waitForReceiver(20000));
    EXPECT_TRUE(a.announce("4", 2, {"/p/outredelsejbg1.jbg", "/p/outredelsejbg2.jbg"}));
    filter.join();
    EXPECT_EQ(got, (std::vector<std::string>{"4", "2", "/p/outredelsejbg1.jbg",
                                             "/p/outredelsejbg2.jbg", "convert-end"}));
}

TEST_F(AnnouncerTest, StopsInsteadOfBlockingWhenNoFilterReadsAFullRing)
{
    // 99 names fill the ring; with nobody reading, the 100th is not written
    // over the first and the sender does not hang.
    Announcer a(sender_, log_, countSleep);
    ASSERT_TRUE(a.open(key_));
    std::vector<std::string> names;
    for (int i = 1; i <= 120; ++i)
        names.push_back("/p/outredelsejbg" + std::to_string(i) + ".jbg");
    EXPECT_FALSE(a.announce("1", 120, names));
    EXPECT_EQ(semctl(sender_.semid, kSemNamesWaiting, GETVAL), 99);
    EXPECT_EQ(semctl(sender_.semid, kSemNamesFree, GETVAL), 0);
}

TEST_F(AnnouncerTest, StopsWhenTheFilterRemovesTheObjects)
{
    Announcer a(sender_, log_, countSleep);
    ASSERT_TRUE(a.open(key_));
    // The filter ended its job (and removed the objects) before the names.
    semctl(sender_.semid, 0, IPC_RMID);
    EXPECT_FALSE(a.announce("1", 1, {"/p/outredelsejbg1.jbg"}));
}

TEST_F(AnnouncerTest, RefusesAPathLongerThanASlot)
{
    Announcer a(sender_, log_, countSleep);
    ASSERT_TRUE(a.open(key_));
    std::thread filter([&] {
        FilterLog log(stderr, "DEBUG:[filter]", false);
        Handoff receiver(log);
        ASSERT_EQ(receiver.initreceiver(key_), 1);
        receiver.consume(kKindCopies);
        receiver.consume(kKindPagesCount);
        receiver.unlinkshm();
    });
    EXPECT_FALSE(a.announce("1", 1, {std::string(80, 'x')}));
    filter.join();
    EXPECT_EQ(semctl(sender_.semid, kSemNamesWaiting, GETVAL), 0);
}

TEST_F(AnnouncerTest, JobEndIsSeenWhenTheFilterDetaches)
{
    Announcer a(sender_, log_, shortSleep);
    ASSERT_TRUE(a.open(key_));
    FilterLog log(stderr, "DEBUG:[filter]", false);
    Handoff receiver(log);
    ASSERT_EQ(receiver.initreceiver(key_), 1);
    EXPECT_TRUE(a.receiverPresent());
    std::thread filter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        receiver.unlinkshm();
    });
    a.waitForJobEnd();
    filter.join();
    EXPECT_FALSE(a.receiverPresent());
    EXPECT_EQ(sender_.shm_send_receve, nullptr);
}

} // namespace
