#include "command_exchange.h"

#include "sleeper.h"

#include <QDebug>
#include <QLabel>
#include <QWidget>

#include <vector>

namespace usblink
{

namespace
{

// Replies of the printer's status query that the readiness poll acts on.
const QByteArray kReady = "0001";
const QByteArray kWarmingUp = "1003";
const QByteArray kBusy = "0003";

} // namespace

CommandExchange::CommandExchange(ExchangeVariant variant)
    : variant_(std::move(variant)), link_(makePrinterLink())
{
}

CommandExchange::~CommandExchange() = default;

void CommandExchange::setStatusLine(QLabel *statusLine, QWidget *repaintTarget)
{
    statusLine_ = statusLine;
    repaintTarget_ = repaintTarget;
}

int CommandExchange::openLink()
{
    int rc = link_->initDevice();
    if (rc == kUsbOk)
        linkOpen_ = true;
    return rc;
}

int CommandExchange::closeLink()
{
    int rc = link_->releaseDevice();
    linkOpen_ = false;
    return rc;
}

void CommandExchange::releaseIfOpen()
{
    if (linkOpen_)
        closeLink();
}

QByteArray CommandExchange::writeAndReadPrinter(const QByteArray &command)
{
    std::vector<unsigned char> reply(kReplyBufferSize, 0);
    QByteArray send = command;
    send.detach();

    if (link_->SendCmd(reinterpret_cast<unsigned char *>(send.data()),
                       static_cast<unsigned int>(send.size())) != kUsbOk) {
        qDebug().noquote() << variant_.sendErrorLog;
        return QByteArrayLiteral("send error");
    }

    lastReadCount_ = 0;
    int n = link_->ReadCmd(reply.data(), kReplyBufferSize);
    lastReadCount_ = n;
    if (n < 1) {
        qDebug().noquote() << variant_.readErrorLog;
        return QByteArrayLiteral("read error");
    }
    // A link never reports more than it was given room for; bound it anyway.
    const int received = qMin(n, kReplyBufferSize);
    const char *bytes = reinterpret_cast<const char *>(reply.data());
    if (!variant_.cutReplyAtZero)
        return QByteArray(bytes, received);
    int end = 0;
    while (end < received && bytes[end] != '\0')
        ++end;
    return QByteArray(bytes, end);
}

bool CommandExchange::onlyWriteToPrinter(const QByteArray &command)
{
    QByteArray send = command;
    if (variant_.onlyWriteLength >= 0) {
        // A fixed-length command: pad with zero bytes, never read past the text.
        send = command.left(variant_.onlyWriteLength);
        if (send.size() < variant_.onlyWriteLength)
            send.append(QByteArray(variant_.onlyWriteLength - send.size(), '\0'));
    }
    send.detach();
    return link_->SendCmd(reinterpret_cast<unsigned char *>(send.data()),
                          static_cast<unsigned int>(send.size())) == kUsbOk;
}

bool CommandExchange::checkStatus()
{
    for (int poll = 0; poll < kStatusPolls; ++poll) {
        const QByteArray reply = writeAndReadPrinter(statusCommand);
        if (reply.startsWith(kReady)) {
            showStatus(QStringLiteral("打印机连接成功！"));
            if (!variant_.readyLog.isEmpty())
                qDebug().noquote() << variant_.readyLog;
            return true;
        }
        if (reply.startsWith(kWarmingUp))
            showStatus(QStringLiteral("打印机正在预热请稍候！"));
        else if (reply.startsWith(kBusy))
            showStatus(QStringLiteral("打印机忙，请稍候……"));
        else if (reply.isEmpty())
            showStatus(QStringLiteral("正在连接打印机……"));

        // The thread blocks in the wait: paint the newest text first.
        if (repaintTarget_)
            repaintTarget_->repaint();
        if (variant_.sleepBetweenStatusPolls)
            sleepSeconds(1);
    }
    showStatus(QStringLiteral("打印机连接失败"));
    return false;
}

char CommandExchange::ConvertHexChar(char ch)
{
    if (ch >= '0' && ch <= '9')
        return static_cast<char>(ch - '0');
    if (ch >= 'A' && ch <= 'F')
        return static_cast<char>(ch - 'A' + 10);
    if (ch >= 'a' && ch <= 'f')
        return static_cast<char>(ch - 'a' + 10);
    return kNotHexDigit;
}

QByteArray CommandExchange::HexStrToByteArray(const QString &text) const
{
    const QString hex = variant_.hexTextLimit >= 0 ? text.left(variant_.hexTextLimit) : text;
    QByteArray bytes;
    bytes.reserve(hex.size() / 2);

    auto toLatin = [](QChar c) {
        return c.unicode() > 255 ? '\0' : static_cast<char>(c.unicode());
    };
    int i = 0;
    while (i < hex.size()) {
        const char high = toLatin(hex.at(i));
        if (high == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= hex.size())
            break;
        const char hi = ConvertHexChar(high);
        const char lo = ConvertHexChar(toLatin(hex.at(i + 1)));
        if (hi == kNotHexDigit || lo == kNotHexDigit)
            break;
        bytes.append(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return bytes;
}

void CommandExchange::showStatus(const QString &text)
{
    if (statusLine_)
        statusLine_->setText(text);
}

} // namespace usblink
