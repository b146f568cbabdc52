#include "side_channel.h"

#include <cups/sidechannel.h>

namespace oplprinter
{

std::string encodeSideChannel(const SideChannelMessage &message)
{
    const std::size_t len = message.data.size() > 0xffff ? 0xffff : message.data.size();
    std::string out;
    out.reserve(4 + len);
    out.push_back(static_cast<char>(message.command & 0xff));
    out.push_back(static_cast<char>(message.status & 0xff));
    out.push_back(static_cast<char>((len >> 8) & 0xff));
    out.push_back(static_cast<char>(len & 0xff));
    out.append(message.data, 0, len);
    return out;
}

bool SideChannelDecoder::next(SideChannelMessage &message)
{
    if (buffer_.size() < 4)
        return false;
    const auto *b = reinterpret_cast<const unsigned char *>(buffer_.data());
    const std::size_t len = (static_cast<std::size_t>(b[2]) << 8) | b[3];
    if (buffer_.size() < 4 + len)
        return false;
    message.command = b[0];
    message.status = b[1];
    message.data = buffer_.substr(4, len);
    buffer_.erase(0, 4 + len);
    return true;
}

SideChannelMessage backendAnswer(const SideChannelMessage &request)
{
    SideChannelMessage a;
    a.command = request.command;
    switch (request.command) {
    case CUPS_SC_CMD_DRAIN_OUTPUT:
        a.status = CUPS_SC_STATUS_OK;
        break;
    case CUPS_SC_CMD_GET_BIDI:
        a.status = CUPS_SC_STATUS_OK;
        a.data.assign(1, static_cast<char>(CUPS_SC_BIDI_SUPPORTED));
        break;
    default:
        a.status = CUPS_SC_STATUS_NOT_IMPLEMENTED;
        break;
    }
    return a;
}

std::string sideChannelCommandName(int command)
{
    switch (command) {
    case CUPS_SC_CMD_SOFT_RESET:
        return "SOFT_RESET";
    case CUPS_SC_CMD_DRAIN_OUTPUT:
        return "DRAIN_OUTPUT";
    case CUPS_SC_CMD_GET_BIDI:
        return "GET_BIDI";
    case CUPS_SC_CMD_GET_DEVICE_ID:
        return "GET_DEVICE_ID";
    case CUPS_SC_CMD_GET_STATE:
        return "GET_STATE";
    case CUPS_SC_CMD_SNMP_GET:
        return "SNMP_GET";
    case CUPS_SC_CMD_SNMP_GET_NEXT:
        return "SNMP_GET_NEXT";
    case CUPS_SC_CMD_GET_CONNECTED:
        return "GET_CONNECTED";
    default:
        return "command " + std::to_string(command);
    }
}

} // namespace oplprinter
