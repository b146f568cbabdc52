// The settings tool's message boxes. Every dialog shows its boxes through
// these two functions, so that tests can answer them without a modal loop.
#pragma once

#include <QString>

class QWidget;

namespace setuptool
{

// Shows an information box with one "OK" button and waits for it.
void information(QWidget *parent, const QString &title, const QString &text);

// Shows a question box with the buttons OK and Cancel; true when OK was chosen.
bool question(QWidget *parent, const QString &title, const QString &text);

// Where the boxes go; the default shows real QMessageBox windows.
class MessageBoxHandler
{
  public:
    virtual ~MessageBoxHandler() = default;
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual bool question(QWidget *parent, const QString &title, const QString &text) = 0;
};

// Installs a handler (nullptr restores the real boxes) and returns the previous
// one. The caller keeps ownership. Tests only.
MessageBoxHandler *setMessageBoxHandler(MessageBoxHandler *handler);

} // namespace setuptool
