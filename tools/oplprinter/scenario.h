// What the scripted printer answers. A scenario starts from default replies
// (a ready printer, or a silent one) and rules override them for one
// command text, picked by occurrence and by page.
//
// Text format (one rule per line; "#" starts a comment line):
//
//   default ready            the ready printer's replies (this is the default)
//   default silent           no reply to anything unless a rule gives one
//   KEY [#N] [page=P] [after-page=K] -> REPLY... [repeat]
//
// KEY is the command exactly as sent, without "NET." ("Status?",
// "LockPrinter?", "Event=EndofPlane;", "Event=EndOfPage;"). REPLY is the
// text the printer sends back (normally four digits), "-" for no reply at
// all, or a double-quoted text that may hold blanks ("\"0002 extra\"").
// The rule answers the N-th matching KEY (default #1) with the first REPLY,
// the next matching one with the second, and so on; after the last REPLY
// the default takes over again, unless "repeat" keeps the last one.
// page=P matches while page P is being sent (P-1 "Event=EndOfPage;" seen
// before the command; the end-of-page event of page P belongs to page P);
// after-page=K matches after exactly K pages have ended (the status check
// after page K's end of page, up to and including page K+1's end of page).
// All rules count every event they match; the first rule (in file order)
// that has a reply for the event gives it.
//
// Ready printer defaults: "LockPrinter?" 0002, "Status?" 0000,
// "Event=EndofPlane;" and "Event=EndOfPage;" 0000, "UnlockPrinter?" 0003,
// "CancelJob?" 0001 (not cancelled); nothing else is answered.
//
// Examples:
//   # warming up: three times 1003 (warming up), then ready
//   Status? -> 1003 1003 1003
//   # busy: printing not locked (1002) three times, then the lock is granted
//   LockPrinter? -> 1002 1002 1002
//   # out of memory after page 2: the checks after its end of page see 3038
//   Status? after-page=2 -> 3038 3038
//   # cancelled at the printer after page 1's black plane
//   Event=EndofPlane; page=1 -> 0004
//   CancelJob? -> 0004 repeat
//   # cancelled at the printer after page 2's red plane
//   Event=EndOfPage; page=2 -> 0004
//   CancelJob? -> 0004 repeat
//   # paper jam at the first status check after page 1
//   Status? after-page=1 -> 3070 3070
//   # fingerprint required, then accepted
//   LockPrinter? -> 6002 6244
//   # fingerprint not recognised five times, then accepted
//   LockPrinter? -> 6018 6018 6018 6018 6018
//   # a printer that never answers
//   default silent
#pragma once

#include "opl_stream.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace oplprinter
{

// One answer: the reply text, or std::nullopt for no reply at all.
using Reply = std::optional<std::string>;

// Which events of a key a rule answers.
struct When {
    int occurrence = 1; // first matching event answered (1-based)
    int page = 0;       // 0: any page; P: only while page P is being sent
    int afterPage = -1; // -1: any; K: only after exactly K pages have ended
};

struct ScenarioRule {
    std::string key;
    When when;
    std::vector<Reply> replies;
    bool repeatLast = false;
    int matched = 0; // events matched so far in this job
};

class Scenario
{
  public:
    // A ready printer (the defaults above, no rules).
    Scenario();

    // Ready printer.
    static Scenario ready();
    // No reply to anything.
    static Scenario silent();
    // "Status?" answered 1003 (warming up) `times` times, then ready.
    static Scenario warmingUp(int times = 3);
    // "LockPrinter?" answered 1002 (printing not locked) `times` times.
    static Scenario busy(int times = 3);
    // "Status?" answered 3038 `times` times after page k's end of page.
    static Scenario outOfMemoryAfterPage(int k, int times = 2);
    // Page k's "Event=EndofPlane;" answered 0004, "CancelJob?" 0004 always.
    static Scenario cancelledAfterBlackPlane(int k);
    // Page k's "Event=EndOfPage;" answered 0004, "CancelJob?" 0004 always.
    static Scenario cancelledAfterRedPlane(int k);
    // "Status?" answered 3070 (paper jam) `times` times after page k, then ready.
    static Scenario paperJam(int k = 0, int times = 2);
    // "LockPrinter?" answered 6002 (place finger), 6244 (lift finger: locked).
    static Scenario fingerprintAccepted();
    // "LockPrinter?" answered 6018 (fingerprint unknown) `times` times, then
    // 0002; with times >= 6 the filter gives up before the lock is granted.
    static Scenario fingerprintRejected(int times = 5);

    // Parses the text format above. On failure returns false and sets
    // *error to "line N: what is wrong".
    static bool parse(const std::string &text, Scenario &out, std::string *error);
    // Reads and parses a scenario file.
    static bool load(const std::string &path, Scenario &out, std::string *error);

    // Adds a rule; rules are tried in the order they were added.
    Scenario &rule(const std::string &key, std::vector<Reply> replies, When when = {},
                   bool repeatLast = false);
    // Sets (or with std::nullopt removes) the default reply of a key.
    Scenario &setDefault(const std::string &key, Reply reply);
    // Drops every default reply: only rules answer.
    Scenario &clearDefaults();

    // The printer's answer to one event, advancing the rule counters and the
    // page count. Only queries and commands are answered.
    Reply answer(const OplEvent &event);

    // "Event=EndOfPage;" seen so far in this job.
    int pagesEnded() const { return pagesEnded_; }
    // Forgets counters and pages: the start of a new job.
    void reset();
    // The scenario in the text format (rules and defaults).
    std::string toText() const;

  private:
    std::vector<ScenarioRule> rules_;
    std::map<std::string, std::string> defaults_;
    int pagesEnded_ = 0;
};

} // namespace oplprinter
