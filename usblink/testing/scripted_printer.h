// A scripted printer on the dialogs' link seam, for tests. Each command the
// printer receives is answered from a per-command queue of replies; when a
// queue runs dry its standing answer (if any) is used, and otherwise the read
// times out. Every command that reached the printer is recorded in order.
//
//   usblink::testing::ScriptedPrinter printer;          // installs itself
//   usblink::testing::FakeSleeper sleeper;              // waits cost nothing
//   printer.always("Status?", "0001");
//   printer.reply("RegisterFinger=Ann;", "6002");
//   printer.reply("Status?", {"0001", "6002", "6244", "6177"});
//   ... drive the dialog ...
//   QCOMPARE(printer.sent(), (QList<QByteArray>{"Status?", ...}));
#pragma once

#include "printer_link.h"
#include "sleeper.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <memory>

namespace usblink
{
namespace testing
{

// One answer of the printer to one command.
struct Reply {
    enum Kind {
        Bytes,     // the bytes are read back (an empty Bytes reply reads nothing: read fails)
        Silence,   // the command is written but nothing comes back: ReadCmd fails (254)
        SendFails, // the write fails: SendCmd returns 253 and the command is not recorded
    };
    Reply() = default;
    Reply(const char *text) : bytes(text) {}
    Reply(const QByteArray &data) : kind(Bytes), bytes(data) {}
    static Reply silence() { return Reply(Silence); }
    static Reply sendFails() { return Reply(SendFails); }

    Kind kind = Bytes;
    QByteArray bytes;

  private:
    explicit Reply(Kind k) : kind(k) {}
};

class ScriptedPrinter
{
  public:
    // Installs the printer as the source of every link made while it lives.
    ScriptedPrinter();
    // Restores the previous link factory.
    ~ScriptedPrinter();
    ScriptedPrinter(const ScriptedPrinter &) = delete;
    ScriptedPrinter &operator=(const ScriptedPrinter &) = delete;

    // --- the script ---
    // Queues replies to a command (compared byte for byte), used one per send.
    void reply(const QByteArray &command, const Reply &answer);
    void reply(const QByteArray &command, const QList<Reply> &answers);
    // The answer once the command's queue is empty.
    void always(const QByteArray &command, const Reply &answer);
    // What initDevice returns from now on (0 present, 252 absent, 255 driver busy).
    void setInitResult(int result) { initResult_ = result; }
    // What releaseDevice returns from now on.
    void setReleaseResult(int result) { releaseResult_ = result; }
    // Called with each command as it arrives (after it is recorded).
    void onCommand(std::function<void(const QByteArray &)> hook) { hook_ = std::move(hook); }
    // Forgets the script and the record.
    void reset();

    // --- what happened ---
    // Commands written, in order (failed writes are not recorded).
    const QList<QByteArray> &sent() const { return sent_; }
    // Commands written that had neither a queued nor a standing answer.
    const QList<QByteArray> &unscripted() const { return unscripted_; }
    // Queued replies that were never used, as "command -> reply" lines.
    QStringList unusedReplies() const;
    int initCalls() const { return initCalls_; }
    int releaseCalls() const { return releaseCalls_; }
    // Links currently open (initDevice returned 0 and releaseDevice not yet called).
    int openLinks() const { return openLinks_; }
    // Commands sent through a link that was not open: a fault of the dialog.
    int sendsWithoutOpenLink() const { return sendsWithoutOpen_; }

    // --- link side, used by the links this printer hands out ---
    int linkInit();
    int linkRelease(bool wasOpen);
    int linkSend(const unsigned char *buf, unsigned int len, bool open);
    int linkRead(unsigned char *buf, unsigned int len);

  private:
    QMap<QByteArray, QList<Reply>> queued_;
    QMap<QByteArray, Reply> standing_;
    QList<QByteArray> sent_;
    QList<QByteArray> unscripted_;
    std::function<void(const QByteArray &)> hook_;
    // The answer waiting to be read; a new command replaces an unread one.
    bool hasPending_ = false;
    Reply pending_;
    int initResult_ = 0;
    int releaseResult_ = 0;
    int initCalls_ = 0;
    int releaseCalls_ = 0;
    int openLinks_ = 0;
    int sendsWithoutOpen_ = 0;
    PrinterLinkFactory previous_;
};

// Makes the dialogs' waits cost nothing while it lives, recording each one.
class FakeSleeper final : public Sleeper
{
  public:
    FakeSleeper();
    ~FakeSleeper() override;
    void sleepSeconds(int seconds) override;

    // Every wait asked for, in seconds, in order.
    const QList<int> &waits() const { return waits_; }
    int totalSeconds() const;
    void clear() { waits_.clear(); }
    // Called at each wait (after it is recorded).
    void onSleep(std::function<void(int)> hook) { hook_ = std::move(hook); }

  private:
    QList<int> waits_;
    std::function<void(int)> hook_;
    Sleeper *previous_ = nullptr;
};

} // namespace testing
} // namespace usblink
