#include "scripted_printer.h"

#include <algorithm>
#include <cstring>

namespace usblink
{
namespace testing
{

namespace
{

// One dialog's link to the scripted printer; keeps its own open state so that
// sends on a link that was never opened are caught.
class ScriptedLink final : public PrinterLink
{
  public:
    explicit ScriptedLink(ScriptedPrinter &printer) : printer_(printer) {}

    int initDevice() override
    {
        // Like the USB link, a second open first lets go of the first one.
        if (open_) {
            open_ = false;
            printer_.linkRelease(true);
        }
        int rc = printer_.linkInit();
        if (rc == kUsbOk)
            open_ = true;
        return rc;
    }
    int SendCmd(unsigned char *buf, unsigned int len) override
    {
        return printer_.linkSend(buf, len, open_);
    }
    int ReadCmd(unsigned char *buf, unsigned int len) override
    {
        return printer_.linkRead(buf, len);
    }
    int releaseDevice() override
    {
        bool wasOpen = open_;
        open_ = false;
        return printer_.linkRelease(wasOpen);
    }

  private:
    ScriptedPrinter &printer_;
    bool open_ = false;
};

} // namespace

ScriptedPrinter::ScriptedPrinter()
{
    previous_ = setPrinterLinkFactory(
        [this]() -> std::unique_ptr<PrinterLink> { return std::make_unique<ScriptedLink>(*this); });
}

ScriptedPrinter::~ScriptedPrinter()
{
    setPrinterLinkFactory(std::move(previous_));
}

void ScriptedPrinter::reply(const QByteArray &command, const Reply &answer)
{
    queued_[command].append(answer);
}

void ScriptedPrinter::reply(const QByteArray &command, const QList<Reply> &answers)
{
    queued_[command].append(answers);
}

void ScriptedPrinter::always(const QByteArray &command, const Reply &answer)
{
    standing_.insert(command, answer);
}

void ScriptedPrinter::reset()
{
    queued_.clear();
    standing_.clear();
    sent_.clear();
    unscripted_.clear();
    hasPending_ = false;
    initCalls_ = releaseCalls_ = sendsWithoutOpen_ = 0;
}

QStringList ScriptedPrinter::unusedReplies() const
{
    QStringList lines;
    for (auto it = queued_.cbegin(); it != queued_.cend(); ++it)
        for (const Reply &r : it.value())
            lines << QString::fromUtf8(it.key() + " -> " +
                                       (r.kind == Reply::Bytes     ? r.bytes
                                        : r.kind == Reply::Silence ? QByteArray("<silence>")
                                                                   : QByteArray("<send fails>")));
    return lines;
}

int ScriptedPrinter::linkInit()
{
    ++initCalls_;
    if (initResult_ == kUsbOk)
        ++openLinks_;
    return initResult_;
}

int ScriptedPrinter::linkRelease(bool wasOpen)
{
    ++releaseCalls_;
    if (wasOpen)
        --openLinks_;
    return releaseResult_;
}

int ScriptedPrinter::linkSend(const unsigned char *buf, unsigned int len, bool open)
{
    if (!open)
        ++sendsWithoutOpen_;
    const QByteArray command(reinterpret_cast<const char *>(buf), static_cast<int>(len));

    Reply answer;
    bool scripted = true;
    QList<Reply> &queue = queued_[command];
    if (!queue.isEmpty())
        answer = queue.takeFirst();
    else if (standing_.contains(command))
        answer = standing_.value(command);
    else
        scripted = false;
    if (queue.isEmpty())
        queued_.remove(command);

    if (scripted && answer.kind == Reply::SendFails) {
        hasPending_ = false;
        return kUsbWriteFailed;
    }
    sent_.append(command);
    if (!scripted)
        unscripted_.append(command);
    // An unscripted command gets no answer: the read times out.
    hasPending_ = scripted && answer.kind == Reply::Bytes;
    pending_ = answer;
    if (hook_)
        hook_(command);
    return kUsbOk;
}

int ScriptedPrinter::linkRead(unsigned char *buf, unsigned int len)
{
    if (!hasPending_ || pending_.bytes.isEmpty() || len == 0)
        return kUsbReadFailed;
    hasPending_ = false;
    const unsigned int n =
        std::min<unsigned int>(len, static_cast<unsigned int>(pending_.bytes.size()));
    std::memcpy(buf, pending_.bytes.constData(), n);
    return static_cast<int>(n);
}

FakeSleeper::FakeSleeper() : previous_(setSleeper(this)) {}

FakeSleeper::~FakeSleeper()
{
    setSleeper(previous_);
}

void FakeSleeper::sleepSeconds(int seconds)
{
    waits_.append(seconds);
    if (hook_)
        hook_(seconds);
}

int FakeSleeper::totalSeconds() const
{
    int total = 0;
    for (int s : waits_)
        total += s;
    return total;
}

} // namespace testing
} // namespace usblink
