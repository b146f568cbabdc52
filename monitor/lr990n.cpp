#include "lr990n.h"

#include "statusmessages.h"
#include "ui_lr990n.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <utility>

// Registers the pictures compiled into this library; outside any namespace
// because Q_INIT_RESOURCE declares a global function.
static void initMonitorResources()
{
    Q_INIT_RESOURCE(monitor);
}

namespace
{

constexpr int kPollIntervalMs = 1000;
constexpr int kFirstHideMs = 11000;
constexpr int kInfoHideMs = 4000;
constexpr int kAlertHideMs = 14000;
constexpr int kBalloonMs = 5000;
// Room kept beside and below the window for its frame.
constexpr int kFrameRoomX = 9;
constexpr int kFrameRoomY = 39;
// Longest line taken from a control file in one piece; the filter writes
// lines of a few dozen bytes.
constexpr qint64 kMaxLineLength = 4096;

const char kDuplexAnswer[] = "CODE=7777\n";

// Tray icon list entries (index = message kind for kinds 1 and 3).
struct TrayState {
    const char *icon;
    const char *text;
};
const TrayState kTrayStates[] = {
    {":/images/heart.png", QT_TRANSLATE_NOOP("LR990N", "Ready")},
    {":/images/heart.png", QT_TRANSLATE_NOOP("LR990N", "Ready")},
    {":/images/trash.png", QT_TRANSLATE_NOOP("LR990N", "Stop")},
    {":/images/bad.png", QT_TRANSLATE_NOOP("LR990N", "Error")},
};

// The five settings of the job-information file, as read (values keep the
// filter's trailing ";") or defaulted.
struct JobSettings {
    QString resolution = "600dpi";
    QString paperSize = "A4";
    QString colorMode = "Color";
    QString watermark = "None";
    QString duplex = "None";
};

// Reads "key:value;" lines. The first key a line contains decides which
// setting it fills, with the text between its first and second colon; later
// lines win over earlier ones.
void parseJobInfo(QTextStream &in, JobSettings &job)
{
    static const char *const kKeys[] = {"resolution", "papersize", "colorMode", "WatermarkOptions",
                                        "duplex"};
    QString *const targets[] = {&job.resolution, &job.paperSize, &job.colorMode, &job.watermark,
                                &job.duplex};
    while (!in.atEnd()) {
        const QString line = in.readLine(kMaxLineLength);
        for (int k = 0; k < 5; ++k) {
            if (!line.contains(QLatin1String(kKeys[k])))
                continue;
            const QStringList pieces = line.split(':');
            if (pieces.size() >= 2)
                *targets[k] = pieces.at(1);
            break;
        }
    }
}

// Returns the display text of the first pattern that value contains, or an
// empty text when none matches.
QString firstMatch(const QString &value,
                   std::initializer_list<std::pair<const char *, const char *>> rules)
{
    for (const auto &rule : rules) {
        if (value.contains(QLatin1String(rule.first)))
            return QString::fromUtf8(rule.second);
    }
    return QString();
}

} // namespace

QPoint monitorWindowPosition(const QRect &available, const QSize &windowSize)
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    int x = (available.right() - available.left()) - kFrameRoomX - w / 2;
    int y = (available.bottom() - available.top()) - kFrameRoomY - h / 2;
    // The classic position leaves half the window, and the duplex button with
    // it, beyond the right and bottom edges. Keep the window inside the area,
    // with the 9 and 39 pixels of the formula left free for the frame and
    // title bar that the window manager adds.
    x = std::max(available.left(), std::min(x, available.right() + 1 - kFrameRoomX - w));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - kFrameRoomY - h));
    return QPoint(x, y);
}

LR990N::LR990N(const MonitorConfig &monitorConfig, QWidget *parent)
    : QDialog(parent), config(monitorConfig), stateIcons(new QComboBox),
      messageKinds(new QComboBox), ui(new Ui::LR990N)
{
    initMonitorResources();
    ui->setupUi(this);
    applyModelLayout();

    // Pop up near the tray corner, at a fixed size, with only a close button.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(monitorWindowPosition(screen->availableGeometry(), size()));
    setFixedSize(size());
    setWindowFlags(Qt::WindowCloseButtonHint);

    for (const TrayState &state : kTrayStates)
        stateIcons->addItem(QIcon(state.icon), tr(state.text));
    stateIcons->setCurrentIndex(1);
    messageKinds->addItem(style()->standardIcon(QStyle::SP_MessageBoxInformation),
                          tr("Information"), QSystemTrayIcon::Information);
    messageKinds->addItem(style()->standardIcon(QStyle::SP_MessageBoxWarning), tr("Warning"),
                          QSystemTrayIcon::Warning);
    messageKinds->addItem(style()->standardIcon(QStyle::SP_MessageBoxCritical), tr("Critical"),
                          QSystemTrayIcon::Critical);
    messageKinds->setCurrentIndex(0);

    createActions();
    createTrayIcon();
    connect(trayIcon, &QSystemTrayIcon::activated, this, &LR990N::iconActivated);
    setIcon(1);

    // A desktop session may start its tray after the monitor; give it time,
    // but show the icon and the window in any case.
    waitForSystemTray();
    trayIcon->setVisible(true);
    setVisible(true);

    pollTimer = new QTimer(this);
    pollTimer->setObjectName("pollTimer");
    pollTimer->setInterval(kPollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &LR990N::printerStateCheck);
    hideTimer = new QTimer(this);
    hideTimer->setObjectName("hideTimer");
    hideTimer->setInterval(kFirstHideMs);
    connect(hideTimer, &QTimer::timeout, this, &LR990N::windowClose);
    ui->btn_duplex_yes->hide();
    pollTimer->start();
    hideTimer->start();
    readPrintJobInfo();
}

LR990N::~LR990N()
{
    delete ui;
}

// Applies the model's title and the geometry in which its form differs from
// the USB model's form in the .ui file.
void LR990N::applyModelLayout()
{
    setWindowTitle(QCoreApplication::translate("LR990N", config.windowTitle));
    setMinimumSize(config.dialogSize);
    setMaximumSize(config.dialogSize);
    resize(config.dialogSize);
    ui->printer_img->setGeometry(config.printerImgGeometry);
    ui->printer_help->setGeometry(config.printerHelpGeometry);
    ui->printer_help->setText(QCoreApplication::translate("LR990N", config.helpInitialText));
    ui->groupBox->setGeometry(config.groupBoxGeometry);
    ui->label_5->setGeometry(config.label5Geometry);
    for (QLabel *value : {ui->printer_resolution, ui->printer_pagesize, ui->printer_inputslot,
                          ui->printer_mediatype, ui->printer_duplex}) {
        QRect r = value->geometry();
        r.setWidth(config.valueLabelWidth);
        value->setGeometry(r);
    }
}

// Runs the event loop for up to trayWaitRounds rounds of trayWaitMs while no
// system tray is there. The nested loop sleeps in the event dispatcher; it
// does not spin.
void LR990N::waitForSystemTray()
{
    for (int round = 0; round < config.trayWaitRounds && !QSystemTrayIcon::isSystemTrayAvailable();
         ++round) {
        QEventLoop loop;
        QTimer::singleShot(config.trayWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void LR990N::debugLine(const QString &text) const
{
    if (!config.silentDebug)
        qDebug().noquote() << text;
}

void LR990N::createActions()
{
    hideAction = new QAction(tr("最小化"), this);
    connect(hideAction, &QAction::triggered, this, &QWidget::hide);
    showAction = new QAction(tr("显示窗体"), this);
    connect(showAction, &QAction::triggered, this, &QWidget::showNormal);
    exitAction = new QAction(tr("退出"), this);
    connect(exitAction, &QAction::triggered, this, &LR990N::closeTrigger);
    connect(exitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
}

void LR990N::createTrayIcon()
{
    trayMenu = new QMenu(this);
    trayMenu->addAction(hideAction);
    trayMenu->addAction(showAction);
    trayMenu->addSeparator();
    trayMenu->addAction(exitAction);
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setContextMenu(trayMenu);
}

void LR990N::setIcon(int index)
{
    trayIcon->setIcon(stateIcons->itemIcon(index));
    trayIcon->setToolTip(stateIcons->itemText(index));
}

void LR990N::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: {
        // An index without an entry (kind 3) gives NoIcon.
        const auto icon = QSystemTrayIcon::MessageIcon(messageKinds->itemData(currentKind).toInt());
        trayIcon->showMessage(tr("提示"), tr("请双击或右键打开主界面"), icon, kBalloonMs);
        break;
    }
    case QSystemTrayIcon::DoubleClick:
        hiddenFlag = 0;
        show();
        break;
    case QSystemTrayIcon::MiddleClick:
        showMessage();
        break;
    default:
        break;
    }
}

void LR990N::triggerBubbleOn(int kind, const QString &title, const QString &text)
{
    bubbleText = text;
    bubbleTitle = title;
    currentKind = kind;
    setIcon(kind);
    showMessage();
}

// Status messages reach the tray only through its icon and tooltip: no
// balloon is raised for them, so the desktop is not flooded during a job.
void LR990N::showMessage() {}

// Removes the tray icon at once when the operator quits; the application's
// quit() follows on the same menu entry.
void LR990N::closeTrigger()
{
    trayIcon->hide();
}

void LR990N::windowClose()
{
    if (hiddenFlag == 0) {
        close();
        hiddenFlag = 1;
    }
}

void LR990N::closeEvent(QCloseEvent *event)
{
    if (trayIcon->isVisible()) {
        triggerBubbleOn(currentKind, bubbleTitle, bubbleText);
        hide();
        hiddenFlag = 1;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// One poll: the status code file is read twice per tick, each reading
// preceded by a refresh of the job rows, as the filter may rewrite either
// file at any moment.
void LR990N::printerStateCheck()
{
    readDuplexFlag();
    readPrintJobInfo();
    readStatusFile();
}

void LR990N::readDuplexFlag()
{
    readPrintJobInfo();
    readStatusFile();
}

// Passes the last line of the status code file on; an empty or half-written
// file yields a line without "CODE=", which is ignored downstream.
void LR990N::readStatusFile()
{
    QFile file(config.statusFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        debugLine("open file failed");
        return;
    }
    QTextStream in(&file);
    QString line;
    while (!in.atEnd())
        line = in.readLine(kMaxLineLength);
    file.close();
    execReturnMsg(line.toLatin1());
}

void LR990N::execReturnMsg(const QByteArray &line)
{
    debugLine("receive = " + QString::fromLatin1(line));
    if (line.contains("CODE="))
        showMessageState(line);
}

void LR990N::showMessageState(const QByteArray &line)
{
    bool ok = false;
    int code = line.split('=').value(1).toInt(&ok, 10);
    if (!ok)
        code = 0;
    debugLine(QString("MY CODE = %1").arg(code));
    readPrintJobInfo();

    // A code is acted on once until some other code has been read. After a
    // printer lock, a repeated 0 is let through once.
    if (code == lastCode) {
        if (lockSeen && code == 0)
            lockSeen = 0;
        else
            return;
    } else {
        lastCode = code;
    }
    actOnCode(code);
}

// Shows the message of a new status code and drives the duplex prompt.
void LR990N::actOnCode(int code)
{
    switch (code) {
    case CodePrinterLocked:
        if (config.showLockMessage) {
            const StatusMessage &m = printerLockedMessage();
            showMessageOnWindow(m.kind, tr(m.title), tr(m.text));
        }
        ui->btn_duplex_yes->hide();
        lockSeen = 1;
        return;
    case CodePrinterUnlocked:
        lockSeen = 0;
        return;
    default:
        break;
    }

    const StatusMessage *m = findStatusMessage(code);
    if (!m)
        return;
    const QString title = tr(m->title);
    const QString text = m->text ? tr(m->text) : paperFeedText(paperSizeText);

    if (code == CodeTurnShortEdge || code == CodeTurnLongEdge) {
        // The turn-over prompt stays on top and up until the operator answers.
        ui->btn_duplex_yes->show();
        setFlagsKeepingVisibility(Qt::WindowStaysOnTopHint);
        showMessageOnWindow(m->kind, title, text);
        hideTimer->stop();
        return;
    }
    if (code == CodeSecondSide) {
        showMessageOnWindow(m->kind, title, text);
        ui->btn_duplex_yes->hide();
        setFlagsKeepingVisibility(Qt::WindowStaysOnBottomHint);
        return;
    }
    showMessageOnWindow(m->kind, title, text);
    ui->btn_duplex_yes->hide();
}

// Changing window flags makes Qt hide the window; a window that was up stays up.
void LR990N::setFlagsKeepingVisibility(Qt::WindowFlags flags)
{
    const bool wasVisible = isVisible();
    setWindowFlags(flags);
    if (wasVisible)
        show();
}

void LR990N::showMessageOnWindow(int kind, const QString &title, const QString &text)
{
    QPixmap picture;
    QPalette palette = ui->printer_state->palette();
    switch (kind) {
    case KindInfo:
        picture = QPixmap(":/W3_b256");
        palette.setColor(QPalette::WindowText, Qt::black);
        ui->printer_state->setPalette(palette);
        triggerBubbleOn(KindInfo, title, text);
        show();
        hiddenFlag = 0;
        hideTimer->setInterval(kInfoHideMs);
        hideTimer->start();
        break;
    case KindWarning:
        picture = QPixmap(":/W3_y256");
        palette.setColor(QPalette::WindowText, Qt::yellow);
        ui->printer_state->setPalette(palette);
        show();
        hiddenFlag = 0;
        hideTimer->setInterval(kAlertHideMs);
        hideTimer->start();
        break;
    case KindError:
        show();
        hideTimer->setInterval(kAlertHideMs);
        hideTimer->start();
        hiddenFlag = 0;
        picture = QPixmap(":/W3_r256");
        palette.setColor(QPalette::WindowText, Qt::red);
        ui->printer_state->setPalette(palette);
        triggerBubbleOn(KindError, title, text);
        break;
    default:
        break;
    }
    ui->printer_img->setPixmap(picture);
    ui->printer_state->setText(title);
    ui->printer_help->setText(text);
}

void LR990N::readPrintJobInfo()
{
    JobSettings job;
    QFile file(config.jobInfoFilePath());
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        parseJobInfo(in, job);
        file.close();
    } else {
        debugLine("open file failed");
    }

    const QString quality = job.resolution.contains("2400") ? QString("HQ1200dpi") : job.resolution;
    paperSizeText = firstMatch(job.paperSize, {{"A4", "A4"}, {"B5", "B5"}, {"C16K", "C16K"}});
    const QString watermark =
        firstMatch(job.watermark, {{"None", "无水印"}, {"OptCas1", "添加水印"}});
    const QString colour = firstMatch(
        job.colorMode, {{"Color", "红黑打印"}, {"Green", "绿黑打印"}, {"Mono", "黑白打印"}});
    const QString duplex = firstMatch(
        job.duplex, {{"None", "无"}, {"DuplexTumble", "短边翻转"}, {"DuplexNoTumble", "长边翻转"}});

    ui->printer_resolution->setText(quality);
    ui->printer_mediatype->setText(colour);
    ui->printer_pagesize->setText(paperSizeText);
    ui->printer_inputslot->setText(watermark);
    ui->printer_duplex->setText(duplex);
}

void LR990N::writeDuplexFlag()
{
    QFile file(config.statusFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        debugLine("open file failed");
        return;
    }
    file.write(kDuplexAnswer, sizeof kDuplexAnswer - 1);
    file.close();
}

// The operator has turned the stack over: answer the filter and let the
// window go back to the tray after its current interval.
void LR990N::on_btn_duplex_yes_clicked()
{
    writeDuplexFlag();
    ui->btn_duplex_yes->hide();
    hideTimer->start();
}
