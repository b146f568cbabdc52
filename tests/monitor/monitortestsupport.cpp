#include "monitortestsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMetaObject>
#include <QMutex>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

MonitorRoot::MonitorRoot(const MonitorConfig &model) : cfg(model)
{
    cfg.trayWaitRounds = 0;
    QVERIFY2(dir.isValid(), "temporary printers root");
    qputenv("KOLVEX_PRINTERS_ROOT", QFile::encodeName(dir.path()));
    QDir().mkpath(controlDir());
}

QString MonitorRoot::controlDir() const
{
    return dir.path() + "/" + cfg.modelName + "/control";
}

static void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(content);
}

void MonitorRoot::writeStatus(const QByteArray &content) const
{
    writeFile(cfg.statusFilePath(), content);
}

void MonitorRoot::writeJobInfo(const QByteArray &content) const
{
    writeFile(cfg.jobInfoFilePath(), content);
}

QByteArray MonitorRoot::readStatus() const
{
    QFile f(cfg.statusFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

MonitorWindow::MonitorWindow(const MonitorRoot &r) : root(r), w(new LR990N(r.config())) {}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::poll() const
{
    QMetaObject::invokeMethod(w.get(), "printerStateCheck", Qt::DirectConnection);
}

void MonitorWindow::hideTick() const
{
    QMetaObject::invokeMethod(w.get(), "windowClose", Qt::DirectConnection);
}

void MonitorWindow::receive(const QByteArray &statusContent) const
{
    root.writeStatus(statusContent);
    poll();
}

QLabel *MonitorWindow::label(const char *name) const
{
    auto *l = w->findChild<QLabel *>(name);
    if (!l)
        qFatal("no label %s", name);
    return l;
}

QPushButton *MonitorWindow::duplexButton() const
{
    return w->findChild<QPushButton *>("btn_duplex_yes");
}

QSystemTrayIcon *MonitorWindow::tray() const
{
    return w->findChild<QSystemTrayIcon *>();
}

QTimer *MonitorWindow::timer(const char *name) const
{
    return w->findChild<QTimer *>(name);
}

namespace
{
QMutex captureMutex;
QStringList captured;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&captureMutex);
        captured << message;
    }
    if (type != QtDebugMsg && previousHandler)
        previousHandler(type, context, message);
}
} // namespace

DebugCapture::DebugCapture()
{
    captured.clear();
    previousHandler = qInstallMessageHandler(captureHandler);
}

DebugCapture::~DebugCapture()
{
    qInstallMessageHandler(previousHandler);
}

QStringList DebugCapture::lines() const
{
    QMutexLocker lock(&captureMutex);
    return captured;
}

QImage labelPicture(const QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB32);
}
