// Entry of statusmon (USB model) and statusmon-net (network model): the same
// source, compiled once per model with KOLVEX_MONITOR_NETWORK set to 0 or 1.
#include "lr990n.h"
#include "singleinstance.h"

#include <QApplication>
#include <QTextCodec>

#ifndef KOLVEX_MONITOR_NETWORK
#error "KOLVEX_MONITOR_NETWORK must be defined to 0 (USB model) or 1 (network model)"
#endif

// Starts one monitor per model on the machine; a second start ends at once
// with 0. Otherwise returns the event loop's result after 退出.
int main(int argc, char *argv[])
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("System"));
    QApplication app(argc, argv);
    const MonitorConfig config =
        KOLVEX_MONITOR_NETWORK ? MonitorConfig::network() : MonitorConfig::usb();
    if (!checkOnly(config.lockFilePath))
        return 0;

    LR990N window(config);
    window.show();
    return app.exec();
}
