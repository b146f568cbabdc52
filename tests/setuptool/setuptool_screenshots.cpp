// Takes pictures of the launcher, of each tab of the fingerprint manager and
// of the password dialog, with a scripted printer, for a look by eye:
//   setuptool_screenshots OUTPUT_DIR      (run under Xvfb, see scripts/)
#include "ediepwd.h"
#include "finger.h"
#include "programgrop.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace
{

bool save(QWidget &w, const QString &path)
{
    QTest::qWait(150);
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;

    setuptool::testing::TempPrintersRoot root;
    setuptool::testing::RecordingMessageBoxes boxes;
    usblink::testing::ScriptedPrinter printer;
    usblink::testing::FakeSleeper sleeper;
    printer.always("Status?", "0001");
    printer.always("FingerName?", "6007:张三-李四-Wang Wu;");

    bool ok = true;
    ProgramGrop launcher;
    launcher.show();
    ok &= save(launcher, out.filePath("launcher.png"));

    Finger finger;
    auto *tabs = finger.findChild<QTabWidget *>("regist");
    tabs->setCurrentIndex(0);
    ok &= save(finger, out.filePath("finger-0-admin-locked.png"));
    finger.findChild<QLineEdit *>("pssd")->setText("8526");
    finger.findChild<QPushButton *>("adminButton")->click();
    ok &= save(finger, out.filePath("finger-0-admin.png"));
    tabs->setCurrentIndex(1);
    finger.findChild<QLineEdit *>("addName")->setText(QStringLiteral("赵六"));
    ok &= save(finger, out.filePath("finger-1-register.png"));
    tabs->setCurrentIndex(2);
    ok &= save(finger, out.filePath("finger-2-delete.png"));
    tabs->setCurrentIndex(3);
    ok &= save(finger, out.filePath("finger-3-switch.png"));

    tabs->setCurrentIndex(0);
    finger.findChild<QPushButton *>("editpass")->click();
    if (auto *password = finger.findChild<ediepwd *>())
        ok &= save(*password, out.filePath("password.png"));
    return ok ? 0 : 1;
}
