// The network address window against the scripted USB printer (the address
// reply, the 19-byte address set command, both modes, the field checks) and
// its queue creation, recorded and for real against a private CUPS scheduler.
#include "netipset.h"
#include "private_cupsd.h"

#include "programgrop.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

using setuptool::testing::PrivateCupsCommandRunner;
using setuptool::testing::PrivateCupsd;
using setuptool::testing::RecordingCommandRunner;
using setuptool::testing::RecordingMessageBoxes;
using usblink::testing::FakeSleeper;
using usblink::testing::Reply;
using usblink::testing::ScriptedPrinter;

namespace
{

const QByteArray kAddressReply = QByteArray::fromHex("c0a80164ffffff00c0a80101");
const QString kNotFound = QStringLiteral("查找打印机失败，请检查打印机USB连接状况或添加网络打印机");
const QString kNotReady = QStringLiteral("USB未连接打印机，请输入打印机IP，添加网络打印机");

QString createQueue(const QString &host)
{
    return QStringLiteral("/usr/sbin/lpadmin -p LR880N -m LR880N.ppd -v socket://%1:9100 -E")
        .arg(host);
}
const QString kMakeDefault = QStringLiteral("/usr/sbin/lpadmin -d LR880N");
const QString kRestart = QStringLiteral("service cups restart");

// Records shell commands and fails the ones named in `failing`.
class SelectiveRunner final : public setuptool::CommandRunner
{
  public:
    SelectiveRunner() : previous_(setuptool::setCommandRunner(this)) {}
    ~SelectiveRunner() override { setuptool::setCommandRunner(previous_); }
    int executeCommand(const QString &line) override { return runShell(line); }
    int runShell(const QString &line) override
    {
        shell << line;
        return failing.contains(line) ? 1 : 0;
    }
    void startProgram(const QString &, const QStringList &) override {}
    QStringList shell;
    QStringList failing;

  private:
    setuptool::CommandRunner *previous_;
};

} // namespace

Q_DECLARE_METATYPE(usblink::testing::Reply)

class TestNetIpSet : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<ScriptedPrinter> printer;
    std::unique_ptr<FakeSleeper> sleeper;
    std::unique_ptr<RecordingMessageBoxes> boxes;
    std::unique_ptr<RecordingCommandRunner> runner;

    template <typename T> static T *child(QWidget *window, const char *name)
    {
        T *widget = window->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    static QString status(QWidget *w) { return child<QLabel>(w, "informationAdmin")->text(); }
    static QString text(QWidget *w, const char *name)
    {
        if (auto *edit = w->findChild<QLineEdit *>(QString::fromLatin1(name)))
            return edit->text();
        return child<QLabel>(w, name)->text();
    }
    static bool usbMode(QWidget *w)
    {
        const bool usb = !child<QGroupBox>(w, "groupBox_2")->isHidden() &&
                         child<QGroupBox>(w, "groupBox_3")->isHidden() &&
                         child<QPushButton>(w, "IDOK")->isEnabled() &&
                         !child<QPushButton>(w, "addPrinter")->isEnabled();
        const bool network = child<QGroupBox>(w, "groupBox_2")->isHidden() &&
                             !child<QGroupBox>(w, "groupBox_3")->isHidden() &&
                             !child<QPushButton>(w, "IDOK")->isEnabled() &&
                             child<QPushButton>(w, "addPrinter")->isEnabled() &&
                             child<QLineEdit>(w, "netIp")->isEnabled();
        if (usb == network)
            qFatal("the window is in neither mode");
        return usb;
    }
    // A window opened in USB mode on a ready printer, the record cleared.
    std::unique_ptr<netIpSet> openUsb()
    {
        printer->setInitResult(0);
        printer->always("Status?", "0001");
        printer->reply("CheckIP?", kAddressReply);
        auto window = std::make_unique<netIpSet>();
        printer->reset();
        printer->always("Status?", "0001");
        return window;
    }
    std::unique_ptr<netIpSet> openNetwork()
    {
        printer->setInitResult(252);
        auto window = std::make_unique<netIpSet>();
        printer->reset();
        return window;
    }
    static void fill(QWidget *w, const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>(w, "ipEdit")->setText(ip);
        child<QLineEdit>(w, "maskEdit")->setText(mask);
        child<QLineEdit>(w, "portEdit")->setText(gateway);
    }
    // Clicks a button of the window, shown as the user sees it.
    static void click(QWidget *w, const char *button)
    {
        w->show();
        QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
    }

  private slots:
    void init()
    {
        printer = std::make_unique<ScriptedPrinter>();
        sleeper = std::make_unique<FakeSleeper>();
        boxes = std::make_unique<RecordingMessageBoxes>();
        runner = std::make_unique<RecordingCommandRunner>();
    }
    void cleanup()
    {
        runner.reset();
        boxes.reset();
        sleeper.reset();
        printer.reset();
    }

    // --- the pure operations ---

    void checkIp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("address") << "192.168.1.100" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("top") << "255.255.255.255" << true;
        QTest::newRow("leading zero") << "010.1.1.1" << true;
        QTest::newRow("three parts") << "192.168.1" << false;
        QTest::newRow("five parts") << "1.2.3.4.5" << false;
        QTest::newRow("above 255") << "192.168.1.256" << false;
        QTest::newRow("empty part") << "192.168..1" << false;
        QTest::newRow("letter") << "192.168.1.x" << false;
        QTest::newRow("trailing dot") << "1.2.3.4." << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << " 1.2.3.4" << false;
        QTest::newRow("plus sign") << "+1.2.3.4" << false;
        QTest::newRow("minus sign") << "1.2.3.-4" << false;
        QTest::newRow("other digits") << QStringLiteral("١.٢.٣.٤") << false;
        QTest::newRow("huge number") << "1.2.3.99999999999999999999" << false;
        QTest::newRow("shell text") << "1.2.3.4;reboot" << false;
        QTest::newRow("hex") << "0x1.2.3.4" << false;
    }
    void checkIp()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(netIpSet::checkIp(text), valid);
    }

    void StringToHenStr_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("hex");
        QTest::newRow("address") << "192.168.1.100"
                                 << "c0a80164";
        QTest::newRow("small parts") << "10.0.0.5"
                                     << "0a000005";
        QTest::newRow("mask") << "255.255.255.0"
                              << "ffffff00";
        QTest::newRow("leading zero") << "010.1.1.1"
                                      << "0a010101";
    }
    void StringToHenStr()
    {
        QFETCH(QString, address);
        QFETCH(QString, hex);
        QCOMPARE(netIpSet::StringToHenStr(address), hex);
    }

    void HexToStrWritesSpacedPairs()
    {
        QCOMPARE(netIpSet::HexToStr(QByteArray::fromHex("c0a8")), QStringLiteral("c0 a8"));
        QCOMPARE(netIpSet::HexToStr(QByteArray::fromHex("00ff0a")), QStringLiteral("00 ff 0a"));
        QCOMPARE(netIpSet::HexToStr(QByteArray()), QString());
    }

    void setIpCommandIsNineteenBytes()
    {
        const QByteArray command =
            netIpSet::setIpCommand(QByteArray::fromHex("0a000005ff0000000a000001"));
        QCOMPARE(command.size(), 19);
        QCOMPARE(command, QByteArray("SetIP=") + QByteArray::fromHex("0a000005ff0000000a000001") +
                              QByteArray(";"));
    }

    void canonicalAddressDropsLeadingZeros()
    {
        QCOMPARE(netIpSet::canonicalAddress(QStringLiteral("010.001.1.000")),
                 QStringLiteral("10.1.1.0"));
    }

    // --- opening and searching ---

    void opensInUsbModeWithTheCurrentAddress()
    {
        printer->always("Status?", "0001");
        printer->reply("CheckIP?", kAddressReply);
        netIpSet window;
        QVERIFY(usbMode(&window));
        QCOMPARE(printer->sent(), (QList<QByteArray>{"Status?", "CheckIP?"}));
        QCOMPARE(text(&window, "ipEdit"), QStringLiteral("192.168.1.100"));
        QCOMPARE(text(&window, "Ip_label"), QStringLiteral("192.168.1.100"));
        QCOMPARE(text(&window, "netIp"), QStringLiteral("192.168.1.100"));
        QCOMPARE(text(&window, "maskEdit"), QStringLiteral("255.255.255.0"));
        QCOMPARE(text(&window, "Mask_label"), QStringLiteral("255.255.255.0"));
        QCOMPARE(text(&window, "portEdit"), QStringLiteral("192.168.1.1"));
        QCOMPARE(text(&window, "Port_label"), QStringLiteral("192.168.1.1"));
        QCOMPARE(status(&window), QStringLiteral("获取当前打印机IP地址成功！"));
        QCOMPARE(printer->openLinks(), 0);
        QCOMPARE(printer->releaseCalls(), 1);
        QCOMPARE(window.windowTitle(), QStringLiteral("netIpSet"));
    }

    void opensAskingTwiceForTwelveBytes()
    {
        printer->always("Status?", "0001");
        printer->reply("CheckIP?", {Reply(kAddressReply.left(11)), Reply(kAddressReply)});
        netIpSet window;
        QCOMPARE(printer->sent(), (QList<QByteArray>{"Status?", "CheckIP?", "CheckIP?"}));
        QCOMPARE(text(&window, "Ip_label"), QStringLiteral("192.168.1.100"));
    }

    void openingWithoutAnAddressReplyAsksForASearch_data()
    {
        QTest::addColumn<Reply>("first");
        QTest::addColumn<Reply>("second");
        QTest::newRow("silent") << Reply::silence() << Reply::silence();
        QTest::newRow("short") << Reply(QByteArray::fromHex("c0a801")) << Reply::silence();
        QTest::newRow("send fails") << Reply::sendFails() << Reply::sendFails();
        QTest::newRow("thirteen bytes") << Reply(kAddressReply + "\x05") << Reply::silence();
    }
    void openingWithoutAnAddressReplyAsksForASearch()
    {
        QFETCH(Reply, first);
        QFETCH(Reply, second);
        printer->always("Status?", "0001");
        printer->reply("CheckIP?", {first, second});
        netIpSet window;
        QVERIFY(usbMode(&window));
        QCOMPARE(status(&window), QStringLiteral("请点击查找打印机"));
        QCOMPARE(text(&window, "Ip_label"), QString());
        QCOMPARE(text(&window, "ipEdit"), QString());
        QCOMPARE(printer->openLinks(), 0);
    }

    void absentPrinterOpensInNetworkMode_data()
    {
        QTest::addColumn<int>("initResult");
        QTest::newRow("not found") << 252;
        QTest::newRow("driver busy") << 255;
    }
    void absentPrinterOpensInNetworkMode()
    {
        QFETCH(int, initResult);
        printer->setInitResult(initResult);
        netIpSet window;
        QVERIFY(!usbMode(&window));
        QCOMPARE(status(&window), kNotFound);
        QVERIFY(printer->sent().isEmpty());
        QVERIFY(child<QPushButton>(&window, "findPrinter")->isEnabled());
    }

    void unreadyPrinterKeepsTheLinkUntilTheWindowCloses()
    {
        printer->always("Status?", "0003");
        auto window = std::make_unique<netIpSet>();
        QVERIFY(!usbMode(window.get()));
        QCOMPARE(status(window.get()), kNotReady);
        QCOMPARE(printer->sent().count("Status?"), 5);
        // This window polls without pausing.
        QVERIFY(sleeper->waits().isEmpty());
        QCOMPARE(printer->openLinks(), 1);
        window->show();
        window->close();
        QCOMPARE(printer->openLinks(), 0);
    }

    void searchShowsTheAddress()
    {
        printer->always("Status?", "0003");
        auto window = std::make_unique<netIpSet>();
        printer->reset();
        printer->always("Status?", "0001");
        printer->reply("CheckIP?", QByteArray::fromHex("0a0000050000000000000000"));
        click(window.get(), "findPrinter");
        QVERIFY(usbMode(window.get()));
        QCOMPARE(text(window.get(), "Ip_label"), QStringLiteral("10.0.0.5"));
        QCOMPARE(text(window.get(), "Mask_label"), QStringLiteral("0.0.0.0"));
        QCOMPARE(status(window.get()), QStringLiteral("获取当前打印机IP地址成功！"));
        // The link left open by the opening is given back first.
        QCOMPARE(printer->releaseCalls(), 2);
        QCOMPARE(printer->openLinks(), 0);
    }

    void searchRejectsAReplyThatIsNoAddress_data()
    {
        QTest::addColumn<Reply>("first");
        QTest::addColumn<Reply>("second");
        QTest::newRow("thirteen bytes")
            << Reply(kAddressReply + "\x05") << Reply(kAddressReply + "\x05");
        QTest::newRow("silent") << Reply::silence() << Reply::silence();
        QTest::newRow("send fails") << Reply::sendFails() << Reply::sendFails();
    }
    void searchRejectsAReplyThatIsNoAddress()
    {
        QFETCH(Reply, first);
        QFETCH(Reply, second);
        auto window = openUsb();
        printer->reply("CheckIP?", {first, second});
        click(window.get(), "findPrinter");
        QCOMPARE(status(window.get()), QStringLiteral("获取当前打印机IP地址失败！"));
        QCOMPARE(text(window.get(), "Ip_label"), QStringLiteral("192.168.1.100"));
        QCOMPARE(text(window.get(), "Port_label"), QStringLiteral("192.168.1.1"));
    }

    void findIpPutsExtraBytesIntoTheGateway()
    {
        auto window = openUsb();
        window->findIp(kAddressReply + "\x05");
        QCOMPARE(text(window.get(), "Port_label"), QStringLiteral("192.168.1.1.5"));
    }

    // --- setting the address ---

    void settingSendsTheNineteenBytesAndAddsTheQueue()
    {
        auto window = openUsb();
        fill(window.get(), "10.0.0.5", "255.0.0.0", "10.0.0.1");
        click(window.get(), "IDOK");
        const QByteArray expected =
            QByteArray("SetIP=") + QByteArray::fromHex("0a000005ff0000000a000001") + ';';
        QCOMPARE(expected.size(), 19);
        QCOMPARE(printer->sent(), (QList<QByteArray>{"Status?", expected}));
        QCOMPARE(text(window.get(), "netIp"), QStringLiteral("10.0.0.5"));
        QCOMPARE(runner->shell, (QStringList{createQueue("10.0.0.5"), kMakeDefault, kRestart}));
        QCOMPARE(status(window.get()), QStringLiteral("添加网络打印机成功！"));
        QCOMPARE(printer->openLinks(), 0);
        QVERIFY(sleeper->waits().isEmpty());
        // The command is built afresh for the next change.
        click(window.get(), "IDOK");
        QCOMPARE(printer->sent().last(), expected);
    }

    void leadingZerosAreSentAsNumbers()
    {
        auto window = openUsb();
        fill(window.get(), "010.1.1.1", "255.255.255.000", "010.1.1.254");
        click(window.get(), "IDOK");
        QCOMPARE(printer->sent().last(),
                 QByteArray("SetIP=") + QByteArray::fromHex("0a010101ffffff000a0101fe") + ';');
        // A resolver would read 010 as octal 8: the queue gets the plain number.
        QCOMPARE(runner->shell.first(), createQueue("10.1.1.1"));
    }

    void invalidFieldsSendNothing_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QString>("shown");
        const QString badIp = QStringLiteral("请检查IP地址是否正确");
        QTest::newRow("no address") << ""
                                    << "255.0.0.0"
                                    << "10.0.0.1" << QStringLiteral("请输入IP地址");
        QTest::newRow("three parts") << "192.168.1"
                                     << "255.0.0.0"
                                     << "10.0.0.1" << badIp;
        QTest::newRow("256") << "192.168.1.256"
                             << "255.0.0.0"
                             << "10.0.0.1" << badIp;
        QTest::newRow("empty part") << "192.168..1"
                                    << "255.0.0.0"
                                    << "10.0.0.1" << badIp;
        QTest::newRow("letter") << "192.168.1.x"
                                << "255.0.0.0"
                                << "10.0.0.1" << badIp;
        QTest::newRow("no mask") << "10.0.0.5"
                                 << ""
                                 << "10.0.0.1" << QStringLiteral("请输入子网掩码");
        QTest::newRow("bad mask") << "10.0.0.5"
                                  << "255.0.0"
                                  << "10.0.0.1" << QStringLiteral("请检查子网掩码是否正确");
        QTest::newRow("no gateway") << "10.0.0.5"
                                    << "255.0.0.0"
                                    << "" << QStringLiteral("请输入默认网关");
        QTest::newRow("bad gateway")
            << "10.0.0.5"
            << "255.0.0.0"
            << "10.0.0.1;reboot" << QStringLiteral("请检查默认网关是否正确");
    }
    void invalidFieldsSendNothing()
    {
        QFETCH(QString, ip);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        QFETCH(QString, shown);
        auto window = openUsb();
        fill(window.get(), ip, mask, gateway);
        click(window.get(), "IDOK");
        QCOMPARE(status(window.get()), shown);
        QVERIFY(printer->sent().isEmpty());
        QVERIFY(runner->shell.isEmpty());
        QCOMPARE(printer->initCalls(), 0);
    }

    void failedAddressSendCreatesNoQueue()
    {
        auto window = openUsb();
        printer->always(QByteArray("SetIP=") + QByteArray::fromHex("0a000005ff0000000a000001") +
                            ';',
                        Reply::sendFails());
        fill(window.get(), "10.0.0.5", "255.0.0.0", "10.0.0.1");
        click(window.get(), "IDOK");
        QCOMPARE(status(window.get()), QStringLiteral("设置打印机IP失败，请检查打印机USB连接！"));
        QVERIFY(runner->shell.isEmpty());
        QCOMPARE(printer->openLinks(), 0);
    }

    void unreadyPrinterOnSettingSwitchesToNetworkMode()
    {
        auto window = openUsb();
        printer->always("Status?", "1003");
        fill(window.get(), "10.0.0.5", "255.0.0.0", "10.0.0.1");
        click(window.get(), "IDOK");
        QCOMPARE(status(window.get()), QStringLiteral("网络打印机设置失败，请检查打印机USB连接！"));
        QVERIFY(!usbMode(window.get()));
        QCOMPARE(printer->sent(),
                 QList<QByteArray>({"Status?", "Status?", "Status?", "Status?", "Status?"}));
        QVERIFY(runner->shell.isEmpty());
    }

    void absentPrinterOnSetting()
    {
        auto window = openUsb();
        printer->setInitResult(252);
        fill(window.get(), "10.0.0.5", "255.0.0.0", "10.0.0.1");
        click(window.get(), "IDOK");
        QCOMPARE(status(window.get()), kNotFound);
        QVERIFY(!usbMode(window.get()));
        QVERIFY(runner->shell.isEmpty());
    }

    void clearEmptiesTheThreeFields()
    {
        auto window = openUsb();
        click(window.get(), "clearBtn");
        QCOMPARE(text(window.get(), "ipEdit"), QString());
        QCOMPARE(text(window.get(), "maskEdit"), QString());
        QCOMPARE(text(window.get(), "portEdit"), QString());
        QCOMPARE(text(window.get(), "Ip_label"), QStringLiteral("192.168.1.100"));
    }

    // --- the queue ---

    void failingQueueCommandsAreReported_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("run");
        QTest::addColumn<QString>("shown");
        const QString create = createQueue("192.168.1.100");
        QTest::newRow("create") << create << QStringList{create}
                                << QStringLiteral("添加网络打印机失败：无法创建打印队列 LR880N");
        QTest::newRow("default") << kMakeDefault << QStringList{create, kMakeDefault, kRestart}
                                 << QStringLiteral("网络打印机已添加，但无法设为默认打印机");
        QTest::newRow("restart") << kRestart << QStringList{create, kMakeDefault, kRestart}
                                 << QStringLiteral("网络打印机已添加，但重启打印服务失败");
    }
    void failingQueueCommandsAreReported()
    {
        QFETCH(QString, failing);
        QFETCH(QStringList, run);
        QFETCH(QString, shown);
        auto window = openNetwork();
        window->show();
        SelectiveRunner selective;
        selective.failing << failing;
        child<QLineEdit>(window.get(), "netIp")->setText(QStringLiteral("192.168.1.100"));
        click(window.get(), "addPrinter");
        QCOMPARE(selective.shell, run);
        QCOMPARE(status(window.get()), shown);
        // The window stays open so that the user can read what failed.
        QVERIFY(window->isVisible());
    }

    void addButtonChecksTheAddressAndCloses()
    {
        auto window = openNetwork();
        window->show();
        click(window.get(), "addPrinter");
        QCOMPARE(status(window.get()), QStringLiteral("请输入IP地址"));
        child<QLineEdit>(window.get(), "netIp")->setText(QStringLiteral("192.168.1.1;reboot"));
        click(window.get(), "addPrinter");
        QCOMPARE(status(window.get()), QStringLiteral("请检查IP地址是否正确"));
        QVERIFY(runner->shell.isEmpty());
        child<QLineEdit>(window.get(), "netIp")->setText(QStringLiteral("192.168.1.100"));
        click(window.get(), "addPrinter");
        QCOMPARE(runner->shell,
                 (QStringList{createQueue("192.168.1.100"), kMakeDefault, kRestart}));
        QVERIFY(!window->isVisible());
        QVERIFY(printer->sent().isEmpty());
    }

    void addPrinterRefusesAnUncheckedAddress()
    {
        auto window = openNetwork();
        QVERIFY(!window->addPrinter(QStringLiteral("1.2.3.4 && reboot")));
        QVERIFY(!window->addPrinter(QStringLiteral("$(reboot)")));
        QVERIFY(runner->shell.isEmpty());
    }

    void cancelOnlyReleasesAndCloses()
    {
        auto window = openUsb();
        window->show();
        fill(window.get(), "10.0.0.5", "255.0.0.0", "10.0.0.1");
        click(window.get(), "IDCANCEL");
        QVERIFY(!window->isVisible());
        QVERIFY(printer->sent().isEmpty());
        QVERIFY(runner->shell.isEmpty());
        QCOMPARE(printer->initCalls(), 0);
    }

    void cancelReleasesALinkLeftOpen()
    {
        printer->always("Status?", "0003");
        netIpSet window;
        window.show();
        QCOMPARE(printer->openLinks(), 1);
        click(&window, "IDCANCEL");
        QCOMPARE(printer->openLinks(), 0);
        QVERIFY(!window.isVisible());
        QVERIFY(runner->shell.isEmpty());
    }

    void launcherButtonShowsTheWindow()
    {
        printer->setInitResult(252);
        ProgramGrop launcher;
        launcher.show();
        QTest::mouseClick(child<QPushButton>(&launcher, "pushButton_5"), Qt::LeftButton);
        netIpSet *window = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<netIpSet *>(top))
                window = found;
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowModality(), Qt::ApplicationModal);
        QCOMPARE(status(window), kNotFound);
        QPointer<netIpSet> guard(window);
        window->close();
        QTRY_VERIFY(guard.isNull());
    }

    void languageChangeReappliesTheFormTexts()
    {
        auto window = openUsb();
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(window.get(), &change);
        QCOMPARE(child<QPushButton>(window.get(), "IDCANCEL")->text(), QStringLiteral("取消"));
        QCOMPARE(status(window.get()), QString());
    }

    // --- the queue for real, in a private scheduler ---

    void queueIsCreatedInAPrivateScheduler()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/sbin/cupsd")) ||
            !QFileInfo::exists(QStringLiteral("/usr/sbin/lpadmin")))
            QSKIP("cupsd or lpadmin is not installed");
        PrivateCupsd cupsd;
        QVERIFY2(cupsd.start(), qPrintable(cupsd.error()));
        PrivateCupsCommandRunner cups(cupsd);

        // Network mode: the address typed in, with a leading zero.
        auto window = openNetwork();
        window->show();
        child<QLineEdit>(window.get(), "netIp")->setText(QStringLiteral("127.000.0.1"));
        click(window.get(), "addPrinter");
        QVERIFY2(status(window.get()) == QStringLiteral("添加网络打印机成功！"),
                 qPrintable(status(window.get()) + cupsd.log()));
        QVERIFY(!window->isVisible());
        QCOMPARE(cups.restarts, QStringList{kRestart});

        int rc = -1;
        QString out = cupsd.runClient(QStringLiteral("lpstat"), {"-v", "LR880N"}, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(out.trimmed(), QStringLiteral("device for LR880N: socket://127.0.0.1:9100"));
        out = cupsd.runClient(QStringLiteral("lpstat"), {"-d"}, &rc);
        QCOMPARE(out.trimmed(), QStringLiteral("system default destination: LR880N"));
        out = cupsd.runClient(QStringLiteral("lpstat"), {"-a", "LR880N"}, &rc);
        QVERIFY2(out.startsWith(QStringLiteral("LR880N accepting requests")), qPrintable(out));
        out = cupsd.runClient(QStringLiteral("lpstat"), {"-p", "LR880N"}, &rc);
        QVERIFY2(out.contains(QStringLiteral("enabled")), qPrintable(out));
        // The queue took the driver description named with -m.
        QFile ppd(cupsd.serverRoot() + QStringLiteral("/ppd/LR880N.ppd"));
        QVERIFY(ppd.open(QIODevice::ReadOnly));
        QVERIFY(ppd.readAll().contains("*NickName: \"Kolvex LR880N (test)\""));

        // A new address set over USB moves the queue to it.
        auto usb = openUsb();
        fill(usb.get(), "127.0.0.2", "255.0.0.0", "127.0.0.1");
        click(usb.get(), "IDOK");
        QVERIFY2(status(usb.get()) == QStringLiteral("添加网络打印机成功！"),
                 qPrintable(status(usb.get()) + cupsd.log()));
        out = cupsd.runClient(QStringLiteral("lpstat"), {"-v"}, &rc);
        QCOMPARE(out.trimmed(), QStringLiteral("device for LR880N: socket://127.0.0.2:9100"));

        // Without a scheduler lpadmin fails, and the window says so.
        cupsd.stop();
        auto again = openNetwork();
        again->show();
        child<QLineEdit>(again.get(), "netIp")->setText(QStringLiteral("127.0.0.3"));
        click(again.get(), "addPrinter");
        QCOMPARE(status(again.get()),
                 QStringLiteral("添加网络打印机失败：无法创建打印队列 LR880N"));
        QVERIFY(again->isVisible());
    }
};

QTEST_MAIN(TestNetIpSet)
#include "tst_netipset.moc"
