// MarginAdjustment: shifts where the printer lays down the red plane, top and
// left edge for A4, B5 and C16K paper. It reads the printer's current offsets
// once when it opens and sends each row's offset plus the chosen step.
#pragma once

#include "command_exchange.h"

#include <QByteArray>
#include <QDialog>
#include <QString>

namespace Ui
{
class MarginAdjustment;
}
class QComboBox;
class QPushButton;

class MarginAdjustment : public QDialog
{
    Q_OBJECT

  public:
    // The six settings, in the order the dialog keeps their values.
    enum Setting { A4Top, B5Top, A4Left, B5Left, C16KTop, C16KLeft, SettingCount };

    // Builds the form, opens the link, waits for the printer and reads the
    // current offsets; the row buttons are enabled only when that worked.
    explicit MarginAdjustment(QWidget *parent = nullptr);
    ~MarginAdjustment() override;

    // Reads the current offsets with "monitor?" (up to five sends until a
    // reply comes) into the A4 and B5 values; unknown keys are ignored.
    void checkMonitor();

    // The exchange of the shared command set (debug lines "send error" and
    // "read error" in this dialog).
    QByteArray writeAndReadPrinter(const QByteArray &command);
    bool checkStatus();

    // The offset of a setting as the dialog knows it, in printer units.
    double currentValue(Setting setting) const { return values[setting]; }

    // The command that sets a row's offset to value: prefix, sign, number in
    // general format (six significant digits), ";".
    static QByteArray offsetCommand(const QByteArray &prefix, double value);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private slots:
    void on_pushButton_clicked();
    void on_btn_red_A4_top_clicked();
    void on_btn_red_A4_left_clicked();
    void on_btn_red_B5_top_clicked();
    void on_btn_red_B5_left_clicked();
    void on_btn_red_c16k_top_clicked();
    void on_btn_red_c16k_left_clicked();

  private:
    // The handler shared by the six row buttons.
    void adjust(Setting setting);
    void setRowButtonsEnabled(bool enabled);
    QComboBox *comboOf(Setting setting) const;

    const QByteArray monitorCommand{"monitor?"};
    // Offsets the printer has not reported start at 0 (its factory setting).
    double values[SettingCount] = {0, 0, 0, 0, 0, 0};
    usblink::CommandExchange exchange;
    Ui::MarginAdjustment *ui;
};
