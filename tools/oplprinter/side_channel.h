// The CUPS side-channel wire format, as the backend end speaks it: every
// message is a 4-byte header [command, status, length high, length low]
// followed by `length` data bytes (libcups 2.4 cupsSideChannelWrite and
// cupsSideChannelRead). The command and status numbers are libcups' own
// (cups_sc_command_t, cups_sc_status_t).
#pragma once

#include <cstddef>
#include <string>

namespace oplprinter
{

struct SideChannelMessage {
    int command = 0;
    int status = 0;
    std::string data;
};

// The bytes of one message; data beyond 65535 bytes is cut off.
std::string encodeSideChannel(const SideChannelMessage &message);

// Collects side-channel bytes in any chunking and hands out whole messages.
class SideChannelDecoder
{
  public:
    void feed(const char *bytes, std::size_t len) { buffer_.append(bytes, len); }
    // Takes the next complete message; false when none is complete yet.
    bool next(SideChannelMessage &message);
    // Bytes received that do not yet form a whole message.
    std::size_t pending() const { return buffer_.size(); }

  private:
    std::string buffer_;
};

// The backend's answer to a filter's request: drains are confirmed with
// CUPS_SC_STATUS_OK, bidirectional support is CUPS_SC_BIDI_SUPPORTED,
// everything else CUPS_SC_STATUS_NOT_IMPLEMENTED.
SideChannelMessage backendAnswer(const SideChannelMessage &request);

// Readable name of a side-channel command ("DRAIN_OUTPUT").
std::string sideChannelCommandName(int command);

} // namespace oplprinter
