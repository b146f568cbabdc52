// Test scaffolding for the monitor: a temporary printers root with the
// model's control folder, and a real LR990N window built on it.
#pragma once

#include "lr990n.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

class MonitorRoot
{
  public:
    // Creates the root, points KOLVEX_PRINTERS_ROOT at it and creates
    // <model>/control. The window built from config() does not wait for a tray.
    explicit MonitorRoot(const MonitorConfig &model);

    const MonitorConfig &config() const { return cfg; }
    QString controlDir() const;
    void writeStatus(const QByteArray &content) const;
    void writeJobInfo(const QByteArray &content) const;
    QByteArray readStatus() const;

  private:
    // Short, so that page file names under it fit the filter's hand-off slots.
    QTemporaryDir dir{QStringLiteral("/tmp/kvm-XXXXXX")};
    MonitorConfig cfg;
};

// A window on a MonitorRoot, with the widgets a user looks at.
class MonitorWindow
{
  public:
    explicit MonitorWindow(const MonitorRoot &root);
    ~MonitorWindow();

    LR990N *window() const { return w.get(); }
    // One tick of the poll timer.
    void poll() const;
    // One tick of the hide timer.
    void hideTick() const;
    // Writes a status code line and runs one poll.
    void receive(const QByteArray &statusContent) const;

    QLabel *label(const char *name) const;
    QPushButton *duplexButton() const;
    QSystemTrayIcon *tray() const;
    QTimer *timer(const char *name) const;

  private:
    const MonitorRoot &root;
    std::unique_ptr<LR990N> w;
};

// Collects the debug lines written while it lives.
class DebugCapture
{
  public:
    DebugCapture();
    ~DebugCapture();
    QStringList lines() const;
};

// Pixels of a label's picture, for comparison with a resource image.
QImage labelPicture(const QLabel *label);
