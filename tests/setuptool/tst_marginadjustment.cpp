// The red margin dialog against the scripted USB printer: the opening
// exchange, the offsets read from "monitor?", the exact command texts of the
// six rows, and what the user is told.
#include "marginadjustment.h"

#include "programgrop.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using setuptool::testing::info;
using setuptool::testing::RecordingCommandRunner;
using setuptool::testing::RecordingMessageBoxes;
using setuptool::testing::TempPrintersRoot;
using usblink::testing::FakeSleeper;
using usblink::testing::Reply;
using usblink::testing::ScriptedPrinter;

namespace
{

const char *const kButtons[] = {"btn_red_A4_top",  "btn_red_A4_left",  "btn_red_B5_top",
                                "btn_red_B5_left", "btn_red_c16k_top", "btn_red_c16k_left"};
const char *const kCombos[] = {"red_A4_top",  "red_A4_left",  "red_B5_top",
                               "red_B5_left", "red_c16k_top", "red_c16k_left"};

template <typename T> QList<T> repeated(int count, const T &value)
{
    QList<T> list;
    for (int i = 0; i < count; ++i)
        list << value;
    return list;
}

} // namespace

class TestMarginAdjustment : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<ScriptedPrinter> printer;
    std::unique_ptr<FakeSleeper> sleeper;
    std::unique_ptr<RecordingMessageBoxes> boxes;

    template <typename T> static T *child(QWidget *dialog, const char *name)
    {
        T *widget = dialog->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    static QString status(QWidget *dialog)
    {
        return child<QLabel>(dialog, "informationAdmin")->text();
    }
    static bool rowButtonsEnabled(QWidget *dialog, bool enabled)
    {
        for (const char *name : kButtons)
            if (child<QPushButton>(dialog, name)->isEnabled() != enabled)
                return false;
        return true;
    }
    // A dialog opened against a ready printer that reported monitorReply.
    std::unique_ptr<MarginAdjustment> openConnected(const QByteArray &monitorReply = "redtopclip:0")
    {
        printer->always("Status?", "0001");
        printer->reply("monitor?", monitorReply);
        auto dialog = std::make_unique<MarginAdjustment>();
        printer->reset();
        return dialog;
    }
    static void clickRow(MarginAdjustment *dialog, int row, int comboIndex)
    {
        child<QComboBox>(dialog, kCombos[row])->setCurrentIndex(comboIndex);
        QTest::mouseClick(child<QPushButton>(dialog, kButtons[row]), Qt::LeftButton);
    }

  private slots:
    void init()
    {
        printer = std::make_unique<ScriptedPrinter>();
        sleeper = std::make_unique<FakeSleeper>();
        boxes = std::make_unique<RecordingMessageBoxes>();
    }
    void cleanup()
    {
        boxes.reset();
        sleeper.reset();
        printer.reset();
    }

    void opensReadsTheOffsetsAndReleasesTheLink()
    {
        printer->always("Status?", "0001");
        printer->reply("monitor?", "redtopclip:3,redleftclip:1");
        MarginAdjustment dialog;
        QCOMPARE(printer->sent(), (QList<QByteArray>{"Status?", "monitor?"}));
        QCOMPARE(status(&dialog), QStringLiteral("连接成功！"));
        QVERIFY(rowButtonsEnabled(&dialog, true));
        QCOMPARE(printer->openLinks(), 0);
        QCOMPARE(printer->releaseCalls(), 1);
        QVERIFY(sleeper->waits().isEmpty());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("MarginAdjustment"));
        for (const char *name : kCombos) {
            auto *combo = child<QComboBox>(&dialog, name);
            QCOMPARE(combo->currentIndex(), 2);
            QCOMPARE(combo->count(), 5);
            QCOMPARE(combo->itemText(0), QStringLiteral("-0.2"));
            QCOMPARE(combo->itemText(4), QStringLiteral("+0.2"));
        }
    }

    void absentPrinterDisablesTheRows_data()
    {
        QTest::addColumn<int>("initResult");
        QTest::newRow("not found") << 252;
        QTest::newRow("driver busy") << 255;
    }
    void absentPrinterDisablesTheRows()
    {
        QFETCH(int, initResult);
        printer->setInitResult(initResult);
        MarginAdjustment dialog;
        QCOMPARE(status(&dialog), QStringLiteral("查找打印机失败，请检查打印机USB连接状况"));
        QVERIFY(rowButtonsEnabled(&dialog, false));
        QVERIFY(printer->sent().isEmpty());
        QVERIFY(child<QPushButton>(&dialog, "pushButton")->isEnabled());
    }

    void printerThatNeverGetsReadyIsReportedAndReleased()
    {
        // The status line as the user sees it while the dialog waits.
        QStringList shown;
        sleeper->onSleep([&](int) {
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *line = window->findChild<QLabel *>(QStringLiteral("informationAdmin")))
                    shown << line->text();
        });
        printer->always("Status?", "1003");
        MarginAdjustment dialog;
        QCOMPARE(status(&dialog), QStringLiteral("打印机连接异常！"));
        QVERIFY(rowButtonsEnabled(&dialog, false));
        QCOMPARE(printer->sent(), repeated(5, QByteArray("Status?")));
        QCOMPARE(sleeper->waits(), repeated(5, 1));
        QCOMPARE(shown, QStringList(repeated(5, QStringLiteral("打印机正在预热请稍候！"))));
        // The link is given back although the opening failed.
        QCOMPARE(printer->openLinks(), 0);
        QCOMPARE(printer->releaseCalls(), 1);
    }

    void monitorReplySetsOnlyTheKeysItNames()
    {
        auto dialog = openConnected("redtopclip:3,foo:1,B5redleftclip:-2");
        QCOMPARE(dialog->currentValue(MarginAdjustment::A4Top), 3.0);
        QCOMPARE(dialog->currentValue(MarginAdjustment::B5Left), -2.0);
        for (const QByteArray &command :
             {QByteArray("RedFeedOffSet=+3;"), QByteArray("RedScanOffSet=+0;"),
              QByteArray("B5RedFeedOffSet=+0;"), QByteArray("B5RedScanOffSet=-2;"),
              QByteArray("C16KRedFeedOffSet=+0;"), QByteArray("C16KRedScanOffSet=+0;")})
            printer->always(command, "0020");
        for (int row = 0; row < 6; ++row)
            clickRow(dialog.get(), row, 2);
        QCOMPARE(printer->sent(),
                 (QList<QByteArray>{"RedFeedOffSet=+3;", "RedScanOffSet=+0;", "B5RedFeedOffSet=+0;",
                                    "B5RedScanOffSet=-2;", "C16KRedFeedOffSet=+0;",
                                    "C16KRedScanOffSet=+0;"}));
        QVERIFY(printer->unscripted().isEmpty());
    }

    void monitorIsAskedAgainOnlyWhileTheReplyIsEmpty()
    {
        printer->always("Status?", "0001");
        printer->reply("monitor?", {Reply::silence(), Reply::silence(), Reply::silence(),
                                    Reply::silence(), "B5redtopclip:4"});
        MarginAdjustment dialog;
        QCOMPARE(printer->sent().count("monitor?"), 5);
        QCOMPARE(dialog.currentValue(MarginAdjustment::B5Top), 4.0);
        QVERIFY(sleeper->waits().isEmpty());
    }

    void monitorGivesUpAfterFiveEmptyReplies()
    {
        printer->always("Status?", "0001");
        printer->always("monitor?", Reply::silence());
        MarginAdjustment dialog;
        QCOMPARE(printer->sent().count("monitor?"), 5);
        QCOMPARE(status(&dialog), QStringLiteral("连接成功！"));
        for (int s = 0; s < MarginAdjustment::SettingCount; ++s)
            QCOMPARE(dialog.currentValue(MarginAdjustment::Setting(s)), 0.0);
    }

    void monitorSendErrorEndsTheAttempts()
    {
        printer->always("Status?", "0001");
        printer->reply("monitor?", Reply::sendFails());
        QTest::ignoreMessage(QtDebugMsg, "send error");
        MarginAdjustment dialog;
        QCOMPARE(printer->sent(), QList<QByteArray>{"Status?"});
        QCOMPARE(dialog.currentValue(MarginAdjustment::A4Top), 0.0);
    }

    void unreadableNumbersCountAsZero()
    {
        auto dialog = openConnected("redtopclip:abc,redleftclip:nan,B5redtopclip:7");
        QCOMPARE(dialog->currentValue(MarginAdjustment::A4Top), 0.0);
        QCOMPARE(dialog->currentValue(MarginAdjustment::A4Left), 0.0);
        QCOMPARE(dialog->currentValue(MarginAdjustment::B5Top), 7.0);
    }

    void clicksAccumulateTheSteps()
    {
        auto dialog = openConnected();
        printer->always("RedFeedOffSet=+1;", "0020");
        printer->always("RedFeedOffSet=+2;", "0020");
        clickRow(dialog.get(), 0, 3);
        clickRow(dialog.get(), 0, 3);
        QCOMPARE(printer->sent(), (QList<QByteArray>{"RedFeedOffSet=+1;", "RedFeedOffSet=+2;"}));
        // Each click opens the link for its one command and gives it back.
        QCOMPARE(printer->initCalls(), 2);
        QCOMPARE(printer->releaseCalls(), 2);
        QCOMPARE(printer->openLinks(), 0);
    }

    void commandTexts_data()
    {
        QTest::addColumn<QByteArray>("monitorReply");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("comboIndex");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("1.5 - 0.2")
            << QByteArray("redtopclip:1.5") << 0 << 0 << QByteArray("RedFeedOffSet=-0.5;");
        QTest::newRow("0 - 0.1") << QByteArray("redtopclip:0") << 0 << 1
                                 << QByteArray("RedFeedOffSet=-1;");
        QTest::newRow("0 + 0") << QByteArray("redtopclip:0") << 0 << 2
                               << QByteArray("RedFeedOffSet=+0;");
        QTest::newRow("-0 + 0") << QByteArray("redtopclip:-0") << 0 << 2
                                << QByteArray("RedFeedOffSet=+0;");
        QTest::newRow("A4 left 10 + 0.2")
            << QByteArray("redleftclip:10") << 1 << 4 << QByteArray("RedScanOffSet=+12;");
        QTest::newRow("B5 top six digits") << QByteArray("B5redtopclip:1.23456789") << 2 << 3
                                           << QByteArray("B5RedFeedOffSet=+2.23457;");
        QTest::newRow("B5 left large") << QByteArray("B5redleftclip:-1234567") << 3 << 0
                                       << QByteArray("B5RedScanOffSet=-1.23457e+06;");
        QTest::newRow("C16K top from 0")
            << QByteArray("redtopclip:5") << 4 << 4 << QByteArray("C16KRedFeedOffSet=+2;");
        QTest::newRow("C16K left from 0")
            << QByteArray("redtopclip:5") << 5 << 0 << QByteArray("C16KRedScanOffSet=-2;");
    }
    void commandTexts()
    {
        QFETCH(QByteArray, monitorReply);
        QFETCH(int, row);
        QFETCH(int, comboIndex);
        QFETCH(QByteArray, command);
        auto dialog = openConnected(monitorReply);
        printer->always(command, "0020");
        clickRow(dialog.get(), row, comboIndex);
        QCOMPARE(printer->sent(), QList<QByteArray>{command});
    }

    void rowOutcomes_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("success");
        QTest::addColumn<QString>("failure");
        QTest::newRow("A4 top") << 0 << QByteArray("RedFeedOffSet=+0;")
                                << QStringLiteral("设置A4红色顶边距成功！")
                                << QStringLiteral("设置A4红色顶边距失败！");
        QTest::newRow("A4 left") << 1 << QByteArray("RedScanOffSet=+0;")
                                 << QStringLiteral("设置A4红色左边距成功！")
                                 << QStringLiteral("设置A4红色左边距失败！");
        QTest::newRow("B5 top") << 2 << QByteArray("B5RedFeedOffSet=+0;")
                                << QStringLiteral("设置B5红色顶边距成功！")
                                << QStringLiteral("设置B5红色顶边距失败！");
        QTest::newRow("B5 left") << 3 << QByteArray("B5RedScanOffSet=+0;")
                                 << QStringLiteral("设置B5红色左边距成功！")
                                 << QStringLiteral("设置B5红色左边距失败！");
        QTest::newRow("C16K top") << 4 << QByteArray("C16KRedFeedOffSet=+0;")
                                  << QStringLiteral("设置C16K红色顶边距成功！")
                                  << QStringLiteral("设置C16K红色顶边距失败！");
        QTest::newRow("C16K left") << 5 << QByteArray("C16KRedScanOffSet=+0;")
                                   << QStringLiteral("设置C16K红色左边距成功！")
                                   << QStringLiteral("设置C16K红色左边距失败！");
    }
    void rowOutcomes()
    {
        QFETCH(int, row);
        QFETCH(QByteArray, command);
        QFETCH(QString, success);
        QFETCH(QString, failure);
        auto dialog = openConnected();
        // Success is a reply that begins with 0020, nothing else.
        printer->reply(command,
                       {"0020", "0020abc", "10020", "6007", Reply::silence(), Reply::sendFails()});
        for (int click = 0; click < 6; ++click) {
            // The sums stay at 0 with "+0.0" selected: the same command each time.
            clickRow(dialog.get(), row, 2);
        }
        QCOMPARE(
            boxes->boxes(),
            (QList<setuptool::testing::ShownBox>{
                info(QStringLiteral("提示"), success), info(QStringLiteral("提示"), success),
                info(QStringLiteral("提示"), failure), info(QStringLiteral("提示"), failure),
                info(QStringLiteral("提示"), failure), info(QStringLiteral("提示"), failure)}));
        QCOMPARE(status(dialog.get()), failure);
        QCOMPARE(printer->openLinks(), 0);
        QVERIFY(rowButtonsEnabled(dialog.get(), true));
    }

    void failedSetKeepsTheStep()
    {
        auto dialog = openConnected();
        printer->reply("RedScanOffSet=+2;", "6007");
        printer->reply("RedScanOffSet=+4;", "0020");
        clickRow(dialog.get(), 1, 4);
        clickRow(dialog.get(), 1, 4);
        QCOMPARE(printer->sent(), (QList<QByteArray>{"RedScanOffSet=+2;", "RedScanOffSet=+4;"}));
        QCOMPARE(status(dialog.get()), QStringLiteral("设置A4红色左边距成功！"));
    }

    void clickWithoutPrinterDisablesTheRows()
    {
        auto dialog = openConnected();
        printer->setInitResult(252);
        clickRow(dialog.get(), 0, 3);
        QCOMPARE(status(dialog.get()), QStringLiteral("查找打印机失败，请检查打印机USB连接状况"));
        QVERIFY(rowButtonsEnabled(dialog.get(), false));
        QVERIFY(printer->sent().isEmpty());
        QVERIFY(boxes->boxes().isEmpty());
        QCOMPARE(dialog->currentValue(MarginAdjustment::A4Top), 0.0);
    }

    void sampleSheetOpensInTheViewer()
    {
        TempPrintersRoot root;
        RecordingCommandRunner runner;
        auto dialog = openConnected();
        QTest::mouseClick(child<QPushButton>(dialog.get(), "pushButton"), Qt::LeftButton);
        QCOMPARE(runner.started,
                 (QList<QStringList>{
                     {root.filePath(QStringLiteral("LR880/docviewer")),
                      root.filePath(QStringLiteral("LR880/LR880_MarginAdjustment.pdf"))}}));
        QVERIFY(printer->sent().isEmpty());
    }

    void launcherButtonRunsTheDialog()
    {
        printer->always("Status?", "0001");
        printer->reply("monitor?", "redtopclip:1");
        ProgramGrop launcher;
        launcher.show();
        QString shown;
        // The dialog runs modally: look at it and close it from its event loop.
        QTimer::singleShot(0, [&] {
            if (auto *dialog =
                    qobject_cast<MarginAdjustment *>(QApplication::activeModalWidget())) {
                shown = status(dialog);
                dialog->close();
            }
        });
        QTest::mouseClick(child<QPushButton>(&launcher, "pushButton_3"), Qt::LeftButton);
        QCOMPARE(shown, QStringLiteral("连接成功！"));
        QCOMPARE(printer->sent(), (QList<QByteArray>{"Status?", "monitor?"}));
        QCOMPARE(printer->openLinks(), 0);
    }

    void closingWhileIdleLeavesTheLinkAlone()
    {
        auto dialog = openConnected();
        dialog->show();
        dialog->close();
        QCOMPARE(printer->initCalls(), 0);
        QCOMPARE(printer->releaseCalls(), 0);
    }
};

QTEST_MAIN(TestMarginAdjustment)
#include "tst_marginadjustment.moc"
