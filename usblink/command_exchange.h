// One command/reply exchange with the printer over the USB link, shared by the
// settings dialogs that talk to the printer. A dialog holds a CommandExchange
// by value, points it at its status line, and opens and releases the link
// around each of its operations. The few ways in which the dialogs' exchanges
// differ are chosen with an ExchangeVariant instead of copies of the code.
#pragma once

#include "printer_link.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QLabel;
class QWidget;

namespace usblink
{

// How a dialog's exchange differs from the common one.
struct ExchangeVariant {
    // Debug lines of writeAndReadPrinter when the send or the read fails.
    QByteArray sendErrorLog = "send libusb error ";
    QByteArray readErrorLog = "read libusb error";
    // true: the reply ends at its first zero byte. false: the reply is exactly
    // as many bytes of the zeroed read buffer as ReadCmd reported, zero bytes
    // included (binary replies such as the address reply).
    bool cutReplyAtZero = true;
    // checkStatus waits one second between its polls (false: repaint only).
    bool sleepBetweenStatusPolls = true;
    // Debug line of checkStatus when the printer is ready; empty: none.
    QByteArray readyLog;
    // onlyWriteToPrinter sends this many bytes of the command (the command is
    // zero-padded when shorter); negative: the whole command.
    int onlyWriteLength = -1;
    // HexStrToByteArray reads at most this many characters; negative: all.
    int hexTextLimit = -1;
};

class CommandExchange
{
  public:
    static constexpr int kReplyBufferSize = 8192;
    static constexpr int kStatusPolls = 5;
    // The "not a hexadecimal digit" mark of ConvertHexChar.
    static constexpr char kNotHexDigit = static_cast<char>(0xFF);

    explicit CommandExchange(ExchangeVariant variant = ExchangeVariant());
    ~CommandExchange();
    CommandExchange(const CommandExchange &) = delete;
    CommandExchange &operator=(const CommandExchange &) = delete;

    // The label that checkStatus writes its progress into, and the widget it
    // repaints before each wait so that the text shows while the thread waits.
    void setStatusLine(QLabel *statusLine, QWidget *repaintTarget);

    // --- the link and the dialog's link-open flag ---
    PrinterLink &link() { return *link_; }
    // initDevice; sets the link-open flag when it returns 0. Returns its result.
    int openLink();
    // releaseDevice and clears the link-open flag. Returns releaseDevice's result.
    int closeLink();
    // closeLink when the link-open flag is set.
    void releaseIfOpen();
    bool linkOpen() const { return linkOpen_; }
    void setLinkOpen(bool open) { linkOpen_ = open; }

    // --- the exchange ---
    // Sends the command's bytes (no terminator) and reads one reply of at most
    // 8192 bytes. "send error" when the write fails; "read error" when the
    // link reports a read of less than one byte; a read that failed inside
    // the USB link arrives as an empty reply (common variant).
    QByteArray writeAndReadPrinter(const QByteArray &command);
    // Sends the command without reading; true when it was written.
    bool onlyWriteToPrinter(const QByteArray &command);
    // Up to five "Status?" polls: true at the first reply beginning "0001".
    // Writes its progress texts into the status line.
    bool checkStatus();
    // The count ReadCmd reported for the last reply (0 before a read).
    int lastReadCount() const { return lastReadCount_; }

    // --- hexadecimal text ---
    // '0'..'9', 'A'..'F', 'a'..'f' give 0..15; anything else kNotHexDigit.
    static char ConvertHexChar(char ch);
    // Pairs of hex digits, single spaces allowed between pairs, to bytes; stops
    // at the first pair that is incomplete or holds a non-digit.
    QByteArray HexStrToByteArray(const QString &text) const;

    const ExchangeVariant &variant() const { return variant_; }
    const QByteArray statusCommand{"Status?"};

  private:
    void showStatus(const QString &text);

    ExchangeVariant variant_;
    std::unique_ptr<PrinterLink> link_;
    bool linkOpen_ = false;
    int lastReadCount_ = 0;
    QLabel *statusLine_ = nullptr;
    QWidget *repaintTarget_ = nullptr;
};

} // namespace usblink
