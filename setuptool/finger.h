// The fingerprint manager: lists, registers, identifies and deletes the
// fingerprints stored in the printer's reader and switches the printer's
// fingerprint check, behind the administrator password. Every operation opens
// the USB link, talks to the printer and releases the link again.
#pragma once

#include "command_exchange.h"
#include "ediepwd.h"

#include <QByteArray>
#include <QDialog>

#include <functional>

namespace Ui
{
class Finger;
}

class Finger : public QDialog
{
    Q_OBJECT

  public:
    // Builds and shows the window, then looks for the printer and checks that
    // it is ready (the status line tells the outcome).
    explicit Finger(QDialog *parent = nullptr);
    ~Finger() override;

    // Shows a "FingerName?" reply in both name lists and both counters; a
    // reply without the code 6007 leaves the lists and shows "刷新失败".
    void refreshList(QByteArray reply);

    // The printer exchange (send and read, send only, readiness poll).
    QByteArray writeAndReadPrinter(QByteArray command)
    {
        return exchange.writeAndReadPrinter(command);
    }
    bool onlyWriteToPrinter(QByteArray command) { return exchange.onlyWriteToPrinter(command); }
    bool checkStatus() { return exchange.checkStatus(); }

    // At most this many polls in one operation that no budget counts (finger
    // still on the reader during a registration, unknown replies while
    // identifying), so that a printer stuck on one answer cannot hold the
    // window for ever.
    static constexpr int kMaxUncountedPolls = 30;

  protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

  private slots:
    void on_regist_currentChanged(int index);
    void on_close_clicked(bool checked);
    void on_open_clicked(bool checked);
    void on_identifySwitch_clicked();
    void on_editpass_clicked();
    void on_pushButton_clicked();
    void on_adminButton_clicked();
    void on_ensureFinger_clicked();
    void on_delAllFingers_clicked();
    void on_delFinger_clicked();
    void on_modFinger_clicked();
    void on_addFinger_clicked();
    void on_exit_clicked();

  private:
    // Opens the link, runs the steps and releases it; when no printer is
    // found only the status line says so.
    void inOperationFrame(const std::function<void()> &steps);
    void registerPolls(const QString &name, const QByteArray &firstReply);
    void identifyPolls();
    void deleteOnePolls(const QString &name);
    void deleteAllPolls();
    void showRegistered(const QString &name);

    Ui::Finger *ui;
    QByteArray listReply;
    usblink::CommandExchange exchange;
    ediepwd passwordDialog;
    const QByteArray statusCommand{"Status?"};
    const QByteArray nameListCommand{"FingerName?"};
    const QByteArray identifyCommand{"IdentifyFinger?"};
    QByteArray deleteOneCommand{"DeleteSingleFinger="};
    const QByteArray deleteAllCommand{"DeleteAllFinger?"};
    QByteArray registerCommand{"RegisterFinger="};
    QByteArray operationReply;
    bool admin = false;
};
