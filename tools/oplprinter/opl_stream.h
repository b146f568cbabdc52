// Incremental parser of the OPL byte stream that the host sends to the
// printer: text settings and events ("Event=EndofPlane;"), queries
// ("Status?"), raw data packages ("RasterObject.Data#N=" plus N bytes), the
// ";" that closes a package, and fillers (runs of spaces). The network model
// puts "NET." in front of every command, query and package header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace oplprinter
{

enum class OplEventKind {
    Command,     // key=value; (settings and events), text includes the ";"
    Query,       // a word ending in "?", the printer answers it
    DataPackage, // "RasterObject.Data#N=" or "RasterObject.RedData#N=" and N bytes
    EndOfCmd,    // the ";" (or "; ") that closes a package
    Filler,      // a run of spaces sent while waiting for a reply
    Error,       // malformed input; text holds the message
};

// Readable name of a kind ("Command", "Query", ...).
const char *kindName(OplEventKind kind);

struct OplEvent {
    OplEventKind kind = OplEventKind::Error;
    bool net = false;       // the command carried the "NET." prefix
    std::string text;       // without the prefix; package: the header "RasterObject.Data#N="
    std::string raw;        // every byte of the event as it was on the wire
    std::string data;       // package payload (DataPackage only)
    bool red = false;       // DataPackage: a red-plane package
    std::size_t offset = 0; // stream offset of the event's first byte

    // Package payload size, or the number of spaces of a filler.
    std::size_t size() const;
    // True for a query or a command with exactly this text (prefix ignored).
    bool is(const std::string &t) const { return text == t; }
};

// Feed bytes in any chunking; complete events are appended to the vector
// given to feed(). The same bytes give the same events however they are cut,
// except that markBoundary() ends a pending filler or package close early.
class OplParser
{
  public:
    // Largest package payload accepted; larger counts are reported as errors.
    static constexpr std::size_t kMaxPackage = 16u * 1024u * 1024u;
    // Longest text command accepted before it is reported as garbage.
    static constexpr std::size_t kMaxCommand = 4096;

    // Parses len bytes; appends every completed event to out.
    void feed(const char *bytes, std::size_t len, std::vector<OplEvent> &out);
    void feed(const std::string &bytes, std::vector<OplEvent> &out)
    {
        feed(bytes.data(), bytes.size(), out);
    }

    // The sender paused here (it drained its output, or the line went
    // idle): a run of spaces or a package close waiting for its next byte is
    // complete now.
    void markBoundary(std::vector<OplEvent> &out);

    // End of stream: flushes what is pending; a half-received command or
    // package is reported as an Error event.
    void finish(std::vector<OplEvent> &out);

    // Bytes consumed so far.
    std::size_t offset() const { return offset_; }

    // Back to the start of a fresh stream.
    void reset();

  private:
    enum class State { Start, Text, Payload, Filler, AfterClose, Skip };

    void startToken(char c, std::vector<OplEvent> &out);
    void finishText(OplEventKind kind, std::vector<OplEvent> &out);
    bool beginPackage(std::vector<OplEvent> &out);
    void emitError(const std::string &message, std::vector<OplEvent> &out);
    void emitFiller(std::vector<OplEvent> &out);
    void emitClose(bool withSpace, std::vector<OplEvent> &out);

    State state_ = State::Start;
    std::string token_;          // raw bytes of the token being read
    std::size_t tokenStart_ = 0; // stream offset of token_[0]
    std::size_t offset_ = 0;     // stream offset of the next byte
    std::size_t need_ = 0;       // payload bytes still to come
    bool expectClose_ = false;   // the previous event was a package
    OplEvent pending_;           // the package being received
};

} // namespace oplprinter
