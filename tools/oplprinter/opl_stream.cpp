#include "opl_stream.h"

#include <cstdio>

namespace oplprinter
{

namespace
{

const char kNetPrefix[] = "NET.";
const char kBlackHeader[] = "RasterObject.Data#";
const char kRedHeader[] = "RasterObject.RedData#";

bool startsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Bytes a command may hold: printable ASCII and UTF-8 (a user name in
// "HostName=" may be non-ASCII); control characters mean garbage.
bool isTextByte(unsigned char c)
{
    return c >= 0x20 && c != 0x7f;
}

std::string describeByte(unsigned char c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02x", c);
    return buf;
}

} // namespace

const char *kindName(OplEventKind kind)
{
    switch (kind) {
    case OplEventKind::Command:
        return "Command";
    case OplEventKind::Query:
        return "Query";
    case OplEventKind::DataPackage:
        return "DataPackage";
    case OplEventKind::EndOfCmd:
        return "EndOfCmd";
    case OplEventKind::Filler:
        return "Filler";
    case OplEventKind::Error:
        return "Error";
    }
    return "?";
}

std::size_t OplEvent::size() const
{
    if (kind == OplEventKind::DataPackage)
        return data.size();
    if (kind == OplEventKind::Filler)
        return raw.size();
    return 0;
}

void OplParser::reset()
{
    *this = OplParser();
}

void OplParser::emitError(const std::string &message, std::vector<OplEvent> &out)
{
    OplEvent e;
    e.kind = OplEventKind::Error;
    e.text = message;
    e.raw = token_;
    e.offset = tokenStart_;
    out.push_back(std::move(e));
    token_.clear();
    expectClose_ = false;
    // Resynchronise at the next command end; everything up to it is lost.
    state_ = State::Skip;
}

void OplParser::emitFiller(std::vector<OplEvent> &out)
{
    OplEvent e;
    e.kind = OplEventKind::Filler;
    e.raw = token_;
    e.text = token_;
    e.offset = tokenStart_;
    out.push_back(std::move(e));
    token_.clear();
    state_ = State::Start;
}

void OplParser::emitClose(bool withSpace, std::vector<OplEvent> &out)
{
    OplEvent e;
    e.kind = OplEventKind::EndOfCmd;
    e.text = withSpace ? "; " : ";";
    e.raw = e.text;
    e.offset = tokenStart_;
    out.push_back(std::move(e));
    token_.clear();
    state_ = State::Start;
}

void OplParser::finishText(OplEventKind kind, std::vector<OplEvent> &out)
{
    OplEvent e;
    e.kind = kind;
    e.raw = token_;
    e.offset = tokenStart_;
    e.net = startsWith(token_, kNetPrefix);
    e.text = e.net ? token_.substr(sizeof kNetPrefix - 1) : token_;
    out.push_back(std::move(e));
    token_.clear();
    state_ = State::Start;
}

// Called at the first "=" of a token: when the key is a package header,
// checks the count and switches to payload mode. Returns false when the
// token is an ordinary setting (or an error was emitted: state tells).
bool OplParser::beginPackage(std::vector<OplEvent> &out)
{
    const bool net = startsWith(token_, kNetPrefix);
    const std::string body = net ? token_.substr(sizeof kNetPrefix - 1) : token_;
    bool red;
    std::size_t digitsAt;
    if (startsWith(body, kBlackHeader)) {
        red = false;
        digitsAt = sizeof kBlackHeader - 1;
    } else if (startsWith(body, kRedHeader)) {
        red = true;
        digitsAt = sizeof kRedHeader - 1;
    } else {
        return false;
    }
    const std::string digits = body.substr(digitsAt, body.size() - digitsAt - 1);
    if (digits.empty()) {
        emitError("data package header \"" + body + "\" has no byte count", out);
        return true;
    }
    std::size_t count = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            emitError("data package header \"" + body + "\" has a bad byte count", out);
            return true;
        }
        count = count * 10 + static_cast<std::size_t>(c - '0');
        if (count > kMaxPackage) {
            emitError("data package header \"" + body + "\" announces more than " +
                          std::to_string(kMaxPackage) + " bytes",
                      out);
            return true;
        }
    }
    pending_ = OplEvent();
    pending_.kind = OplEventKind::DataPackage;
    pending_.net = net;
    pending_.text = body;
    pending_.red = red;
    pending_.offset = tokenStart_;
    pending_.data.reserve(count);
    need_ = count;
    state_ = State::Payload;
    if (need_ == 0) {
        pending_.raw = token_;
        token_.clear();
        out.push_back(std::move(pending_));
        expectClose_ = true;
        state_ = State::Start;
    }
    return true;
}

void OplParser::startToken(char c, std::vector<OplEvent> &out)
{
    const bool afterPackage = expectClose_;
    expectClose_ = false;
    tokenStart_ = offset_;
    token_.assign(1, c);
    if (c == ';') {
        // A package is closed by ";" or by "; ": wait for the next byte.
        state_ = State::AfterClose;
        return;
    }
    if (afterPackage) {
        // The count did not match the data: the bytes after the payload
        // are not the closing ";".
        emitError("data package not closed by \";\" (got " +
                      describeByte(static_cast<unsigned char>(c)) +
                      "): byte count does not match the data",
                  out);
        return;
    }
    if (c == ' ') {
        state_ = State::Filler;
        return;
    }
    if (!isTextByte(static_cast<unsigned char>(c))) {
        emitError("garbage byte " + describeByte(static_cast<unsigned char>(c)) +
                      " where a command should start",
                  out);
        return;
    }
    state_ = State::Text;
    if (c == '?') {
        emitError("query without a name", out);
        state_ = State::Start;
    }
}

void OplParser::feed(const char *bytes, std::size_t len, std::vector<OplEvent> &out)
{
    std::size_t i = 0;
    while (i < len) {
        const char c = bytes[i];
        switch (state_) {
        case State::Start:
            startToken(c, out);
            ++offset_;
            ++i;
            break;
        case State::Payload: {
            // Copy as much of the payload as this chunk holds in one go.
            std::size_t take = len - i < need_ ? len - i : need_;
            pending_.data.append(bytes + i, take);
            token_.append(bytes + i, take);
            need_ -= take;
            offset_ += take;
            i += take;
            if (need_ == 0) {
                pending_.raw = std::move(token_);
                token_.clear();
                out.push_back(std::move(pending_));
                pending_ = OplEvent();
                expectClose_ = true;
                state_ = State::Start;
            }
            break;
        }
        case State::Filler:
            if (c == ' ') {
                token_.push_back(c);
                ++offset_;
                ++i;
            } else {
                emitFiller(out);
            }
            break;
        case State::AfterClose:
            if (c == ' ') {
                token_.push_back(c);
                ++offset_;
                ++i;
                emitClose(true, out);
            } else {
                emitClose(false, out);
            }
            break;
        case State::Skip:
            ++offset_;
            ++i;
            if (c == ';' || c == '?')
                state_ = State::Start;
            break;
        case State::Text: {
            const unsigned char u = static_cast<unsigned char>(c);
            ++offset_;
            ++i;
            if (!isTextByte(u)) {
                token_.push_back(c);
                emitError("garbage byte " + describeByte(u) + " inside command \"" +
                              token_.substr(0, token_.size() - 1) + "\"",
                          out);
                break;
            }
            token_.push_back(c);
            // Only the first "=" can open a package, and a "?" after an "="
            // belongs to a value.
            const bool hasEquals = token_.find('=') < token_.size() - 1;
            if (c == ';') {
                finishText(OplEventKind::Command, out);
            } else if (c == '?' && !hasEquals) {
                // A query is a bare word; "?" inside a value is just text.
                finishText(OplEventKind::Query, out);
            } else if (c == '=' && !hasEquals) {
                beginPackage(out);
            } else if (token_.size() > kMaxCommand) {
                emitError("command longer than " + std::to_string(kMaxCommand) +
                              " bytes without \";\" or \"?\"",
                          out);
            }
            break;
        }
        }
    }
}

void OplParser::markBoundary(std::vector<OplEvent> &out)
{
    if (state_ == State::Filler)
        emitFiller(out);
    else if (state_ == State::AfterClose)
        emitClose(false, out);
}

void OplParser::finish(std::vector<OplEvent> &out)
{
    markBoundary(out);
    if (state_ == State::Text) {
        emitError("stream ended inside command \"" + token_ + "\"", out);
    } else if (state_ == State::Payload) {
        token_ = pending_.text;
        tokenStart_ = pending_.offset;
        emitError("stream ended inside data package \"" + pending_.text +
                      "\": " + std::to_string(need_) + " of " +
                      std::to_string(need_ + pending_.data.size()) + " bytes missing",
                  out);
    }
    state_ = State::Start;
    expectClose_ = false;
    token_.clear();
}

} // namespace oplprinter
