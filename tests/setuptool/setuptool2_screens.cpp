// setuptool2_screens OUTDIR: opens the red margin dialog, the watermark window
// and the network address window against a scripted printer and a temporary
// printers root, and saves a picture of each (plus a crop of a written
// watermark bitmap) as PNG files in OUTDIR. Run under a display (Xvfb) by
// scripts/screenshots-setuptool2.sh.
#include "marginadjustment.h"
#include "netipset.h"
#include "watermark.h"
#include "watermark_templates.h"

#include "scripted_printer.h"
#include "setuptool_testing.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextStream>

namespace
{

bool save(QWidget *window, const QString &path)
{
    window->show();
    window->raise();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    const bool ok = window->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << "\n";
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: setuptool2_screens OUTDIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;

    setuptool::testing::TempPrintersRoot root;
    setuptool::testing::RecordingMessageBoxes boxes;
    QString failed;
    if (!watermark_templates::writeTemplates(root.path(), &failed))
        return 1;
    usblink::testing::FakeSleeper sleeper;
    bool ok = true;

    {
        usblink::testing::ScriptedPrinter printer;
        printer.always("Status?", "0001");
        printer.reply("monitor?", "redtopclip:3,redleftclip:-1,B5redtopclip:0,B5redleftclip:2");
        printer.always("RedFeedOffSet=+4;", "0020");
        MarginAdjustment margins;
        margins.findChild<QComboBox *>(QStringLiteral("red_A4_top"))->setCurrentIndex(3);
        margins.findChild<QPushButton *>(QStringLiteral("btn_red_A4_top"))->click();
        ok &= save(&margins, out.filePath(QStringLiteral("marginadjustment.png")));
    }
    {
        waterMark watermark;
        watermark.findChild<QLineEdit *>(QStringLiteral("textWater"))
            ->setText(QStringLiteral("KOLVEX 内部资料"));
        auto *fonts = watermark.findChild<QComboBox *>(QStringLiteral("wordFront"));
        fonts->setCurrentIndex(qMax(0, fonts->findText(QStringLiteral("WenQuanYi Micro Hei"))));
        auto *angle = watermark.findChild<QSlider *>(QStringLiteral("wordAngel"));
        angle->setSliderDown(true);
        angle->setSliderPosition(30);
        angle->setSliderDown(false);
        watermark.findChild<QPushButton *>(QStringLiteral("generate"))->click();
        ok &= save(&watermark, out.filePath(QStringLiteral("watermark.png")));
        const QImage page(waterMark::outputPath(waterMark::UsbA4));
        ok &= page.copy(900, 2500, 3200, 2000)
                  .scaled(800, 500, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                  .save(out.filePath(QStringLiteral("watermark_bitmap_detail.png")));
    }
    {
        usblink::testing::ScriptedPrinter printer;
        printer.always("Status?", "0001");
        printer.always("CheckIP?", QByteArray::fromHex("c0a80164ffffff00c0a80101"));
        netIpSet usbMode;
        ok &= save(&usbMode, out.filePath(QStringLiteral("netipset_usb.png")));
        printer.setInitResult(252);
        netIpSet networkMode;
        networkMode.findChild<QLineEdit *>(QStringLiteral("netIp"))
            ->setText(QStringLiteral("192.168.1.100"));
        ok &= save(&networkMode, out.filePath(QStringLiteral("netipset_network.png")));
    }
    return ok ? 0 : 1;
}
