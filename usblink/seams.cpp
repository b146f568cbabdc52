#include "printer_link.h"
#include "sleeper.h"

#include <QThread>

#include <utility>

namespace usblink
{

namespace
{

PrinterLinkFactory &linkFactory()
{
    static PrinterLinkFactory factory;
    return factory;
}

class RealSleeper final : public Sleeper
{
  public:
    void sleepSeconds(int seconds) override
    {
        if (seconds > 0)
            QThread::sleep(static_cast<unsigned long>(seconds));
    }
};

Sleeper *&currentSleeper()
{
    static Sleeper *sleeper = nullptr;
    return sleeper;
}

} // namespace

std::unique_ptr<PrinterLink> makePrinterLink()
{
    if (linkFactory()) {
        if (auto link = linkFactory()())
            return link;
    }
    return std::make_unique<UsbPrinterLink>();
}

PrinterLinkFactory setPrinterLinkFactory(PrinterLinkFactory factory)
{
    return std::exchange(linkFactory(), std::move(factory));
}

void sleepSeconds(int seconds)
{
    static RealSleeper real;
    Sleeper *s = currentSleeper();
    (s ? s : &real)->sleepSeconds(seconds);
}

Sleeper *setSleeper(Sleeper *sleeper)
{
    return std::exchange(currentSleeper(), sleeper);
}

} // namespace usblink
