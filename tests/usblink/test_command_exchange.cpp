// The command exchange the dialogs share, against the scripted printer: bytes
// on the wire, replies as the dialogs see them, the readiness poll's texts and
// waits, and the hexadecimal text conversion.
#include "command_exchange.h"
#include "scripted_printer.h"

#include <QLabel>
#include <QtTest>

using usblink::CommandExchange;
using usblink::ExchangeVariant;
using usblink::testing::FakeSleeper;
using usblink::testing::Reply;
using usblink::testing::ScriptedPrinter;

class CommandExchangeTest : public QObject
{
    Q_OBJECT

  private slots:
    void commandGoesOutAsItsBytesWithoutTerminator();
    void replyIsCutAtItsFirstZeroByte();
    void failedWriteGivesSendError();
    void readTimeOutGivesEmptyReply();
    void binaryVariantKeepsZeroBytesAndCount();
    void onlyWriteSendsWithoutReading();
    void onlyWriteFixedLengthPadsAndCuts();
    void openAndCloseKeepTheLinkOpenFlag();
    void openFailureLeavesFlagClear();

    void checkStatusReadyAtOnce();
    void checkStatusWarmingUpThreeTimes();
    void checkStatusSilentFiveTimes();
    void checkStatusBusyThenUnknownKeepsText();
    void checkStatusWithoutSleepVariant();

    void convertHexChar_data();
    void convertHexChar();
    void hexStrToByteArray_data();
    void hexStrToByteArray();
    void hexTextLimitVariant();
};

void CommandExchangeTest::commandGoesOutAsItsBytesWithoutTerminator()
{
    ScriptedPrinter printer;
    printer.reply("Status?", "0001");
    CommandExchange exchange;
    QCOMPARE(exchange.openLink(), 0);
    QCOMPARE(exchange.writeAndReadPrinter("Status?"), QByteArray("0001"));
    QCOMPARE(printer.sent(), QList<QByteArray>{"Status?"});
    QCOMPARE(printer.sent().first().size(), 7);
    QCOMPARE(exchange.lastReadCount(), 4);
}

void CommandExchangeTest::replyIsCutAtItsFirstZeroByte()
{
    ScriptedPrinter printer;
    printer.reply("FingerName?", QByteArray("6007:Ann\0junk", 13));
    CommandExchange exchange;
    exchange.openLink();
    QCOMPARE(exchange.writeAndReadPrinter("FingerName?"), QByteArray("6007:Ann"));
    QCOMPARE(exchange.lastReadCount(), 13);
}

void CommandExchangeTest::failedWriteGivesSendError()
{
    ScriptedPrinter printer;
    printer.reply("Status?", Reply::sendFails());
    CommandExchange exchange;
    exchange.openLink();
    QTest::ignoreMessage(QtDebugMsg, "send libusb error ");
    QCOMPARE(exchange.writeAndReadPrinter("Status?"), QByteArray("send error"));
}

void CommandExchangeTest::readTimeOutGivesEmptyReply()
{
    ScriptedPrinter printer;
    printer.reply("Status?", Reply::silence());
    CommandExchange exchange;
    exchange.openLink();
    // The link reports a failed read as 254, which the exchange takes as a
    // count: the reply is the untouched, zeroed buffer.
    QCOMPARE(exchange.writeAndReadPrinter("Status?"), QByteArray());
    QCOMPARE(exchange.lastReadCount(), 254);
}

void CommandExchangeTest::binaryVariantKeepsZeroBytesAndCount()
{
    ScriptedPrinter printer;
    const QByteArray address = QByteArray::fromHex("c0a80164ffffff00c0a80101");
    printer.reply("CheckIP?", {address, Reply::silence()});
    ExchangeVariant v;
    v.cutReplyAtZero = false;
    v.sendErrorLog = "send error";
    v.readErrorLog = "read error";
    CommandExchange exchange(v);
    exchange.openLink();
    QCOMPARE(exchange.writeAndReadPrinter("CheckIP?"), address);
    QCOMPARE(exchange.lastReadCount(), 12);
    const QByteArray failed = exchange.writeAndReadPrinter("CheckIP?");
    QCOMPARE(failed, QByteArray(254, '\0'));
}

void CommandExchangeTest::onlyWriteSendsWithoutReading()
{
    ScriptedPrinter printer;
    printer.reply("StartFinger=On;", {"0001", Reply::sendFails()});
    CommandExchange exchange;
    exchange.openLink();
    QVERIFY(exchange.onlyWriteToPrinter("StartFinger=On;"));
    QVERIFY(!exchange.onlyWriteToPrinter("StartFinger=On;"));
    QCOMPARE(printer.sent(), QList<QByteArray>{"StartFinger=On;"});
}

void CommandExchangeTest::onlyWriteFixedLengthPadsAndCuts()
{
    ScriptedPrinter printer;
    ExchangeVariant v;
    v.onlyWriteLength = 19;
    CommandExchange exchange(v);
    exchange.openLink();
    const QByteArray set = "SetIP=" + QByteArray::fromHex("0a000005ff0000000a000001") + ";";
    QCOMPARE(set.size(), 19);
    exchange.onlyWriteToPrinter(set);
    exchange.onlyWriteToPrinter(set + "tail");
    exchange.onlyWriteToPrinter("SetIP=;");
    QCOMPARE(printer.sent().at(0), set);
    QCOMPARE(printer.sent().at(1), set);
    QCOMPARE(printer.sent().at(2), QByteArray("SetIP=;") + QByteArray(12, '\0'));
}

void CommandExchangeTest::openAndCloseKeepTheLinkOpenFlag()
{
    ScriptedPrinter printer;
    CommandExchange exchange;
    QVERIFY(!exchange.linkOpen());
    QCOMPARE(exchange.openLink(), 0);
    QVERIFY(exchange.linkOpen());
    QCOMPARE(printer.openLinks(), 1);
    exchange.releaseIfOpen();
    QVERIFY(!exchange.linkOpen());
    QCOMPARE(printer.openLinks(), 0);
    exchange.releaseIfOpen();
    QCOMPARE(printer.releaseCalls(), 1);
}

void CommandExchangeTest::openFailureLeavesFlagClear()
{
    ScriptedPrinter printer;
    CommandExchange exchange;
    printer.setInitResult(252);
    QCOMPARE(exchange.openLink(), 252);
    QVERIFY(!exchange.linkOpen());
    printer.setInitResult(255);
    QCOMPARE(exchange.openLink(), 255);
    QVERIFY(!exchange.linkOpen());
}

void CommandExchangeTest::checkStatusReadyAtOnce()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    printer.always("Status?", "0001");
    QLabel status;
    CommandExchange exchange;
    exchange.setStatusLine(&status, &status);
    exchange.openLink();
    QVERIFY(exchange.checkStatus());
    QCOMPARE(status.text(), QStringLiteral("打印机连接成功！"));
    QCOMPARE(printer.sent().size(), 1);
    QVERIFY(sleeper.waits().isEmpty());
}

void CommandExchangeTest::checkStatusWarmingUpThreeTimes()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    printer.reply("Status?", {"1003", "1003", "1003", "0001"});
    QLabel status;
    QStringList seenAtWaits;
    sleeper.onSleep([&](int) { seenAtWaits << status.text(); });
    CommandExchange exchange;
    exchange.setStatusLine(&status, &status);
    exchange.openLink();
    QVERIFY(exchange.checkStatus());
    const QString warming = QStringLiteral("打印机正在预热请稍候！");
    QCOMPARE(seenAtWaits, (QStringList{warming, warming, warming}));
    QCOMPARE(sleeper.waits(), (QList<int>{1, 1, 1}));
    QCOMPARE(status.text(), QStringLiteral("打印机连接成功！"));
    QCOMPARE(printer.sent().size(), 4);
}

void CommandExchangeTest::checkStatusSilentFiveTimes()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    QLabel status;
    QStringList seenAtWaits;
    sleeper.onSleep([&](int) { seenAtWaits << status.text(); });
    CommandExchange exchange;
    exchange.setStatusLine(&status, &status);
    exchange.openLink();
    QVERIFY(!exchange.checkStatus());
    const QString connecting = QStringLiteral("正在连接打印机……");
    QCOMPARE(seenAtWaits,
             (QStringList{connecting, connecting, connecting, connecting, connecting}));
    QCOMPARE(sleeper.totalSeconds(), 5);
    QCOMPARE(status.text(), QStringLiteral("打印机连接失败"));
    QCOMPARE(printer.sent(),
             (QList<QByteArray>{"Status?", "Status?", "Status?", "Status?", "Status?"}));
}

void CommandExchangeTest::checkStatusBusyThenUnknownKeepsText()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    printer.reply("Status?", {"0003", "6002", Reply::sendFails(), "0001"});
    QLabel status;
    QStringList seenAtWaits;
    sleeper.onSleep([&](int) { seenAtWaits << status.text(); });
    CommandExchange exchange;
    exchange.setStatusLine(&status, &status);
    exchange.openLink();
    QVERIFY(exchange.checkStatus());
    // An unknown reply and a failed send leave the last text in place.
    const QString busy = QStringLiteral("打印机忙，请稍候……");
    QCOMPARE(seenAtWaits, (QStringList{busy, busy, busy}));
}

void CommandExchangeTest::checkStatusWithoutSleepVariant()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    ExchangeVariant v;
    v.sleepBetweenStatusPolls = false;
    v.readyLog = "printer OK!";
    printer.reply("Status?", {"1003", "0001"});
    CommandExchange exchange(v);
    exchange.openLink();
    QTest::ignoreMessage(QtDebugMsg, "printer OK!");
    QVERIFY(exchange.checkStatus());
    QVERIFY(sleeper.waits().isEmpty());
}

void CommandExchangeTest::convertHexChar_data()
{
    QTest::addColumn<char>("ch");
    QTest::addColumn<int>("value");
    QTest::newRow("0") << '0' << 0;
    QTest::newRow("9") << '9' << 9;
    QTest::newRow("A") << 'A' << 10;
    QTest::newRow("F") << 'F' << 15;
    QTest::newRow("a") << 'a' << 10;
    QTest::newRow("f") << 'f' << 15;
    QTest::newRow("G") << 'G' << 255;
    QTest::newRow("g") << 'g' << 255;
    QTest::newRow("space") << ' ' << 255;
    QTest::newRow("slash") << '/' << 255;
    QTest::newRow("colon") << ':' << 255;
    QTest::newRow("at") << '@' << 255;
    QTest::newRow("zero byte") << '\0' << 255;
}

void CommandExchangeTest::convertHexChar()
{
    QFETCH(char, ch);
    QFETCH(int, value);
    QCOMPARE(static_cast<unsigned char>(CommandExchange::ConvertHexChar(ch)), value);
}

void CommandExchangeTest::hexStrToByteArray_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pairs with a space") << "0A 1f" << QByteArray::fromHex("0a1f");
    QTest::newRow("non-digit in first pair") << "0G12" << QByteArray();
    QTest::newRow("incomplete last pair") << "12 3" << QByteArray::fromHex("12");
    QTest::newRow("no spaces") << "c0a80164" << QByteArray::fromHex("c0a80164");
    QTest::newRow("leading and double spaces") << "  ff  00" << QByteArray::fromHex("ff00");
    QTest::newRow("stops at a non-digit") << "0102zz03" << QByteArray::fromHex("0102");
    QTest::newRow("space inside a pair") << "1 2" << QByteArray();
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("above code 255 counts as zero")
        << QStringLiteral("01字2") << QByteArray::fromHex("01");
    QTest::newRow("zero byte value") << "00" << QByteArray(1, '\0');
}

void CommandExchangeTest::hexStrToByteArray()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    CommandExchange exchange;
    QCOMPARE(exchange.HexStrToByteArray(text), bytes);
}

void CommandExchangeTest::hexTextLimitVariant()
{
    ExchangeVariant v;
    v.hexTextLimit = 24;
    CommandExchange exchange(v);
    // The limit counts characters of the text, spaces included.
    const QString text = "0a0000 05ff000000 0a000001aabb";
    QCOMPARE(exchange.HexStrToByteArray(QStringLiteral("c0a80164ffffff00c0a80101eeee")),
             QByteArray::fromHex("c0a80164ffffff00c0a80101"));
    QCOMPARE(exchange.HexStrToByteArray(text), QByteArray::fromHex("0a000005ff0000000a0000"));
}

QTEST_MAIN(CommandExchangeTest)
#include "test_command_exchange.moc"
