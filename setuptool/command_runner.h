// The settings tool's outside programs (the help viewer, lpadmin, the shell).
// Every start goes through these functions so that tests can record them
// instead of running anything.
#pragma once

#include <QString>
#include <QStringList>

namespace setuptool
{

// Runs a command line (program and arguments separated by spaces, as
// QProcess::execute takes it) and waits for it. Its exit status, -2 when it
// could not be started, -1 when it crashed.
int executeCommand(const QString &commandLine);

// Runs a command line through the system shell (/bin/sh -c) and waits for it.
// The shell's exit status, or -1 when it could not be run.
int runShell(const QString &commandLine);

// Starts a program with its arguments and returns at once without waiting or
// checking that it started.
void startProgram(const QString &program, const QStringList &arguments);

// Where the commands go; the default runs them for real.
class CommandRunner
{
  public:
    virtual ~CommandRunner() = default;
    virtual int executeCommand(const QString &commandLine) = 0;
    virtual int runShell(const QString &commandLine) = 0;
    virtual void startProgram(const QString &program, const QStringList &arguments) = 0;
};

// Installs a runner (nullptr restores the real one) and returns the previous
// one. The caller keeps ownership. Tests only.
CommandRunner *setCommandRunner(CommandRunner *runner);

} // namespace setuptool
