// usb_communicate against the real libusb, with a printer that umockdev
// emulates in this process (run under umockdev-wrapper). The emulated printer
// answers the usbfs requests libusb makes: it records what is written to its
// bulk OUT endpoint and answers reads on its bulk IN endpoint from a script.
#include "usb_communicate.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

// One interface of the emulated printer: number, class, string index.
struct InterfaceSpec {
    unsigned char number;
    unsigned char interfaceClass;
    unsigned char stringIndex;
};

// Device, configuration, interface and bulk endpoint descriptors as the
// kernel shows them in sysfs, as hex text.
std::string descriptorsHex(unsigned short vendor, unsigned short product,
                           const std::vector<InterfaceSpec> &interfaces)
{
    Bytes d = {0x12,
               0x01,
               0x00,
               0x02,
               0x00,
               0x00,
               0x00,
               0x40,
               static_cast<unsigned char>(vendor & 0xff),
               static_cast<unsigned char>(vendor >> 8),
               static_cast<unsigned char>(product & 0xff),
               static_cast<unsigned char>(product >> 8),
               0x00,
               0x01,
               0x01,
               0x02,
               0x03,
               0x01};
    const unsigned total = 9 + static_cast<unsigned>(interfaces.size()) * (9 + 7 + 7);
    Bytes config = {0x09,
                    0x02,
                    static_cast<unsigned char>(total & 0xff),
                    static_cast<unsigned char>(total >> 8),
                    static_cast<unsigned char>(interfaces.size()),
                    0x01,
                    0x00,
                    0xc0,
                    0x32};
    for (const InterfaceSpec &i : interfaces) {
        const Bytes intf = {0x09, 0x04, i.number,     0x00, 0x02, i.interfaceClass,
                            0x01, 0x02, i.stringIndex};
        config.insert(config.end(), intf.begin(), intf.end());
        // Each interface gets its own pair of bulk endpoints; the command
        // interface's are 0x03 and 0x83.
        const unsigned char out =
            i.stringIndex == 5 ? 0x03 : static_cast<unsigned char>(0x05 + i.number);
        const Bytes epOut = {0x07, 0x05, out, 0x02, 0x00, 0x02, 0x00};
        const Bytes epIn = {0x07, 0x05, static_cast<unsigned char>(out | 0x80), 0x02, 0x00,
                            0x02, 0x00};
        config.insert(config.end(), epOut.begin(), epOut.end());
        config.insert(config.end(), epIn.begin(), epIn.end());
    }
    d.insert(d.end(), config.begin(), config.end());
    std::string hex;
    char buf[3];
    for (unsigned char b : d) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        hex += buf;
    }
    return hex;
}

// What the emulated printer saw and will answer. Touched from umockdev's
// thread (the ioctl handler) and from the test, hence the lock.
struct PrinterState {
    std::mutex lock;
    std::vector<InterfaceSpec> interfaces;
    std::vector<std::pair<unsigned char, Bytes>> written; // endpoint, bytes
    std::deque<Bytes> replies; // one per IN transfer; none: the read waits
    int writeShortBy = 0;      // complete OUT transfers this many bytes short
    std::string kernelDriver;  // "" none, else the driver bound to every interface
    bool detachFails = false;
    bool releaseFails = false;
    bool claimFails = false;
    std::vector<unsigned> claims, releases;
    int resets = 0, detaches = 0, discards = 0;
    std::vector<UMockdevIoctlData *> reapable; // completed URBs waiting to be reaped
    std::vector<std::pair<UMockdevIoctlData *, UMockdevIoctlData *>> pendingIn; // urb, buffer
};

void complete(UMockdevIoctlClient *client, long result, int err)
{
    umockdev_ioctl_client_complete(client, result, err);
}

gboolean handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer userData)
{
    auto *st = static_cast<PrinterState *>(userData);
    std::lock_guard<std::mutex> guard(st->lock);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    GError *error = nullptr;

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), &error);
        if (!d)
            return FALSE;
        *reinterpret_cast<guint32 *>(d->data) =
            USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
            USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        umockdev_ioctl_data_unref(d);
        complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_GETDRIVER: {
        if (st->kernelDriver.empty()) {
            complete(client, -1, ENODATA);
            return TRUE;
        }
        UMockdevIoctlData *d =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_getdriver), &error);
        if (!d)
            return FALSE;
        auto *get = reinterpret_cast<struct usbdevfs_getdriver *>(d->data);
        std::snprintf(get->driver, sizeof get->driver, "%s", st->kernelDriver.c_str());
        umockdev_ioctl_data_unref(d);
        complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_IOCTL: { // the kernel driver is asked to let go of the interface
        ++st->detaches;
        if (st->detachFails) {
            complete(client, -1, EPERM);
        } else {
            st->kernelDriver.clear();
            complete(client, 0, 0);
        }
        return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), &error);
        if (!d)
            return FALSE;
        const unsigned number = *reinterpret_cast<unsigned int *>(d->data);
        umockdev_ioctl_data_unref(d);
        bool exists = false;
        for (const InterfaceSpec &i : st->interfaces)
            exists = exists || i.number == number;
        if (request == USBDEVFS_CLAIMINTERFACE) {
            st->claims.push_back(number);
            if (!exists || st->claimFails) {
                complete(client, -1, exists ? EBUSY : ENOENT);
                return TRUE;
            }
        } else {
            st->releases.push_back(number);
            if (st->releaseFails) {
                complete(client, -1, EBUSY);
                return TRUE;
            }
        }
        complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_RESET:
        ++st->resets;
        complete(client, 0, 0);
        return TRUE;
    case USBDEVFS_SUBMITURB: {
        UMockdevIoctlData *urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_urb), &error);
        if (!urbData)
            return FALSE;
        auto *urb = reinterpret_cast<struct usbdevfs_urb *>(urbData->data);
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(
            urbData, G_STRUCT_OFFSET(struct usbdevfs_urb, buffer), urb->buffer_length, &error);
        if (!buffer) {
            umockdev_ioctl_data_unref(urbData);
            return FALSE;
        }
        urb->status = 0;
        if (urb->endpoint & 0x80) {
            if (st->replies.empty()) {
                // Nothing to say: the transfer waits until libusb gives up on it.
                st->pendingIn.emplace_back(urbData, buffer);
                complete(client, 0, 0);
                return TRUE;
            }
            const Bytes reply = st->replies.front();
            st->replies.pop_front();
            const int n = std::min<int>(urb->buffer_length, static_cast<int>(reply.size()));
            if (n > 0)
                std::memcpy(buffer->data, reply.data(), static_cast<size_t>(n));
            urb->actual_length = n;
        } else {
            st->written.emplace_back(urb->endpoint,
                                     Bytes(buffer->data, buffer->data + urb->buffer_length));
            urb->actual_length = std::max(0, urb->buffer_length - st->writeShortBy);
        }
        st->reapable.push_back(urbData);
        complete(client, 0, 0);
        umockdev_ioctl_data_unref(buffer);
        return TRUE;
    }
    case USBDEVFS_DISCARDURB: {
        ++st->discards;
        // Only one read is ever outstanding here: it ends as cancelled.
        if (st->pendingIn.empty()) {
            complete(client, -1, EINVAL);
            return TRUE;
        }
        auto [urbData, buffer] = st->pendingIn.front();
        st->pendingIn.erase(st->pendingIn.begin());
        auto *urb = reinterpret_cast<struct usbdevfs_urb *>(urbData->data);
        urb->status = -ENOENT;
        urb->actual_length = 0;
        umockdev_ioctl_data_unref(buffer);
        st->reapable.push_back(urbData);
        complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        if (st->reapable.empty()) {
            complete(client, -1, EAGAIN);
            return TRUE;
        }
        UMockdevIoctlData *urbData = st->reapable.front();
        st->reapable.erase(st->reapable.begin());
        UMockdevIoctlData *ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), &error);
        if (!ptr || !umockdev_ioctl_data_set_ptr(ptr, 0, urbData)) {
            umockdev_ioctl_data_unref(urbData);
            return FALSE;
        }
        complete(client, 0, 0);
        umockdev_ioctl_data_unref(urbData);
        umockdev_ioctl_data_unref(ptr);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// Qt debug lines of the link, collected.
QStringList &logLines()
{
    static QStringList lines;
    return lines;
}

void collectLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    logLines() << message;
}

class UsbCommunicate : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        bed = umockdev_testbed_new();
        logLines().clear();
        previousHandler = qInstallMessageHandler(collectLog);
    }

    void TearDown() override
    {
        qInstallMessageHandler(previousHandler);
        if (handler)
            g_object_unref(handler);
        g_object_unref(bed);
        for (UMockdevIoctlData *d : state.reapable)
            umockdev_ioctl_data_unref(d);
        for (auto &p : state.pendingIn) {
            umockdev_ioctl_data_unref(p.second);
            umockdev_ioctl_data_unref(p.first);
        }
    }

    // Plugs in a printer with the given ids and interfaces.
    void plugIn(std::vector<InterfaceSpec> interfaces = {{0, 7, 4}, {1, 7, 5}},
                unsigned short vendor = usb_communicate::kVendorId,
                unsigned short product = usb_communicate::kProductId)
    {
        state.interfaces = interfaces;
        char ids[64];
        std::snprintf(ids, sizeof ids, "A: idVendor=%04x\nA: idProduct=%04x\n", vendor, product);
        const std::string record = std::string("P: /devices/1-1\n"
                                               "N: bus/usb/001/002\n"
                                               "E: SUBSYSTEM=usb\n"
                                               "E: DEVNAME=/dev/bus/usb/001/002\n"
                                               "E: DEVTYPE=usb_device\n"
                                               "E: BUSNUM=001\n"
                                               "E: DEVNUM=002\n"
                                               "A: busnum=1\n"
                                               "A: devnum=2\n"
                                               "A: dev=189:1\n") +
                                   ids +
                                   "A: speed=480\n"
                                   "A: bConfigurationValue=1\n"
                                   "A: bNumConfigurations=1\n"
                                   "H: descriptors=" +
                                   descriptorsHex(vendor, product, interfaces) + "\n";
        GError *error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed, record.c_str(), &error))
            << (error ? error->message : "");
        handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(handleIoctl), &state);
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed, "/dev/bus/usb/001/002", handler, &error))
            << (error ? error->message : "");
    }

    int countLog(const QString &line) const { return logLines().count(line); }

    UMockdevTestbed *bed = nullptr;
    UMockdevIoctlBase *handler = nullptr;
    PrinterState state;
    QtMessageHandler previousHandler = nullptr;
};

TEST_F(UsbCommunicate, NoPrinterAttachedIsNotFound)
{
    usb_communicate link;
    EXPECT_EQ(link.initDevice(), 252);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(countLog("find device error"), 1);
}

TEST_F(UsbCommunicate, PrinterWithAnotherProductIdIsNotFound)
{
    plugIn({{0, 7, 5}}, usb_communicate::kVendorId, 0x0033);
    usb_communicate link;
    EXPECT_EQ(link.initDevice(), 252);
    EXPECT_FALSE(link.isOpen());
}

TEST_F(UsbCommunicate, CommandInterfaceIsFoundByItsStringIndex)
{
    plugIn({{0, 7, 4}, {1, 7, 5}});
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    EXPECT_EQ(link.interfaceNumber(), 1);
    // The search logs every interface between two rules of 50 "#".
    EXPECT_EQ(countLog(QString(50, '#')), 2);
    EXPECT_EQ(countLog("interfaceNumber = 0, interfaceClass = 7, interfaceSubClass = 1, "
                       "interfaceProtocol = 2, interface = 4\n"),
              1);
    unsigned char cmd[] = {'S', 't', 'a', 't', 'u', 's', '?'};
    EXPECT_EQ(link.SendCmd(cmd, sizeof cmd), 0);
    EXPECT_EQ(link.releaseDevice(), 0);
    std::lock_guard<std::mutex> g(state.lock);
    EXPECT_EQ(state.claims, std::vector<unsigned>{1});
    EXPECT_EQ(state.releases, std::vector<unsigned>{1});
}

TEST_F(UsbCommunicate, WithoutStringIndexFiveTheFirstPrinterInterfaceServes)
{
    plugIn({{0, 0xff, 5}, {1, 7, 3}, {2, 7, 4}});
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    EXPECT_EQ(link.interfaceNumber(), 1);
    link.releaseDevice();
}

TEST_F(UsbCommunicate, CommandBytesGoToEndpoint3Unchanged)
{
    plugIn();
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char cmd[] = "RegisterFinger=Ann;";
    EXPECT_EQ(link.SendCmd(cmd, 19), 0);
    {
        std::lock_guard<std::mutex> g(state.lock);
        ASSERT_EQ(state.written.size(), 1u);
        EXPECT_EQ(state.written[0].first, 0x03);
        EXPECT_EQ(state.written[0].second, bytesOf("RegisterFinger=Ann;"));
    }
    link.releaseDevice();
}

TEST_F(UsbCommunicate, ShortWriteIsAFailure)
{
    plugIn();
    state.writeShortBy = 2;
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char cmd[] = "Status?";
    EXPECT_EQ(link.SendCmd(cmd, 7), 253);
    EXPECT_EQ(countLog("Write libusb Error"), 1);
    link.releaseDevice();
}

TEST_F(UsbCommunicate, ReplyIsReadFromEndpoint0x83)
{
    plugIn();
    state.replies.push_back(bytesOf("0001"));
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char reply[8192] = {};
    EXPECT_EQ(link.ReadCmd(reply, sizeof reply), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(reply)), "0001");
    link.releaseDevice();
}

TEST_F(UsbCommunicate, ReplyThatDoesNotStartWithinOneSecondIsAReadFailure)
{
    plugIn();
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char reply[64] = {};
    EXPECT_EQ(link.ReadCmd(reply, sizeof reply), 254);
    EXPECT_EQ(countLog("read Error"), 1);
    EXPECT_EQ(reply[0], 0);
    {
        std::lock_guard<std::mutex> g(state.lock);
        EXPECT_EQ(state.discards, 1);
    }
    link.releaseDevice();
}

TEST_F(UsbCommunicate, EmptyReadIsAReadFailure)
{
    plugIn();
    state.replies.push_back(Bytes());
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char reply[64] = {};
    EXPECT_EQ(link.ReadCmd(reply, sizeof reply), 254);
    link.releaseDevice();
}

TEST_F(UsbCommunicate, ReleaseAfterATransferReleasesResetsAndCloses)
{
    plugIn();
    state.replies.push_back(bytesOf("0001"));
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char reply[16] = {};
    ASSERT_EQ(link.ReadCmd(reply, sizeof reply), 4);
    EXPECT_EQ(link.releaseDevice(), 0);
    EXPECT_FALSE(link.isOpen());
    std::lock_guard<std::mutex> g(state.lock);
    EXPECT_EQ(state.releases, std::vector<unsigned>{1});
    EXPECT_EQ(state.resets, 1);
}

TEST_F(UsbCommunicate, ReleaseWithoutAnyTransferStillClosesTheLink)
{
    plugIn();
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    EXPECT_EQ(link.releaseDevice(), 0);
    EXPECT_FALSE(link.isOpen());
    std::lock_guard<std::mutex> g(state.lock);
    EXPECT_TRUE(state.releases.empty());
    EXPECT_EQ(state.resets, 1);
}

TEST_F(UsbCommunicate, FailedReleaseIsReportedAndTheLinkIsClosedAnyway)
{
    plugIn();
    state.releaseFails = true;
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char cmd[] = "Status?";
    ASSERT_EQ(link.SendCmd(cmd, 7), 0);
    EXPECT_EQ(link.releaseDevice(), 255);
    EXPECT_FALSE(link.isOpen());
    // The next open gets the printer again.
    state.releaseFails = false;
    EXPECT_EQ(link.initDevice(), 0);
    EXPECT_EQ(link.releaseDevice(), 0);
}

TEST_F(UsbCommunicate, SecondOpenReusesTheInterfaceWithoutSearching)
{
    plugIn();
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    ASSERT_EQ(link.releaseDevice(), 0);
    logLines().clear();
    ASSERT_EQ(link.initDevice(), 0);
    EXPECT_EQ(link.interfaceNumber(), 1);
    EXPECT_EQ(countLog(QString(50, '#')), 0);
    unsigned char cmd[] = "Status?";
    EXPECT_EQ(link.SendCmd(cmd, 7), 0);
    EXPECT_EQ(link.releaseDevice(), 0);
}

TEST_F(UsbCommunicate, ActiveKernelDriverIsDetached)
{
    plugIn();
    state.kernelDriver = "usblp";
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    EXPECT_EQ(countLog("kernel driver is active"), 1);
    {
        std::lock_guard<std::mutex> g(state.lock);
        EXPECT_EQ(state.detaches, 1);
    }
    link.releaseDevice();
}

TEST_F(UsbCommunicate, KernelDriverThatWillNotLetGoIs255)
{
    plugIn();
    state.kernelDriver = "usblp";
    state.detachFails = true;
    usb_communicate link;
    EXPECT_EQ(link.initDevice(), 255);
    EXPECT_EQ(countLog("GET_DEVICE_ERROR"), 1);
    EXPECT_FALSE(link.isOpen());
    std::lock_guard<std::mutex> g(state.lock);
    // The printer is left with its driver: no reset.
    EXPECT_EQ(state.resets, 0);
}

TEST_F(UsbCommunicate, InterfaceThatCannotBeClaimedFailsBothTransfers)
{
    plugIn();
    state.claimFails = true;
    usb_communicate link;
    ASSERT_EQ(link.initDevice(), 0);
    unsigned char buf[16] = "Status?";
    EXPECT_EQ(link.SendCmd(buf, 7), 253);
    EXPECT_EQ(link.ReadCmd(buf, sizeof buf), 254);
    EXPECT_EQ(countLog("Cannot Claim Interface"), 2);
    {
        std::lock_guard<std::mutex> g(state.lock);
        EXPECT_TRUE(state.written.empty());
    }
    link.releaseDevice();
}

TEST_F(UsbCommunicate, TransfersOnALinkThatIsNotOpenFailSafely)
{
    usb_communicate link;
    unsigned char buf[8] = {};
    EXPECT_EQ(link.SendCmd(buf, 1), 253);
    EXPECT_EQ(link.ReadCmd(buf, sizeof buf), 254);
    EXPECT_EQ(link.releaseDevice(), 255);
}

} // namespace
