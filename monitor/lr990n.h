// The status monitor's window: a small pop-up that shows the printer's state,
// a hint and the running job's settings, lives in the system tray between
// messages, and carries the operator's side of manual two-sided printing.
#pragma once

#include "monitorconfig.h"

#include <QDialog>
#include <QSystemTrayIcon>

#include <memory>

class QAction;
class QCloseEvent;
class QComboBox;
class QMenu;
class QTimer;

namespace Ui
{
class LR990N;
}

// Where the window opens: near the bottom-right corner of the available area
// (inclusive coordinates L, T, R, B) at x = (R - L) - 9 - W/2,
// y = (B - T) - 39 - H/2, pulled back so that the window and its frame, the
// 确定 button included, lie inside the area (9 pixels kept free on the right,
// 39 below).
QPoint monitorWindowPosition(const QRect &available, const QSize &windowSize);

class LR990N : public QDialog
{
    Q_OBJECT

  public:
    // Builds the window for one printer model, waits for a system tray (at
    // most config.trayWaitRounds rounds), shows the tray icon and the window,
    // starts the 1 s poll and the 11 s hide timer and fills the job rows.
    explicit LR990N(const MonitorConfig &config, QWidget *parent = nullptr);
    ~LR990N() override;

  protected:
    // Closing the window while the tray icon is shown only sends it to the tray.
    void closeEvent(QCloseEvent *event) override;

  private slots:
    // Shows stateIcons entry index (icon and tooltip text) in the tray.
    void setIcon(int index);
    // Tray clicks: single click a hint balloon, double click shows the
    // window, middle click showMessage().
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    // Balloon of a status message: deliberately shows nothing.
    void showMessage();
    // 退出: removes the tray icon; the application's quit() follows.
    void closeTrigger();
    // Hide timer tick: sends a shown window to the tray once.
    void windowClose();
    // Poll timer tick: reads the job rows and the status code file, twice.
    void printerStateCheck();
    // 确定 on the duplex prompt: answers "CODE=7777\n" and hides the button.
    void on_btn_duplex_yes_clicked();

  private:
    // Builds the tray menu entries 最小化, 显示窗体 and 退出.
    void createActions();
    // Creates the tray icon with its context menu (not yet visible).
    void createTrayIcon();
    // Remembers the message and its kind and sets the tray icon to that kind.
    void triggerBubbleOn(int kind, const QString &title, const QString &text);
    // Shows title and text with the kind's picture and colour, pops the
    // window up and sets its hide interval (4 s for kind 1, else 14 s).
    void showMessageOnWindow(int kind, const QString &title, const QString &text);
    // Parses "CODE=<n>" (anything else after "=" is 0), applies the repeat
    // filter and acts on a new code.
    void showMessageState(const QByteArray &line);
    // Passes a line that carries "CODE=" on to showMessageState.
    void execReturnMsg(const QByteArray &line);
    // Refreshes the job rows, then reads the status code file once.
    void readDuplexFlag();
    // Fills the five job rows and paperSizeText from the job-information
    // file, or from the defaults when it cannot be read.
    void readPrintJobInfo();
    // Replaces the status code file's content with "CODE=7777\n"; on failure
    // only a debug line.
    void writeDuplexFlag();

    // Reads the status code file and hands its last line to execReturnMsg.
    void readStatusFile();
    // The code table: message, duplex prompt and answer, printer lock.
    void actOnCode(int code);
    // Title and form geometry of the configured model.
    void applyModelLayout();
    // Lets the event loop run while no system tray is there, within bounds.
    void waitForSystemTray();
    // Sets window flags without letting Qt hide a window that is up.
    void setFlagsKeepingVisibility(Qt::WindowFlags flags);
    // A debug line, unless the model's build keeps quiet.
    void debugLine(const QString &text) const;

    const MonitorConfig config;

    std::unique_ptr<QComboBox> stateIcons;   // tray icons and tooltips, never shown
    std::unique_ptr<QComboBox> messageKinds; // balloon icons, never shown
    QMenu *trayMenu = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    QTimer *pollTimer = nullptr;
    QTimer *hideTimer = nullptr;

    int lockSeen = 0;
    int hiddenFlag = 0;
    int currentKind = 1;
    QString bubbleTitle;
    QString bubbleText;
    int lastCode = 255;

    QAction *hideAction = nullptr;
    QAction *showAction = nullptr;
    QAction *exitAction = nullptr;

    QString paperSizeText;
    Ui::LR990N *ui;
};
