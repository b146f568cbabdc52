// The OPL stream parser on exact byte strings, in every chunking.
#include "opl_stream.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace oplprinter;

namespace
{

std::vector<OplEvent> parseChunked(const std::string &bytes, std::size_t chunk)
{
    OplParser p;
    std::vector<OplEvent> out;
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        p.feed(bytes.data() + i, std::min(chunk, bytes.size() - i), out);
    p.finish(out);
    return out;
}

// "Kind[N]:text" per event, N marking the NET. prefix; packages show their
// payload size.
std::vector<std::string> summary(const std::vector<OplEvent> &events)
{
    std::vector<std::string> s;
    for (const auto &e : events) {
        std::string line = std::string(kindName(e.kind)) + (e.net ? "[N]" : "") + ":";
        if (e.kind == OplEventKind::DataPackage)
            line += e.text + std::to_string(e.data.size()) + (e.red ? " red" : "");
        else if (e.kind == OplEventKind::Filler)
            line += std::to_string(e.raw.size());
        else if (e.kind != OplEventKind::Error)
            line += e.text;
        s.push_back(line);
    }
    return s;
}

// Parses bytes whole and in every chunk size from 1 up; every chunking must
// give the same events.
std::vector<std::string> parseEveryWay(const std::string &bytes)
{
    const auto whole = summary(parseChunked(bytes, bytes.size() ? bytes.size() : 1));
    for (std::size_t chunk = 1; chunk < bytes.size(); ++chunk)
        EXPECT_EQ(summary(parseChunked(bytes, chunk)), whole) << "chunk size " << chunk;
    return whole;
}

} // namespace

TEST(OplParser, SplitsSettingsQueriesAndEventsWhateverTheChunking)
{
    const std::string stream = "Status?LockPrinter?OSVersion=Linux;Event=StartOfJob0;"
                               "HostName=\\\\alice;Origin.Top=+50;Event=EndofPlane;";
    EXPECT_EQ(
        parseEveryWay(stream),
        (std::vector<std::string>{"Query:Status?", "Query:LockPrinter?", "Command:OSVersion=Linux;",
                                  "Command:Event=StartOfJob0;", "Command:HostName=\\\\alice;",
                                  "Command:Origin.Top=+50;", "Command:Event=EndofPlane;"}));
}

TEST(OplParser, PackageOfZeroBytesIsFollowedByItsClose)
{
    auto events = parseChunked("RasterObject.Data#0=;Event=EndofPlane;", 64);
    EXPECT_EQ(summary(events),
              (std::vector<std::string>{"DataPackage:RasterObject.Data#0=0", "EndOfCmd:;",
                                        "Command:Event=EndofPlane;"}));
    EXPECT_EQ(events[0].raw, "RasterObject.Data#0=");
}

TEST(OplParser, PackageDataMayHoldAnyByteAndSurvivesEverySplit)
{
    // Payload with the characters that end commands, spaces and NULs.
    std::string payload("a;b?c  \0=\xff", 10);
    const std::string stream = "RasterObject.Data#10=" + payload + ";Status?";
    EXPECT_EQ(parseEveryWay(stream),
              (std::vector<std::string>{"DataPackage:RasterObject.Data#10=10", "EndOfCmd:;",
                                        "Query:Status?"}));
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        auto events = parseChunked(stream, chunk);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[0].data, payload) << "chunk size " << chunk;
        EXPECT_EQ(events[0].raw, "RasterObject.Data#10=" + payload);
        EXPECT_EQ(events[2].offset, stream.size() - 7);
    }
}

TEST(OplParser, NetPrefixIsRecordedAndStrippedFromTheText)
{
    const std::string stream = "NET.Status?NET.RasterObject.RedData#3=abc;NET.Event=EndOfPage;"
                               "       NET.CancelJob?";
    auto events = parseChunked(stream, 5);
    EXPECT_EQ(summary(events),
              (std::vector<std::string>{
                  "Query[N]:Status?", "DataPackage[N]:RasterObject.RedData#3=3 red", "EndOfCmd:;",
                  "Command[N]:Event=EndOfPage;", "Filler:7", "Query[N]:CancelJob?"}));
    EXPECT_EQ(events[0].raw, "NET.Status?");
    EXPECT_EQ(events[1].raw, "NET.RasterObject.RedData#3=abc");
    EXPECT_EQ(events[1].text, "RasterObject.RedData#3=");
}

TEST(OplParser, FillersAreRunsOfSpacesOfAnyLength)
{
    EXPECT_EQ(parseEveryWay("Status?       Status?      Event=EndofPlane;       "),
              (std::vector<std::string>{"Query:Status?", "Filler:7", "Query:Status?", "Filler:6",
                                        "Command:Event=EndofPlane;", "Filler:7"}));
}

TEST(OplParser, FillerIsReportedAtABoundaryWithoutWaitingForTheNextByte)
{
    OplParser p;
    std::vector<OplEvent> out;
    p.feed("LockPrinter?       ", out);
    ASSERT_EQ(out.size(), 1u);
    p.markBoundary(out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].kind, OplEventKind::Filler);
    EXPECT_EQ(out[1].raw.size(), 7u);
}

TEST(OplParser, SemicolonAndOneSpaceAlsoClosesAPackage)
{
    EXPECT_EQ(parseEveryWay("RasterObject.Data#2=xy; OSVersion=Linux;RasterObject.Data#1=z;"),
              (std::vector<std::string>{"DataPackage:RasterObject.Data#2=2", "EndOfCmd:; ",
                                        "Command:OSVersion=Linux;",
                                        "DataPackage:RasterObject.Data#1=1", "EndOfCmd:;"}));
}

TEST(OplParser, QuestionMarkInsideAValueDoesNotEndTheSetting)
{
    EXPECT_EQ(parseEveryWay("HostName=\\\\who?;UnlockPrinter?"),
              (std::vector<std::string>{"Command:HostName=\\\\who?;", "Query:UnlockPrinter?"}));
}

TEST(OplParser, NonAsciiUserNameIsText)
{
    EXPECT_EQ(summary(parseChunked("HostName=\\\\\xe5\xbc\xa0\xe4\xb8\x89;", 3)),
              (std::vector<std::string>{"Command:HostName=\\\\\xe5\xbc\xa0\xe4\xb8\x89;"}));
}

struct BadStream {
    const char *name;
    std::string bytes;
    std::string messagePart;
    std::vector<std::string> after; // the events that follow the error
};

void PrintTo(const BadStream &c, std::ostream *os)
{
    *os << c.name;
}

class OplParserErrors : public ::testing::TestWithParam<BadStream>
{
};

TEST_P(OplParserErrors, AreReportedClearlyAndParsingResumes)
{
    const auto &c = GetParam();
    auto events = parseChunked(c.bytes, 1);
    ASSERT_FALSE(events.empty());
    std::size_t i = 0;
    while (i < events.size() && events[i].kind != OplEventKind::Error)
        ++i;
    ASSERT_LT(i, events.size()) << "no error for " << c.name;
    EXPECT_NE(events[i].text.find(c.messagePart), std::string::npos) << events[i].text;
    std::vector<OplEvent> rest(events.begin() + static_cast<long>(i) + 1, events.end());
    EXPECT_EQ(summary(rest), c.after);
    // The whole stream in one piece gives the same.
    EXPECT_EQ(summary(parseChunked(c.bytes, c.bytes.size())), summary(events));
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, OplParserErrors,
    ::testing::Values(
        BadStream{"count with letters",
                  "RasterObject.Data#12a=xx;Status?",
                  "bad byte count",
                  {"Query:Status?"}},
        BadStream{"no count", "RasterObject.RedData#=;Status?", "no byte count", {"Query:Status?"}},
        BadStream{
            "huge count", "RasterObject.Data#99999999999=;Status?", "more than", {"Query:Status?"}},
        BadStream{
            "count too small", "RasterObject.Data#2=abc;Status?", "not closed", {"Query:Status?"}},
        BadStream{"control bytes",
                  std::string("\x01\x02junk;Status?"),
                  "garbage byte 0x01",
                  {"Query:Status?"}},
        BadStream{"newline in command",
                  "Status\n?OSVersion=Linux;",
                  "garbage byte 0x0a",
                  {"Command:OSVersion=Linux;"}},
        BadStream{"lone question mark", "?Status?", "query without a name", {"Query:Status?"}},
        BadStream{"endless command",
                  std::string(5000, 'A') + ";Status?",
                  "longer than",
                  {"Query:Status?"}},
        BadStream{"stream ends in a command", "Status?Unlock", "stream ended inside command", {}},
        BadStream{
            "stream ends in a package", "RasterObject.Data#10=abc", "7 of 10 bytes missing", {}}),
    [](const ::testing::TestParamInfo<BadStream> &info) {
        std::string n = info.param.name;
        for (auto &c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

TEST(OplParser, RandomBytesNeverCrashAndEveryByteIsAccountedFor)
{
    std::mt19937 rng(880);
    const std::string alphabet = "RasterObject.Data#=;? NET.0123456789\x01\xff";
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const int len = static_cast<int>(rng() % 300);
        for (int i = 0; i < len; ++i)
            bytes.push_back(alphabet[rng() % alphabet.size()]);
        OplParser p;
        std::vector<OplEvent> out;
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t n = 1 + rng() % 17;
            n = std::min(n, bytes.size() - pos);
            p.feed(bytes.data() + pos, n, out);
            pos += n;
        }
        p.finish(out);
        EXPECT_EQ(p.offset(), bytes.size());
        std::size_t lastEnd = 0;
        for (const auto &e : out) {
            EXPECT_GE(e.offset, lastEnd);
            if (e.kind != OplEventKind::Error) {
                ASSERT_LE(e.offset + e.raw.size(), bytes.size());
                EXPECT_EQ(bytes.compare(e.offset, e.raw.size(), e.raw), 0);
                lastEnd = e.offset + e.raw.size();
            }
        }
    }
}
