// USB link to the LR880 printer: finds it by vendor and product id, takes its
// command interface from the kernel's printer driver and moves command and
// reply bytes with bulk transfers. It knows nothing of the command language.
#pragma once

#include <libusb.h>

// Result codes of the link; the same numbers the dialogs test for.
enum UsbLinkResult : int {
    kUsbOk = 0,
    kUsbNotFound = 252,       // no printer, or the device list is unreadable
    kUsbWriteFailed = 253,    // SendCmd: claim failed, short write, error, time-out
    kUsbReadFailed = 254,     // ReadCmd: claim failed, error, time-out, empty read
    kUsbInterfaceError = 255, // kernel driver or interface trouble
};

class usb_communicate
{
  public:
    // The maker's vendor id (build-time constant) and the printer's product id.
    static constexpr unsigned short kVendorId = KOLVEX_USB_VENDOR_ID;
    static constexpr unsigned short kProductId = 0x0032;
    static constexpr unsigned char kEndpointOut = 0x03;
    static constexpr unsigned char kEndpointIn = 0x83;
    static constexpr unsigned int kTimeoutMs = 1000;
    // interfaceNum before the first successful open.
    static constexpr int kInterfaceUnknown = 255;

    usb_communicate();
    // Closes a link that is still open, so no handle or context outlives the object.
    ~usb_communicate();
    usb_communicate(const usb_communicate &) = delete;
    usb_communicate &operator=(const usb_communicate &) = delete;

    // Opens the printer in a fresh libusb context and detaches the kernel
    // driver from the command interface. 0 open; 252 no printer or no device
    // list (context ended); 255 the kernel driver could not be detached
    // (handle closed, context ended). Does not claim the interface.
    int initDevice();

    // Number of the command interface of the device: the printer-class (7)
    // interface whose string index is 5. Falls back to the first
    // printer-class interface, then to interface 0.
    int getUsbPrinterInterFacesNum(libusb_device_handle *handle);

    // Claims the interface and writes all len bytes to endpoint 0x03 within
    // one second. 0 when every byte went out; 253 otherwise (no retry).
    int SendCmd(unsigned char *buf, unsigned int len);

    // Claims the interface and reads at most len bytes from endpoint 0x83
    // within one second. The count received (at least 1); 254 on failure,
    // time-out or an empty transfer. buf is not terminated.
    int ReadCmd(unsigned char *buf, unsigned int len);

    // Releases the interface, resets and closes the device and ends the
    // context. 0 when the link is closed (also when no transfer had claimed
    // the interface); 255 when a claimed interface could not be released
    // (the handle and context are closed all the same). 255 when not open.
    int releaseDevice();

    // True between a successful initDevice and releaseDevice.
    bool isOpen() const { return devHandle != nullptr; }
    int interfaceNumber() const { return interfaceNum; }

  private:
    int claim();
    void closeAll(bool reset);

    libusb_device **devList = nullptr;
    libusb_context *usbContext = nullptr;
    libusb_device_handle *devHandle = nullptr;
    int interfaceNum = kInterfaceUnknown;
};
