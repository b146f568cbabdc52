// The dialog that replaces the administrator password of the fingerprint manager.
#pragma once

#include <QDialog>

namespace Ui
{
class ediepwd;
}

class ediepwd : public QDialog
{
    Q_OBJECT

  public:
    explicit ediepwd(QWidget *parent = nullptr);
    ~ediepwd() override;

  protected:
    // Sets the form's texts again when the language changes.
    void changeEvent(QEvent *event) override;

  private slots:
    // Hides and closes the dialog; nothing is written.
    void on_cancel_clicked();
    // Validates the two entries and, when they pass, stores the new password.
    void on_ok_clicked();

  private:
    Ui::ediepwd *ui;
};
