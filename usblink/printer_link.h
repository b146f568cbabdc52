// The seam between the settings dialogs and the printer: the four operations
// of the USB link. Production code gets a link to the real USB printer; tests
// install a factory that hands out links to a scripted printer.
#pragma once

#include "usb_communicate.h"

#include <functional>
#include <memory>

namespace usblink
{

// The operations a dialog performs on its link, with the result codes of
// usb_communicate (0, 252, 253, 254, 255; ReadCmd returns a byte count).
class PrinterLink
{
  public:
    virtual ~PrinterLink() = default;
    virtual int initDevice() = 0;
    virtual int SendCmd(unsigned char *buf, unsigned int len) = 0;
    virtual int ReadCmd(unsigned char *buf, unsigned int len) = 0;
    virtual int releaseDevice() = 0;
};

// The real printer on USB.
class UsbPrinterLink final : public PrinterLink
{
  public:
    int initDevice() override { return usb.initDevice(); }
    int SendCmd(unsigned char *buf, unsigned int len) override { return usb.SendCmd(buf, len); }
    int ReadCmd(unsigned char *buf, unsigned int len) override { return usb.ReadCmd(buf, len); }
    int releaseDevice() override { return usb.releaseDevice(); }

  private:
    usb_communicate usb;
};

using PrinterLinkFactory = std::function<std::unique_ptr<PrinterLink>()>;

// A new link from the installed factory; a UsbPrinterLink when none is installed.
std::unique_ptr<PrinterLink> makePrinterLink();

// Installs a factory (an empty one restores the USB link) and returns the
// previous one. Tests only.
PrinterLinkFactory setPrinterLinkFactory(PrinterLinkFactory factory);

} // namespace usblink
