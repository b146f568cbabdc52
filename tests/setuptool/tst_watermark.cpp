// The watermark window against real template bitmaps in a temporary printers
// root: what it draws (checked on the pixels of the written bitmaps), which
// files it writes, and what it tells the user.
#include "watermark.h"
#include "watermark_templates.h"
#include "wm_image_probe.h"

#include "programgrop.h"
#include "setuptool_testing.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <memory>

using setuptool::testing::TempPrintersRoot;

namespace
{

const QPoint kA4Centre(4960 / 2, 7016 / 2);

// The ink's box is centred on point, within the side bearings of the glyphs.
bool centredOn(const InkProbe &ink, const QPoint &point, int tolerance = 40)
{
    const QPoint centre = ink.box.center();
    if (qAbs(centre.x() - point.x()) <= tolerance && qAbs(centre.y() - point.y()) <= tolerance)
        return true;
    qWarning("ink centred on (%d, %d), expected (%d, %d)", centre.x(), centre.y(), point.x(),
             point.y());
    return false;
}

// Moves a slider the way a drag does, so that sliderMoved is emitted.
void drag(QAbstractSlider *slider, int position)
{
    slider->setSliderDown(true);
    slider->setSliderPosition(position);
    slider->setSliderDown(false);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

// Every file below a folder with its content hash.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names)
        files.insert(name, fileHash(QDir(folder).filePath(name)));
    return files;
}

QStringList outputNames(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("WaterMarkd*")}, QDir::Files, QDir::Name);
}

} // namespace

class TestWaterMark : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<TempPrintersRoot> root;
    QString usbFolder() const { return root->filePath(QStringLiteral("LR880/WaterMark")); }
    QString netFolder() const { return root->filePath(QStringLiteral("LR880N/WaterMark")); }

    // A window with a known font and text, as the user would set it up.
    std::unique_ptr<waterMark> openWindow(const QString &text = QStringLiteral("KOLVEX"))
    {
        auto window = std::make_unique<waterMark>();
        auto *fonts = window->findChild<QComboBox *>(QStringLiteral("wordFront"));
        const int wqy = fonts->findText(QStringLiteral("WenQuanYi Micro Hei"));
        if (wqy >= 0)
            fonts->setCurrentIndex(wqy);
        window->findChild<QLineEdit *>(QStringLiteral("textWater"))->setText(text);
        return window;
    }
    template <typename T> static T *child(QWidget *window, const char *name)
    {
        T *widget = window->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    static QString status(QWidget *window) { return child<QLabel>(window, "statusBar")->text(); }

  private slots:
    void initTestCase()
    {
        root = std::make_unique<TempPrintersRoot>();
        QString failed;
        QVERIFY2(watermark_templates::writeTemplates(root->path(), &failed), qPrintable(failed));
    }
    void cleanupTestCase() { root.reset(); }

    // Each test starts with the templates only.
    void init()
    {
        for (const QString &folder : {usbFolder(), netFolder()})
            for (const QString &name : outputNames(folder))
                QFile::remove(QDir(folder).filePath(name));
    }

    void templatesHaveTheRasterPageSizes_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("dpi");
        QTest::newRow("USB A4") << int(waterMark::UsbA4) << QSize(4960, 7016) << 600;
        QTest::newRow("USB B5") << int(waterMark::UsbB5) << QSize(4300, 6070) << 600;
        QTest::newRow("USB A4 1200") << int(waterMark::UsbA4_1200) << QSize(9920, 14032) << 1200;
        QTest::newRow("USB B5 1200") << int(waterMark::UsbB5_1200) << QSize(8600, 12140) << 1200;
        QTest::newRow("net A4") << int(waterMark::NetA4) << QSize(4960, 7016) << 600;
        QTest::newRow("net B5") << int(waterMark::NetB5) << QSize(4300, 6070) << 600;
        QTest::newRow("net A4 1200") << int(waterMark::NetA4_1200) << QSize(9920, 14032) << 1200;
        QTest::newRow("net B5 1200") << int(waterMark::NetB5_1200) << QSize(8600, 12140) << 1200;
    }
    void templatesHaveTheRasterPageSizes()
    {
        QFETCH(int, page);
        QFETCH(QSize, size);
        QFETCH(int, dpi);
        const QString path = waterMark::templatePath(waterMark::Page(page));
        QVERIFY2(path.startsWith(root->path()), qPrintable(path));
        const QImage image(path);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.format(), QImage::Format_Mono);
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), dpi);
        QCOMPARE(probeInk(image).count, qint64(0));
    }

    void opensWithTheDefaults()
    {
        auto window = openWindow();
        QCOMPARE(status(window.get()), QStringLiteral("请输入水印文字"));
        QCOMPARE(window->size(), QSize(730, 650));
        auto *size = child<QSlider>(window.get(), "wordSize");
        QCOMPARE(size->minimum(), 1);
        QCOMPARE(size->maximum(), 10);
        QCOMPARE(size->value(), 2);
        auto *angle = child<QSlider>(window.get(), "wordAngel");
        QCOMPARE(angle->maximum(), 360);
        QCOMPARE(angle->value(), 0);
        QCOMPARE(child<QLabel>(window.get(), "angel")->text(), QStringLiteral("偏转 0 度"));
        // The position sliders span the reference page and stand at its centre.
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider")->maximum(), 4960);
        QCOMPARE(child<QSlider>(window.get(), "horizontalSlider")->value(), kA4Centre.x());
        QCOMPARE(child<QSlider>(window.get(), "verticalSlider")->maximum(), 7016);
        QCOMPARE(child<QSlider>(window.get(), "verticalSlider")->value(), kA4Centre.y());
        auto *fonts = child<QComboBox>(window.get(), "wordFront");
        QCOMPARE(fonts->itemText(fonts->count() - 1), QStringLiteral("楷体"));
        QCOMPARE(fonts->itemText(fonts->count() - 4), QStringLiteral("宋体"));
        QVERIFY(!child<QLabel>(window.get(), "labelImage")->pixmap(Qt::ReturnByValue).isNull());
    }

    void untouchedSlidersCentreTheTextOnTheA4Page()
    {
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QCOMPARE(status(window.get()), QStringLiteral("水印生成成功！"));
        QCOMPARE(child<QProgressBar>(window.get(), "generateBar")->value(), 100);

        const QImage page(waterMark::outputPath(waterMark::UsbA4));
        QCOMPARE(page.size(), QSize(4960, 7016));
        QCOMPARE(page.format(), QImage::Format_Mono);
        const InkProbe ink = probeInk(page);
        QVERIFY(ink.count > 0);
        // Centred, horizontal, and about 2 x 200 pixels high (capitals).
        QVERIFY(centredOn(ink, kA4Centre));
        QVERIFY(ink.box.width() > 3 * ink.box.height());
        QVERIFY2(ink.box.height() > 220 && ink.box.height() < 400,
                 qPrintable(QString::number(ink.box.height())));
        // The glyphs are a screen of dots, not solid black.
        const double cover = double(ink.count) / (ink.box.width() * double(ink.box.height()));
        QVERIFY2(cover > 0.01 && cover < 0.25, qPrintable(QString::number(cover)));
    }

    void everyPageOfTheSetCarriesTheText_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("B5") << int(waterMark::UsbB5);
        QTest::newRow("A4 1200") << int(waterMark::UsbA4_1200);
        QTest::newRow("B5 1200") << int(waterMark::UsbB5_1200);
    }
    void everyPageOfTheSetCarriesTheText()
    {
        QFETCH(int, page);
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const QImage image(waterMark::outputPath(waterMark::Page(page)));
        const QImage blank(waterMark::templatePath(waterMark::Page(page)));
        QCOMPARE(image.size(), blank.size());
        QCOMPARE(image.format(), blank.format());
        QCOMPARE(image.dotsPerMeterX(), blank.dotsPerMeterX());
        const InkProbe ink = probeInk(image);
        QVERIFY(ink.count > 0);
        QVERIFY(centredOn(ink, QPoint(image.width() / 2, image.height() / 2), 80));
        // The 1200 dpi A4 page is twice as wide as the reference: twice the text.
        if (page == waterMark::UsbA4_1200) {
            const InkProbe reference = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
            QVERIFY(qAbs(ink.box.width() - 2 * reference.box.width()) <= 40);
        }
    }

    void angle90TurnsTheTextToRunDownwards()
    {
        // "W" is heavy, "." light: the ink's centre of mass lies towards the
        // start of the text and shows which way it runs.
        auto window = openWindow(QStringLiteral("WWWW...."));
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe level = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        QVERIFY(level.box.width() > level.box.height());
        QVERIFY(level.centroid.x() < level.box.center().x() - 50);

        drag(child<QSlider>(window.get(), "wordAngel"), 90);
        QCOMPARE(child<QLabel>(window.get(), "angel")->text(), QStringLiteral("偏转 90 度"));
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe turned = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        QVERIFY(turned.box.height() > turned.box.width());
        QVERIFY(qAbs(turned.box.height() - level.box.width()) <= 8);
        QVERIFY(qAbs(turned.box.width() - level.box.height()) <= 8);
        QVERIFY(centredOn(turned, kA4Centre));
        QVERIFY(turned.centroid.y() < turned.box.center().y() - 50);
    }

    void angle360DrawsLikeAngle0()
    {
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe level = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        drag(child<QSlider>(window.get(), "wordAngel"), 360);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe full = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        QCOMPARE(full.box, level.box);
        QVERIFY(qAbs(full.count - level.count) <= level.count / 100);
    }

    void textSizeScalesFontAndBox()
    {
        // Size 3 against 2: a 300 pixel font scaled by 3 against 200 by 2.
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe two = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        drag(child<QSlider>(window.get(), "wordSize"), 3);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const InkProbe three = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        const double ratio = double(three.box.height()) / two.box.height();
        QVERIFY2(ratio > 2.0 && ratio < 2.5, qPrintable(QString::number(ratio)));
    }

    void positionSlidersMoveOnlyTheUsbA4Text()
    {
        auto window = openWindow();
        drag(child<QSlider>(window.get(), "horizontalSlider"), 1500);
        drag(child<QSlider>(window.get(), "verticalSlider"), 1000);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate_2"), Qt::LeftButton);
        const InkProbe usb = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        QVERIFY(centredOn(usb, QPoint(1500, 1000)));
        const InkProbe net = probeInk(QImage(waterMark::outputPath(waterMark::NetA4)));
        QVERIFY(centredOn(net, kA4Centre, 80));
        // The other pages' text is sized against the slider: 2480 / 1500.
        const double ratio = double(net.box.height()) / usb.box.height();
        QVERIFY2(ratio > 1.5 && ratio < 1.8, qPrintable(QString::number(ratio)));
    }

    void sliderAtTheLeftEdgeStillWritesTheSet()
    {
        auto window = openWindow();
        drag(child<QSlider>(window.get(), "horizontalSlider"), 0);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QCOMPARE(status(window.get()), QStringLiteral("水印生成成功！"));
        QCOMPARE(outputNames(usbFolder()).size(), 4);
        // The reference page keeps its 200 pixel font, centred on the left edge.
        const InkProbe usb = probeInk(QImage(waterMark::outputPath(waterMark::UsbA4)));
        QCOMPARE(usb.box.left(), 0);
        QVERIFY(qAbs(usb.box.center().y() - kA4Centre.y()) <= 40);
    }

    void previewWritesNothing()
    {
        const auto usbBefore = snapshot(usbFolder());
        const auto netBefore = snapshot(netFolder());
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "viewWater"), Qt::LeftButton);
        QCOMPARE(status(window.get()), QStringLiteral("预览水印"));
        QCOMPARE(child<QProgressBar>(window.get(), "generateBar")->value(), 100);
        QCOMPARE(snapshot(usbFolder()), usbBefore);
        QCOMPARE(snapshot(netFolder()), netBefore);
        // The preview shows the page with the text on it.
        const QImage shown =
            child<QLabel>(window.get(), "labelImage")->pixmap(Qt::ReturnByValue).toImage();
        const QImage middle =
            shown.copy(QRect(shown.width() / 2 - 40, shown.height() / 2 - 6, 80, 12));
        bool grey = false;
        for (int y = 0; y < middle.height() && !grey; ++y)
            for (int x = 0; x < middle.width() && !grey; ++x)
                grey = qGray(middle.pixel(x, y)) < 250;
        QVERIFY(grey);
    }

    void usbSetLeavesTheNetworkFilesAlone()
    {
        const auto netBefore = snapshot(netFolder());
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QCOMPARE(outputNames(usbFolder()),
                 (QStringList{"WaterMarkd1200A4_r88.bmp", "WaterMarkd1200B5_r88.bmp",
                              "WaterMarkdA4_r88.bmp", "WaterMarkdB5_r88.bmp"}));
        QCOMPARE(snapshot(netFolder()), netBefore);
    }

    void networkSetLeavesTheUsbFilesAlone()
    {
        const auto usbBefore = snapshot(usbFolder());
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate_2"), Qt::LeftButton);
        QCOMPARE(status(window.get()), QStringLiteral("水印生成成功！"));
        QCOMPARE(outputNames(netFolder()),
                 (QStringList{"WaterMarkd1200A4_r88n.bmp", "WaterMarkd1200B5_r88n.bmp",
                              "WaterMarkdA4_r88n.bmp", "WaterMarkdB5_r88n.bmp"}));
        QCOMPARE(snapshot(usbFolder()), usbBefore);
    }

    void emptyTextWritesTheTemplatesUnchanged()
    {
        auto window = openWindow(QString());
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QCOMPARE(fileHash(waterMark::outputPath(waterMark::UsbA4)),
                 fileHash(waterMark::templatePath(waterMark::UsbA4)));
        QCOMPARE(fileHash(waterMark::outputPath(waterMark::UsbB5_1200)),
                 fileHash(waterMark::templatePath(waterMark::UsbB5_1200)));
    }

    void progressRunsThroughTheStages()
    {
        auto window = openWindow();
        auto *bar = child<QProgressBar>(window.get(), "generateBar");
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        QList<int> values;
        for (const QList<QVariant> &call : spy)
            values << call.at(0).toInt();
        const QList<int> other{25, 30, 35, 40, 45};
        const QList<int> expected = QList<int>{5, 10, 15, 20} + other + QList<int>{50, 60, 70, 80} +
                                    other + QList<int>{90} + other + QList<int>{95, 100};
        QCOMPARE(values, expected);
    }

    void missingTemplateIsReported()
    {
        const QString b5 = waterMark::templatePath(waterMark::UsbB5);
        const QString keep = b5 + QStringLiteral(".keep");
        QVERIFY(QFile::rename(b5, keep));
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const QString shown = status(window.get());
        QVERIFY(QFile::rename(keep, b5));
        QCOMPARE(shown, QStringLiteral("水印生成失败，缺少水印模板 WaterMark1B5_r88.bmp"));
        // The pages that could be drawn are written all the same.
        QVERIFY(QFileInfo::exists(waterMark::outputPath(waterMark::UsbA4)));
        QVERIFY(!QFileInfo::exists(waterMark::outputPath(waterMark::UsbB5)));
    }

    void missingReferenceTemplateIsReportedOnOpening()
    {
        TempPrintersRoot empty;
        auto window = openWindow();
        QCOMPARE(status(window.get()), QStringLiteral("缺少水印模板 WaterMark1A4_r88.bmp"));
        QTest::mouseClick(child<QPushButton>(window.get(), "viewWater"), Qt::LeftButton);
        QCOMPARE(status(window.get()), QStringLiteral("缺少水印模板 WaterMark1A4_r88.bmp"));
        QTest::mouseClick(child<QPushButton>(window.get(), "generate_2"), Qt::LeftButton);
        QVERIFY(status(window.get()).startsWith(QStringLiteral("水印生成失败，缺少水印模板 ")));
        QVERIFY(QDir(empty.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    void failedSaveIsReported()
    {
        // A folder in the output's place cannot be replaced by the bitmap.
        const QString blocked = waterMark::outputPath(waterMark::UsbB5_1200);
        QVERIFY(QDir().mkpath(blocked));
        auto window = openWindow();
        QTest::mouseClick(child<QPushButton>(window.get(), "generate"), Qt::LeftButton);
        const QString shown = status(window.get());
        QVERIFY(QDir(blocked).removeRecursively());
        QCOMPARE(shown, QStringLiteral("水印生成失败，无法保存 WaterMarkd1200B5_r88.bmp"));
    }

    void launcherButtonShowsTheWindow()
    {
        ProgramGrop launcher;
        launcher.show();
        QTest::mouseClick(child<QPushButton>(&launcher, "pushButton_4"), Qt::LeftButton);
        waterMark *window = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<waterMark *>(top))
                window = found;
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowModality(), Qt::ApplicationModal);
        QPointer<waterMark> guard(window);
        window->close();
        QTRY_VERIFY(guard.isNull());
    }

    void languageChangeRestoresTheFormTexts()
    {
        auto window = openWindow();
        drag(child<QSlider>(window.get(), "wordAngel"), 45);
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(window.get(), &change);
        QCOMPARE(child<QLabel>(window.get(), "angel")->text(), QStringLiteral("偏转 0 度"));
        QCOMPARE(status(window.get()), QString());
    }
};

QTEST_MAIN(TestWaterMark)
#include "tst_watermark.moc"
