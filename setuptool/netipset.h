// netIpSet: the window of the network model LR880N. With the printer on USB it
// reads and sets the printer's address, mask and gateway; without it, it adds
// the CUPS queue LR880N for a printer address the user types in.
#pragma once

#include "command_exchange.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

namespace Ui
{
class netIpSet;
}

class netIpSet : public QMainWindow
{
    Q_OBJECT

  public:
    // Builds the form and looks for the printer on USB: USB mode with its
    // current address shown when it answers, network mode otherwise.
    explicit netIpSet(QWidget *parent = nullptr);
    ~netIpSet() override;

    // USB mode (true): the address group; network mode (false): the queue group.
    void enableChange(bool usb);

    // Shows an address reply (address, mask, gateway, 4 bytes each; bytes
    // past the twelfth join the gateway) in the fields and labels.
    void findIp(const QByteArray &reply);

    // The bytes as lower-case hexadecimal pairs separated by single spaces.
    static QString HexToStr(const QByteArray &data);
    // A dotted address as hexadecimal text, two digits per part
    // (192.168.1.100 gives c0a80164). Meant for addresses that passed checkIp.
    static QString StringToHenStr(const QString &text);
    // True for exactly four dot-separated decimal numbers of 0 to 255.
    static bool checkIp(const QString &text);
    // The address set command: "SetIP=", the 12 payload bytes, ";" (19 bytes).
    static QByteArray setIpCommand(const QByteArray &payload);
    // The address written the way a resolver reads it: each part as a plain
    // decimal number (010.1.1.1 gives 10.1.1.1). For addresses that passed checkIp.
    static QString canonicalAddress(const QString &text);

    // Sends the 12-byte address payload to the printer over USB. False when
    // the printer cannot be reached or the command was not written.
    bool setIp(const QByteArray &payload);

    // Creates or changes the CUPS queue LR880N for socket://address:9100, makes
    // it the default queue and restarts CUPS. The status line says what
    // failed; true only when every step worked. Refuses an invalid address.
    bool addPrinter(const QString &address);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

  private slots:
    void on_findPrinter_clicked();
    void on_IDOK_clicked();
    void on_clearBtn_clicked();
    void on_addPrinter_clicked();
    void on_IDCANCEL_clicked();

  private:
    // Opens the link and waits for the printer; false (network mode, status
    // line set) when it is absent or not ready.
    bool connectUsb(const QString &notReadyText);
    // The "CheckIP?" reply when it is the 12 bytes of an address reply,
    // asking twice; empty otherwise.
    QByteArray queryAddress();

    usblink::CommandExchange exchange;
    const QByteArray checkIpCommand{"CheckIP?"};
    QByteArray setIpCmd{"SetIP="};
    Ui::netIpSet *ui;
};
