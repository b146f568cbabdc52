#include "finger.h"
#include "ui_finger.h"

#include "messagebox.h"
#include "password_file.h"
#include "sleeper.h"

#include <QCloseEvent>
#include <QDebug>

#include <cstddef>

namespace
{

// Names longer than this are refused before anything is sent.
constexpr int kMaxNameLength = 20;
// Counted polls of each operation.
constexpr int kRegisterPolls = 12;
constexpr int kIdentifyPolls = 10;
constexpr int kDeletePolls = 10;
constexpr int kRefreshTries = 10;

// The printer's replies begin with a four-digit code.
bool is(const QByteArray &reply, const char *code)
{
    return reply.startsWith(code);
}

// The names in a "FingerName?" reply (or the name in an identify reply): the
// code and one separator before them, one closing character after them,
// separated by "-".
QList<QByteArray> namesOf(const QByteArray &reply)
{
    return reply.left(reply.size() - 1).mid(5).split('-');
}

QString nameText(const QByteArray &part)
{
    const int zero = part.indexOf('\0');
    return QString::fromUtf8(zero >= 0 ? part.left(zero) : part);
}

int characterCount(const QString &text)
{
    return text.toUcs4().size();
}

void info(QWidget *parent, const QString &title, const QString &text)
{
    setuptool::information(parent, title, text);
}

// How a poll loop goes on once a reply has been shown.
enum class Next {
    Finish,    // the operation is over
    Counted,   // poll again; the poll counts against the operation's budget
    Uncounted, // poll again without counting (bounded by Finger::kMaxUncountedPolls)
};

// What the window does on one reply code: a message box before and/or after
// the status line text (nullptr: none), then a wait, with a repaint after
// `repaintAfter` seconds of it (-1: no repaint), then `next`.
struct ReplyRow {
    const char *code; // unused in the last row of a table, which takes every other reply
    const char *title;
    const char *boxBefore;
    const char *line;
    const char *boxAfter;
    int wait;
    int repaintAfter;
    Next next;
};

constexpr const char *kNote = "提示";
constexpr const char *kError = "错误";

// Looks the reply up in `rows` (the last row standing for any reply not
// listed), shows what the row says on `window` and its status line `line`,
// waits, and returns the row so that the poll loop can go on.
template <std::size_t N>
const ReplyRow &answer(QWidget *window, QLabel *line, const QByteArray &reply,
                       const ReplyRow (&rows)[N])
{
    static_assert(N > 0, "a reply table needs at least its row for other replies");
    const ReplyRow *row = &rows[N - 1];
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (is(reply, rows[i].code)) {
            row = &rows[i];
            break;
        }
    }
    if (row->boxBefore)
        info(window, QString::fromUtf8(row->title), QString::fromUtf8(row->boxBefore));
    if (row->line)
        line->setText(QString::fromUtf8(row->line));
    if (row->boxAfter)
        info(window, QString::fromUtf8(row->title), QString::fromUtf8(row->boxAfter));

    int waitLeft = row->wait;
    if (row->repaintAfter >= 0) {
        if (row->repaintAfter > 0)
            usblink::sleepSeconds(row->repaintAfter);
        window->repaint();
        waitLeft -= row->repaintAfter;
    }
    if (waitLeft > 0)
        usblink::sleepSeconds(waitLeft);
    return *row;
}

} // namespace

Finger::Finger(QDialog *parent) : QDialog(parent), ui(new Ui::Finger), passwordDialog(nullptr)
{
    ui->setupUi(this);
    exchange.setStatusLine(ui->informationAdmin, this);
    // The password dialog opens over this modal window: as its transient child
    // it takes input, where a separate top-level window would be blocked.
    passwordDialog.setParent(this, passwordDialog.windowFlags() | Qt::Dialog);

    show();

    if (exchange.openLink() != kUsbOk) {
        exchange.setLinkOpen(false);
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机USB连接!"));
        ui->adminButton->setEnabled(false);
        ui->pssd->setEnabled(false);
        return;
    }
    if (checkStatus()) {
        ui->informationAdmin->setText(QStringLiteral("请验证管理员身份"));
        exchange.closeLink();
    } else {
        // The link stays open; closing the window releases it.
        info(this, QStringLiteral("错误"), QStringLiteral("打印机USB连接异常！"));
    }
}

Finger::~Finger()
{
    exchange.releaseIfOpen();
    delete ui;
}

void Finger::inOperationFrame(const std::function<void()> &steps)
{
    if (exchange.openLink() != kUsbOk) {
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机USB连接!"));
        return;
    }
    steps();
    exchange.releaseIfOpen();
}

void Finger::on_pushButton_clicked()
{
    exchange.releaseIfOpen();
    admin = false;
    ui->editpass->setEnabled(false);

    if (exchange.openLink() != kUsbOk) {
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机连接状况"));
        ui->adminButton->setEnabled(false);
        ui->pssd->setEnabled(false);
        exchange.setLinkOpen(false);
        return;
    }
    // Ready or not, the link stays open until the next operation or the window closes.
    if (checkStatus()) {
        ui->informationAdmin->setText(QStringLiteral("请验证管理员身份"));
        ui->adminButton->setEnabled(true);
        ui->pssd->setEnabled(true);
    } else {
        info(this, QStringLiteral("错误"), QStringLiteral("打印机连接异常！"));
    }
}

void Finger::on_adminButton_clicked()
{
    inOperationFrame([this] {
        switch (setuptool::checkAdminPassword(ui->pssd->text())) {
        case setuptool::PasswordCheck::FileError:
            info(this, QStringLiteral("错误"), QStringLiteral("配置文件错误!"));
            close();
            return;
        case setuptool::PasswordCheck::Wrong:
            info(this, QStringLiteral("错误"), QStringLiteral("密码错误!"));
            ui->pssd->clear();
            admin = false;
            return;
        case setuptool::PasswordCheck::Right:
            break;
        }
        admin = true;
        ui->pssd->clear();
        ui->informationAdmin->setText(QStringLiteral("管理员认证成功"));
        for (QWidget *w :
             {static_cast<QWidget *>(ui->addFinger), static_cast<QWidget *>(ui->addName),
              static_cast<QWidget *>(ui->delAllFingers), static_cast<QWidget *>(ui->delFinger),
              static_cast<QWidget *>(ui->identifySwitch), static_cast<QWidget *>(ui->ensureFinger),
              static_cast<QWidget *>(ui->modFinger), static_cast<QWidget *>(ui->listName),
              static_cast<QWidget *>(ui->listName_2), static_cast<QWidget *>(ui->editpass),
              static_cast<QWidget *>(ui->open), static_cast<QWidget *>(ui->close)})
            w->setEnabled(true);
    });
}

void Finger::on_editpass_clicked()
{
    passwordDialog.show();
}

void Finger::on_regist_currentChanged(int index)
{
    if (exchange.link().initDevice() != kUsbOk) {
        ui->informationAdmin->setText(QStringLiteral("查找打印机失败，请检查打印机USB连接!"));
        return;
    }
    bool backToAdmin = false;
    if (index == 1 || index == 2) {
        if (admin) {
            if (index == 1)
                ui->information->setText(QStringLiteral("指纹注册与验证"));
            else
                ui->information2->setText(QStringLiteral("指纹删除"));
            listReply = writeAndReadPrinter(nameListCommand);
            refreshList(listReply);
        } else {
            backToAdmin = true;
        }
    } else if (index == 3) {
        backToAdmin = !admin;
    }
    exchange.link().releaseDevice();
    exchange.setLinkOpen(false);

    // Switching back runs this slot again: only once this run has let go of the link.
    if (backToAdmin)
        ui->regist->setCurrentIndex(0);
}

void Finger::refreshList(QByteArray reply)
{
    if (!is(reply, "6007")) {
        ui->information->setText(QStringLiteral("刷新失败"));
        ui->information2->setText(QStringLiteral("刷新失败"));
        return;
    }
    ui->listName->clear();
    ui->listName_2->clear();
    const QByteArray body = reply.left(reply.size() - 1);
    const QList<QByteArray> parts = namesOf(reply);

    // The code and its separator alone: no names stored.
    const int count = body.size() <= 5 ? 0 : parts.size();
    ui->lcdNumber->setVisible(true);
    ui->lcdNumber->display(count);
    ui->lcdNumber_2->display(count);
    for (const QByteArray &part : parts) {
        ui->listName->addItem(nameText(part));
        ui->listName_2->addItem(nameText(part));
    }
    repaint();
}

void Finger::on_addFinger_clicked()
{
    inOperationFrame([this] {
        const QString name = ui->addName->text();
        const int length = characterCount(name);
        if (length < 1 || length > kMaxNameLength) {
            info(this, QStringLiteral("提示"), QStringLiteral("请输入正确的名称！"));
            return;
        }
        if (!checkStatus()) {
            ui->information->setText(QStringLiteral("打印机链接忙，请重试"));
            return;
        }
        const QByteArray nameBytes = name.toUtf8();
        const QByteArray list = writeAndReadPrinter(nameListCommand);
        ui->information->setText(QStringLiteral("注册请输入姓名"));
        if (namesOf(list).contains(nameBytes)) {
            info(this, QStringLiteral("提示"),
                 QStringLiteral("名称") + name + QStringLiteral("已存在！"));
            ui->addName->clear();
            return;
        }

        // RegisterFinger=<name>; - the printer asks for the finger and enrols it.
        registerCommand.append(nameBytes).append(';');
        const QByteArray first = writeAndReadPrinter(registerCommand);
        registerCommand = "RegisterFinger=";
        registerPolls(name, first);
    });
    registerCommand = "RegisterFinger=";
}

namespace
{

// clang-format off
// The printer's first answer to RegisterFinger= when it is not 6002 (enrolling).
const ReplyRow kRegisterRefused[] = {
    {"6245", nullptr, nullptr, "指纹模块通讯错误！", nullptr, 1, -1, Next::Counted},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 0, -1, Next::Finish},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 0, -1, Next::Finish},
    {"6022", kNote, nullptr, "打印机中指纹数达到上限！", "打印机中指纹数达到上限！", 0, -1, Next::Finish},
    {nullptr, nullptr, nullptr, "添加指纹指令错误，请重试", nullptr, 0, -1, Next::Finish},
};

// The status polls while the printer enrols a finger (6177, enrolled, is
// handled before this table).
const ReplyRow kRegisterPoll[] = {
    {"6002", nullptr, nullptr, "请放手指！", nullptr, 2, -1, Next::Counted},
    {"6033", kNote, nullptr, "图像质量不好，请调整！", "图像质量不好，请重新注册！", 0, -1, Next::Finish},
    {"0001", nullptr, nullptr, "请稍候……", nullptr, 2, 1, Next::Counted},
    {"6025", kNote, "该指纹已存在!", "该指纹已存在！", nullptr, 0, -1, Next::Finish},
    {"6022", kNote, "打印机中指纹数达到上限！", "指纹数量达到上限！", nullptr, 0, -1, Next::Finish},
    // Lift the finger: the printer takes the next impression.
    {"6244", nullptr, nullptr, "请离开手指！", nullptr, 2, -1, Next::Uncounted},
    {"6035", nullptr, nullptr, "指纹操作超时！", nullptr, 0, -1, Next::Finish},
    {"6065", nullptr, nullptr, "取消指纹操作！", nullptr, 0, -1, Next::Finish},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 0, -1, Next::Finish},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 0, -1, Next::Finish},
    {nullptr, kNote, "添加指纹失败！", nullptr, nullptr, 0, -1, Next::Finish},
};
// clang-format on

} // namespace

void Finger::registerPolls(const QString &name, const QByteArray &first)
{
    int budget = kRegisterPolls;
    int uncounted = 0;
    while (budget > 0) {
        ui->information->setText(QStringLiteral("请放手指"));
        repaint();
        const QByteArray poll = writeAndReadPrinter(statusCommand);

        Next next;
        if (!is(first, "6002")) {
            // The printer refused the registration; the poll reply is not looked at.
            next = answer(this, ui->information, first, kRegisterRefused).next;
        } else {
            ui->information->setText(QStringLiteral("请稍候……"));
            repaint();
            if (is(poll, "6177")) {
                showRegistered(name);
                return;
            }
            next = answer(this, ui->information, poll, kRegisterPoll).next;
        }

        switch (next) {
        case Next::Finish:
            return;
        case Next::Counted:
            --budget;
            break;
        case Next::Uncounted:
            if (++uncounted >= kMaxUncountedPolls)
                return;
            break;
        }
    }
}

void Finger::showRegistered(const QString &name)
{
    const QString text = name + QStringLiteral(" 的指纹添加成功！");
    info(this, QStringLiteral("提示"), text);
    ui->information->setText(text);
    refreshList(writeAndReadPrinter(nameListCommand));
    repaint();
}

void Finger::on_modFinger_clicked()
{
    inOperationFrame([this] {
        if (!checkStatus()) {
            ui->information->setText(QStringLiteral("打印机错误"));
            info(this, QStringLiteral("提示"), QStringLiteral("刷新失败，请重试!"));
            return;
        }
        for (int attempt = 0; attempt < kRefreshTries; ++attempt) {
            listReply = writeAndReadPrinter(nameListCommand);
            if (is(listReply, "6007")) {
                ui->information->setText(QStringLiteral("刷新成功！"));
                ui->addName->clear();
                refreshList(listReply);
                return;
            }
            ui->information->setText(QStringLiteral("刷新失败！"));
            repaint();
            usblink::sleepSeconds(1);
        }
    });
}

void Finger::on_ensureFinger_clicked()
{
    inOperationFrame([this] {
        ui->information->setText(QStringLiteral("请放手指！"));
        if (!checkStatus()) {
            info(this, QStringLiteral("提示"), QStringLiteral("打印机忙，请稍候重试"));
            return;
        }
        ui->information->setText(QStringLiteral("请放手指"));
        // IdentifyFinger? - the printer reads a finger and names its owner.
        operationReply = writeAndReadPrinter(identifyCommand);
        repaint();
        identifyPolls();
    });
}

namespace
{

// clang-format off
// The printer's answer to IdentifyFinger? when it is not 6002 (reading).
const ReplyRow kIdentifyRefused[] = {
    {"6245", nullptr, nullptr, "指纹模块通讯异常！", nullptr, 1, -1, Next::Finish},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 0, -1, Next::Finish},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 0, -1, Next::Finish},
    {nullptr, nullptr, nullptr, "验证指令错误！", nullptr, 0, -1, Next::Finish},
};

// The status polls while the printer reads a finger (6176, identified, is
// handled before this table). Any other reply is polled again at once.
const ReplyRow kIdentifyPoll[] = {
    {"6002", nullptr, nullptr, "请放手指!", nullptr, 2, -1, Next::Counted},
    {"6018", kNote, "该指纹尚未注册", "该指纹尚未注册", nullptr, 0, -1, Next::Finish},
    {"6033", kNote, "图像质量不好", "指纹识别错误", nullptr, 0, -1, Next::Finish},
    {"6245", kNote, "指纹模块通信异常", "指纹模块通信异常!", nullptr, 0, -1, Next::Finish},
    {"6021", nullptr, nullptr, "无存储指纹!", nullptr, 0, -1, Next::Finish},
    {"6035", nullptr, nullptr, "指纹操作超时!", nullptr, 0, -1, Next::Finish},
    {"0001", nullptr, nullptr, "请稍候……", nullptr, 1, 0, Next::Counted},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, -1, Next::Uncounted},
};
// clang-format on

} // namespace

void Finger::identifyPolls()
{
    int budget = kIdentifyPolls;
    int uncounted = 0;
    while (budget > 0) {
        const QByteArray poll = writeAndReadPrinter(statusCommand);

        if (!is(operationReply, "6002")) {
            answer(this, ui->information, operationReply, kIdentifyRefused);
            return;
        }

        if (is(poll, "6176")) {
            const QString text =
                nameText(poll.left(poll.size() - 1).mid(5)) + QStringLiteral("指纹验证成功 !");
            info(this, QStringLiteral("提示"), text);
            ui->information->setText(text);
            return;
        }
        switch (answer(this, ui->information, poll, kIdentifyPoll).next) {
        case Next::Finish:
            return;
        case Next::Counted:
            --budget;
            break;
        case Next::Uncounted:
            // A printer or link that never answers otherwise ends the wait here.
            if (++uncounted >= kMaxUncountedPolls) {
                qDebug() << "identify: no usable reply, giving up";
                return;
            }
            break;
        }
    }
}

void Finger::on_delFinger_clicked()
{
    inOperationFrame([this] {
        const QString name = ui->listName_2->currentText();
        if (!setuptool::question(this, QStringLiteral("删除指纹确认"),
                                 QStringLiteral("您是否要删除") + name +
                                     QStringLiteral("的指纹？")))
            return;
        if (!checkStatus()) {
            info(this, QStringLiteral("提示"), QStringLiteral("打印机忙，请稍候重试"));
        } else {
            // DeleteSingleFinger=<name>; - removes one stored fingerprint.
            deleteOneCommand.append(name.toUtf8()).append(';');
            operationReply = writeAndReadPrinter(deleteOneCommand);
            deleteOneCommand = "DeleteSingleFinger=";
            deleteOnePolls(name);
        }
        deleteOneCommand = "DeleteSingleFinger=";
    });
}

namespace
{

// clang-format off
// The status polls while the printer deletes one fingerprint (its answer to
// DeleteSingleFinger= was 6180; 6178, deleted, is handled before this table).
const ReplyRow kDeleteOnePoll[] = {
    {"6021", nullptr, nullptr, "指纹存储为空！", nullptr, 0, -1, Next::Finish},
    {"6245", nullptr, nullptr, "指纹模块通讯错误！", nullptr, 0, -1, Next::Finish},
    {"6096", kError, "指纹列表空或者未选中指纹！", "删除失败，列表为空！", nullptr, 0, -1, Next::Finish},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 0, -1, Next::Finish},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 0, -1, Next::Finish},
    {"0001", nullptr, nullptr, "请稍候……", nullptr, 1, -1, Next::Counted},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 1, -1, Next::Counted},
};

// Any other answer to DeleteSingleFinger=; the polls go on until the budget
// is spent.
const ReplyRow kDeleteOneRefused[] = {
    {"6245", nullptr, nullptr, "指纹模块通讯错误！", nullptr, 1, -1, Next::Counted},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 1, -1, Next::Counted},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 1, -1, Next::Counted},
    {nullptr, nullptr, nullptr, "删除失败，请重试！", nullptr, 1, 0, Next::Counted},
};
// clang-format on

} // namespace

void Finger::deleteOnePolls(const QString &name)
{
    for (int budget = kDeletePolls; budget > 0; --budget) {
        const QByteArray poll = writeAndReadPrinter(statusCommand);
        if (!is(operationReply, "6180")) {
            answer(this, ui->information2, operationReply, kDeleteOneRefused);
            continue;
        }
        ui->information2->setText(QStringLiteral("请稍候……"));
        repaint();
        if (is(poll, "6178")) {
            info(this, QStringLiteral("提示"),
                 QStringLiteral("删除") + name + QStringLiteral("成功!!!"));
            ui->information2->setText(QStringLiteral("删除完成！"));
            refreshList(writeAndReadPrinter(nameListCommand));
            repaint();
            return;
        }
        if (answer(this, ui->information2, poll, kDeleteOnePoll).next == Next::Finish)
            return;
    }
}

void Finger::on_delAllFingers_clicked()
{
    inOperationFrame([this] {
        if (!setuptool::question(this, QStringLiteral("删除指纹确认"),
                                 QStringLiteral("您是否要删除全部的指纹？")))
            return;
        if (!checkStatus()) {
            info(this, QStringLiteral("提示"), QStringLiteral("打印机忙，请稍候重试！"));
            return;
        }
        // DeleteAllFinger? - empties the reader's store.
        operationReply = writeAndReadPrinter(deleteAllCommand);
        deleteAllPolls();
    });
}

namespace
{

// clang-format off
// The status polls while the printer empties its store (its answer to
// DeleteAllFinger? was 6180; 6179, emptied, is handled before this table).
const ReplyRow kDeleteAllPoll[] = {
    {"6245", nullptr, nullptr, "指纹模块通讯错误！", nullptr, 0, -1, Next::Finish},
    {"6021", nullptr, nullptr, "无存储指纹！", nullptr, 0, -1, Next::Finish},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 0, -1, Next::Finish},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 0, -1, Next::Finish},
    {"0001", nullptr, nullptr, "请稍候……", nullptr, 2, -1, Next::Counted},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 1, -1, Next::Counted},
};

// Any other answer to DeleteAllFinger?.
const ReplyRow kDeleteAllRefused[] = {
    {"6245", nullptr, nullptr, "指纹模块通讯错误！", nullptr, 0, -1, Next::Finish},
    {"6021", nullptr, nullptr, "无存储指纹！", nullptr, 0, -1, Next::Finish},
    {"6000", nullptr, nullptr, "指纹操作成功！", nullptr, 1, -1, Next::Counted},
    {"6001", nullptr, nullptr, "指纹操作失败！", nullptr, 1, -1, Next::Counted},
    {nullptr, kNote, "删除失败请重试！", nullptr, nullptr, 1, -1, Next::Counted},
};
// clang-format on

} // namespace

void Finger::deleteAllPolls()
{
    // This budget counts the seconds waited.
    int budget = kDeletePolls;
    while (budget > 0) {
        const QByteArray poll = writeAndReadPrinter(statusCommand);
        const ReplyRow *row;
        if (is(operationReply, "6180")) {
            ui->information2->setText(QStringLiteral("请稍候……"));
            repaint();
            if (is(poll, "6179")) {
                info(this, QStringLiteral("提示"), QStringLiteral("删除成功"));
                ui->listName->clear();
                ui->listName_2->clear();
                ui->information2->setText(QStringLiteral("全部删除完成！"));
                return;
            }
            row = &answer(this, ui->information2, poll, kDeleteAllPoll);
        } else {
            row = &answer(this, ui->information2, operationReply, kDeleteAllRefused);
        }
        if (row->next == Next::Finish)
            return;
        budget -= row->wait;
    }
}

void Finger::on_open_clicked(bool checked)
{
    inOperationFrame([this, checked] {
        if (!checked)
            return;
        ui->open->setEnabled(false);
        ui->close->setEnabled(true);
        ui->identifySwitch->setEnabled(true);
    });
}

void Finger::on_close_clicked(bool checked)
{
    inOperationFrame([this, checked] {
        if (!checked)
            return;
        ui->close->setEnabled(false);
        ui->open->setEnabled(true);
        ui->identifySwitch->setEnabled(true);
    });
}

void Finger::on_identifySwitch_clicked()
{
    inOperationFrame([this] {
        const bool on = ui->open->isChecked();
        const bool off = ui->close->isChecked();
        // Nothing to send before the user has chosen.
        if (!on && !off) {
            info(this, QStringLiteral("提示"), QStringLiteral("请选择操作!"));
            return;
        }
        if (!checkStatus()) {
            info(this, QStringLiteral("提示"), QStringLiteral("打印机忙，请稍候……"));
            return;
        }
        ui->identifySwitch->setEnabled(false);
        // StartFinger=On; / StartFinger=Off; - the printer's fingerprint check
        // before it releases a job. The printer's answer is not read.
        const bool sent = onlyWriteToPrinter(on ? QByteArrayLiteral("StartFinger=On;")
                                                : QByteArrayLiteral("StartFinger=Off;"));
        if (!sent)
            info(this, QStringLiteral("错误"), QStringLiteral("打印机被占用请稍候再试!"));
        else if (on)
            info(this, QStringLiteral("提示"), QStringLiteral("打印机指纹识别功能已打开!"));
        else
            info(this, QStringLiteral("提示"), QStringLiteral("打印机指纹识别功能已关闭!"));
    });
}

void Finger::on_exit_clicked()
{
    exchange.releaseIfOpen();
    close();
}

void Finger::closeEvent(QCloseEvent *event)
{
    exchange.releaseIfOpen();
    QDialog::closeEvent(event);
}

void Finger::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
