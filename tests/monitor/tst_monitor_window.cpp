// The monitor window driven through its real control files: what it shows
// for every status code, the repeat filter, the job rows and the duplex
// answer, for the USB and the network model.
#include "monitortestsupport.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

namespace
{

const char kT[] = "关闭打印机等待几分钟再开启，\n如果错误仍出现，请联系经销商";
const char kJam[] = "请打开打印机顶盖，\n并移除被卡纸张";
const char kPaperCheck[] = "请检查纸盒中的纸，\n然后打开并关闭顶盖";
const char kShortEdge[] =
    "短边翻转：请将打印机出纸托盘中的纸\n【按短边翻转】180度，并重新放入纸仓\n然后点击“确定”按钮！";
const char kLongEdge[] =
    "长边翻转：请将打印机出纸托盘中的纸\n【按长边翻转】180度，并重新放入纸仓\n然后点击“确定”按钮！";

struct Row {
    int code;
    int kind;
    const char *title;
    const char *text;
};

// The message table as the operator should see it. The paper-feed rows
// assume a job on B5 paper.
const Row kTable[] = {
    {1, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务"},
    {10, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务"},
    {20, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务"},
    {4, 1, "取消打印作业", "打印作业被取消，内存强制清零"},
    {5, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {9, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {1001, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {1005, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {1010, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {1011, 1, "打印正在进行……", "打印机正在执行打印任务，请稍后……"},
    {8, 3, "通讯错误", "请检查所有电缆连接\n并确定打印机已经打开"},
    {1003, 1, "打印机正在预热", "打印机正在预热，请稍后……"},
    {1012, 2, "请安装新硒鼓", "请安装新硒鼓"},
    {2008, 3, "纸张尺寸不正确", "请选择和纸盒中纸型相符的选项，\n开合顶盖，并重新打印"},
    {3026, 3, "纸张尺寸不正确", "请选择和纸盒中纸型相符的选项，\n开合顶盖，并重新打印"},
    {2010, 3, "纸张尺寸不正确", "请选择正确的纸张"},
    {3069, 3, "纸张尺寸不正确", "请选择正确的纸张"},
    {3000, 3, "打印中断", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机"},
    {3065, 3, "打印中断", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机"},
    {3066, 3, "打印中断", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机"},
    {3068, 3, "打印中断", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机"},
    {3004, 3, "打印机顶盖打开", "请关闭打印机顶盖"},
    {3019, 3, "纸盒取纸失败", "检查纸盒是否有B5纸\n请在纸盒1中放入标准B5纸\n并开合顶盖继续。"},
    {3020, 3, "纸盒取纸失败", "检查纸盒是否有B5纸\n请在纸盒1中放入标准B5纸\n并开合顶盖继续。"},
    {3025, 3, "打印机输出卡纸", kJam},
    {3038, 2, "内存不足", "请稍后……"},
    {3063, 3, "严重错误", kT},
    {3064, 3, "严重错误", kT},
    {3070, 3, "打印机卡纸", kJam},
    {3071, 3, "黑色LSU错误002", kT},
    {3072, 3, "黑色LSU错误001", kT},
    {3073, 3, "加热异常", kT},
    {3074, 3, "机器过热", kT},
    {3078, 3, "送纸错误", kPaperCheck},
    {3079, 3, "无纸", kPaperCheck},
    {3171, 3, "红色LSU错误002", kT},
    {3172, 3, "红色LSU错误001", kT},
    {4444, 1, "手动双面打印", kShortEdge},
    {4477, 1, "手动双面打印", kLongEdge},
    {5012, 3, "输出盖子打开", "请关闭外盖"},
    {6000, 1, "操作指纹成功", "操作指纹成功"},
    {6001, 3, "操作指纹失败", "操作指纹失败"},
    {6002, 2, "请录入指纹", "请将手指放入指纹识别器中，停留5秒"},
    {6018, 3, "该指纹不存在", "该指纹不存在，请重试其他指纹"},
    {6019, 3, "选中的指纹不存在", "选中的指纹不存在，\n请重试其他指纹"},
    {6020, 3, "选中的指纹不为空", "选中的指纹不为空"},
    {6021, 3, "打印机无存储指纹", "打印机中没有存储指纹，请注册指纹"},
    {6022, 3, "打印机指纹存储已满", "打印机指纹存储已满，\n请删除无用的指纹"},
    {6025, 3, "该指纹已存在", "该指纹已经在打印机注册，请重新注册"},
    {6033, 3, "指纹图像质量不好", "请确保指纹模块清洁，手指干燥"},
    {6035, 3, "指纹操作超时", "打印机指纹操作超时，请重试"},
    {6065, 3, "取消指纹操作", "取消打印机指纹操作"},
    {6096, 3, "选中的指纹不存在", "选中的指纹不存在，请重试"},
    {6176, 1, "指纹识别成功", "打印机识别指纹成功"},
    {6177, 1, "注册指纹成功", "打印机注册指纹成功"},
    {6178, 1, "删除单个指纹成功", "打印机删除单个指纹成功"},
    {6179, 1, "删除所有指纹成功", "打印机删除所有指纹成功"},
    {6244, 1, "请离开手指", "打印机指纹验证完成，请离开手指"},
    {6245, 3, "指纹模块通信错误", kT},
    {7777, 1, "手动双面打印", "正在打印第二面，请稍后……"},
};

const QByteArray kJobB5 = "resolution:600dpi;\npapersize:B5;\ncolorMode:Color;\n"
                          "WatermarkOptions:None;\nduplex:DuplexTumble;\n";

QByteArray codeLine(int code)
{
    return "CODE=" + QByteArray::number(code) + "\n";
}

MonitorConfig model(bool network)
{
    return network ? MonitorConfig::network() : MonitorConfig::usb();
}

QImage resourceImage(const char *name)
{
    return QImage(name).convertToFormat(QImage::Format_RGB32);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestMonitorWindow : public QObject
{
    Q_OBJECT

  private slots:
    void formFollowsModel_data();
    void formFollowsModel();
    void startsVisibleWithTimersAndReadyTray();
    void opensFullyOnScreenAtBottomRight_data();
    void opensFullyOnScreenAtBottomRight();
    void showsTheMessageOfEveryCode_data();
    void showsTheMessageOfEveryCode();
    void staysSilentForCodesWithoutMessage_data();
    void staysSilentForCodesWithoutMessage();
    void showsARepeatedCodeOnlyAfterAnotherCode();
    void codeTwoHidesTheDuplexButton_data();
    void codeTwoHidesTheDuplexButton();
    void jobRowsFollowTheJobInformationFile_data();
    void jobRowsFollowTheJobInformationFile();
    void paperFeedMessageNamesAnUnknownPaperAsEmpty();
    void duplexAnswerIsWrittenWhenTheOperatorConfirms_data();
    void duplexAnswerIsWrittenWhenTheOperatorConfirms();
    void duplexButtonHidesEvenWhenTheAnswerCannotBeWritten();
    void debugOutputIsSilentOnlyInTheNetworkBuild();
    void hidesIntoTheTrayAndComesBackOnDoubleClick();
    void trayMenuOffersMinimiseShowAndQuit();
    void closesForRealWithoutATrayIcon();
};

void TestMonitorWindow::formFollowsModel_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("img");
    QTest::addColumn<QRect>("help");
    QTest::addColumn<QString>("helpText");
    QTest::addColumn<QRect>("group");
    QTest::addColumn<QRect>("label5");
    QTest::addColumn<int>("valueWidth");
    QTest::newRow("usb") << false << "LR880 USB状态监控" << QSize(346, 284) << QRect(1, -1, 71, 61)
                         << QRect(78, 50, 261, 61) << "print" << QRect(80, 110, 221, 121)
                         << QRect(10, 100, 61, 16) << 111;
    QTest::newRow("network") << true << "LR880N 网络状态监控" << QSize(347, 285)
                             << QRect(1, 0, 71, 61) << QRect(80, 50, 261, 61) << "printer_help"
                             << QRect(80, 110, 211, 121) << QRect(10, 101, 61, 16) << 121;
}

void TestMonitorWindow::formFollowsModel()
{
    QFETCH(bool, network);
    QFETCH(QString, title);
    QFETCH(QSize, size);
    QFETCH(QRect, img);
    QFETCH(QRect, help);
    QFETCH(QString, helpText);
    QFETCH(QRect, group);
    QFETCH(QRect, label5);
    QFETCH(int, valueWidth);
    MonitorRoot root(model(network));
    MonitorWindow mw(root);
    LR990N *w = mw.window();

    QCOMPARE(w->objectName(), QString("LR990N"));
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(w->size(), size);
    QCOMPARE(w->minimumSize(), size);
    QCOMPARE(w->maximumSize(), size);
    QVERIFY(!w->windowIcon().isNull());
    QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));

    QLabel *picture = mw.label("printer_img");
    QCOMPARE(picture->geometry(), img);
    QCOMPARE(picture->styleSheet(), QString("image: url(:/W3_b256.bmp);"));
    QVERIFY(picture->text().isEmpty());

    QLabel *state = mw.label("printer_state");
    QCOMPARE(state->geometry(), QRect(78, 4, 241, 31));
    QCOMPARE(state->text(), QString("printer_state"));
    QCOMPARE(state->font().pointSize(), 13);
    QCOMPARE(state->font().weight(), 75);

    QLabel *hint = mw.label("printer_help");
    QCOMPARE(hint->geometry(), help);
    QCOMPARE(hint->text(), helpText);
    QCOMPARE(hint->font().pointSize(), 11);
    QCOMPARE(hint->font().weight(), 50);

    auto *box = w->findChild<QGroupBox *>("groupBox");
    QVERIFY(box);
    QCOMPARE(box->geometry(), group);
    QCOMPARE(box->title(), QString("打印信息"));

    const char *captions[] = {"label", "label_2", "label_3", "label_4", "label_5"};
    const char *captionTexts[] = {"打印质量：", "纸张尺寸：", "水印打印：", "彩色模式：",
                                  "双面打印："};
    const char *values[] = {"printer_resolution", "printer_pagesize", "printer_inputslot",
                            "printer_mediatype", "printer_duplex"};
    // No job-information file yet: the rows show the defaults.
    const char *defaults[] = {"600dpi", "A4", "无水印", "红黑打印", "无"};
    for (int row = 0; row < 5; ++row) {
        QLabel *caption = mw.label(captions[row]);
        QCOMPARE(caption->parentWidget(), box);
        QCOMPARE(caption->text(), QString(captionTexts[row]));
        QCOMPARE(caption->geometry(), row == 4 ? label5 : QRect(10, 20 + 20 * row, 61, 16));
        QLabel *value = mw.label(values[row]);
        QCOMPARE(value->parentWidget(), box);
        QCOMPARE(value->geometry(), QRect(80, 20 + 20 * row, valueWidth, 17));
        QCOMPARE(value->text(), QString(defaults[row]));
    }

    QPushButton *button = mw.duplexButton();
    QCOMPARE(button->geometry(), QRect(250, 250, 80, 28));
    QCOMPARE(button->text(), QString("确定"));
    QVERIFY(button->isHidden());
}

void TestMonitorWindow::startsVisibleWithTimersAndReadyTray()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    QVERIFY(mw.window()->isVisible());
    QVERIFY(mw.tray()->isVisible());
    QCOMPARE(mw.tray()->toolTip(), QString("Ready"));
    QCOMPARE(iconImage(mw.tray()->icon()), iconImage(QIcon(":/images/heart.png")));
    QCOMPARE(mw.timer("pollTimer")->interval(), 1000);
    QVERIFY(mw.timer("pollTimer")->isActive());
    QCOMPARE(mw.timer("hideTimer")->interval(), 11000);
    QVERIFY(mw.timer("hideTimer")->isActive());
}

void TestMonitorWindow::opensFullyOnScreenAtBottomRight_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("full hd") << QRect(0, 0, 1920, 1080) << QSize(346, 284) << QPoint(1565, 757);
    QTest::newRow("bottom panel") << QRect(0, 0, 1280, 992) << QSize(347, 285) << QPoint(924, 668);
    QTest::newRow("left dock") << QRect(64, 0, 1856, 1080) << QSize(346, 284) << QPoint(1565, 757);
    QTest::newRow("top panel") << QRect(0, 32, 1024, 736) << QSize(346, 284) << QPoint(669, 445);
    QTest::newRow("tiny screen") << QRect(0, 0, 300, 200) << QSize(346, 284) << QPoint(0, 0);
}

void TestMonitorWindow::opensFullyOnScreenAtBottomRight()
{
    QFETCH(QRect, available);
    QFETCH(QSize, window);
    QFETCH(QPoint, expected);
    QCOMPARE(monitorWindowPosition(available, window), expected);

    // The real window on the test screen, with its 确定 button reachable.
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed = mw.window()->frameGeometry();
    QVERIFY2(screen.contains(placed), qPrintable(QString("window %1,%2 %3x%4 within screen %5x%6")
                                                     .arg(placed.x())
                                                     .arg(placed.y())
                                                     .arg(placed.width())
                                                     .arg(placed.height())
                                                     .arg(screen.width())
                                                     .arg(screen.height())));
    QVERIFY(screen.right() - placed.right() <= 9);
    QVERIFY(screen.bottom() - placed.bottom() <= 39);
}

void TestMonitorWindow::showsTheMessageOfEveryCode_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    for (bool network : {false, true}) {
        for (const Row &r : kTable) {
            QTest::addRow("%s %d", network ? "net" : "usb", r.code)
                << network << r.code << r.kind << QString(r.title) << QString(r.text);
        }
    }
    QTest::addRow("net 2") << true << 2 << 1 << QString("打印机锁定成功")
                           << QString("打印机已锁定，准备执行打印任务");
}

void TestMonitorWindow::showsTheMessageOfEveryCode()
{
    QFETCH(bool, network);
    QFETCH(int, code);
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    MonitorRoot root(model(network));
    root.writeJobInfo(kJobB5);
    MonitorWindow mw(root);

    // Start from an error shown and sent back to the tray, so that a kind-2
    // message can be seen to leave the tray as it was.
    mw.receive(codeLine(code == 8 ? 3004 : 8));
    QCOMPARE(mw.tray()->toolTip(), QString("Error"));
    mw.hideTick();
    QVERIFY(!mw.window()->isVisible());

    mw.receive(codeLine(code));

    QCOMPARE(mw.label("printer_state")->text(), title);
    QCOMPARE(mw.label("printer_help")->text(), text);
    QVERIFY(mw.window()->isVisible());

    const char *pictures[] = {nullptr, ":/W3_b256.bmp", ":/W3_y256.bmp", ":/W3_r256.bmp"};
    const QColor colours[] = {QColor(), Qt::black, Qt::yellow, Qt::red};
    const char *tooltips[] = {nullptr, "Ready", "Error", "Error"};
    const char *trayIcons[] = {nullptr, ":/images/heart.png", ":/images/bad.png",
                               ":/images/bad.png"};
    QCOMPARE(labelPicture(mw.label("printer_img")), resourceImage(pictures[kind]));
    QCOMPARE(mw.label("printer_state")->palette().color(QPalette::Active, QPalette::WindowText),
             colours[kind]);
    QCOMPARE(mw.label("printer_state")->palette().color(QPalette::Inactive, QPalette::WindowText),
             colours[kind]);
    QCOMPARE(mw.tray()->toolTip(), QString(tooltips[kind]));
    QCOMPARE(iconImage(mw.tray()->icon()), iconImage(QIcon(trayIcons[kind])));

    const bool prompt = code == 4444 || code == 4477;
    QCOMPARE(mw.duplexButton()->isHidden(), !prompt);
    QCOMPARE(mw.timer("hideTimer")->isActive(), !prompt);
    if (!prompt)
        QCOMPARE(mw.timer("hideTimer")->interval(), kind == 1 ? 4000 : 14000);
    if (prompt)
        QCOMPARE(mw.window()->windowFlags() & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);
    if (code == 7777)
        QCOMPARE(mw.window()->windowFlags() & Qt::WindowStaysOnBottomHint,
                 Qt::WindowStaysOnBottomHint);
}

void TestMonitorWindow::staysSilentForCodesWithoutMessage_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<QByteArray>("content");
    const int silent[] = {0,    6,    200,  205,  300,  500,  600,  1002, 1013, 2006, 2007,
                          2009, 2011, 2012, 3009, 3010, 3016, 3030, 3075, 3076, 3077, 4000,
                          4001, 5002, 5003, 5004, 5013, 5014, 6180, 3,    -1,   99999};
    for (bool network : {false, true}) {
        const char *m = network ? "net" : "usb";
        for (int code : silent)
            QTest::addRow("%s %d", m, code) << network << codeLine(code);
        QTest::addRow("%s letters", m) << network << QByteArray("CODE=abc\n");
        QTest::addRow("%s empty file", m) << network << QByteArray();
        QTest::addRow("%s other text", m) << network << QByteArray("PRINTING\n");
        QTest::addRow("%s last line counts", m) << network << QByteArray("CODE=3079\nhello\n");
    }
    QTest::addRow("usb 2") << false << codeLine(2);
}

void TestMonitorWindow::staysSilentForCodesWithoutMessage()
{
    QFETCH(bool, network);
    QFETCH(QByteArray, content);
    MonitorRoot root(model(network));
    MonitorWindow mw(root);
    mw.receive(codeLine(3070));
    mw.hideTick();

    mw.receive(content);

    QVERIFY(!mw.window()->isVisible());
    QCOMPARE(mw.label("printer_state")->text(), QString("打印机卡纸"));
    QCOMPARE(mw.tray()->toolTip(), QString("Error"));
    QCOMPARE(mw.timer("hideTimer")->interval(), 14000);
}

void TestMonitorWindow::showsARepeatedCodeOnlyAfterAnotherCode()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    mw.receive(codeLine(3070));
    QCOMPARE(mw.label("printer_state")->text(), QString("打印机卡纸"));
    mw.hideTick();

    mw.receive(codeLine(3070));
    QVERIFY2(!mw.window()->isVisible(), "the same code again is not shown again");

    mw.receive(codeLine(1001));
    QVERIFY(mw.window()->isVisible());
    QCOMPARE(mw.label("printer_state")->text(), QString("打印正在进行……"));
    mw.hideTick();

    mw.receive(codeLine(3070));
    QVERIFY(mw.window()->isVisible());
    QCOMPARE(mw.label("printer_state")->text(), QString("打印机卡纸"));
}

void TestMonitorWindow::codeTwoHidesTheDuplexButton_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("titleAfter");
    QTest::newRow("usb") << false << "手动双面打印";
    QTest::newRow("network") << true << "打印机锁定成功";
}

void TestMonitorWindow::codeTwoHidesTheDuplexButton()
{
    QFETCH(bool, network);
    QFETCH(QString, titleAfter);
    MonitorRoot root(model(network));
    MonitorWindow mw(root);
    mw.receive(codeLine(4444));
    QVERIFY(!mw.duplexButton()->isHidden());

    mw.receive(codeLine(2));
    QVERIFY(mw.duplexButton()->isHidden());
    QCOMPARE(mw.label("printer_state")->text(), titleAfter);

    // A second 2 is filtered as a repeat: nothing pops up.
    mw.hideTick();
    mw.receive(codeLine(2));
    QVERIFY(!mw.window()->isVisible());
}

void TestMonitorWindow::jobRowsFollowTheJobInformationFile_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<QByteArray>("file");  // "-" for no file
    QTest::addColumn<QStringList>("rows"); // quality, paper, watermark, colour, duplex
    for (bool network : {false, true}) {
        const char *m = network ? "net" : "usb";
        QTest::addRow("%s missing file", m)
            << network << QByteArray("-")
            << QStringList{"600dpi", "A4", "无水印", "红黑打印", "无"};
        QTest::addRow("%s plain job", m)
            << network
            << QByteArray("resolution:600dpi;\npapersize:A4;\ncolorMode:Color;\n"
                          "WatermarkOptions:None;\nduplex:None;\n")
            << QStringList{"600dpi;", "A4", "无水印", "红黑打印", "无"};
        QTest::addRow("%s high quality long edge", m)
            << network
            << QByteArray("resolution:2400x600dpi;\npapersize:B5;\ncolorMode:Mono;\n"
                          "WatermarkOptions:OptCas1;\nduplex:DuplexNoTumble;\n")
            << QStringList{"HQ1200dpi", "B5", "添加水印", "黑白打印", "长边翻转"};
        QTest::addRow("%s green short edge", m)
            << network
            << QByteArray("resolution:300dpi;\npapersize:C16K;\ncolorMode:Green;\n"
                          "WatermarkOptions:None;\nduplex:DuplexTumble;\n")
            << QStringList{"300dpi;", "C16K", "无水印", "绿黑打印", "短边翻转"};
        QTest::addRow("%s unknown values", m)
            << network
            << QByteArray("resolution:;\npapersize:Letter;\ncolorMode:Gray;\n"
                          "WatermarkOptions:OptCas2;\nduplex:Simplex;\n")
            << QStringList{";", "", "", "", ""};
        QTest::addRow("%s later line wins, lines without colon skipped", m)
            << network
            << QByteArray("papersize:A4;\npapersize:B5;\nduplex DuplexTumble\nresolution:600:x;\n")
            << QStringList{"600", "B5", "无水印", "红黑打印", "无"};
    }
}

void TestMonitorWindow::jobRowsFollowTheJobInformationFile()
{
    QFETCH(bool, network);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, rows);
    MonitorRoot root(model(network));
    root.writeJobInfo("resolution:2400dpi;\npapersize:C16K;\ncolorMode:Mono;\n");
    MonitorWindow mw(root);
    QCOMPARE(mw.label("printer_pagesize")->text(), QString("C16K"));

    // The next poll picks up the new job, or the defaults once the file is gone.
    if (file == "-")
        QVERIFY(QFile::remove(root.config().jobInfoFilePath()));
    else
        root.writeJobInfo(file);
    mw.poll();

    const char *labels[] = {"printer_resolution", "printer_pagesize", "printer_inputslot",
                            "printer_mediatype", "printer_duplex"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(mw.label(labels[i])->text(), rows.at(i));
}

void TestMonitorWindow::paperFeedMessageNamesAnUnknownPaperAsEmpty()
{
    MonitorRoot root(MonitorConfig::usb());
    root.writeJobInfo("papersize:Letter;\n");
    MonitorWindow mw(root);
    mw.receive(codeLine(3019));
    QCOMPARE(mw.label("printer_help")->text(),
             QString("检查纸盒是否有纸\n请在纸盒1中放入标准纸\n并开合顶盖继续。"));
}

void TestMonitorWindow::duplexAnswerIsWrittenWhenTheOperatorConfirms_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("request");
    QTest::newRow("usb short edge") << false << 4444;
    QTest::newRow("usb long edge") << false << 4477;
    QTest::newRow("net short edge") << true << 4444;
    QTest::newRow("net long edge") << true << 4477;
}

void TestMonitorWindow::duplexAnswerIsWrittenWhenTheOperatorConfirms()
{
    QFETCH(bool, network);
    QFETCH(int, request);
    MonitorRoot root(model(network));
    MonitorWindow mw(root);
    mw.hideTick();

    mw.receive(codeLine(request));
    QVERIFY(mw.window()->isVisible());
    QPushButton *yes = mw.duplexButton();
    QVERIFY(yes->isVisible());
    QVERIFY(!mw.timer("hideTimer")->isActive());

    // The filter rewrites its request every cycle; the prompt stays as it is.
    mw.receive(codeLine(request));
    QVERIFY(yes->isVisible());

    QTest::mouseClick(yes, Qt::LeftButton);
    QCOMPARE(root.readStatus(), QByteArray("CODE=7777\n"));
    QVERIFY(yes->isHidden());
    QVERIFY(mw.timer("hideTimer")->isActive());
    QCOMPARE(mw.timer("hideTimer")->interval(), 4000);

    // The answer read back announces the second sides and keeps the window up.
    mw.poll();
    QCOMPARE(mw.label("printer_help")->text(), QString("正在打印第二面，请稍后……"));
    QVERIFY(mw.window()->isVisible());
    QVERIFY(yes->isHidden());
    QCOMPARE(mw.window()->windowFlags() & Qt::WindowStaysOnBottomHint, Qt::WindowStaysOnBottomHint);
    QCOMPARE(root.readStatus(), QByteArray("CODE=7777\n"));
}

void TestMonitorWindow::duplexButtonHidesEvenWhenTheAnswerCannotBeWritten()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    mw.receive(codeLine(4477));
    QVERIFY(QDir(root.controlDir()).removeRecursively());

    DebugCapture capture;
    QTest::mouseClick(mw.duplexButton(), Qt::LeftButton);
    QVERIFY(capture.lines().contains("open file failed"));
    QVERIFY(mw.duplexButton()->isHidden());
    QVERIFY(!QFile::exists(root.config().statusFilePath()));
}

void TestMonitorWindow::debugOutputIsSilentOnlyInTheNetworkBuild()
{
    for (bool network : {false, true}) {
        MonitorRoot root(model(network));
        MonitorWindow mw(root);
        DebugCapture capture;
        mw.poll(); // neither file exists
        root.writeStatus("CODE=1\n");
        mw.poll();
        mw.receive(codeLine(4444));
        QVERIFY(QDir(root.controlDir()).removeRecursively());
        QTest::mouseClick(mw.duplexButton(), Qt::LeftButton); // the answer cannot be written
        const QStringList lines = capture.lines();
        if (network) {
            QCOMPARE(lines, QStringList());
        } else {
            QVERIFY(lines.contains("open file failed"));
            QVERIFY(lines.contains("receive = CODE=1"));
            QVERIFY(lines.contains("MY CODE = 1"));
        }
    }
}

void TestMonitorWindow::hidesIntoTheTrayAndComesBackOnDoubleClick()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    mw.receive(codeLine(3004));
    mw.hideTick();
    QVERIFY(!mw.window()->isVisible());
    QVERIFY(mw.tray()->isVisible());
    QCOMPARE(mw.tray()->toolTip(), QString("Error"));

    // Further ticks while hidden change nothing.
    mw.hideTick();
    QVERIFY(!mw.window()->isVisible());

    emit mw.tray()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(mw.window()->isVisible());
    QCOMPARE(mw.label("printer_state")->text(), QString("打印机顶盖打开"));
    mw.hideTick();
    QVERIFY(!mw.window()->isVisible());
}

void TestMonitorWindow::trayMenuOffersMinimiseShowAndQuit()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    QMenu *menu = mw.tray()->contextMenu();
    QVERIFY(menu);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QString("最小化"));
    QCOMPARE(actions[1]->text(), QString("显示窗体"));
    QVERIFY(actions[2]->isSeparator());
    QCOMPARE(actions[3]->text(), QString("退出"));

    actions[0]->trigger();
    QVERIFY(!mw.window()->isVisible());
    actions[1]->trigger();
    QVERIFY(mw.window()->isVisible());
    // After 最小化 the next hide tick closes the window into the tray again.
    actions[0]->trigger();
    mw.hideTick();
    QVERIFY(!mw.window()->isVisible());
}

void TestMonitorWindow::closesForRealWithoutATrayIcon()
{
    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    QVERIFY2(!mw.window()->close(), "with a tray icon, closing only hides");
    QVERIFY(!mw.window()->isVisible());
    mw.window()->show();
    mw.tray()->hide();
    QVERIFY2(mw.window()->close(), "without a tray icon the window closes");
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitor_window.moc"
