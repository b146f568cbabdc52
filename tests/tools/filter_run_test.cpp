// The backend harness against a real child that uses libcups' side and
// back channels the way the filter does (fake_filter).
#include "filter_run.h"
#include "transcript.h"

#include <cups/sidechannel.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace oplprinter;
using namespace std::chrono_literals;

namespace
{

constexpr auto kLong = 20s; // only reached when something is broken

void prepare(FilterRun &run, const std::string &script)
{
    run.setProgram(FAKE_FILTER_PATH);
    run.setFilterArguments("LR880", "42", "alice", "title", "1", "");
    run.setEnv("FAKE_FILTER_SCRIPT", script);
}

std::string okDrain()
{
    return "drain:" + std::to_string(CUPS_SC_STATUS_OK);
}

} // namespace

TEST(FilterRun, RepliesReachTheFilterThroughLibcupsBackChannel)
{
    FilterRun run(Scenario::warmingUp(1));
    prepare(run, "query:LockPrinter?|query:Status?|query:Status?|send:Nonsense?|drain|read:50|"
                 "exit:0");
    ASSERT_TRUE(run.start()) << run.result().error;
    FilterResult r = run.finish(kLong);
    EXPECT_TRUE(r.ok()) << r.describe();

    const std::string err = run.stderrText();
    const std::string expected = okDrain() + "\nreply:0002\n" + okDrain() + "\nreply:1003\n" +
                                 okDrain() + "\nreply:0000\n" + okDrain() + "\nreply:none\n";
    EXPECT_EQ(err, expected);
    EXPECT_EQ(run.transcript(), "LockPrinter?\n  <- 0002\nStatus?\n  <- 1003\nStatus?\n"
                                "  <- 0000\nNonsense?\n");
    for (const auto &x : run.exchanges())
        EXPECT_EQ(x.drains, 1) << renderEvent(x.event);
    EXPECT_EQ(run.stdoutBytes(), "LockPrinter?Status?Status?Nonsense?");
}

TEST(FilterRun, AnswersBidiAndRefusesWhatABackendDoesNotDo)
{
    FilterRun run;
    prepare(run, "bidi|state");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), "bidi:" + std::to_string(CUPS_SC_STATUS_OK) + ":" +
                                    std::to_string(CUPS_SC_BIDI_SUPPORTED) + "\nstate:" +
                                    std::to_string(CUPS_SC_STATUS_NOT_IMPLEMENTED) + "\n");
    auto requests = run.sideChannelRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, CUPS_SC_CMD_GET_BIDI);
    EXPECT_EQ(requests[1].command, CUPS_SC_CMD_GET_STATE);
}

TEST(FilterRun, LargePackagesPassWithoutDeadlockAndArriveWhole)
{
    FilterRun run;
    prepare(run, "send:NET.Event=StartOfJob0;|drain|pkg:70000|send:;|drain|pkg:0|send:;|drain|"
                 "query:NET.Event=EndofPlane;");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    auto xs = run.exchanges();
    ASSERT_EQ(xs.size(), 6u) << run.transcript();
    EXPECT_EQ(xs[1].event.kind, OplEventKind::DataPackage);
    ASSERT_EQ(xs[1].event.data.size(), 70000u);
    for (std::size_t i = 0; i < 70000; i += 997)
        ASSERT_EQ(static_cast<unsigned char>(xs[1].event.data[i]), i % 251) << i;
    EXPECT_EQ(run.transcript(), "NET.Event=StartOfJob0;\nRasterObject.Data#70000=<70000 bytes>\n"
                                ";\nRasterObject.Data#0=<0 bytes>\n;\nNET.Event=EndofPlane;\n"
                                "  <- 0000\n");
    EXPECT_EQ(xs[5].page, 1);
    EXPECT_NE(run.stderrText().find("reply:0000"), std::string::npos);
}

TEST(FilterRun, GivesArgumentsEnvironmentAndStandardInput)
{
    char path[] = "/tmp/oplprinter-stdin-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "job data", 8), 8);
    close(fd);

    FilterRun run;
    prepare(run, "argv|env:PPD|env:HOME|stdin");
    run.setFilterArguments("LR880N", "57", "bob", "my title", "2", "Duplex=None", path);
    run.setEnv("PPD", "/etc/cups/ppd/LR880N.ppd");
    run.unsetEnv("HOME");
    run.setStdinFile(path);
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), std::string("argv:LR880N,57,bob,my title,2,Duplex=None,") + path +
                                    "\nenv:PPD=/etc/cups/ppd/LR880N.ppd\nenv:HOME unset\n"
                                    "stdin:job data\n");
    std::remove(path);
}

TEST(FilterRun, StandardInputIsEmptyByDefault)
{
    FilterRun run;
    prepare(run, "stdin");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), "stdin:\n");
}

TEST(FilterRun, HookCanSignalTheFilterWhileItWaitsForAReply)
{
    FilterRun run;
    prepare(run, "trap|query:LockPrinter?|query:Status?|query:UnlockPrinter?");
    int hooked = 0;
    run.addHook([&](Exchange &x) {
        ++hooked;
        if (x.event.is("Status?"))
            run.sendSignal(SIGTERM);
    });
    ASSERT_TRUE(run.start());
    FilterResult r = run.finish(kLong);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_NE(run.stderrText().find("got SIGTERM"), std::string::npos);
    EXPECT_EQ(countEvents(run.exchanges(), "UnlockPrinter?"), 0);
    EXPECT_EQ(hooked, 2);
}

TEST(FilterRun, HookCanChangeTheReply)
{
    FilterRun run;
    prepare(run, "query:Status?|query:Status?");
    run.addHook([](Exchange &x) {
        if (x.event.is("Status?") && x.page == 1 && x.reply == Reply("0000"))
            x.reply = "3070";
    });
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), okDrain() + "\nreply:3070\n" + okDrain() + "\nreply:3070\n");
    EXPECT_EQ(run.exchanges()[0].reply, Reply("3070"));
}

TEST(FilterRun, TestThreadCanSignalAfterAnEvent)
{
    FilterRun run;
    prepare(run, "query:LockPrinter?|hang");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitForEvent("LockPrinter?", kLong));
    ASSERT_TRUE(run.waitForStderr("reply:0002", kLong));
    run.sendSignal(SIGTERM);
    FilterResult r = run.finish(kLong);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.termSignal, SIGTERM);
    EXPECT_FALSE(r.overstayed);
    EXPECT_FALSE(r.ok());
}

TEST(FilterRun, OverstayingFilterIsKilledAndReportedAsFailure)
{
    FilterRun run;
    prepare(run, "hang");
    ASSERT_TRUE(run.start());
    FilterResult r = run.finish(50ms);
    EXPECT_TRUE(r.overstayed);
    EXPECT_EQ(r.termSignal, SIGKILL);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.describe().find("overstaying"), std::string::npos);
}

TEST(FilterRun, ExitStatusIsReported)
{
    FilterRun run;
    prepare(run, "exit:5");
    ASSERT_TRUE(run.start());
    FilterResult r = run.finish(kLong);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 5);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.describe(), "exit 5");
}

TEST(FilterRun, MissingProgramIsReportedNotStarted)
{
    FilterRun run;
    run.setProgram("/nonexistent/rastersend");
    EXPECT_FALSE(run.start());
    EXPECT_NE(run.result().error.find("/nonexistent/rastersend"), std::string::npos);
    EXPECT_FALSE(run.finish(kLong).ok());
}

TEST(FilterRun, FilterThatLeavesBeforeItsReplySurvives)
{
    // The reply goes to a back channel nobody reads any more: the harness
    // must neither die of SIGPIPE nor hang.
    FilterRun run;
    prepare(run, "send:Status?|exit:0");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(countEvents(run.exchanges(), "Status?"), 1);
    EXPECT_FALSE(run.writeBackChannel("0000"));
}

TEST(FilterRun, UnsolicitedBytesReachTheBackChannel)
{
    FilterRun run;
    prepare(run, "read");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.writeBackChannel("6244"));
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), "reply:6244\n");
}

TEST(FilterRun, FillerIsSeenWhenTheFilterDrainsIt)
{
    FilterRun run(Scenario::silent());
    prepare(run, "send:Status?|drain|read:50|send:       |drain|read:50|send:      |drain|read:50");
    ASSERT_TRUE(run.start());
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.transcript(), "Status?\n<7 spaces>\n<6 spaces>\n");
    auto xs = run.exchanges();
    ASSERT_EQ(xs.size(), 3u);
    // Each filler was complete when its drain came, not only at the end.
    EXPECT_EQ(xs[1].drains, 1);
    EXPECT_EQ(xs[2].drains, 1);
    EXPECT_EQ(run.stderrText(), okDrain() + "\nreply:none\n" + okDrain() + "\nreply:none\n" +
                                    okDrain() + "\nreply:none\n");
}

TEST(FilterRun, WaitForGivesUpWhenTheFilterHasEnded)
{
    FilterRun run;
    prepare(run, "exit:0");
    ASSERT_TRUE(run.start());
    EXPECT_FALSE(run.waitForEvent("Status?", kLong));
    EXPECT_TRUE(run.finished());
    EXPECT_TRUE(run.finish(kLong).ok());
}

TEST(FilterRun, DestructorEndsAChildThatIsStillRunning)
{
    pid_t pid;
    {
        FilterRun run;
        prepare(run, "hang");
        ASSERT_TRUE(run.start());
        pid = run.pid();
        ASSERT_GT(pid, 0);
    }
    // The child was killed and reaped: its pid is gone.
    EXPECT_NE(kill(pid, 0), 0);
}

TEST(FilterRun, LateReplyArrivesAfterTheFiller)
{
    FilterRun run;
    prepare(run, "send:Status?|drain|read:100|send:       |drain|read:5000");
    run.addHook([](Exchange &x) {
        if (x.event.is("Status?"))
            x.reply = std::nullopt;
    });
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitForEvent("       ", kLong));
    EXPECT_TRUE(run.writeBackChannel("0000"));
    EXPECT_TRUE(run.finish(kLong).ok());
    EXPECT_EQ(run.stderrText(), okDrain() + "\nreply:none\n" + okDrain() + "\nreply:0000\n");
    EXPECT_EQ(run.transcript(), "Status?\n<7 spaces>\n");
}
