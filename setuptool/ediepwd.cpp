#include "ediepwd.h"
#include "ui_ediepwd.h"

#include "messagebox.h"
#include "password_file.h"

namespace
{

// An accepted password has 4 to 40 characters.
constexpr int kMinPasswordLength = 4;
constexpr int kMaxPasswordLength = 40;

int characterCount(const QString &text)
{
    return text.toUcs4().size();
}

} // namespace

ediepwd::ediepwd(QWidget *parent) : QDialog(parent), ui(new Ui::ediepwd)
{
    ui->setupUi(this);
}

ediepwd::~ediepwd()
{
    delete ui;
}

void ediepwd::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void ediepwd::on_cancel_clicked()
{
    hide();
    close();
}

void ediepwd::on_ok_clicked()
{
    if (!setuptool::passwordFileWritable()) {
        setuptool::information(this, QStringLiteral("提示"),
                               QStringLiteral("文件丢失，请重新安装!"));
        close();
        return;
    }

    const QString first = ui->pssdedit->text();
    const QString repeat = ui->pssdedit2->text();
    const int length = characterCount(repeat);
    QString refusal;
    if (length == 0)
        refusal = QStringLiteral("输入密码为空!");
    else if (length > kMaxPasswordLength)
        refusal = QStringLiteral("输入密码过长!");
    else if (length < kMinPasswordLength)
        refusal = QStringLiteral("输入密码过短!");
    else if (repeat != first)
        refusal = QStringLiteral("两次输入密码不同，请重新输入!");

    if (!refusal.isEmpty()) {
        setuptool::information(this, QStringLiteral("错误"), refusal);
        ui->pssdedit->clear();
        ui->pssdedit2->clear();
        return;
    }

    // The file is touched only now that the new password has passed every check.
    if (!setuptool::storePassword(first)) {
        setuptool::information(this, QStringLiteral("提示"),
                               QStringLiteral("文件丢失，请重新安装!"));
        close();
        return;
    }
    setuptool::information(this, QStringLiteral("提示"),
                           QStringLiteral("密码修改成功，请使用新密码!"));
    close();
}
