// A private CUPS scheduler for tests, set up the way CUPS's own test suite
// does it: its own configuration, spool, state and logs in a temporary
// folder, listening on a free loopback port. Clients reach it through
// CUPS_SERVER (serverName()); the system's scheduler is never touched. The
// scheduler is stopped when the object goes, and dies with the test process.
#pragma once

#include "command_runner.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

namespace setuptool
{
namespace testing
{

class PrivateCupsd
{
  public:
    PrivateCupsd();
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd &) = delete;
    PrivateCupsd &operator=(const PrivateCupsd &) = delete;

    // Writes the configuration, puts the PPD LR880N.ppd into the scheduler's
    // model folder, starts cupsd and waits (a few seconds at most) until it
    // accepts connections. False with the reason in error() otherwise.
    bool start();
    // Stops the scheduler (SIGTERM, then SIGKILL) and reaps it.
    void stop();
    bool running() const { return pid_ > 0; }

    // "127.0.0.1:PORT", for CUPS_SERVER.
    QString serverName() const;
    // The environment of a client of this scheduler.
    QProcessEnvironment clientEnvironment() const;
    // Runs a CUPS client program (lpstat ...) against this scheduler; its
    // standard output, and its exit status in *status.
    QString runClient(const QString &program, const QStringList &arguments,
                      int *status = nullptr) const;

    // The scheduler's ServerRoot (its ppd/ folder holds the queues' PPDs).
    QString serverRoot() const { return dir_.path(); }

    QString error() const { return error_; }
    // The scheduler's error_log, for failure messages.
    QString log() const;

  private:
    bool writeConfiguration();

    QTemporaryDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    QString error_;
};

// Runs the settings tool's shell commands for real against a private
// scheduler (its CUPS_SERVER in their environment), except the restart of the
// system's print service, which is only recorded with the status restartStatus.
class PrivateCupsCommandRunner final : public CommandRunner
{
  public:
    explicit PrivateCupsCommandRunner(const PrivateCupsd &cupsd);
    ~PrivateCupsCommandRunner() override;

    int executeCommand(const QString &commandLine) override;
    int runShell(const QString &commandLine) override;
    void startProgram(const QString &program, const QStringList &arguments) override;

    QStringList shell;    // every shell command asked for
    QStringList restarts; // the service restarts among them (not run)
    int restartStatus = 0;

  private:
    const PrivateCupsd &cupsd_;
    CommandRunner *previous_;
};

} // namespace testing
} // namespace setuptool
