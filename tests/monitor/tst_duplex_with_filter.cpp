// Manual duplex end to end: the real rastersend process prints the even
// pages to the scripted printer and waits for the paper to be turned; the
// real monitor window shows the prompt from the status code file, the
// operator clicks 确定, and the filter prints the odd pages and finishes.
#include <QPushButton>
#include <QtTest>

#include <chrono>
#include <cstdlib>

#include "filter_run.h"
#include "filter_test_support.h"
#include "monitortestsupport.h"

using namespace std::chrono_literals;

class DuplexWithFilter : public QObject
{
    Q_OBJECT

  private slots:
    void operatorTurnsThePaperThroughTheMonitor();
};

void DuplexWithFilter::operatorTurnsThePaperThroughTheMonitor()
{
    MonitorRoot root(MonitorConfig::usb());
    const std::string rootPath = qgetenv("KOLVEX_PRINTERS_ROOT").toStdString();
    QVERIFY(QDir().mkpath(QString::fromStdString(rootPath + "/tmp/printfiles")));
    const kolvex::FilterPaths paths = kolvex::FilterPaths::make(kolvex::kUsbModel, rootPath, "7");
    // Page names must fit the hand-off's slots: the test root must be short.
    QVERIFY2(paths.blackPlane(4).size() < 70, rootPath.c_str());

    filtertest::RasterizerStandIn rasterizer(paths, kolvex::kUsbHandoffKey);
    rasterizer.announceJob("1", 4);
    for (int page = 1; page <= 4; ++page) {
        rasterizer.writePage(page, 100, 50);
        rasterizer.announcePage(page);
    }
    rasterizer.announceEnd();

    oplprinter::FilterRun run;
    run.setProgram(RASTERSEND_PATH);
    run.setEnv("PPD", filtertest::testPpd());
    run.setEnv("KOLVEX_PRINTERS_ROOT", rootPath);
    run.setEnv("CUPS_SERVER", rootPath + "/no-scheduler.sock");
    run.setFilterArguments("LR880", "7", "alice", "report.pdf", "1", "Duplex=DuplexTumble");
    QVERIFY(run.start());

    MonitorWindow monitor(root);
    QPushButton *yes = monitor.duplexButton();
    // The monitor's own one-second poll picks up the filter's request.
    QTRY_VERIFY_WITH_TIMEOUT(!yes->isHidden(), 30000);
    QCOMPARE(root.readStatus(), QByteArray("CODE=4444\n"));
    QTest::mouseClick(yes, Qt::LeftButton);
    QVERIFY(yes->isHidden());

    oplprinter::FilterResult result = run.finish(60s);
    QVERIFY2(result.ok(), (result.describe() + "\n" + run.stderrText()).c_str());
    QList<int> pages;
    for (const oplprinter::Exchange &x : run.exchanges())
        if (x.event.kind == oplprinter::OplEventKind::DataPackage && !x.event.red)
            pages << std::atoi(x.event.data.c_str() + 6);
    QCOMPARE(pages, (QList<int>{2, 4, 1, 3}));
    QCOMPARE(root.readStatus(), QByteArray("CODE=1\n"));
}

QTEST_MAIN(DuplexWithFilter)
#include "tst_duplex_with_filter.moc"
