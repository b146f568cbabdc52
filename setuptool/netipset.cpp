#include "netipset.h"
#include "ui_netipset.h"

#include "command_runner.h"
#include "tool_dialogs.h"

#include <QCloseEvent>
#include <QDebug>
#include <QEvent>
#include <QStringList>

namespace
{

usblink::ExchangeVariant netVariant()
{
    // This window reads a binary address reply (zero bytes included), polls
    // without pausing and writes the fixed-length address set command.
    usblink::ExchangeVariant variant;
    variant.sendErrorLog = "send error";
    variant.readErrorLog = "read error";
    variant.cutReplyAtZero = false;
    variant.sleepBetweenStatusPolls = false;
    variant.readyLog = "printer OK!";
    variant.onlyWriteLength = 19;
    variant.hexTextLimit = 24;
    return variant;
}

// Address reply and payload: address, mask and gateway, four octets each.
const int kAddressBytes = 12;
const int kAddressQueries = 2;

const char *const kLpadmin = "/usr/sbin/lpadmin";
const char *const kQueueName = "LR880N";

QString notFoundText()
{
    return QStringLiteral("查找打印机失败，请检查打印机USB连接状况或添加网络打印机");
}

// The dotted decimal text of hexadecimal items ("c0", "a8", ...).
QString dottedDecimal(const QStringList &hexItems)
{
    QString text;
    for (const QString &item : hexItems)
        text += QString::number(item.toUInt(nullptr, 16)) + QLatin1Char('.');
    text.chop(1);
    return text;
}

} // namespace

QWidget *setuptool::createNetIpSet()
{
    return new netIpSet(nullptr);
}

netIpSet::netIpSet(QWidget *parent)
    : QMainWindow(parent), exchange(netVariant()), ui(new Ui::netIpSet)
{
    ui->setupUi(this);
    exchange.setStatusLine(ui->informationAdmin, this);

    if (!connectUsb(QStringLiteral("USB未连接打印机，请输入打印机IP，添加网络打印机")))
        return;
    const QByteArray reply = queryAddress();
    if (reply.isEmpty())
        ui->informationAdmin->setText(QStringLiteral("请点击查找打印机"));
    else
        findIp(reply);
    exchange.closeLink();
}

netIpSet::~netIpSet()
{
    delete ui;
}

bool netIpSet::connectUsb(const QString &notReadyText)
{
    exchange.releaseIfOpen();
    if (exchange.openLink() != kUsbOk) {
        exchange.setLinkOpen(false);
        ui->informationAdmin->setText(notFoundText());
        enableChange(false);
        return false;
    }
    if (!exchange.checkStatus()) {
        // The link stays open (and flagged) until the next search, address
        // change, Cancel or the window's close releases it.
        enableChange(false);
        ui->informationAdmin->setText(notReadyText);
        return false;
    }
    enableChange(true);
    ui->informationAdmin->setText(QStringLiteral("打印机USB连接正常"));
    return true;
}

QByteArray netIpSet::queryAddress()
{
    // A failed read arrives as the 254 zero bytes of the read buffer and an
    // error as its text: only a reply of exactly 12 bytes is an address.
    for (int attempt = 0; attempt < kAddressQueries; ++attempt) {
        const QByteArray reply = exchange.writeAndReadPrinter(checkIpCommand);
        if (reply.size() == kAddressBytes)
            return reply;
        qDebug() << "CheckIP? reply of" << reply.size() << "bytes is no address";
    }
    return QByteArray();
}

void netIpSet::enableChange(bool usb)
{
    ui->IDOK->setEnabled(usb);
    ui->clearBtn->setEnabled(usb);
    ui->ipEdit->setEnabled(usb);
    ui->maskEdit->setEnabled(usb);
    ui->portEdit->setEnabled(usb);
    if (usb)
        ui->findPrinter->setEnabled(true);
    ui->addPrinter->setEnabled(!usb);
    ui->netIp->setEnabled(!usb);
    ui->groupBox_3->setVisible(!usb);
    ui->groupBox_2->setVisible(usb);
}

void netIpSet::findIp(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        ui->informationAdmin->setText(QStringLiteral("获取当前打印机IP地址失败！"));
        return;
    }
    const QStringList items = HexToStr(reply).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString address = dottedDecimal(items.mid(0, 4));
    const QString mask = dottedDecimal(items.mid(4, 4));
    const QString gateway = dottedDecimal(items.mid(8));

    ui->ipEdit->setText(address);
    ui->Ip_label->setText(address);
    ui->netIp->setText(address);
    ui->maskEdit->setText(mask);
    ui->Mask_label->setText(mask);
    ui->portEdit->setText(gateway);
    ui->Port_label->setText(gateway);
    ui->informationAdmin->setText(QStringLiteral("获取当前打印机IP地址成功！"));
}

QString netIpSet::HexToStr(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex(' ')).trimmed();
}

QString netIpSet::StringToHenStr(const QString &text)
{
    QString hex;
    for (const QString &part : text.split(QLatin1Char('.'))) {
        QString digits = QString::number(part.toUInt(), 16);
        if (digits.size() % 2 != 0)
            digits.prepend(QLatin1Char('0'));
        hex += digits;
    }
    return hex;
}

bool netIpSet::checkIp(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty())
            return false;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value > 255)
            return false;
    }
    return true;
}

QByteArray netIpSet::setIpCommand(const QByteArray &payload)
{
    return QByteArrayLiteral("SetIP=") + payload + ';';
}

QString netIpSet::canonicalAddress(const QString &text)
{
    QStringList parts = text.split(QLatin1Char('.'));
    for (QString &part : parts)
        part = QString::number(part.toInt());
    return parts.join(QLatin1Char('.'));
}

bool netIpSet::setIp(const QByteArray &payload)
{
    if (!connectUsb(QStringLiteral("网络打印机设置失败，请检查打印机USB连接！")))
        return false;

    // The printer gives no answer to the address set command; a command that
    // did not go out completely is a failure, and then no queue is created
    // for an address the printer does not have.
    bool sent = false;
    if (payload.size() == kAddressBytes) {
        setIpCmd += payload;
        setIpCmd += ';';
        sent = exchange.onlyWriteToPrinter(setIpCmd);
        setIpCmd = "SetIP=";
    } else {
        qWarning() << "address payload of" << payload.size() << "bytes not sent";
    }
    exchange.closeLink();
    if (!sent)
        ui->informationAdmin->setText(QStringLiteral("设置打印机IP失败，请检查打印机USB连接！"));
    return sent;
}

bool netIpSet::addPrinter(const QString &address)
{
    // The address becomes part of shell command lines: nothing but a checked
    // dotted address goes there.
    if (!checkIp(address)) {
        ui->informationAdmin->setText(QStringLiteral("请检查IP地址是否正确"));
        return false;
    }
    const QString host = canonicalAddress(address);
    const QString createQueue = QString::fromLatin1("%1 -p %2 -m %2.ppd -v socket://%3:9100 -E")
                                    .arg(QLatin1String(kLpadmin), QLatin1String(kQueueName), host);
    const QString makeDefault =
        QString::fromLatin1("%1 -d %2").arg(QLatin1String(kLpadmin), QLatin1String(kQueueName));
    const QString restart = QStringLiteral("service cups restart");

    if (setuptool::runShell(createQueue) != 0) {
        qWarning() << "failed:" << createQueue;
        ui->informationAdmin->setText(
            QStringLiteral("添加网络打印机失败：无法创建打印队列 LR880N"));
        return false;
    }
    const bool isDefault = setuptool::runShell(makeDefault) == 0;
    const bool restarted = setuptool::runShell(restart) == 0;
    if (!isDefault) {
        qWarning() << "failed:" << makeDefault;
        ui->informationAdmin->setText(QStringLiteral("网络打印机已添加，但无法设为默认打印机"));
        return false;
    }
    if (!restarted) {
        qWarning() << "failed:" << restart;
        ui->informationAdmin->setText(QStringLiteral("网络打印机已添加，但重启打印服务失败"));
        return false;
    }
    ui->informationAdmin->setText(QStringLiteral("添加网络打印机成功！"));
    return true;
}

void netIpSet::on_findPrinter_clicked()
{
    if (!connectUsb(QStringLiteral("USB未连接打印机，请输入打印机IP，添加网络打印机")))
        return;
    const QByteArray reply = queryAddress();
    findIp(reply);
    exchange.closeLink();
}

void netIpSet::on_IDOK_clicked()
{
    const QString address = ui->ipEdit->text();
    const QString mask = ui->maskEdit->text();
    const QString gateway = ui->portEdit->text();

    QString problem;
    if (address.isEmpty())
        problem = QStringLiteral("请输入IP地址");
    else if (!checkIp(address))
        problem = QStringLiteral("请检查IP地址是否正确");
    else if (mask.isEmpty())
        problem = QStringLiteral("请输入子网掩码");
    else if (!checkIp(mask))
        problem = QStringLiteral("请检查子网掩码是否正确");
    else if (gateway.isEmpty())
        problem = QStringLiteral("请输入默认网关");
    else if (!checkIp(gateway))
        problem = QStringLiteral("请检查默认网关是否正确");
    if (!problem.isEmpty()) {
        ui->informationAdmin->setText(problem);
        return;
    }

    ui->netIp->setText(address);
    const QByteArray payload = exchange.HexStrToByteArray(
        StringToHenStr(address) + StringToHenStr(mask) + StringToHenStr(gateway));
    if (setIp(payload))
        addPrinter(address);
}

void netIpSet::on_clearBtn_clicked()
{
    ui->ipEdit->clear();
    ui->maskEdit->clear();
    ui->portEdit->clear();
}

void netIpSet::on_addPrinter_clicked()
{
    const QString address = ui->netIp->text();
    if (address.isEmpty()) {
        ui->informationAdmin->setText(QStringLiteral("请输入IP地址"));
        return;
    }
    if (!checkIp(address)) {
        ui->informationAdmin->setText(QStringLiteral("请检查IP地址是否正确"));
        return;
    }
    // On failure the window stays open so that the user reads what failed.
    if (addPrinter(address))
        close();
}

void netIpSet::on_IDCANCEL_clicked()
{
    // Cancel changes nothing on the printer or in CUPS.
    exchange.releaseIfOpen();
    close();
}

void netIpSet::closeEvent(QCloseEvent *event)
{
    exchange.releaseIfOpen();
    QMainWindow::closeEvent(event);
}

void netIpSet::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
