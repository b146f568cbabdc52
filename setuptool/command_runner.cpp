#include "command_runner.h"

#include <QProcess>

#include <utility>

namespace setuptool
{

namespace
{

class RealCommandRunner final : public CommandRunner
{
  public:
    int executeCommand(const QString &commandLine) override
    {
        const QStringList parts = QProcess::splitCommand(commandLine);
        if (parts.isEmpty())
            return -2;
        return QProcess::execute(parts.first(), parts.mid(1));
    }
    int runShell(const QString &commandLine) override
    {
        return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    }
    void startProgram(const QString &program, const QStringList &arguments) override
    {
        QProcess::startDetached(program, arguments);
    }
};

CommandRunner *&installed()
{
    static CommandRunner *runner = nullptr;
    return runner;
}

CommandRunner &current()
{
    static RealCommandRunner real;
    return installed() ? *installed() : real;
}

} // namespace

int executeCommand(const QString &commandLine)
{
    return current().executeCommand(commandLine);
}

int runShell(const QString &commandLine)
{
    return current().runShell(commandLine);
}

void startProgram(const QString &program, const QStringList &arguments)
{
    current().startProgram(program, arguments);
}

CommandRunner *setCommandRunner(CommandRunner *runner)
{
    return std::exchange(installed(), runner);
}

} // namespace setuptool
