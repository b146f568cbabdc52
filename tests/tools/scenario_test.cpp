// The scripted printer's replies: the ready defaults, every ready-made
// scenario and its text form, occurrences, pages, silence and the file
// format's errors.
#include "scenario.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace oplprinter;

namespace
{

OplEvent eventFor(const std::string &text, bool net = false)
{
    OplEvent e;
    e.kind = text.back() == '?' ? OplEventKind::Query : OplEventKind::Command;
    e.text = text;
    e.net = net;
    e.raw = (net ? "NET." : "") + text;
    return e;
}

// Feeds the commands in order and returns the replies, "-" for none.
std::vector<std::string> play(Scenario s, const std::vector<std::string> &commands)
{
    std::vector<std::string> replies;
    for (const auto &c : commands) {
        Reply r = s.answer(eventFor(c));
        replies.push_back(r ? *r : "-");
    }
    return replies;
}

const std::string kLock = "LockPrinter?";
const std::string kStatus = "Status?";
const std::string kPlane = "Event=EndofPlane;";
const std::string kPage = "Event=EndOfPage;";
const std::string kCancel = "CancelJob?";
const std::string kUnlock = "UnlockPrinter?";

struct ScenarioCase {
    const char *name;
    std::function<Scenario()> factory; // may be empty: text form only
    std::string text;
    std::vector<std::string> commands;
    std::vector<std::string> replies;
};

void PrintTo(const ScenarioCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScenarioTable : public ::testing::TestWithParam<ScenarioCase>
{
};

} // namespace

TEST_P(ScenarioTable, FactoryAndTextFormAnswerAlike)
{
    const auto &c = GetParam();
    Scenario parsed;
    std::string error;
    ASSERT_TRUE(Scenario::parse(c.text, parsed, &error)) << error;
    EXPECT_EQ(play(parsed, c.commands), c.replies) << "text form";
    if (c.factory) {
        EXPECT_EQ(play(c.factory(), c.commands), c.replies) << "factory";
    }

    // The text a scenario writes about itself reads back to the same replies.
    Scenario again;
    ASSERT_TRUE(Scenario::parse(parsed.toText(), again, &error)) << error << "\n"
                                                                 << parsed.toText();
    EXPECT_EQ(play(again, c.commands), c.replies) << parsed.toText();
}

INSTANTIATE_TEST_SUITE_P(
    Printers, ScenarioTable,
    ::testing::Values(
        ScenarioCase{"ready",
                     [] { return Scenario::ready(); },
                     "",
                     {kLock, kStatus, kPlane, kPage, kUnlock, kCancel, "OSVersion=Linux;",
                      "Event=EndOfJob;", "NumberOfDots=1740;", "Whatever?"},
                     {"0002", "0000", "0000", "0000", "0003", "0001", "-", "-", "-", "-"}},
        ScenarioCase{"warming_up",
                     [] { return Scenario::warmingUp(3); },
                     "Status? -> 1003 1003 1003",
                     {kStatus, kStatus, kStatus, kStatus, kStatus},
                     {"1003", "1003", "1003", "0000", "0000"}},
        ScenarioCase{"busy",
                     [] { return Scenario::busy(3); },
                     "LockPrinter? -> 1002 1002 1002",
                     {kLock, kLock, kLock, kLock},
                     {"1002", "1002", "1002", "0002"}},
        ScenarioCase{"out_of_memory_after_page_1",
                     [] { return Scenario::outOfMemoryAfterPage(1); },
                     "Status? after-page=1 -> 3038 3038",
                     {kStatus, kLock, kPlane, kStatus, kPage, kStatus, kStatus, kStatus, kPlane,
                      kStatus, kPage, kStatus},
                     {"0000", "0002", "0000", "0000", "0000", "3038", "3038", "0000", "0000",
                      "0000", "0000", "0000"}},
        ScenarioCase{"cancelled_after_black_plane_of_page_2",
                     [] { return Scenario::cancelledAfterBlackPlane(2); },
                     "Event=EndofPlane; page=2 -> 0004\nCancelJob? -> 0004 repeat",
                     {kPlane, kStatus, kPage, kStatus, kPlane, kCancel, kCancel},
                     {"0000", "0000", "0000", "0000", "0004", "0004", "0004"}},
        ScenarioCase{"cancelled_after_red_plane_of_page_1",
                     [] { return Scenario::cancelledAfterRedPlane(1); },
                     "Event=EndOfPage; page=1 -> 0004\nCancelJob? -> 0004 repeat",
                     {kPlane, kStatus, kPage, kCancel, kUnlock},
                     {"0000", "0000", "0004", "0004", "0003"}},
        ScenarioCase{"paper_jam",
                     [] { return Scenario::paperJam(0, 2); },
                     "Status? after-page=0 -> 3070 3070",
                     {kStatus, kStatus, kStatus, kPage, kStatus},
                     {"3070", "3070", "0000", "0000", "0000"}},
        ScenarioCase{"fingerprint_accepted",
                     [] { return Scenario::fingerprintAccepted(); },
                     "LockPrinter? -> 6002 6244",
                     {kLock, kLock, kLock},
                     {"6002", "6244", "0002"}},
        ScenarioCase{"fingerprint_rejected_five_times",
                     [] { return Scenario::fingerprintRejected(5); },
                     "LockPrinter? -> 6018 6018 6018 6018 6018",
                     {kLock, kLock, kLock, kLock, kLock, kLock},
                     {"6018", "6018", "6018", "6018", "6018", "0002"}},
        ScenarioCase{"silent",
                     [] { return Scenario::silent(); },
                     "default silent",
                     {kLock, kStatus, kPlane, kPage, kCancel, kUnlock},
                     {"-", "-", "-", "-", "-", "-"}},
        ScenarioCase{"silent_with_one_rule",
                     {},
                     "default silent\nStatus? #2 -> 0000",
                     {kStatus, kStatus, kStatus},
                     {"-", "0000", "-"}},
        ScenarioCase{"occurrence",
                     {},
                     "# the second status check sees a jam\nStatus? #2 -> 3070",
                     {kStatus, kStatus, kStatus},
                     {"0000", "3070", "0000"}},
        ScenarioCase{"silence_inside_a_sequence",
                     {},
                     "LockPrinter? -> - - 0002",
                     {kLock, kLock, kLock, kLock},
                     {"-", "-", "0002", "0002"}},
        ScenarioCase{"quoted_reply",
                     {},
                     "Status? -> \"0002 extra text\" \"say \\\"hi\\\"\"",
                     {kStatus, kStatus, kStatus},
                     {"0002 extra text", "say \"hi\"", "0000"}},
        ScenarioCase{"repeat",
                     {},
                     "UnlockPrinter? -> 3070 0000 repeat",
                     {kUnlock, kUnlock, kUnlock, kUnlock},
                     {"3070", "0000", "0000", "0000"}},
        ScenarioCase{"page_and_occurrence",
                     {},
                     "Status? page=2 #2 -> 3038",
                     {kStatus, kStatus, kPage, kStatus, kStatus, kStatus},
                     {"0000", "0000", "0000", "0000", "3038", "0000"}},
        ScenarioCase{"first_rule_wins_and_every_rule_counts",
                     {},
                     "Status? -> 1003\nStatus? #1 -> 3070 3071",
                     {kStatus, kStatus, kStatus},
                     {"1003", "3071", "0000"}},
        ScenarioCase{"answer_to_a_command_not_answered_by_default",
                     {},
                     "Event=EndOfJob; -> 0000",
                     {"Event=EndOfJob;", "Event=EndOfJob;"},
                     {"0000", "-"}}),
    [](const ::testing::TestParamInfo<ScenarioCase> &info) { return info.param.name; });

TEST(Scenario, NetPrefixedCommandsAreAnsweredLikePlainOnes)
{
    Scenario s = Scenario::warmingUp(1);
    EXPECT_EQ(s.answer(eventFor(kStatus, true)), Reply("1003"));
    EXPECT_EQ(s.answer(eventFor(kStatus, true)), Reply("0000"));
    EXPECT_EQ(s.answer(eventFor(kLock, true)), Reply("0002"));
}

TEST(Scenario, PackagesFillersAndClosesAreNeverAnswered)
{
    Scenario s = Scenario::ready();
    OplEvent pkg;
    pkg.kind = OplEventKind::DataPackage;
    pkg.text = "RasterObject.Data#0=";
    OplEvent filler;
    filler.kind = OplEventKind::Filler;
    filler.text = "       ";
    OplEvent close;
    close.kind = OplEventKind::EndOfCmd;
    close.text = ";";
    EXPECT_FALSE(s.answer(pkg));
    EXPECT_FALSE(s.answer(filler));
    EXPECT_FALSE(s.answer(close));
}

TEST(Scenario, ResetStartsANewJob)
{
    Scenario s = Scenario::outOfMemoryAfterPage(1, 1);
    s.answer(eventFor(kPage));
    EXPECT_EQ(s.pagesEnded(), 1);
    EXPECT_EQ(s.answer(eventFor(kStatus)), Reply("3038"));
    s.reset();
    EXPECT_EQ(s.pagesEnded(), 0);
    s.answer(eventFor(kPage));
    EXPECT_EQ(s.answer(eventFor(kStatus)), Reply("3038"));
}

TEST(Scenario, DefaultsCanBeChangedOneByOne)
{
    Scenario s;
    s.setDefault(kCancel, Reply("0004")).setDefault(kUnlock, std::nullopt);
    EXPECT_EQ(play(s, {kCancel, kUnlock, kLock}), (std::vector<std::string>{"0004", "-", "0002"}));
}

struct BadScenario {
    const char *name;
    std::string text;
    std::string error;
};

void PrintTo(const BadScenario &c, std::ostream *os)
{
    *os << c.name;
}

class ScenarioParseErrors : public ::testing::TestWithParam<BadScenario>
{
};

TEST_P(ScenarioParseErrors, NameTheLineAndTheProblem)
{
    Scenario s;
    std::string error;
    EXPECT_FALSE(Scenario::parse(GetParam().text, s, &error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Bad, ScenarioParseErrors,
    ::testing::Values(
        BadScenario{"no_arrow", "# fine\nStatus? 3070",
                    "line 2: unknown qualifier \"3070\" (want #N, page=P, after-page=K)"},
        BadScenario{"missing_arrow", "Status?", "line 1: missing \"->\" before the replies"},
        BadScenario{"no_reply", "Status? ->", "line 1: no reply after \"->\" (use - for no reply)"},
        BadScenario{"bad_occurrence", "Status? #0 -> 1", "line 1: bad occurrence \"#0\""},
        BadScenario{"bad_page", "Status? page=x -> 1", "line 1: bad page \"page=x\""},
        BadScenario{"bad_after_page", "Status? after-page=-1 -> 1",
                    "line 1: bad after-page \"after-page=-1\""},
        BadScenario{"repeat_first", "Status? -> repeat",
                    "line 1: \"repeat\" must follow the last reply"},
        BadScenario{"repeat_in_middle", "Status? -> 1 repeat 2",
                    "line 1: \"repeat\" must follow the last reply"},
        BadScenario{"open_quote", "Status? -> \"0002", "line 1: unterminated quote"},
        BadScenario{"bad_default", "default busy",
                    "line 1: unknown default \"busy\" (ready or silent)"}),
    [](const ::testing::TestParamInfo<BadScenario> &info) { return info.param.name; });

TEST(Scenario, LoadsAFileAndReportsAMissingOne)
{
    char path[] = "/tmp/oplprinter-scenario-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream f(path);
        f << "# warm\r\nStatus? -> 1003\r\n";
    }
    Scenario s;
    std::string error;
    ASSERT_TRUE(Scenario::load(path, s, &error)) << error;
    EXPECT_EQ(play(s, {kStatus, kStatus}), (std::vector<std::string>{"1003", "0000"}));
    std::remove(path);
    EXPECT_FALSE(Scenario::load(path, s, &error));
    EXPECT_EQ(error, std::string("cannot open scenario file ") + path);
}
