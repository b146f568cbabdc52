// The launcher: its help button and its fingerprint button, with real widgets.
#include "finger.h"
#include "programgrop.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

using setuptool::testing::RecordingCommandRunner;
using setuptool::testing::RecordingMessageBoxes;
using setuptool::testing::TempPrintersRoot;
using usblink::testing::FakeSleeper;
using usblink::testing::ScriptedPrinter;

class ProgramGropTest : public QObject
{
    Q_OBJECT

  private slots:
    void helpButtonRunsViewerOnHelpDocument();
    void fingerprintButtonOpensAFreshDialogEachTime();
};

void ProgramGropTest::helpButtonRunsViewerOnHelpDocument()
{
    TempPrintersRoot root;
    RecordingCommandRunner runner;
    ProgramGrop launcher;
    launcher.findChild<QPushButton *>("pushButton_6")->click();
    QCOMPARE(runner.executed,
             QStringList{root.path() + "/LR880/docviewer " + root.path() + "/LR880/help_r88.pdf"});
}

void ProgramGropTest::fingerprintButtonOpensAFreshDialogEachTime()
{
    TempPrintersRoot root;
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    RecordingMessageBoxes boxes;
    printer.always("Status?", "0001");
    ProgramGrop launcher;
    launcher.show();

    // Runs inside the fingerprint dialog's modal loop: looks at it, then closes it.
    QStringList seen;
    auto inspectAndClose = [&](bool logIn) {
        QTimer::singleShot(0, [&, logIn] {
            Finger *finger = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *f = qobject_cast<Finger *>(w); f && f->isVisible())
                    finger = f;
            if (!finger) {
                seen << "no dialog";
                return;
            }
            auto *tabs = finger->findChild<QTabWidget *>("regist");
            tabs->setCurrentIndex(1);
            seen << QString::number(tabs->currentIndex());
            if (logIn) {
                finger->findChild<QLineEdit *>("pssd")->setText("8526");
                finger->findChild<QPushButton *>("adminButton")->click();
            }
            finger->findChild<QPushButton *>("exit")->click();
        });
    };
    inspectAndClose(true);
    launcher.findChild<QPushButton *>("pushButton")->click();
    inspectAndClose(false);
    launcher.findChild<QPushButton *>("pushButton")->click();

    // Each dialog starts on the delete tab, guarded until the password is given;
    // the password given in the first one is not carried into the second.
    QCOMPARE(seen, (QStringList{"0", "0"}));
    QVERIFY(launcher.findChildren<Finger *>().isEmpty());
    QCOMPARE(printer.openLinks(), 0);
}

QTEST_MAIN(ProgramGropTest)
#include "test_programgrop.moc"
