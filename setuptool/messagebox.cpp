#include "messagebox.h"

#include <QMessageBox>

#include <utility>

namespace setuptool
{

namespace
{

class RealMessageBoxes final : public MessageBoxHandler
{
  public:
    void information(QWidget *parent, const QString &title, const QString &text) override
    {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    }
    bool question(QWidget *parent, const QString &title, const QString &text) override
    {
        return QMessageBox::question(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
               QMessageBox::Ok;
    }
};

MessageBoxHandler *&installed()
{
    static MessageBoxHandler *handler = nullptr;
    return handler;
}

MessageBoxHandler &current()
{
    static RealMessageBoxes real;
    return installed() ? *installed() : real;
}

} // namespace

void information(QWidget *parent, const QString &title, const QString &text)
{
    current().information(parent, title, text);
}

bool question(QWidget *parent, const QString &title, const QString &text)
{
    return current().question(parent, title, text);
}

MessageBoxHandler *setMessageBoxHandler(MessageBoxHandler *handler)
{
    return std::exchange(installed(), handler);
}

} // namespace setuptool
