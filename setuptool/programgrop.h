// The launcher of the printer's setting tools: one row per tool and a help button.
#pragma once

#include <QDialog>

namespace Ui
{
class ProgramGrop;
}

class ProgramGrop : public QDialog
{
    Q_OBJECT

  public:
    explicit ProgramGrop(QWidget *parent = nullptr);
    ~ProgramGrop() override;

  private slots:
    // Opens a fresh fingerprint manager and waits until it is closed.
    void on_pushButton_clicked();
    // Opens a fresh red margin dialog and waits until it is closed.
    void on_pushButton_3_clicked();
    // Shows a fresh watermark window, application-modal; returns at once.
    void on_pushButton_4_clicked();
    // Shows a fresh network address window, application-modal; returns at once.
    void on_pushButton_5_clicked();
    // Shows the printer's help document in the maker's viewer and waits for it.
    void on_pushButton_6_clicked();

  private:
    void showApplicationModal(QWidget *tool);

    Ui::ProgramGrop *ui;
};
