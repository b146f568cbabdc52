// Test doubles for the settings tool's seams: message boxes that are recorded
// and answered instead of shown, outside programs that are recorded instead of
// run, and a private printers root in a temporary folder. Each installs itself
// while it lives and restores what was there before.
#pragma once

#include "command_runner.h"
#include "messagebox.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace setuptool
{
namespace testing
{

struct ShownBox {
    enum Kind { Information, Question };
    Kind kind;
    QString title;
    QString text;
    bool operator==(const ShownBox &o) const
    {
        return kind == o.kind && title == o.title && text == o.text;
    }
};

inline ShownBox info(const QString &title, const QString &text)
{
    return {ShownBox::Information, title, text};
}
inline ShownBox asked(const QString &title, const QString &text)
{
    return {ShownBox::Question, title, text};
}

// Records every box; questions are answered from a queue, then with the
// default answer (OK unless changed).
class RecordingMessageBoxes final : public MessageBoxHandler
{
  public:
    RecordingMessageBoxes() : previous_(setMessageBoxHandler(this)) {}
    ~RecordingMessageBoxes() override { setMessageBoxHandler(previous_); }

    void information(QWidget *, const QString &title, const QString &text) override
    {
        boxes_.append(info(title, text));
        if (hook_)
            hook_(boxes_.last());
    }
    bool question(QWidget *, const QString &title, const QString &text) override
    {
        boxes_.append(asked(title, text));
        if (hook_)
            hook_(boxes_.last());
        return answers_.isEmpty() ? defaultAnswer_ : answers_.takeFirst();
    }

    const QList<ShownBox> &boxes() const { return boxes_; }
    // The texts of the boxes, "title / text" each, for readable comparisons.
    QStringList lines() const
    {
        QStringList out;
        for (const ShownBox &b : boxes_)
            out << b.title + QStringLiteral(" / ") + b.text;
        return out;
    }
    void clear() { boxes_.clear(); }
    void answerNext(bool ok) { answers_.append(ok); }
    void setDefaultAnswer(bool ok) { defaultAnswer_ = ok; }
    // Called as each box is shown (after it is recorded).
    void onBox(std::function<void(const ShownBox &)> hook) { hook_ = std::move(hook); }

  private:
    QList<ShownBox> boxes_;
    QList<bool> answers_;
    bool defaultAnswer_ = true;
    std::function<void(const ShownBox &)> hook_;
    MessageBoxHandler *previous_;
};

// Records every command instead of running it; executeCommand and runShell
// return `exitStatus`.
class RecordingCommandRunner final : public CommandRunner
{
  public:
    RecordingCommandRunner() : previous_(setCommandRunner(this)) {}
    ~RecordingCommandRunner() override { setCommandRunner(previous_); }

    int executeCommand(const QString &commandLine) override
    {
        executed << commandLine;
        return exitStatus;
    }
    int runShell(const QString &commandLine) override
    {
        shell << commandLine;
        return exitStatus;
    }
    void startProgram(const QString &program, const QStringList &arguments) override
    {
        started << (QStringList{program} + arguments);
    }

    QStringList executed;
    QStringList shell;
    QList<QStringList> started;
    int exitStatus = 0;

  private:
    CommandRunner *previous_;
};

// Points KOLVEX_PRINTERS_ROOT at a fresh temporary folder while it lives.
class TempPrintersRoot
{
  public:
    TempPrintersRoot()
        : hadPrevious_(qEnvironmentVariableIsSet("KOLVEX_PRINTERS_ROOT")),
          previous_(qgetenv("KOLVEX_PRINTERS_ROOT"))
    {
        qputenv("KOLVEX_PRINTERS_ROOT", dir_.path().toUtf8());
    }
    ~TempPrintersRoot()
    {
        if (hadPrevious_)
            qputenv("KOLVEX_PRINTERS_ROOT", previous_);
        else
            qunsetenv("KOLVEX_PRINTERS_ROOT");
    }
    QString path() const { return dir_.path(); }
    // A path below the root ("LR880/.ad/.ppds_r88").
    QString filePath(const QString &relative) const { return dir_.filePath(relative); }

  private:
    QTemporaryDir dir_;
    bool hadPrevious_;
    QByteArray previous_;
};

} // namespace testing
} // namespace setuptool
