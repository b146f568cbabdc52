#include "usb_communicate.h"

#include <QDebug>

#include <climits>

namespace
{

constexpr int kPrinterClass = LIBUSB_CLASS_PRINTER; // 7
constexpr int kCommandInterfaceString = 5;

void logRule()
{
    qDebug().noquote() << QByteArray(50, '#');
}

} // namespace

usb_communicate::usb_communicate() = default;

usb_communicate::~usb_communicate()
{
    if (devHandle)
        releaseDevice();
}

int usb_communicate::initDevice()
{
    // A link left open by an earlier call is closed first: a second context
    // on top of it would leak the first and keep the device claimed.
    if (devHandle)
        releaseDevice();

    devList = nullptr;
    usbContext = nullptr;
    // Without a context of its own the link would fall back on libusb's
    // default one and end it for everybody at release.
    if (libusb_init(&usbContext) != 0) {
        usbContext = nullptr;
        return kUsbNotFound;
    }

    ssize_t count = libusb_get_device_list(usbContext, &devList);
    if (count < 0) {
        if (devList)
            libusb_free_device_list(devList, 1);
        devList = nullptr;
        libusb_exit(usbContext);
        usbContext = nullptr;
        return kUsbNotFound;
    }

    devHandle = libusb_open_device_with_vid_pid(usbContext, kVendorId, kProductId);
    if (!devHandle) {
        qDebug() << "find device error";
        libusb_free_device_list(devList, 1);
        devList = nullptr;
        libusb_exit(usbContext);
        usbContext = nullptr;
        return kUsbNotFound;
    }

    // The interface search runs once per object; later opens reuse its result.
    if (interfaceNum == kInterfaceUnknown) {
        logRule();
        interfaceNum = getUsbPrinterInterFacesNum(devHandle);
        logRule();
    }

    libusb_free_device_list(devList, 1);
    devList = nullptr;

    if (libusb_kernel_driver_active(devHandle, interfaceNum) != 1)
        return kUsbOk;

    qDebug() << "kernel driver is active";
    if (libusb_detach_kernel_driver(devHandle, interfaceNum) == 0)
        return kUsbOk;

    // The printer stays with the kernel driver: nothing of this open may linger.
    qDebug() << "GET_DEVICE_ERROR";
    closeAll(false);
    return kUsbInterfaceError;
}

int usb_communicate::getUsbPrinterInterFacesNum(libusb_device_handle *handle)
{
    if (!handle)
        return 0;
    libusb_device *dev = libusb_get_device(handle);
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(dev, &desc) != 0 || desc.bNumConfigurations == 0)
        return 0;

    int firstPrinterInterface = -1;
    for (int c = 0; c < desc.bNumConfigurations; ++c) {
        libusb_config_descriptor *config = nullptr;
        if (libusb_get_config_descriptor(dev, static_cast<uint8_t>(c), &config) != 0 || !config)
            continue;
        int found = -1;
        for (int i = 0; i < config->bNumInterfaces && found < 0; ++i) {
            const libusb_interface &intf = config->interface[i];
            for (int a = 0; a < intf.num_altsetting && found < 0; ++a) {
                const libusb_interface_descriptor &alt = intf.altsetting[a];
                qDebug("interfaceNumber = %u, interfaceClass = %u, interfaceSubClass = %u, "
                       "interfaceProtocol = %u, interface = %u\n",
                       alt.bInterfaceNumber, alt.bInterfaceClass, alt.bInterfaceSubClass,
                       alt.bInterfaceProtocol, alt.iInterface);
                if (alt.bInterfaceClass != kPrinterClass)
                    continue;
                if (firstPrinterInterface < 0)
                    firstPrinterInterface = alt.bInterfaceNumber;
                if (desc.idVendor == kVendorId && desc.idProduct == kProductId &&
                    alt.iInterface == kCommandInterfaceString)
                    found = alt.bInterfaceNumber;
            }
        }
        libusb_free_config_descriptor(config);
        if (found >= 0)
            return found;
    }

    // No interface carries the command string index: a printer-class
    // interface is the next best guess, interface 0 the last.
    return firstPrinterInterface >= 0 ? firstPrinterInterface : 0;
}

int usb_communicate::claim()
{
    if (!devHandle)
        return -1;
    return libusb_claim_interface(devHandle, interfaceNum);
}

int usb_communicate::SendCmd(unsigned char *buf, unsigned int len)
{
    if (claim() < 0) {
        qDebug() << "Cannot Claim Interface";
        return kUsbWriteFailed;
    }
    if (!buf || len > static_cast<unsigned int>(INT_MAX)) {
        qDebug() << "Write libusb Error";
        return kUsbWriteFailed;
    }
    int transferred = 0;
    int rc = libusb_bulk_transfer(devHandle, kEndpointOut, buf, static_cast<int>(len), &transferred,
                                  kTimeoutMs);
    if (rc == 0 && transferred == static_cast<int>(len))
        return kUsbOk;
    qDebug() << "Write libusb Error";
    return kUsbWriteFailed;
}

int usb_communicate::ReadCmd(unsigned char *buf, unsigned int len)
{
    if (claim() < 0) {
        qDebug() << "Cannot Claim Interface";
        return kUsbReadFailed;
    }
    if (!buf || len == 0 || len > static_cast<unsigned int>(INT_MAX)) {
        qDebug() << "read Error";
        return kUsbReadFailed;
    }
    int transferred = 0;
    int rc = libusb_bulk_transfer(devHandle, kEndpointIn, buf, static_cast<int>(len), &transferred,
                                  kTimeoutMs);
    if (rc == 0 && transferred > 0)
        return transferred;
    qDebug() << "read Error";
    return kUsbReadFailed;
}

int usb_communicate::releaseDevice()
{
    if (!devHandle)
        return kUsbInterfaceError;
    int rc = libusb_release_interface(devHandle, interfaceNum);
    // An interface that no transfer claimed has nothing to release; any other
    // failure is reported, but the handle and context are closed regardless so
    // that the next open does not meet a device still claimed by this one.
    closeAll(true);
    if (rc == 0 || rc == LIBUSB_ERROR_NOT_FOUND)
        return kUsbOk;
    return kUsbInterfaceError;
}

void usb_communicate::closeAll(bool reset)
{
    if (devHandle) {
        // The reset hands the printer back to the kernel's printer driver.
        if (reset)
            libusb_reset_device(devHandle);
        libusb_close(devHandle);
        devHandle = nullptr;
    }
    if (usbContext) {
        libusb_exit(usbContext);
        usbContext = nullptr;
    }
}
