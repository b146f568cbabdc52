// The fingerprint manager with real widgets (offscreen), a scripted printer on
// the link seam, recorded message boxes, cheap waits and a private printers
// root. Each test drives the dialog as a user would and checks the commands on
// the wire, the status lines and the boxes against the dialog's tables.
#include "finger.h"
#include "password_file.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using setuptool::testing::asked;
using setuptool::testing::info;
using setuptool::testing::RecordingMessageBoxes;
using setuptool::testing::ShownBox;
using setuptool::testing::TempPrintersRoot;
using usblink::testing::FakeSleeper;
using usblink::testing::Reply;
using usblink::testing::ScriptedPrinter;

using Commands = QList<QByteArray>;
using Waits = QList<int>;
using Boxes = QList<ShownBox>;

Q_DECLARE_METATYPE(ShownBox)

namespace QTest
{
template <> char *toString(const ShownBox &box)
{
    const QString kind = box.kind == ShownBox::Question ? "question" : "information";
    return qstrdup(QString("%1 %2 / %3").arg(kind, box.title, box.text).toUtf8().constData());
}
} // namespace QTest

namespace
{

const QString kTip = QStringLiteral("提示");
const QString kError = QStringLiteral("错误");

} // namespace

class FingerTest : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    // opening and reconnecting
    void opensOnDeleteTabAndAsksForAdministrator();
    void opensWithoutPrinter();
    void opensWithPrinterNotReadyAndReleasesOnClose();
    void reconnectClearsAdministrator();
    void reconnectWithoutPrinter();

    // password and tab guard
    void firstPasswordCheckCreatesDefaultFile();
    void wrongPasswordRefusedRightAccepted();
    void unreadablePasswordFileClosesDialog();
    void tabGuardKeepsUserOnAdministratorTab();
    void tabChangeAfterPasswordFetchesNames();

    // name list
    void refreshList_data();
    void refreshList();
    void refreshButtonRetriesUntilList();
    void refreshButtonPrinterNotReady();

    // registration
    void registrationSucceeds();
    void registrationPollOutcome_data();
    void registrationPollOutcome();
    void registrationFirstReplyOutcome_data();
    void registrationFirstReplyOutcome();
    void registrationLiftFingerIsNotCounted();
    void registrationStuckOnLiftFingerIsBounded();
    void registrationNameLength_data();
    void registrationNameLength();
    void registrationExistingName();
    void registrationPrinterNotReady();
    void operationWithoutPrinterOnlySaysSo();

    // identification
    void identificationRecognisesName();
    void identificationPollOutcome_data();
    void identificationPollOutcome();
    void identificationFirstReplyOutcome_data();
    void identificationFirstReplyOutcome();
    void identificationWaitIsBounded();

    // deletion
    void deleteOneConfirmedSucceeds();
    void deleteOneCancelledSendsNothing();
    void deleteOnePollOutcome_data();
    void deleteOnePollOutcome();
    void deleteOneModuleErrorShownForTenSeconds();
    void deleteAllConfirmedSucceeds();
    void deleteAllCancelledSendsNothing();
    void deleteAllPollOutcome_data();
    void deleteAllPollOutcome();
    void deleteAllUnknownFirstReplyBoxesEveryPoll();

    // the switch
    void switchWithoutChoiceSendsNothing();
    void switchOnAndOff();
    void switchSendFails();
    void switchPrinterNotReady();

    void exitReleasesALinkLeftOpen();

  private:
    // Opens the dialog with a ready printer and enters the default password;
    // then forgets the traffic so far.
    std::unique_ptr<Finger> adminFinger();
    // Switches to a tab (by way of the administrator tab) with these names in the printer.
    void showNames(Finger &f, const QByteArray &listReply, int tab);

    template <class T> static T *w(QObject &f, const char *name)
    {
        T *child = f.findChild<T *>(QString::fromLatin1(name));
        if (!child)
            qFatal("no widget %s", name);
        return child;
    }
    static QString text(QObject &f, const char *label) { return w<QLabel>(f, label)->text(); }
    static QStringList items(QObject &f, const char *combo)
    {
        QStringList out;
        QComboBox *c = w<QComboBox>(f, combo);
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    }

    std::unique_ptr<TempPrintersRoot> root;
    std::unique_ptr<ScriptedPrinter> printer;
    std::unique_ptr<FakeSleeper> sleeper;
    std::unique_ptr<RecordingMessageBoxes> boxes;
};

void FingerTest::init()
{
    root = std::make_unique<TempPrintersRoot>();
    printer = std::make_unique<ScriptedPrinter>();
    sleeper = std::make_unique<FakeSleeper>();
    boxes = std::make_unique<RecordingMessageBoxes>();
}

void FingerTest::cleanup()
{
    boxes.reset();
    sleeper.reset();
    printer.reset();
    root.reset();
}

std::unique_ptr<Finger> FingerTest::adminFinger()
{
    printer->always("Status?", "0001");
    auto f = std::make_unique<Finger>();
    w<QLineEdit>(*f, "pssd")->setText("8526");
    w<QPushButton>(*f, "adminButton")->click();
    if (text(*f, "informationAdmin") != QStringLiteral("管理员认证成功"))
        qFatal("administrator password not accepted");
    printer->reset();
    boxes->clear();
    sleeper->clear();
    return f;
}

void FingerTest::showNames(Finger &f, const QByteArray &listReply, int tab)
{
    printer->reply("FingerName?", listReply);
    w<QTabWidget>(f, "regist")->setCurrentIndex(0);
    w<QTabWidget>(f, "regist")->setCurrentIndex(tab);
    printer->reset();
}

// --- opening and reconnecting ---

void FingerTest::opensOnDeleteTabAndAsksForAdministrator()
{
    printer->reply("Status?", "0001");
    Finger f;
    QVERIFY(f.isVisible());
    QCOMPARE(w<QTabWidget>(f, "regist")->currentIndex(), 2);
    QCOMPARE(text(f, "informationAdmin"), QStringLiteral("请验证管理员身份"));
    QCOMPARE(printer->sent(), Commands{"Status?"});
    QCOMPARE(printer->openLinks(), 0);
    QVERIFY(boxes->boxes().isEmpty());
    QVERIFY(!w<QPushButton>(f, "editpass")->isEnabled());
    QVERIFY(!w<QPushButton>(f, "addFinger")->isEnabled());
}

void FingerTest::opensWithoutPrinter()
{
    printer->setInitResult(252);
    Finger f;
    QCOMPARE(text(f, "informationAdmin"), QStringLiteral("查找打印机失败，请检查打印机USB连接!"));
    QVERIFY(!w<QPushButton>(f, "adminButton")->isEnabled());
    QVERIFY(!w<QLineEdit>(f, "pssd")->isEnabled());
    QVERIFY(printer->sent().isEmpty());
}

void FingerTest::opensWithPrinterNotReadyAndReleasesOnClose()
{
    Finger f; // the printer never answers "Status?"
    QCOMPARE(boxes->boxes(), Boxes{info(kError, QStringLiteral("打印机USB连接异常！"))});
    QCOMPARE(text(f, "informationAdmin"), QStringLiteral("打印机连接失败"));
    QCOMPARE(printer->sent().size(), 5);
    QCOMPARE(printer->openLinks(), 1);
    f.close();
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::reconnectClearsAdministrator()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    w<QPushButton>(*f, "pushButton")->click();
    QCOMPARE(text(*f, "informationAdmin"), QStringLiteral("请验证管理员身份"));
    QVERIFY(!w<QPushButton>(*f, "editpass")->isEnabled());
    // The reconnect keeps the link until the next operation or the window closes.
    QCOMPARE(printer->openLinks(), 1);
    w<QTabWidget>(*f, "regist")->setCurrentIndex(1);
    QCOMPARE(w<QTabWidget>(*f, "regist")->currentIndex(), 0);
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::reconnectWithoutPrinter()
{
    auto f = adminFinger();
    printer->setInitResult(252);
    w<QPushButton>(*f, "pushButton")->click();
    QCOMPARE(text(*f, "informationAdmin"), QStringLiteral("查找打印机失败，请检查打印机连接状况"));
    QVERIFY(!w<QPushButton>(*f, "adminButton")->isEnabled());
    QVERIFY(!w<QLineEdit>(*f, "pssd")->isEnabled());

    printer->setInitResult(0);
    printer->reply("Status?", Reply::silence());
    printer->always("Status?", Reply::silence());
    w<QPushButton>(*f, "pushButton")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kError, QStringLiteral("打印机连接异常！"))});
}

// --- password and tab guard ---

void FingerTest::firstPasswordCheckCreatesDefaultFile()
{
    const QString file = root->filePath("LR880/.ad/.ppds_r88");
    QVERIFY(!QFile::exists(file));
    auto f = adminFinger();
    QFile stored(file);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), QByteArray("ODUyNg=="));
    QVERIFY(QFileInfo(root->filePath("LR880/.ad")).isDir());
}

void FingerTest::wrongPasswordRefusedRightAccepted()
{
    printer->always("Status?", "0001");
    Finger f;
    auto *pssd = w<QLineEdit>(f, "pssd");
    for (const char *wrong : {"1234", "", "85261", " 8526"}) {
        pssd->setText(wrong);
        w<QPushButton>(f, "adminButton")->click();
        QCOMPARE(boxes->boxes().last(), info(kError, QStringLiteral("密码错误!")));
        QVERIFY(pssd->text().isEmpty());
        QVERIFY(!w<QPushButton>(f, "addFinger")->isEnabled());
    }
    QCOMPARE(boxes->boxes().size(), 4);
    pssd->setText("8526");
    w<QPushButton>(f, "adminButton")->click();
    QCOMPARE(boxes->boxes().size(), 4);
    QCOMPARE(text(f, "informationAdmin"), QStringLiteral("管理员认证成功"));
    QVERIFY(pssd->text().isEmpty());
    for (const char *name : {"addFinger", "delAllFingers", "delFinger", "identifySwitch",
                             "ensureFinger", "modFinger", "editpass"})
        QVERIFY2(w<QPushButton>(f, name)->isEnabled(), name);
    QVERIFY(w<QLineEdit>(f, "addName")->isEnabled());
    QVERIFY(w<QComboBox>(f, "listName")->isEnabled());
    QVERIFY(w<QComboBox>(f, "listName_2")->isEnabled());
    QVERIFY(w<QRadioButton>(f, "open")->isEnabled());
    QVERIFY(w<QRadioButton>(f, "close")->isEnabled());
    // The check sends nothing to the printer and lets go of the link.
    QCOMPARE(printer->sent(), Commands{"Status?"});
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::unreadablePasswordFileClosesDialog()
{
    // A folder where the file should be: it cannot be opened.
    QVERIFY(QDir().mkpath(root->filePath("LR880/.ad/.ppds_r88")));
    printer->always("Status?", "0001");
    Finger f;
    w<QLineEdit>(f, "pssd")->setText("8526");
    w<QPushButton>(f, "adminButton")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kError, QStringLiteral("配置文件错误!"))});
    QVERIFY(!f.isVisible());
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::tabGuardKeepsUserOnAdministratorTab()
{
    printer->always("Status?", "0001");
    Finger f;
    auto *tabs = w<QTabWidget>(f, "regist");
    for (int tab : {1, 2, 3}) {
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(tab);
        QCOMPARE(tabs->currentIndex(), 0);
    }
    QCOMPARE(printer->sent(), Commands{"Status?"});
    QCOMPARE(printer->openLinks(), 0);
    QCOMPARE(printer->sendsWithoutOpenLink(), 0);
}

void FingerTest::tabChangeAfterPasswordFetchesNames()
{
    auto f = adminFinger();
    auto *tabs = w<QTabWidget>(*f, "regist");
    printer->reply("FingerName?", "6007:Ann-Bob;");
    tabs->setCurrentIndex(1);
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(text(*f, "information"), QStringLiteral("指纹注册与验证"));
    QCOMPARE(items(*f, "listName"), (QStringList{"Ann", "Bob"}));

    printer->reply("FingerName?", "6007:Ann;");
    tabs->setCurrentIndex(2);
    QCOMPARE(text(*f, "information2"), QStringLiteral("指纹删除"));
    QCOMPARE(items(*f, "listName_2"), QStringList{"Ann"});

    tabs->setCurrentIndex(3);
    QCOMPARE(tabs->currentIndex(), 3);
    QCOMPARE(printer->sent(), (Commands{"FingerName?", "FingerName?"}));
    QCOMPARE(printer->openLinks(), 0);
}

// --- name list ---

void FingerTest::refreshList_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("count");
    QTest::newRow("two names") << QByteArray("6007:Ann-Bob;") << QStringList{"Ann", "Bob"} << 2;
    QTest::newRow("one name") << QByteArray("6007:Ann;") << QStringList{"Ann"} << 1;
    QTest::newRow("no names") << QByteArray("6007:;") << QStringList{""} << 0;
    QTest::newRow("code alone") << QByteArray("6007") << QStringList{""} << 0;
    QTest::newRow("utf-8 names") << QByteArray("6007:张三-李四;") << QStringList{"张三", "李四"}
                                 << 2;
}

void FingerTest::refreshList()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, names);
    QFETCH(int, count);
    auto f = adminFinger();
    f->refreshList(reply);
    QCOMPARE(items(*f, "listName"), names);
    QCOMPARE(items(*f, "listName_2"), names);
    QCOMPARE(w<QLCDNumber>(*f, "lcdNumber")->intValue(), count);
    QCOMPARE(w<QLCDNumber>(*f, "lcdNumber_2")->intValue(), count);

    // A reply without the list code leaves the lists as they were.
    f->refreshList("6001");
    QCOMPARE(items(*f, "listName"), names);
    QCOMPARE(text(*f, "information"), QStringLiteral("刷新失败"));
    QCOMPARE(text(*f, "information2"), QStringLiteral("刷新失败"));
}

void FingerTest::refreshButtonRetriesUntilList()
{
    auto f = adminFinger();
    printer->reply("Status?", "0001");
    printer->reply("FingerName?", {Reply::silence(), "6001", "6007:Ann;"});
    w<QLineEdit>(*f, "addName")->setText("typed");
    w<QPushButton>(*f, "modFinger")->click();
    QCOMPARE(printer->sent(), (Commands{"Status?", "FingerName?", "FingerName?", "FingerName?"}));
    QCOMPARE(sleeper->waits(), (Waits{1, 1}));
    QCOMPARE(text(*f, "information"), QStringLiteral("刷新成功！"));
    QVERIFY(w<QLineEdit>(*f, "addName")->text().isEmpty());
    QCOMPARE(items(*f, "listName"), QStringList{"Ann"});
    QCOMPARE(printer->openLinks(), 0);

    // Ten failures in a row end the refresh with the failure text.
    printer->reset();
    sleeper->clear();
    printer->reply("Status?", "0001");
    printer->always("FingerName?", "6001");
    w<QPushButton>(*f, "modFinger")->click();
    QCOMPARE(printer->sent().count("FingerName?"), 10);
    QCOMPARE(sleeper->waits().size(), 10);
    QCOMPARE(text(*f, "information"), QStringLiteral("刷新失败！"));
}

void FingerTest::refreshButtonPrinterNotReady()
{
    auto f = adminFinger();
    w<QPushButton>(*f, "modFinger")->click();
    QCOMPARE(text(*f, "information"), QStringLiteral("打印机错误"));
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("刷新失败，请重试!"))});
    QCOMPARE(printer->sent().count("FingerName?"), 0);
}

// --- registration ---

void FingerTest::registrationSucceeds()
{
    auto f = adminFinger();
    printer->reply("Status?", {"0001", "6002", "6244", "6177"});
    printer->reply("FingerName?", {"6007:Bob-Cat;", "6007:Bob-Cat-Ann;"});
    printer->reply("RegisterFinger=Ann;", "6002");
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();

    QCOMPARE(printer->sent(), (Commands{"Status?", "FingerName?", "RegisterFinger=Ann;", "Status?",
                                        "Status?", "Status?", "FingerName?"}));
    const QString done = QStringLiteral("Ann 的指纹添加成功！");
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, done)});
    QCOMPARE(text(*f, "information"), done);
    QCOMPARE(items(*f, "listName"), (QStringList{"Bob", "Cat", "Ann"}));
    QCOMPARE(w<QLCDNumber>(*f, "lcdNumber")->intValue(), 3);
    QCOMPARE(sleeper->waits(), (Waits{2, 2}));
    QCOMPARE(printer->openLinks(), 0);

    // The command is set back: the next registration carries one name only.
    printer->reset();
    boxes->clear();
    printer->reply("Status?", {"0001", "6177"});
    printer->reply("FingerName?", "6007:Ann;");
    printer->reply("RegisterFinger=Dee;", "6002");
    w<QLineEdit>(*f, "addName")->setText("Dee");
    w<QPushButton>(*f, "addFinger")->click();
    QVERIFY(printer->sent().contains("RegisterFinger=Dee;"));
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("Dee 的指纹添加成功！"))});
}

void FingerTest::registrationPollOutcome_data()
{
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Boxes>("shown");
    QTest::newRow("6033 bad image")
        << QByteArray("6033") << QStringLiteral("图像质量不好，请调整！")
        << Boxes{info(kTip, QStringLiteral("图像质量不好，请重新注册！"))};
    QTest::newRow("6025 finger exists") << QByteArray("6025") << QStringLiteral("该指纹已存在！")
                                        << Boxes{info(kTip, QStringLiteral("该指纹已存在!"))};
    QTest::newRow("6022 store full")
        << QByteArray("6022") << QStringLiteral("指纹数量达到上限！")
        << Boxes{info(kTip, QStringLiteral("打印机中指纹数达到上限！"))};
    QTest::newRow("6035 time-out")
        << QByteArray("6035") << QStringLiteral("指纹操作超时！") << Boxes{};
    QTest::newRow("6065 cancelled")
        << QByteArray("6065") << QStringLiteral("取消指纹操作！") << Boxes{};
    QTest::newRow("6000 done") << QByteArray("6000") << QStringLiteral("指纹操作成功！") << Boxes{};
    QTest::newRow("6001 failed") << QByteArray("6001") << QStringLiteral("指纹操作失败！")
                                 << Boxes{};
    QTest::newRow("other code") << QByteArray("3038") << QStringLiteral("请稍候……")
                                << Boxes{info(kTip, QStringLiteral("添加指纹失败！"))};
    QTest::newRow("read failed") << QByteArray() << QStringLiteral("请稍候……")
                                 << Boxes{info(kTip, QStringLiteral("添加指纹失败！"))};
}

void FingerTest::registrationPollOutcome()
{
    QFETCH(QByteArray, poll);
    QFETCH(QString, status);
    QFETCH(Boxes, shown);
    auto f = adminFinger();
    printer->reply("Status?", {"0001", "6002", poll.isEmpty() ? Reply::silence() : Reply(poll)});
    printer->reply("FingerName?", "6007:Bob;");
    printer->reply("RegisterFinger=Ann;", "6002");
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();

    QCOMPARE(text(*f, "information"), status);
    QCOMPARE(boxes->boxes(), shown);
    // The "6002" poll before waited two seconds; the outcome ends the registration.
    QCOMPARE(sleeper->waits(), Waits{2});
    QCOMPARE(printer->sent().count("Status?"), 3);
    QVERIFY(printer->unusedReplies().isEmpty());
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::registrationFirstReplyOutcome_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Boxes>("shown");
    QTest::addColumn<int>("polls");
    QTest::newRow("6245 module error")
        << QByteArray("6245") << QStringLiteral("指纹模块通讯错误！") << Boxes{} << 12;
    QTest::newRow("6000 done") << QByteArray("6000") << QStringLiteral("指纹操作成功！") << Boxes{}
                               << 1;
    QTest::newRow("6001 failed") << QByteArray("6001") << QStringLiteral("指纹操作失败！")
                                 << Boxes{} << 1;
    QTest::newRow("6022 store full")
        << QByteArray("6022") << QStringLiteral("打印机中指纹数达到上限！")
        << Boxes{info(kTip, QStringLiteral("打印机中指纹数达到上限！"))} << 1;
    QTest::newRow("other code") << QByteArray("0003") << QStringLiteral("添加指纹指令错误，请重试")
                                << Boxes{} << 1;
    QTest::newRow("no answer") << QByteArray() << QStringLiteral("添加指纹指令错误，请重试")
                               << Boxes{} << 1;
}

void FingerTest::registrationFirstReplyOutcome()
{
    QFETCH(QByteArray, first);
    QFETCH(QString, status);
    QFETCH(Boxes, shown);
    QFETCH(int, polls);
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->reply("FingerName?", "6007:Bob;");
    printer->reply("RegisterFinger=Ann;", first.isEmpty() ? Reply::silence() : Reply(first));
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();

    QCOMPARE(text(*f, "information"), status);
    QCOMPARE(boxes->boxes(), shown);
    // One readiness poll, then the registration's own polls.
    QCOMPARE(printer->sent().count("Status?"), 1 + polls);
    QCOMPARE(sleeper->waits().size(), polls == 12 ? 12 : 0);
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::registrationLiftFingerIsNotCounted()
{
    auto f = adminFinger();
    QList<Reply> polls{"0001"};
    for (int i = 0; i < 11; ++i)
        polls << "6002";
    for (int i = 0; i < 5; ++i)
        polls << "6244";
    polls << "6177";
    printer->reply("Status?", polls);
    printer->reply("FingerName?", {"6007:;", "6007:Ann;"});
    printer->reply("RegisterFinger=Ann;", "6002");
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();
    // Eleven counted polls and five uncounted ones: the twelfth counted poll succeeds.
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("Ann 的指纹添加成功！"))});
    QCOMPARE(sleeper->waits().size(), 16);
}

void FingerTest::registrationStuckOnLiftFingerIsBounded()
{
    auto f = adminFinger();
    printer->reply("Status?", "0001");
    printer->reply("FingerName?", "6007:;");
    printer->reply("RegisterFinger=Ann;", "6002");
    printer->always("Status?", "6244");
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();
    QCOMPARE(text(*f, "information"), QStringLiteral("请离开手指！"));
    QCOMPARE(sleeper->waits().size(), Finger::kMaxUncountedPolls);
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::registrationNameLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("1 character") << "A" << true;
    QTest::newRow("20 characters") << QString(20, 'x') << true;
    QTest::newRow("21 characters") << QString(21, 'x') << false;
    QTest::newRow("20 Chinese characters")
        << QStringLiteral("一二三四五六七八九十一二三四五六七八九十") << true;
    QTest::newRow("21 Chinese characters")
        << QStringLiteral("一二三四五六七八九十一二三四五六七八九十一") << false;
}

void FingerTest::registrationNameLength()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->reply("FingerName?", "6007:;");
    const QByteArray command = "RegisterFinger=" + name.toUtf8() + ";";
    printer->reply(command, "6000");
    w<QLineEdit>(*f, "addName")->setText(name);
    w<QPushButton>(*f, "addFinger")->click();
    if (accepted) {
        QVERIFY(printer->sent().contains(command));
        QVERIFY(boxes->boxes().isEmpty());
    } else {
        QVERIFY(printer->sent().isEmpty());
        QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("请输入正确的名称！"))});
    }
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::registrationExistingName()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->always("FingerName?", "6007:Ann-张三;");
    w<QLineEdit>(*f, "addName")->setText(QStringLiteral("张三"));
    w<QPushButton>(*f, "addFinger")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("名称张三已存在！"))});
    QVERIFY(w<QLineEdit>(*f, "addName")->text().isEmpty());
    QCOMPARE(text(*f, "information"), QStringLiteral("注册请输入姓名"));
    QCOMPARE(printer->sent(), (Commands{"Status?", "FingerName?"}));

    // Names are compared case-sensitively.
    boxes->clear();
    printer->reply("RegisterFinger=ann;", "6001");
    w<QLineEdit>(*f, "addName")->setText("ann");
    w<QPushButton>(*f, "addFinger")->click();
    QVERIFY(boxes->boxes().isEmpty());
    QVERIFY(printer->sent().contains("RegisterFinger=ann;"));
}

void FingerTest::registrationPrinterNotReady()
{
    auto f = adminFinger();
    w<QLineEdit>(*f, "addName")->setText("Ann");
    w<QPushButton>(*f, "addFinger")->click();
    QCOMPARE(text(*f, "information"), QStringLiteral("打印机链接忙，请重试"));
    QCOMPARE(text(*f, "informationAdmin"), QStringLiteral("打印机连接失败"));
    QCOMPARE(printer->sent().size(), 5);
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::operationWithoutPrinterOnlySaysSo()
{
    auto f = adminFinger();
    printer->setInitResult(255);
    w<QLineEdit>(*f, "addName")->setText("Ann");
    for (const char *button : {"addFinger", "modFinger", "ensureFinger", "delFinger",
                               "delAllFingers", "identifySwitch"}) {
        w<QLabel>(*f, "informationAdmin")->clear();
        w<QPushButton>(*f, button)->click();
        QCOMPARE(text(*f, "informationAdmin"),
                 QStringLiteral("查找打印机失败，请检查打印机USB连接!"));
    }
    QVERIFY(printer->sent().isEmpty());
    QVERIFY(boxes->boxes().isEmpty());
}

// --- identification ---

void FingerTest::identificationRecognisesName()
{
    auto f = adminFinger();
    printer->reply("Status?", {"0001", "0001", "6002", "6176:张三;"});
    printer->reply("IdentifyFinger?", "6002");
    w<QPushButton>(*f, "ensureFinger")->click();
    const QString text = QStringLiteral("张三指纹验证成功 !");
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, text)});
    QCOMPARE(FingerTest::text(*f, "information"), text);
    QCOMPARE(printer->sent(),
             (Commands{"Status?", "IdentifyFinger?", "Status?", "Status?", "Status?"}));
    QCOMPARE(sleeper->waits(), (Waits{1, 2}));
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::identificationPollOutcome_data()
{
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Boxes>("shown");
    QTest::newRow("6018 not registered") << QByteArray("6018") << QStringLiteral("该指纹尚未注册")
                                         << Boxes{info(kTip, QStringLiteral("该指纹尚未注册"))};
    QTest::newRow("6033 bad image") << QByteArray("6033") << QStringLiteral("指纹识别错误")
                                    << Boxes{info(kTip, QStringLiteral("图像质量不好"))};
    QTest::newRow("6245 module error") << QByteArray("6245") << QStringLiteral("指纹模块通信异常!")
                                       << Boxes{info(kTip, QStringLiteral("指纹模块通信异常"))};
    QTest::newRow("6021 store empty")
        << QByteArray("6021") << QStringLiteral("无存储指纹!") << Boxes{};
    QTest::newRow("6035 time-out")
        << QByteArray("6035") << QStringLiteral("指纹操作超时!") << Boxes{};
}

void FingerTest::identificationPollOutcome()
{
    QFETCH(QByteArray, poll);
    QFETCH(QString, status);
    QFETCH(Boxes, shown);
    auto f = adminFinger();
    printer->reply("Status?", {"0001", "6002", "9999", poll});
    printer->reply("IdentifyFinger?", "6002");
    w<QPushButton>(*f, "ensureFinger")->click();
    QCOMPARE(text(*f, "information"), status);
    QCOMPARE(boxes->boxes(), shown);
    QCOMPARE(sleeper->waits(), Waits{2});
    QVERIFY(printer->unusedReplies().isEmpty());
}

void FingerTest::identificationFirstReplyOutcome_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Waits>("waits");
    QTest::newRow("6245") << QByteArray("6245") << QStringLiteral("指纹模块通讯异常！") << Waits{1};
    QTest::newRow("6000") << QByteArray("6000") << QStringLiteral("指纹操作成功！") << Waits{};
    QTest::newRow("6001") << QByteArray("6001") << QStringLiteral("指纹操作失败！") << Waits{};
    QTest::newRow("other") << QByteArray("0001") << QStringLiteral("验证指令错误！") << Waits{};
}

void FingerTest::identificationFirstReplyOutcome()
{
    QFETCH(QByteArray, first);
    QFETCH(QString, status);
    QFETCH(Waits, waits);
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->reply("IdentifyFinger?", first);
    w<QPushButton>(*f, "ensureFinger")->click();
    QCOMPARE(text(*f, "information"), status);
    QVERIFY(boxes->boxes().isEmpty());
    QCOMPARE(sleeper->waits(), waits);
    // Decided after one poll, whose reply is not looked at.
    QCOMPARE(printer->sent(), (Commands{"Status?", "IdentifyFinger?", "Status?"}));
}

void FingerTest::identificationWaitIsBounded()
{
    auto f = adminFinger();
    printer->reply("Status?", "0001");
    printer->always("Status?", Reply::silence());
    printer->reply("IdentifyFinger?", "6002");
    w<QPushButton>(*f, "ensureFinger")->click();
    // Failed reads are polled again at once, but not for ever.
    QCOMPARE(printer->sent().count("Status?"), 1 + Finger::kMaxUncountedPolls);
    QVERIFY(sleeper->waits().isEmpty());
    QCOMPARE(printer->openLinks(), 0);

    // The printer is still ready when asked, and a "0001" poll is counted.
    printer->reset();
    printer->always("Status?", "0001");
    printer->reply("IdentifyFinger?", "6002");
    w<QPushButton>(*f, "ensureFinger")->click();
    QCOMPARE(sleeper->waits().size(), 10);
    QCOMPARE(text(*f, "information"), QStringLiteral("请稍候……"));
}

// --- deletion ---

void FingerTest::deleteOneConfirmedSucceeds()
{
    auto f = adminFinger();
    showNames(*f, "6007:Ann-Bob;", 2);
    w<QComboBox>(*f, "listName_2")->setCurrentIndex(1);
    printer->reply("Status?", {"0001", "0001", "6178"});
    printer->reply("DeleteSingleFinger=Bob;", "6180");
    printer->reply("FingerName?", "6007:Ann;");
    w<QPushButton>(*f, "delFinger")->click();

    QCOMPARE(boxes->boxes(), (Boxes{asked(QStringLiteral("删除指纹确认"),
                                          QStringLiteral("您是否要删除Bob的指纹？")),
                                    info(kTip, QStringLiteral("删除Bob成功!!!"))}));
    QCOMPARE(text(*f, "information2"), QStringLiteral("删除完成！"));
    QCOMPARE(printer->sent(),
             (Commands{"Status?", "DeleteSingleFinger=Bob;", "Status?", "Status?", "FingerName?"}));
    QCOMPARE(items(*f, "listName_2"), QStringList{"Ann"});
    QCOMPARE(w<QLCDNumber>(*f, "lcdNumber_2")->intValue(), 1);
    QCOMPARE(sleeper->waits(), Waits{1});
    QCOMPARE(printer->openLinks(), 0);

    // The command is set back for the next deletion.
    printer->reset();
    printer->reply("Status?", {"0001", "6178"});
    printer->reply("DeleteSingleFinger=Ann;", "6180");
    printer->reply("FingerName?", "6007:;");
    w<QPushButton>(*f, "delFinger")->click();
    QVERIFY(printer->sent().contains("DeleteSingleFinger=Ann;"));
}

void FingerTest::deleteOneCancelledSendsNothing()
{
    auto f = adminFinger();
    showNames(*f, "6007:Ann;", 2);
    boxes->answerNext(false);
    w<QPushButton>(*f, "delFinger")->click();
    QCOMPARE(boxes->boxes().size(), 1);
    QVERIFY(printer->sent().isEmpty());
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::deleteOnePollOutcome_data()
{
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Boxes>("shown");
    QTest::newRow("6021 store empty")
        << QByteArray("6021") << QStringLiteral("指纹存储为空！") << Boxes{};
    QTest::newRow("6245 module error")
        << QByteArray("6245") << QStringLiteral("指纹模块通讯错误！") << Boxes{};
    QTest::newRow("6096 nothing chosen")
        << QByteArray("6096") << QStringLiteral("删除失败，列表为空！")
        << Boxes{info(kError, QStringLiteral("指纹列表空或者未选中指纹！"))};
    QTest::newRow("6000 done") << QByteArray("6000") << QStringLiteral("指纹操作成功！") << Boxes{};
    QTest::newRow("6001 failed") << QByteArray("6001") << QStringLiteral("指纹操作失败！")
                                 << Boxes{};
}

void FingerTest::deleteOnePollOutcome()
{
    QFETCH(QByteArray, poll);
    QFETCH(QString, status);
    QFETCH(Boxes, shown);
    auto f = adminFinger();
    showNames(*f, "6007:Ann;", 2);
    printer->reply("Status?", {"0001", "3038", poll});
    printer->reply("DeleteSingleFinger=Ann;", "6180");
    w<QPushButton>(*f, "delFinger")->click();
    QCOMPARE(text(*f, "information2"), status);
    QCOMPARE(boxes->boxes().mid(1), shown);
    // The unknown reply before waited one second and counted.
    QCOMPARE(sleeper->waits(), Waits{1});
    QVERIFY(printer->unusedReplies().isEmpty());
}

void FingerTest::deleteOneModuleErrorShownForTenSeconds()
{
    auto f = adminFinger();
    showNames(*f, "6007:Ann;", 2);
    printer->always("Status?", "0001");
    printer->reply("DeleteSingleFinger=Ann;", "6245");
    QStringList shownAtWaits;
    sleeper->onSleep([&](int) { shownAtWaits << text(*f, "information2"); });
    w<QPushButton>(*f, "delFinger")->click();
    QCOMPARE(shownAtWaits,
             QStringList(QVector<QString>(10, QStringLiteral("指纹模块通讯错误！")).toList()));
    QCOMPARE(sleeper->totalSeconds(), 10);
    QCOMPARE(printer->sent().count("Status?"), 11);

    // Any other first reply: "删除失败，请重试！" after every poll.
    printer->reset();
    sleeper->clear();
    shownAtWaits.clear();
    printer->always("Status?", "0001");
    printer->reply("DeleteSingleFinger=Ann;", Reply::silence());
    w<QPushButton>(*f, "delFinger")->click();
    QCOMPARE(shownAtWaits,
             QStringList(QVector<QString>(10, QStringLiteral("删除失败，请重试！")).toList()));
}

void FingerTest::deleteAllConfirmedSucceeds()
{
    auto f = adminFinger();
    showNames(*f, "6007:Ann-Bob;", 2);
    printer->reply("Status?", {"0001", "0001", "6179"});
    printer->reply("DeleteAllFinger?", "6180");
    w<QPushButton>(*f, "delAllFingers")->click();
    QCOMPARE(boxes->boxes(), (Boxes{asked(QStringLiteral("删除指纹确认"),
                                          QStringLiteral("您是否要删除全部的指纹？")),
                                    info(kTip, QStringLiteral("删除成功"))}));
    QCOMPARE(text(*f, "information2"), QStringLiteral("全部删除完成！"));
    QVERIFY(items(*f, "listName").isEmpty());
    QVERIFY(items(*f, "listName_2").isEmpty());
    // The counters change only at the next list fetch.
    QCOMPARE(w<QLCDNumber>(*f, "lcdNumber_2")->intValue(), 2);
    QCOMPARE(printer->sent(), (Commands{"Status?", "DeleteAllFinger?", "Status?", "Status?"}));
    QCOMPARE(sleeper->waits(), Waits{2});
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::deleteAllCancelledSendsNothing()
{
    auto f = adminFinger();
    boxes->answerNext(false);
    w<QPushButton>(*f, "delAllFingers")->click();
    QVERIFY(printer->sent().isEmpty());
    QCOMPARE(boxes->boxes().size(), 1);
}

void FingerTest::deleteAllPollOutcome_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QList<QByteArray>>("polls");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Waits>("waits");
    using P = QList<QByteArray>;
    QTest::newRow("working, then 6245") << QByteArray("6180") << P{"3038", "6245"}
                                        << QStringLiteral("指纹模块通讯错误！") << Waits{1};
    QTest::newRow("working, then 6021")
        << QByteArray("6180") << P{"6021"} << QStringLiteral("无存储指纹！") << Waits{};
    QTest::newRow("working, then 6000")
        << QByteArray("6180") << P{"0001", "6000"} << QStringLiteral("指纹操作成功！") << Waits{2};
    QTest::newRow("working, then 6001")
        << QByteArray("6180") << P{"6001"} << QStringLiteral("指纹操作失败！") << Waits{};
    QTest::newRow("working for ever")
        << QByteArray("6180") << P{} << QStringLiteral("请稍候……") << Waits{2, 2, 2, 2, 2};
    QTest::newRow("first 6245") << QByteArray("6245") << P{} << QStringLiteral("指纹模块通讯错误！")
                                << Waits{};
    QTest::newRow("first 6021") << QByteArray("6021") << P{} << QStringLiteral("无存储指纹！")
                                << Waits{};
    QTest::newRow("first 6000") << QByteArray("6000") << P{} << QStringLiteral("指纹操作成功！")
                                << Waits{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("first 6001") << QByteArray("6001") << P{} << QStringLiteral("指纹操作失败！")
                                << Waits{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
}

void FingerTest::deleteAllPollOutcome()
{
    QFETCH(QByteArray, first);
    QFETCH(QList<QByteArray>, polls);
    QFETCH(QString, status);
    QFETCH(Waits, waits);
    auto f = adminFinger();
    QList<Reply> script{"0001"};
    for (const QByteArray &p : polls)
        script << p;
    printer->reply("Status?", script);
    printer->always("Status?", "0001");
    printer->reply("DeleteAllFinger?", first);
    w<QPushButton>(*f, "delAllFingers")->click();
    QCOMPARE(text(*f, "information2"), status);
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(sleeper->waits(), waits);
}

void FingerTest::deleteAllUnknownFirstReplyBoxesEveryPoll()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->reply("DeleteAllFinger?", "0003");
    w<QPushButton>(*f, "delAllFingers")->click();
    QCOMPARE(boxes->boxes().size(), 11);
    for (const ShownBox &b : boxes->boxes().mid(1))
        QCOMPARE(b, info(kTip, QStringLiteral("删除失败请重试！")));
    QCOMPARE(sleeper->totalSeconds(), 10);
}

// --- the switch ---

void FingerTest::switchWithoutChoiceSendsNothing()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    w<QPushButton>(*f, "identifySwitch")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("请选择操作!"))});
    QVERIFY(printer->sent().isEmpty());
}

void FingerTest::switchOnAndOff()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    auto *open = w<QRadioButton>(*f, "open");
    auto *close = w<QRadioButton>(*f, "close");
    auto *go = w<QPushButton>(*f, "identifySwitch");

    open->click();
    QVERIFY(!open->isEnabled());
    QVERIFY(close->isEnabled());
    QVERIFY(go->isEnabled());
    QVERIFY(printer->sent().isEmpty());
    go->click();
    QCOMPARE(printer->sent(), (Commands{"Status?", "StartFinger=On;"}));
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("打印机指纹识别功能已打开!"))});
    QVERIFY(!go->isEnabled());

    printer->reset();
    printer->always("Status?", "0001");
    boxes->clear();
    close->click();
    QVERIFY(!close->isEnabled());
    QVERIFY(open->isEnabled());
    QVERIFY(go->isEnabled());
    go->click();
    QCOMPARE(printer->sent(), (Commands{"Status?", "StartFinger=Off;"}));
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("打印机指纹识别功能已关闭!"))});
    QCOMPARE(printer->openLinks(), 0);
}

void FingerTest::switchSendFails()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    printer->reply("StartFinger=On;", Reply::sendFails());
    w<QRadioButton>(*f, "open")->click();
    w<QPushButton>(*f, "identifySwitch")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kError, QStringLiteral("打印机被占用请稍候再试!"))});
}

void FingerTest::switchPrinterNotReady()
{
    auto f = adminFinger();
    w<QRadioButton>(*f, "close")->click();
    w<QPushButton>(*f, "identifySwitch")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(kTip, QStringLiteral("打印机忙，请稍候……"))});
    QVERIFY(!printer->sent().contains("StartFinger=Off;"));
    QVERIFY(w<QPushButton>(*f, "identifySwitch")->isEnabled());
}

void FingerTest::exitReleasesALinkLeftOpen()
{
    auto f = adminFinger();
    printer->always("Status?", "0001");
    w<QPushButton>(*f, "pushButton")->click();
    QCOMPARE(printer->openLinks(), 1);
    w<QPushButton>(*f, "exit")->click();
    QCOMPARE(printer->openLinks(), 0);
    QVERIFY(!f->isVisible());
}

QTEST_MAIN(FingerTest)
#include "test_finger.moc"
