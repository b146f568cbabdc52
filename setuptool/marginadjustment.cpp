#include "marginadjustment.h"
#include "ui_marginadjustment.h"

#include "command_runner.h"
#include "messagebox.h"
#include "printers_root.h"
#include "tool_dialogs.h"

#include <QCloseEvent>
#include <QDebug>
#include <QStringList>

#include <cmath>

namespace
{

usblink::ExchangeVariant marginVariant()
{
    usblink::ExchangeVariant variant;
    variant.sendErrorLog = "send error";
    variant.readErrorLog = "read error";
    return variant;
}

struct SettingInfo {
    const char *commandPrefix; // sets the offset: prefix, signed value, ";"
    const char *monitorKey;    // the offset's item in the "monitor?" reply; null: not reported
    const char *successText;
    const char *failureText;
};

// In the order of MarginAdjustment::Setting. "Feed" moves the red plane's
// top edge, "Scan" its left edge.
const SettingInfo kSettings[MarginAdjustment::SettingCount] = {
    {"RedFeedOffSet=", "redtopclip:", "设置A4红色顶边距成功！", "设置A4红色顶边距失败！"},
    {"B5RedFeedOffSet=", "B5redtopclip:", "设置B5红色顶边距成功！", "设置B5红色顶边距失败！"},
    {"RedScanOffSet=", "redleftclip:", "设置A4红色左边距成功！", "设置A4红色左边距失败！"},
    {"B5RedScanOffSet=", "B5redleftclip:", "设置B5红色左边距成功！", "设置B5红色左边距失败！"},
    {"C16KRedFeedOffSet=", nullptr, "设置C16K红色顶边距成功！", "设置C16K红色顶边距失败！"},
    {"C16KRedScanOffSet=", nullptr, "设置C16K红色左边距成功！", "设置C16K红色左边距失败！"},
};

// The keys of the "monitor?" reply in the order they are tested.
const MarginAdjustment::Setting kMonitorOrder[] = {
    MarginAdjustment::A4Top, MarginAdjustment::A4Left, MarginAdjustment::B5Top,
    MarginAdjustment::B5Left};

// Steps of the combo items "-0.2" .. "+0.2" in printer units (0.1 each).
int stepOfIndex(int index)
{
    static const int kSteps[] = {-2, -1, 0, 1, 2};
    return (index >= 0 && index < 5) ? kSteps[index] : 0;
}

// The printer's reply to a setting it has taken.
const QByteArray kSettingAccepted = "0020";
const int kMonitorSends = 5;

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

QDialog *setuptool::createMarginAdjustment()
{
    return new MarginAdjustment(nullptr);
}

MarginAdjustment::MarginAdjustment(QWidget *parent)
    : QDialog(parent), exchange(marginVariant()), ui(new Ui::MarginAdjustment)
{
    ui->setupUi(this);
    exchange.setStatusLine(ui->informationAdmin, this);
    for (int s = 0; s < SettingCount; ++s)
        comboOf(Setting(s))->setCurrentIndex(2);

    const int rc = exchange.openLink();
    if (rc != kUsbOk) {
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机USB连接状况"));
        setRowButtonsEnabled(false);
        exchange.setLinkOpen(false);
        return;
    }
    if (checkStatus()) {
        checkMonitor();
        ui->informationAdmin->setText(QStringLiteral("连接成功！"));
        setRowButtonsEnabled(true);
    } else {
        ui->informationAdmin->setText(QStringLiteral("打印机连接异常！"));
        setRowButtonsEnabled(false);
    }
    // Both ways the link is given back: the printer must stay free for the
    // print queue while the dialog waits for the user.
    exchange.closeLink();
}

MarginAdjustment::~MarginAdjustment()
{
    delete ui;
}

QByteArray MarginAdjustment::writeAndReadPrinter(const QByteArray &command)
{
    return exchange.writeAndReadPrinter(command);
}

bool MarginAdjustment::checkStatus()
{
    return exchange.checkStatus();
}

void MarginAdjustment::checkMonitor()
{
    // An empty reply is a read that timed out: ask again at once. Any other
    // reply, an error text included, ends the attempts.
    QByteArray reply;
    for (int send = 0; send < kMonitorSends && reply.isEmpty(); ++send)
        reply = writeAndReadPrinter(monitorCommand);
    if (reply.isEmpty()) {
        qDebug() << "monitor? unanswered, margin offsets stay at" << values[A4Top] << values[A4Left]
                 << values[B5Top] << values[B5Left];
        return;
    }

    const QStringList items = QString::fromLatin1(reply).split(QLatin1Char(','));
    for (const QString &item : items) {
        for (Setting setting : kMonitorOrder) {
            if (!item.startsWith(QLatin1String(kSettings[setting].monitorKey)))
                continue;
            bool ok = false;
            double value = item.section(QLatin1Char(':'), 1, 1).toDouble(&ok);
            // "nan" and "inf" read as numbers but are no offsets.
            if (!ok || !std::isfinite(value))
                value = 0;
            values[setting] = value;
            break;
        }
    }
}

QByteArray MarginAdjustment::offsetCommand(const QByteArray &prefix, double value)
{
    if (value == 0)
        value = 0; // -0 is sent as +0
    QString command = QString::fromLatin1(prefix);
    if (value >= 0)
        command += QLatin1Char('+');
    command += QString::fromLatin1("%1").arg(value);
    command += QLatin1Char(';');
    return command.toLatin1();
}

void MarginAdjustment::adjust(Setting setting)
{
    const SettingInfo &info = kSettings[setting];
    if (exchange.openLink() != kUsbOk) {
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机USB连接状况"));
        setRowButtonsEnabled(false);
        return;
    }

    // The printer takes absolute offsets: the step is added to the value the
    // dialog knows and kept whatever the printer answers.
    values[setting] += stepOfIndex(comboOf(setting)->currentIndex());
    const QByteArray reply =
        writeAndReadPrinter(offsetCommand(QByteArray(info.commandPrefix), values[setting]));

    const QString outcome =
        text(reply.startsWith(kSettingAccepted) ? info.successText : info.failureText);
    ui->informationAdmin->setText(outcome);
    setuptool::information(this, QStringLiteral("提示"), outcome);
    exchange.closeLink();
}

void MarginAdjustment::setRowButtonsEnabled(bool enabled)
{
    for (QPushButton *button : {ui->btn_red_A4_top, ui->btn_red_A4_left, ui->btn_red_B5_top,
                                ui->btn_red_B5_left, ui->btn_red_c16k_top, ui->btn_red_c16k_left})
        button->setEnabled(enabled);
}

QComboBox *MarginAdjustment::comboOf(Setting setting) const
{
    switch (setting) {
    case A4Top:
        return ui->red_A4_top;
    case B5Top:
        return ui->red_B5_top;
    case A4Left:
        return ui->red_A4_left;
    case B5Left:
        return ui->red_B5_left;
    case C16KTop:
        return ui->red_c16k_top;
    case C16KLeft:
    case SettingCount:
        break;
    }
    return ui->red_c16k_left;
}

void MarginAdjustment::closeEvent(QCloseEvent *event)
{
    exchange.releaseIfOpen();
    QDialog::closeEvent(event);
}

void MarginAdjustment::on_pushButton_clicked()
{
    // The calibration sheet the user prints before adjusting; the viewer runs
    // on its own.
    setuptool::startProgram(
        QString::fromStdString(kolvex::printersPath("LR880/docviewer")),
        {QString::fromStdString(kolvex::printersPath("LR880/LR880_MarginAdjustment.pdf"))});
}

void MarginAdjustment::on_btn_red_A4_top_clicked()
{
    adjust(A4Top);
}

void MarginAdjustment::on_btn_red_A4_left_clicked()
{
    adjust(A4Left);
}

void MarginAdjustment::on_btn_red_B5_top_clicked()
{
    adjust(B5Top);
}

void MarginAdjustment::on_btn_red_B5_left_clicked()
{
    adjust(B5Left);
}

void MarginAdjustment::on_btn_red_c16k_top_clicked()
{
    adjust(C16KTop);
}

void MarginAdjustment::on_btn_red_c16k_left_clicked()
{
    adjust(C16KLeft);
}
