#include "scenario.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace oplprinter
{

namespace
{

const char kEndOfPage[] = "Event=EndOfPage;";

std::map<std::string, std::string> readyDefaults()
{
    return {
        {"LockPrinter?", "0002"},     {"Status?", "0000"},        {"Event=EndofPlane;", "0000"},
        {"Event=EndOfPage;", "0000"}, {"UnlockPrinter?", "0003"}, {"CancelJob?", "0001"},
    };
}

// Splits a rule line into words; a double-quoted word may hold blanks and
// \" or \\ escapes. Returns false on an unterminated quote.
bool splitWords(const std::string &line, std::vector<std::string> &words, std::vector<bool> &quoted)
{
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        std::string w;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size()) {
                    w.push_back(line[i++]);
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    w.push_back(c);
                }
            }
            if (!closed)
                return false;
            words.push_back(w);
            quoted.push_back(true);
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                w.push_back(line[i++]);
            words.push_back(w);
            quoted.push_back(false);
        }
    }
    return true;
}

bool parseNumber(const std::string &s, int min, int &value)
{
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    value = std::atoi(s.c_str());
    return value >= min;
}

std::string quoteReply(const std::string &r)
{
    bool plain = !r.empty() && r != "-" && r != "repeat";
    for (char c : r)
        if (c == ' ' || c == '\t' || c == '"' || c == '\\')
            plain = false;
    if (plain)
        return r;
    std::string q = "\"";
    for (char c : r) {
        if (c == '"' || c == '\\')
            q.push_back('\\');
        q.push_back(c);
    }
    return q + "\"";
}

} // namespace

Scenario::Scenario() : defaults_(readyDefaults()) {}

Scenario Scenario::ready()
{
    return Scenario();
}

Scenario Scenario::silent()
{
    Scenario s;
    s.clearDefaults();
    return s;
}

Scenario Scenario::warmingUp(int times)
{
    Scenario s;
    s.rule("Status?", std::vector<Reply>(static_cast<std::size_t>(times), Reply("1003")));
    return s;
}

Scenario Scenario::busy(int times)
{
    Scenario s;
    s.rule("LockPrinter?", std::vector<Reply>(static_cast<std::size_t>(times), Reply("1002")));
    return s;
}

Scenario Scenario::outOfMemoryAfterPage(int k, int times)
{
    Scenario s;
    When w;
    w.afterPage = k;
    s.rule("Status?", std::vector<Reply>(static_cast<std::size_t>(times), Reply("3038")), w);
    return s;
}

Scenario Scenario::cancelledAfterBlackPlane(int k)
{
    Scenario s;
    When w;
    w.page = k;
    s.rule("Event=EndofPlane;", {Reply("0004")}, w);
    s.rule("CancelJob?", {Reply("0004")}, When(), true);
    return s;
}

Scenario Scenario::cancelledAfterRedPlane(int k)
{
    Scenario s;
    When w;
    w.page = k;
    s.rule(kEndOfPage, {Reply("0004")}, w);
    s.rule("CancelJob?", {Reply("0004")}, When(), true);
    return s;
}

Scenario Scenario::paperJam(int k, int times)
{
    Scenario s;
    When w;
    w.afterPage = k;
    s.rule("Status?", std::vector<Reply>(static_cast<std::size_t>(times), Reply("3070")), w);
    return s;
}

Scenario Scenario::fingerprintAccepted()
{
    Scenario s;
    s.rule("LockPrinter?", {Reply("6002"), Reply("6244")});
    return s;
}

Scenario Scenario::fingerprintRejected(int times)
{
    Scenario s;
    s.rule("LockPrinter?", std::vector<Reply>(static_cast<std::size_t>(times), Reply("6018")));
    return s;
}

Scenario &Scenario::rule(const std::string &key, std::vector<Reply> replies, When when,
                         bool repeatLast)
{
    ScenarioRule r;
    r.key = key;
    r.when = when;
    r.replies = std::move(replies);
    r.repeatLast = repeatLast && !r.replies.empty();
    rules_.push_back(std::move(r));
    return *this;
}

Scenario &Scenario::setDefault(const std::string &key, Reply reply)
{
    if (reply)
        defaults_[key] = *reply;
    else
        defaults_.erase(key);
    return *this;
}

Scenario &Scenario::clearDefaults()
{
    defaults_.clear();
    return *this;
}

void Scenario::reset()
{
    pagesEnded_ = 0;
    for (auto &r : rules_)
        r.matched = 0;
}

Reply Scenario::answer(const OplEvent &event)
{
    if (event.kind != OplEventKind::Query && event.kind != OplEventKind::Command)
        return std::nullopt;

    const int page = pagesEnded_ + 1;
    Reply reply;
    bool decided = false;
    for (auto &r : rules_) {
        if (r.key != event.text)
            continue;
        if (r.when.page != 0 && r.when.page != page)
            continue;
        if (r.when.afterPage >= 0 && r.when.afterPage != pagesEnded_)
            continue;
        ++r.matched;
        if (decided)
            continue;
        const long index = static_cast<long>(r.matched) - r.when.occurrence;
        if (index < 0 || r.replies.empty())
            continue;
        if (static_cast<std::size_t>(index) < r.replies.size()) {
            reply = r.replies[static_cast<std::size_t>(index)];
            decided = true;
        } else if (r.repeatLast) {
            reply = r.replies.back();
            decided = true;
        }
    }
    if (!decided) {
        auto it = defaults_.find(event.text);
        if (it != defaults_.end())
            reply = it->second;
    }
    if (event.kind == OplEventKind::Command && event.text == kEndOfPage)
        ++pagesEnded_;
    return reply;
}

bool Scenario::parse(const std::string &text, Scenario &out, std::string *error)
{
    Scenario s;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string &what) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> words;
        std::vector<bool> quoted;
        if (!splitWords(line, words, quoted))
            return fail("unterminated quote");
        if (words.empty() || (!quoted[0] && words[0][0] == '#'))
            continue;
        if (words[0] == "default" && !quoted[0]) {
            if (words.size() != 2)
                return fail("\"default\" takes one word: ready or silent");
            if (words[1] == "ready")
                s.defaults_ = readyDefaults();
            else if (words[1] == "silent")
                s.clearDefaults();
            else
                return fail("unknown default \"" + words[1] + "\" (ready or silent)");
            continue;
        }
        ScenarioRule r;
        r.key = words[0];
        std::size_t i = 1;
        for (; i < words.size() && !(words[i] == "->" && !quoted[i]); ++i) {
            const std::string &w = words[i];
            if (w.size() > 1 && w[0] == '#') {
                if (!parseNumber(w.substr(1), 1, r.when.occurrence))
                    return fail("bad occurrence \"" + w + "\"");
            } else if (w.compare(0, 5, "page=") == 0) {
                if (!parseNumber(w.substr(5), 1, r.when.page))
                    return fail("bad page \"" + w + "\"");
            } else if (w.compare(0, 11, "after-page=") == 0) {
                if (!parseNumber(w.substr(11), 0, r.when.afterPage))
                    return fail("bad after-page \"" + w + "\"");
            } else {
                return fail("unknown qualifier \"" + w + "\" (want #N, page=P, after-page=K)");
            }
        }
        if (i >= words.size())
            return fail("missing \"->\" before the replies");
        for (++i; i < words.size(); ++i) {
            if (!quoted[i] && words[i] == "repeat") {
                if (i + 1 != words.size() || r.replies.empty())
                    return fail("\"repeat\" must follow the last reply");
                r.repeatLast = true;
            } else if (!quoted[i] && words[i] == "-") {
                r.replies.push_back(std::nullopt);
            } else {
                r.replies.push_back(words[i]);
            }
        }
        if (r.replies.empty())
            return fail("no reply after \"->\" (use - for no reply)");
        s.rules_.push_back(std::move(r));
    }
    out = std::move(s);
    return true;
}

bool Scenario::load(const std::string &path, Scenario &out, std::string *error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error)
            *error = "cannot open scenario file " + path;
        return false;
    }
    std::ostringstream text;
    text << f.rdbuf();
    if (!parse(text.str(), out, error)) {
        if (error)
            *error = path + ": " + *error;
        return false;
    }
    return true;
}

std::string Scenario::toText() const
{
    std::ostringstream o;
    const bool ready = defaults_ == readyDefaults();
    o << (ready ? "default ready\n" : "default silent\n");
    for (const auto &r : rules_) {
        o << r.key;
        if (r.when.occurrence != 1)
            o << " #" << r.when.occurrence;
        if (r.when.page != 0)
            o << " page=" << r.when.page;
        if (r.when.afterPage >= 0)
            o << " after-page=" << r.when.afterPage;
        o << " ->";
        for (const auto &rep : r.replies)
            o << ' ' << (rep ? quoteReply(*rep) : std::string("-"));
        if (r.repeatLast)
            o << " repeat";
        o << '\n';
    }
    // Defaults other than the ready set come last, so that rules win.
    if (!ready)
        for (const auto &d : defaults_)
            o << d.first << " -> " << quoteReply(d.second) << " repeat\n";
    return o.str();
}

} // namespace oplprinter
