// The administrator password: the dialog that replaces it, and the file it is
// kept in, with real widgets and a real file under a private printers root.
#include "ediepwd.h"
#include "finger.h"
#include "password_file.h"
#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using setuptool::testing::info;
using setuptool::testing::RecordingMessageBoxes;
using setuptool::testing::ShownBox;
using setuptool::testing::TempPrintersRoot;
using usblink::testing::FakeSleeper;
using usblink::testing::ScriptedPrinter;

using Boxes = QList<ShownBox>;

Q_DECLARE_METATYPE(ShownBox)

namespace QTest
{
template <> char *toString(const ShownBox &box)
{
    return qstrdup(QString("%1 / %2").arg(box.title, box.text).toUtf8().constData());
}
} // namespace QTest

class EdiepwdTest : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void newPasswordChecks_data();
    void newPasswordChecks();
    void acceptedPasswordIsStoredAsOneBase64Word();
    void oldPasswordStopsWorkingAfterChange();
    void missingFileIsReportedAndNotCreated();
    void cancelLeavesFileUntouched();
    void storedWordIsReadUpToWhitespace();
    void emptyStoredPasswordOpensNothing();

  private:
    QByteArray fileContent() const;
    void writeFile(const QByteArray &content) const;
    void fill(ediepwd &d, const QString &first, const QString &repeat);

    std::unique_ptr<TempPrintersRoot> root;
    std::unique_ptr<RecordingMessageBoxes> boxes;
};

void EdiepwdTest::init()
{
    root = std::make_unique<TempPrintersRoot>();
    boxes = std::make_unique<RecordingMessageBoxes>();
    QVERIFY(setuptool::ensurePasswordFile());
}

void EdiepwdTest::cleanup()
{
    boxes.reset();
    root.reset();
}

QByteArray EdiepwdTest::fileContent() const
{
    QFile f(setuptool::passwordFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

void EdiepwdTest::writeFile(const QByteArray &content) const
{
    QFile f(setuptool::passwordFilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

void EdiepwdTest::fill(ediepwd &d, const QString &first, const QString &repeat)
{
    d.findChild<QLineEdit *>("pssdedit")->setText(first);
    d.findChild<QLineEdit *>("pssdedit2")->setText(repeat);
}

void EdiepwdTest::newPasswordChecks_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    const QString s40(40, 'p');
    const QString s41(41, 'p');
    QTest::newRow("3 characters") << "abc"
                                  << "abc" << QStringLiteral("输入密码过短!");
    QTest::newRow("4 characters") << "abcd"
                                  << "abcd" << QString();
    QTest::newRow("40 characters") << s40 << s40 << QString();
    QTest::newRow("41 characters") << s41 << s41 << QStringLiteral("输入密码过长!");
    QTest::newRow("empty repeat") << "abcd"
                                  << "" << QStringLiteral("输入密码为空!");
    QTest::newRow("mismatch") << "abcd1"
                              << "abcd2" << QStringLiteral("两次输入密码不同，请重新输入!");
    QTest::newRow("letter case") << "Abcd"
                                 << "abcd" << QStringLiteral("两次输入密码不同，请重新输入!");
    QTest::newRow("length judged on the repeat")
        << "ab"
        << "abcd" << QStringLiteral("两次输入密码不同，请重新输入!");
    QTest::newRow("4 Chinese characters")
        << QStringLiteral("管理密码") << QStringLiteral("管理密码") << QString();
    QTest::newRow("3 Chinese characters")
        << QStringLiteral("管理密") << QStringLiteral("管理密") << QStringLiteral("输入密码过短!");
}

void EdiepwdTest::newPasswordChecks()
{
    QFETCH(QString, first);
    QFETCH(QString, repeat);
    QFETCH(QString, refusal);
    const QByteArray before = fileContent();
    ediepwd d;
    d.show();
    fill(d, first, repeat);
    d.findChild<QPushButton *>("ok")->click();

    if (refusal.isEmpty()) {
        QCOMPARE(boxes->boxes(), Boxes{info(QStringLiteral("提示"),
                                            QStringLiteral("密码修改成功，请使用新密码!"))});
        QCOMPARE(fileContent(), first.toUtf8().toBase64());
        QVERIFY(!d.isVisible());
        QVERIFY(setuptool::checkAdminPassword(first) == setuptool::PasswordCheck::Right);
    } else {
        QCOMPARE(boxes->boxes(), Boxes{info(QStringLiteral("错误"), refusal)});
        // A refused password leaves the stored one as it was, and empties both entries.
        QCOMPARE(fileContent(), before);
        QVERIFY(d.findChild<QLineEdit *>("pssdedit")->text().isEmpty());
        QVERIFY(d.findChild<QLineEdit *>("pssdedit2")->text().isEmpty());
        QVERIFY(d.isVisible());
    }
}

void EdiepwdTest::acceptedPasswordIsStoredAsOneBase64Word()
{
    ediepwd d;
    fill(d, "s3cret", "s3cret");
    d.findChild<QPushButton *>("ok")->click();
    QCOMPARE(fileContent(), QByteArray("czNjcmV0"));
    // The entries keep their text after a success.
    QCOMPARE(d.findChild<QLineEdit *>("pssdedit")->text(), QString("s3cret"));
}

void EdiepwdTest::oldPasswordStopsWorkingAfterChange()
{
    ScriptedPrinter printer;
    FakeSleeper sleeper;
    printer.always("Status?", "0001");
    {
        Finger f;
        f.findChild<QLineEdit *>("pssd")->setText("8526");
        f.findChild<QPushButton *>("adminButton")->click();
        QCOMPARE(f.findChild<QLabel *>("informationAdmin")->text(),
                 QStringLiteral("管理员认证成功"));
        f.findChild<QPushButton *>("editpass")->click();
        auto *dialog = f.findChild<ediepwd *>();
        QVERIFY(dialog && dialog->isVisible());
        fill(*dialog, QStringLiteral("新密码99"), QStringLiteral("新密码99"));
        dialog->findChild<QPushButton *>("ok")->click();
        QVERIFY(!dialog->isVisible());
    }
    boxes->clear();
    Finger f;
    auto *pssd = f.findChild<QLineEdit *>("pssd");
    pssd->setText("8526");
    f.findChild<QPushButton *>("adminButton")->click();
    QCOMPARE(boxes->boxes(), Boxes{info(QStringLiteral("错误"), QStringLiteral("密码错误!"))});
    pssd->setText(QStringLiteral("新密码99"));
    f.findChild<QPushButton *>("adminButton")->click();
    QCOMPARE(f.findChild<QLabel *>("informationAdmin")->text(), QStringLiteral("管理员认证成功"));
    QCOMPARE(boxes->boxes().size(), 1);
}

void EdiepwdTest::missingFileIsReportedAndNotCreated()
{
    QVERIFY(QFile::remove(setuptool::passwordFilePath()));
    ediepwd d;
    d.show();
    fill(d, "abcd", "abcd");
    d.findChild<QPushButton *>("ok")->click();
    QCOMPARE(boxes->boxes(),
             Boxes{info(QStringLiteral("提示"), QStringLiteral("文件丢失，请重新安装!"))});
    QVERIFY(!d.isVisible());
    QVERIFY(!QFile::exists(setuptool::passwordFilePath()));
}

void EdiepwdTest::cancelLeavesFileUntouched()
{
    const QByteArray before = fileContent();
    ediepwd d;
    d.show();
    fill(d, "abcdef", "abcdef");
    d.findChild<QPushButton *>("cancel")->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(fileContent(), before);
    QVERIFY(boxes->boxes().isEmpty());
}

void EdiepwdTest::storedWordIsReadUpToWhitespace()
{
    QCOMPARE(fileContent(), QByteArray("ODUyNg=="));
    // A file written by hand with a newline still holds the same password.
    writeFile("ODUyNg==\n");
    QVERIFY(setuptool::checkAdminPassword("8526") == setuptool::PasswordCheck::Right);
    writeFile("  YWJjZA== trailing words");
    QVERIFY(setuptool::checkAdminPassword("abcd") == setuptool::PasswordCheck::Right);
    QVERIFY(setuptool::checkAdminPassword("ABCD") == setuptool::PasswordCheck::Wrong);
}

void EdiepwdTest::emptyStoredPasswordOpensNothing()
{
    writeFile("");
    QVERIFY(setuptool::checkAdminPassword("") == setuptool::PasswordCheck::Wrong);
    writeFile("AAAA"); // decodes to zero bytes only
    QVERIFY(setuptool::checkAdminPassword("") == setuptool::PasswordCheck::Wrong);
}

QTEST_MAIN(EdiepwdTest)
#include "test_ediepwd.moc"
