#include "programgrop.h"
#include "ui_programgrop.h"

#include "command_runner.h"
#include "finger.h"
#include "printers_root.h"
#include "tool_dialogs.h"

#include <QDebug>

#include <memory>

ProgramGrop::ProgramGrop(QWidget *parent) : QDialog(parent), ui(new Ui::ProgramGrop)
{
    ui->setupUi(this);
}

ProgramGrop::~ProgramGrop()
{
    delete ui;
}

void ProgramGrop::on_pushButton_clicked()
{
    // A fresh dialog per click; it goes when its window has closed.
    std::unique_ptr<Finger> finger(new Finger(nullptr));
    finger->exec();
}

void ProgramGrop::on_pushButton_3_clicked()
{
    std::unique_ptr<QDialog> margins(setuptool::createMarginAdjustment());
    if (margins)
        margins->exec();
}

void ProgramGrop::on_pushButton_4_clicked()
{
    showApplicationModal(setuptool::createWaterMark());
}

void ProgramGrop::on_pushButton_5_clicked()
{
    showApplicationModal(setuptool::createNetIpSet());
}

void ProgramGrop::on_pushButton_6_clicked()
{
    const QString viewer = QString::fromStdString(kolvex::printersPath("LR880/docviewer"));
    const QString document = QString::fromStdString(kolvex::printersPath("LR880/help_r88.pdf"));
    const int status = setuptool::executeCommand(viewer + QLatin1Char(' ') + document);
    if (status == -2)
        qWarning() << "cannot start the help viewer" << viewer;
}

void ProgramGrop::showApplicationModal(QWidget *tool)
{
    if (!tool)
        return;
    // The window blocks the launcher while it is open and goes when it closes.
    tool->setAttribute(Qt::WA_DeleteOnClose);
    tool->setWindowModality(Qt::ApplicationModal);
    tool->setWindowFlags(Qt::Dialog);
    tool->show();
}
