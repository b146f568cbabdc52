// Our side-channel wire format against libcups' own reader and writer:
// libcups always uses fd 4, so the test puts one end of a socket pair there
// for the duration of each test.
#include "side_channel.h"

#include <cups/sidechannel.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

using namespace oplprinter;

namespace
{

class LibcupsOnFd4 : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        saved_ = dup(CUPS_SC_FD);
        int sv[2];
        ASSERT_EQ(socketpair(AF_LOCAL, SOCK_STREAM, 0, sv), 0);
        // Above fd 4 first: the pair itself may have been given fd 4.
        const int theirs = fcntl(sv[1], F_DUPFD, 10);
        ours_ = fcntl(sv[0], F_DUPFD, 10);
        close(sv[0]);
        close(sv[1]);
        ASSERT_EQ(dup2(theirs, CUPS_SC_FD), CUPS_SC_FD);
        close(theirs);
    }
    void TearDown() override
    {
        close(ours_);
        if (saved_ >= 0) {
            dup2(saved_, CUPS_SC_FD);
            close(saved_);
        } else {
            close(CUPS_SC_FD);
        }
    }
    std::string readOurs()
    {
        char buf[70000];
        ssize_t n = read(ours_, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    int saved_ = -1;
    int ours_ = -1;
};

} // namespace

TEST_F(LibcupsOnFd4, DrainRequestFromLibcupsDecodesAndEncodesToTheSameBytes)
{
    ASSERT_EQ(cupsSideChannelWrite(CUPS_SC_CMD_DRAIN_OUTPUT, CUPS_SC_STATUS_NONE, nullptr, 0, 1.0),
              0);
    const std::string wire = readOurs();
    SideChannelDecoder d;
    d.feed(wire.data(), wire.size());
    SideChannelMessage m;
    ASSERT_TRUE(d.next(m));
    EXPECT_EQ(m.command, CUPS_SC_CMD_DRAIN_OUTPUT);
    EXPECT_EQ(m.status, CUPS_SC_STATUS_NONE);
    EXPECT_TRUE(m.data.empty());
    EXPECT_EQ(encodeSideChannel(m), wire);
    EXPECT_EQ(d.pending(), 0u);
}

TEST_F(LibcupsOnFd4, LongDataFromLibcupsKeepsItsLength)
{
    std::string data(300, 'x');
    data[0] = 'a';
    data[299] = 'z';
    ASSERT_EQ(cupsSideChannelWrite(CUPS_SC_CMD_GET_DEVICE_ID, CUPS_SC_STATUS_OK, data.data(),
                                   static_cast<int>(data.size()), 1.0),
              0);
    const std::string wire = readOurs();
    SideChannelDecoder d;
    // Byte by byte: no message before the last byte.
    SideChannelMessage m;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        EXPECT_FALSE(d.next(m));
        d.feed(&wire[i], 1);
    }
    ASSERT_TRUE(d.next(m));
    EXPECT_EQ(m.command, CUPS_SC_CMD_GET_DEVICE_ID);
    EXPECT_EQ(m.status, CUPS_SC_STATUS_OK);
    EXPECT_EQ(m.data, data);
}

TEST_F(LibcupsOnFd4, LibcupsReadsOurAnswers)
{
    struct Case {
        int command;
        cups_sc_status_t status;
        std::string data;
    };
    const Case cases[] = {
        {CUPS_SC_CMD_DRAIN_OUTPUT, CUPS_SC_STATUS_OK, ""},
        {CUPS_SC_CMD_GET_BIDI, CUPS_SC_STATUS_OK, std::string(1, CUPS_SC_BIDI_SUPPORTED)},
        {CUPS_SC_CMD_GET_STATE, CUPS_SC_STATUS_NOT_IMPLEMENTED, ""},
        {CUPS_SC_CMD_GET_DEVICE_ID, CUPS_SC_STATUS_OK, std::string(300, 'q')},
    };
    for (const auto &c : cases) {
        SideChannelMessage m;
        m.command = c.command;
        m.status = c.status;
        m.data = c.data;
        const std::string wire = encodeSideChannel(m);
        ASSERT_EQ(write(ours_, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
        cups_sc_command_t command;
        cups_sc_status_t status;
        char buf[512];
        int len = sizeof buf;
        ASSERT_EQ(cupsSideChannelRead(&command, &status, buf, &len, 1.0), 0);
        EXPECT_EQ(command, c.command);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(len)), c.data);
    }
}

TEST(SideChannel, BackendAnswersAsTheCupsBackendsDo)
{
    SideChannelMessage req;
    req.command = CUPS_SC_CMD_DRAIN_OUTPUT;
    SideChannelMessage a = backendAnswer(req);
    EXPECT_EQ(a.command, CUPS_SC_CMD_DRAIN_OUTPUT);
    EXPECT_EQ(a.status, CUPS_SC_STATUS_OK);
    EXPECT_TRUE(a.data.empty());

    req.command = CUPS_SC_CMD_GET_BIDI;
    a = backendAnswer(req);
    EXPECT_EQ(a.status, CUPS_SC_STATUS_OK);
    EXPECT_EQ(a.data, std::string(1, CUPS_SC_BIDI_SUPPORTED));

    for (int cmd : {CUPS_SC_CMD_SOFT_RESET, CUPS_SC_CMD_GET_DEVICE_ID, CUPS_SC_CMD_GET_STATE,
                    CUPS_SC_CMD_SNMP_GET, CUPS_SC_CMD_SNMP_GET_NEXT, CUPS_SC_CMD_GET_CONNECTED}) {
        req.command = cmd;
        a = backendAnswer(req);
        EXPECT_EQ(a.command, cmd);
        EXPECT_EQ(a.status, CUPS_SC_STATUS_NOT_IMPLEMENTED) << sideChannelCommandName(cmd);
    }
}
