// The monitor's icon in a real system tray: an X server (Xvfb) with trayer
// as the tray. Run normally, the test starts itself again inside xvfb-run
// with trayer beside it; it skips when either program is missing.
#include "monitortestsupport.h"

#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QtTest>

#include <csignal>

namespace
{

const char kInnerVariable[] = "KOLVEX_TRAY_TEST_INNER";

// Counts the pixels of the tray icon's area that are mostly green (the
// "Ready" heart) and mostly red (the "Error" disc).
struct IconColours {
    int green = 0;
    int red = 0;
};

IconColours trayColours(const QSystemTrayIcon *tray)
{
    IconColours c;
    const QRect area = tray->geometry();
    if (area.isEmpty())
        return c;
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor p = shot.pixelColor(x, y);
            if (p.green() > 140 && p.red() < 90 && p.blue() < 120)
                ++c.green;
            else if (p.red() > 170 && p.green() < 80 && p.blue() < 80)
                ++c.red;
        }
    }
    return c;
}

} // namespace

class TestMonitorTray : public QObject
{
    Q_OBJECT

  private slots:
    void trayIconAndTooltipFollowTheState();
};

void TestMonitorTray::trayIconAndTooltipFollowTheState()
{
    if (!qEnvironmentVariableIsSet(kInnerVariable)) {
        // Outer run: start this test again under Xvfb with a tray, bounded in time.
        const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
        const QString trayer = QStandardPaths::findExecutable("trayer");
        if (xvfbRun.isEmpty() || trayer.isEmpty())
            QSKIP("xvfb-run or trayer is not installed");
        const QString script =
            "trayer --edge top --align right --widthtype pixel --width 200 --height 32 "
            ">/dev/null 2>&1 & tray=$!; \"$0\" trayIconAndTooltipFollowTheState; rc=$?; "
            "kill $tray 2>/dev/null; wait $tray 2>/dev/null; exit $rc";
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kInnerVariable, "1");
        env.insert("QT_QPA_PLATFORM", "xcb");
        // The monitor draws no OpenGL; without the GL integration no GL
        // driver is loaded and unloaded behind the leak checker's back.
        env.insert("QT_XCB_GL_INTEGRATION", "none");
        // libxkbcommon-x11 (loaded by Qt's X11 platform) calls strndup on
        // strings that are not NUL-terminated, which is valid but trips
        // AddressSanitizer's strict string checks in sanitizer builds.
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":strict_string_checks=0");
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        // setsid makes the run a process group of its own, so a hung run can
        // be ended with its X server and tray.
        run.start("setsid", {xvfbRun, "-a", "-s", "-screen 0 1024x768x24", "sh", "-c", script,
                             QCoreApplication::applicationFilePath()});
        QVERIFY2(run.waitForStarted(10000), "setsid xvfb-run starts");
        const bool finished = run.waitForFinished(90000);
        if (!finished) {
            ::kill(-pid_t(run.processId()), SIGKILL);
            run.waitForFinished(5000);
        }
        const QByteArray output = run.readAll();
        QVERIFY2(finished, "the run under Xvfb ends within 90 s");
        if (output.contains("SKIP "))
            QSKIP(output.constData());
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 output.constData());
        return;
    }

    // Inner run, on the X server with trayer.
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

    MonitorRoot root(MonitorConfig::usb());
    MonitorWindow mw(root);
    QSystemTrayIcon *tray = mw.tray();
    QVERIFY(tray->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!tray->geometry().isEmpty(), 10000);
    QCOMPARE(tray->toolTip(), QString("Ready"));
    QTRY_VERIFY_WITH_TIMEOUT(trayColours(tray).green > 40, 10000);
    qInfo() << "tray icon at" << tray->geometry() << "green pixels" << trayColours(tray).green;

    mw.receive("CODE=3070\n");
    QCOMPARE(tray->toolTip(), QString("Error"));
    QTRY_VERIFY_WITH_TIMEOUT(trayColours(tray).red > 40 && trayColours(tray).green == 0, 10000);
    qInfo() << "red pixels" << trayColours(tray).red;

    mw.receive("CODE=1\n");
    QCOMPARE(tray->toolTip(), QString("Ready"));
    QTRY_VERIFY_WITH_TIMEOUT(trayColours(tray).green > 40 && trayColours(tray).red == 0, 10000);
}

QTEST_MAIN(TestMonitorTray)
#include "tst_monitor_tray.moc"
