#include "watermark.h"
#include "ui_watermark.h"

#include "printers_root.h"
#include "tool_dialogs.h"

#include <QBrush>
#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QSaveFile>
#include <QTransform>

#include <algorithm>
#include <cstring>

namespace
{

// The tile the watermark glyphs are filled with: three black dots in a 4 x 4
// cell, so that the text prints as a light screen rather than solid toner.
const char *const kDotTexture = ":/new/prefix1/wm_dot.png";

// The box the text is laid out in, before the transform places it.
const QRect kTextBox(0, 0, 2500, 1000);

// Upper bound of the font's pixel size: far beyond any page, but a number
// that the font engine and an int can hold.
const double kMaxPixelSize = 1.0e7;

struct PageFiles {
    const char *templateName;
    const char *outputName;
};

const PageFiles kPageFiles[waterMark::PageCount] = {
    {"LR880/WaterMark/WaterMark1A4_r88.bmp", "LR880/WaterMark/WaterMarkdA4_r88.bmp"},
    {"LR880/WaterMark/WaterMark1B5_r88.bmp", "LR880/WaterMark/WaterMarkdB5_r88.bmp"},
    {"LR880/WaterMark/WaterMark1200A4_r88.bmp", "LR880/WaterMark/WaterMarkd1200A4_r88.bmp"},
    {"LR880/WaterMark/WaterMark1200B5_r88.bmp", "LR880/WaterMark/WaterMarkd1200B5_r88.bmp"},
    {"LR880N/WaterMark/WaterMark1A4_r88n.bmp", "LR880N/WaterMark/WaterMarkdA4_r88n.bmp"},
    {"LR880N/WaterMark/WaterMark1B5_r88n.bmp", "LR880N/WaterMark/WaterMarkdB5_r88n.bmp"},
    {"LR880N/WaterMark/WaterMark1200A4_r88n.bmp", "LR880N/WaterMark/WaterMarkd1200A4_r88n.bmp"},
    {"LR880N/WaterMark/WaterMark1200B5_r88n.bmp", "LR880N/WaterMark/WaterMarkd1200B5_r88n.bmp"},
};

QString rootPath(const char *relative)
{
    return QString::fromStdString(kolvex::printersPath(relative));
}

bool isMono(const QImage &image)
{
    return image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB;
}

// The palette of a 1-bit image as two grey levels (a missing entry counts as
// white for index 0 and black for index 1).
void monoGreys(const QImage &mono, int grey[2])
{
    const QVector<QRgb> table = mono.colorTable();
    grey[0] = table.size() > 0 ? qGray(table.at(0)) : 255;
    grey[1] = table.size() > 1 ? qGray(table.at(1)) : 0;
}

// The byte of a 1-bit row as eight palette indices, leftmost pixel first.
inline void unpackByte(uchar byte, bool lsbFirst, int index[8])
{
    for (int bit = 0; bit < 8; ++bit)
        index[bit] = lsbFirst ? (byte >> bit) & 1 : (byte >> (7 - bit)) & 1;
}

// The columns [x0, x1) of a 1-bit image widened to whole bytes.
QRect byteAligned(const QRect &area)
{
    const int left = area.x() & ~7;
    const int right = (area.x() + area.width() + 7) & ~7;
    return QRect(left, area.y(), right - left, area.height());
}

// The area of a 1-bit image as 8-bit grey, which the painter can draw on
// (it cannot draw on 1-bit images). The area must be byte-aligned (its
// right edge may pass the image's by the padding bits of the last byte).
QImage monoAreaToGrey(const QImage &mono, const QRect &area)
{
    QImage grey(area.size(), QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    int level[2];
    monoGreys(mono, level);
    const bool lsbFirst = mono.format() == QImage::Format_MonoLSB;
    // Eight grey pixels for every value of a byte.
    uchar table[256][8];
    for (int value = 0; value < 256; ++value) {
        int index[8];
        unpackByte(uchar(value), lsbFirst, index);
        for (int bit = 0; bit < 8; ++bit)
            table[value][bit] = uchar(level[index[bit]]);
    }
    const int firstByte = area.x() / 8;
    const int bytes = area.width() / 8;
    for (int y = 0; y < area.height(); ++y) {
        const uchar *src = mono.constScanLine(area.y() + y) + firstByte;
        uchar *dst = grey.scanLine(y);
        for (int b = 0; b < bytes; ++b)
            std::memcpy(dst + 8 * b, table[src[b]], 8);
    }
    return grey;
}

// Writes the grey area back into the 1-bit image: each pixel takes the
// darker palette entry when it is darker than mid-grey, the lighter otherwise.
// Padding bits past the image's width keep their value.
void greyAreaToMono(const QImage &grey, const QRect &area, QImage &mono)
{
    int level[2];
    monoGreys(mono, level);
    const int dark = level[0] <= level[1] ? 0 : 1;
    const bool lsbFirst = mono.format() == QImage::Format_MonoLSB;
    const int firstByte = area.x() / 8;
    const int bytes = area.width() / 8;
    // Bits of the last byte that lie on the page; the rest is row padding.
    const int lastPixels = qMin(8, mono.width() - (area.x() + 8 * (bytes - 1)));
    uchar lastValid = 0;
    for (int bit = 0; bit < lastPixels; ++bit)
        lastValid |= lsbFirst ? uchar(1u << bit) : uchar(0x80u >> bit);
    const quint64 allLight = Q_UINT64_C(0x8080808080808080);
    for (int y = 0; y < area.height(); ++y) {
        const uchar *src = grey.constScanLine(y);
        uchar *dst = mono.scanLine(area.y() + y) + firstByte;
        for (int b = 0; b < bytes; ++b) {
            // Most of the text box is paper: eight light pixels at once.
            quint64 eight;
            std::memcpy(&eight, src + 8 * b, 8);
            uchar darkBits = 0;
            if ((eight & allLight) != allLight) {
                for (int bit = 0; bit < 8; ++bit)
                    if (src[8 * b + bit] < 128)
                        darkBits |= lsbFirst ? uchar(1u << bit) : uchar(0x80u >> bit);
            }
            const uchar value = dark ? darkBits : uchar(~darkBits);
            const uchar valid = (b == bytes - 1) ? lastValid : uchar(0xFF);
            dst[b] = uchar((dst[b] & ~valid) | (value & valid));
        }
    }
}

// A small picture of a page for the preview label, fitted into bounds. A
// 1-bit page is averaged box by box straight from its bits (white bytes
// skipped), which is far cheaper than converting the whole page to colour.
QImage previewOf(const QImage &page, const QSize &bounds)
{
    if (page.isNull() || bounds.isEmpty())
        return QImage();
    if (!isMono(page))
        return page.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);

    const QSize size = page.size().scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const int w = size.width(), h = size.height();
    int level[2];
    monoGreys(page, level);
    const int blackIndex = level[0] <= level[1] ? 0 : 1;
    const bool lsbFirst = page.format() == QImage::Format_MonoLSB;
    const uchar whiteByte = blackIndex ? 0x00 : 0xFF;

    QVector<int> column(page.width());
    QVector<qint64> cellColumns(w, 0);
    for (int x = 0; x < page.width(); ++x) {
        column[x] = int(qint64(x) * w / page.width());
        ++cellColumns[column[x]];
    }
    QVector<qint64> black(qint64(w) * h, 0);
    QVector<qint64> cellRows(h, 0);
    const int bytes = (page.width() + 7) / 8;
    for (int y = 0; y < page.height(); ++y) {
        const int row = int(qint64(y) * h / page.height());
        ++cellRows[row];
        const uchar *src = page.constScanLine(y);
        qint64 *cells = black.data() + qint64(row) * w;
        for (int b = 0; b < bytes; ++b) {
            if (src[b] == whiteByte)
                continue;
            int index[8];
            unpackByte(src[b], lsbFirst, index);
            for (int bit = 0; bit < 8 && 8 * b + bit < page.width(); ++bit)
                if (index[bit] == blackIndex)
                    ++cells[column[8 * b + bit]];
        }
    }
    QImage preview(size, QImage::Format_Grayscale8);
    if (preview.isNull())
        return preview;
    for (int row = 0; row < h; ++row) {
        uchar *dst = preview.scanLine(row);
        for (int col = 0; col < w; ++col) {
            const qint64 total = qMax<qint64>(1, cellColumns[col] * cellRows[row]);
            const qint64 dark = black[qint64(row) * w + col];
            dst[col] =
                uchar((dark * level[blackIndex] + (total - dark) * level[1 - blackIndex]) / total);
        }
    }
    return preview;
}

void drawText(QImage &canvas, const QTransform &transform, const QPen &pen, const QFont &font,
              const QString &text)
{
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(pen);
    painter.setFont(font);
    painter.setTransform(transform);
    painter.drawText(kTextBox, Qt::AlignHCenter | Qt::AlignVCenter, text);
}

} // namespace

QWidget *setuptool::createWaterMark()
{
    return new waterMark(nullptr);
}

waterMark::waterMark(QWidget *parent) : QWidget(parent), ui(new Ui::waterMark)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    setFixedSize(730, 650);
    for (int page = 0; page < PageCount; ++page) {
        templatePaths[page] = templatePath(Page(page));
        outputPaths[page] = outputPath(Page(page));
    }

    ui->statusBar->setText(QStringLiteral("请输入水印文字"));
    templatesLoaded = showPic(templatePaths[UsbA4]);
    if (!templatesLoaded)
        ui->statusBar->setText(QStringLiteral("水印程序出错"));
    else if (!QImageReader(templatePaths[UsbA4]).size().isValid())
        ui->statusBar->setText(
            QStringLiteral("缺少水印模板 %1").arg(QFileInfo(templatePaths[UsbA4]).fileName()));
    else
        ui->statusBar->setText(QStringLiteral("请输入水印文字"));

    QStringList families = QFontDatabase().families();
    families << QStringLiteral("宋体") << QStringLiteral("隶书") << QStringLiteral("仿宋")
             << QStringLiteral("楷体");
    ui->wordFront->addItems(families);
    ui->wordFront->setCurrentIndex(0);

    ui->wordAngel->setMaximum(360);
    ui->wordAngel->setValue(0);
    ui->wordSize->setRange(1, 10);
    ui->wordSize->setValue(2);
    wordAngle = 0.0;
    wordSize = 2;
}

waterMark::~waterMark()
{
    delete ui;
}

QString waterMark::templatePath(Page page)
{
    return rootPath(kPageFiles[page].templateName);
}

QString waterMark::outputPath(Page page)
{
    return rootPath(kPageFiles[page].outputName);
}

bool waterMark::showPic(QString &path)
{
    if (path.isEmpty())
        return false;

    // Only the reference page is shown; of the others the size is enough,
    // which the reader takes from the file header.
    const QImage reference(path);
    if (reference.isNull())
        qWarning() << "watermark template not readable:" << path;
    QSize sizes[PageCount];
    sizes[UsbA4] = reference.size();
    for (int page = UsbB5; page < PageCount; ++page) {
        sizes[page] = QImageReader(templatePaths[page]).size();
        if (!sizes[page].isValid()) {
            qWarning() << "watermark template not readable:" << templatePaths[page];
            sizes[page] = QSize(0, 0);
        }
    }

    if (!reference.isNull()) {
        ui->labelImage->setPixmap(QPixmap::fromImage(previewOf(reference, QSize(800, 600))));
        ui->labelImage->setScaledContents(true);
        ui->labelImage->adjustSize();
    }

    ui->horizontalSlider->setRange(0, sizes[UsbA4].width());
    ui->verticalSlider->setRange(0, sizes[UsbA4].height());
    for (int page = 0; page < PageCount; ++page) {
        posX[page] = sizes[page].width() / 2;
        posY[page] = sizes[page].height() / 2;
    }
    ui->horizontalSlider->setValue(posX[UsbA4]);
    ui->verticalSlider->setValue(posY[UsbA4]);
    return true;
}

QImage waterMark::imageWater(const QString &templateFile, int x, int y)
{
    // The text of every page is sized relative to the reference page, whose
    // text centre is the horizontal slider; it is kept at least 1 so that a
    // slider at the left edge does not divide by zero.
    const int hx = std::max(1, posX[UsbA4]);
    const double r = (x == posX[UsbA4]) ? 1.0 : double(x) / hx;
    const bool reference = (r == 1.0);

    QImage image(templateFile);
    if (image.isNull()) {
        qWarning() << "watermark template not readable:" << templateFile;
        return image;
    }
    ui->generateBar->setValue(reference ? 0 : 25);

    QBrush brush(Qt::black);
    brush.setTexture(QPixmap(QString::fromLatin1(kDotTexture)));
    const QPen pen(brush, 44, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    ui->generateBar->setValue(reference ? 5 : 30);

    QFont font(ui->wordFront->currentText());
    font.setPixelSize(int(std::clamp(wordSize * 100 * r, 1.0, kMaxPixelSize)));
    font.setWeight(wordSize);
    ui->generateBar->setValue(reference ? 10 : 35);

    // The box's centre goes to (x, y); rotation and scale turn about it.
    QTransform transform;
    transform.translate(x, y);
    transform.rotate(wordAngle);
    transform.scale(wordSize, wordSize);
    transform.translate(-kTextBox.center().x(), -kTextBox.center().y());
    ui->generateBar->setValue(reference ? 15 : 40);

    const QString text = ui->textWater->text();
    if (!text.isEmpty()) {
        if (isMono(image)) {
            // A 1-bit page is painted through a grey copy of the part the
            // text box covers (the text is clipped to the box).
            const QRect area = byteAligned(
                transform.mapRect(QRectF(kTextBox)).toAlignedRect().adjusted(-2, -2, 2, 2) &
                image.rect());
            if (!area.isEmpty()) {
                QImage grey = monoAreaToGrey(image, area);
                if (grey.isNull()) {
                    qWarning() << "no memory to draw the watermark on" << templateFile;
                    return QImage();
                }
                drawText(grey, transform * QTransform::fromTranslate(-area.x(), -area.y()), pen,
                         font, text);
                greyAreaToMono(grey, area, image);
            }
        } else if (image.format() == QImage::Format_Indexed8) {
            QImage canvas = image.convertToFormat(QImage::Format_RGB32);
            drawText(canvas, transform, pen, font, text);
            image = canvas.convertToFormat(QImage::Format_Indexed8, image.colorTable(),
                                           Qt::ThresholdDither);
        } else {
            drawText(image, transform, pen, font, text);
        }
    }
    ui->generateBar->setValue(reference ? 20 : 45);
    return image;
}

bool waterMark::writeFile(const QString &path, QImage &image)
{
    if (image.isNull())
        return false;
    // The rasterizer may read the bitmap at any time: the old file stays in
    // place until the new one is complete.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "cannot write watermark" << path << file.errorString();
        return false;
    }
    QImageWriter writer(&file, QFileInfo(path).suffix().toLatin1());
    if (!writer.write(image) || !file.commit()) {
        qWarning() << "cannot write watermark" << path << writer.errorString()
                   << file.errorString();
        return false;
    }
    return true;
}

void waterMark::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void waterMark::on_wordSize_sliderMoved(int position)
{
    ui->generateBar->setValue(0);
    wordSize = position;
}

void waterMark::on_wordAngel_sliderMoved(int position)
{
    ui->generateBar->setValue(0);
    wordAngle = position;
    ui->angel->setText(QStringLiteral("偏转 %1 度").arg(position));
}

void waterMark::on_horizontalSlider_sliderMoved(int position)
{
    ui->generateBar->setValue(0);
    posX[UsbA4] = position;
}

void waterMark::on_verticalSlider_sliderMoved(int position)
{
    ui->generateBar->setValue(0);
    posY[UsbA4] = position;
}

void waterMark::showInPreview(const QImage &image)
{
    // Scaled once here rather than by the label on every repaint of a page
    // of some 35 million pixels.
    ui->labelImage->setPixmap(QPixmap::fromImage(previewOf(image, ui->labelImage->size())));
    ui->labelImage->setScaledContents(true);
}

void waterMark::on_viewWater_clicked()
{
    ui->generateBar->setValue(0);
    if (!templatesLoaded) {
        ui->statusBar->setText(QStringLiteral("图片未载入"));
        ui->generateBar->setValue(100);
        return;
    }
    const QImage image = imageWater(templatePaths[UsbA4], posX[UsbA4], posY[UsbA4]);
    if (image.isNull()) {
        ui->statusBar->setText(
            QStringLiteral("缺少水印模板 %1").arg(QFileInfo(templatePaths[UsbA4]).fileName()));
        ui->generateBar->setValue(100);
        return;
    }
    ui->generateBar->setValue(90);
    showInPreview(image);
    ui->generateBar->setValue(99);
    ui->generateBar->setValue(100);
    ui->statusBar->setText(QStringLiteral("预览水印"));
}

void waterMark::writeSet(Page first, int firstX, int firstY)
{
    QStringList missing;
    QStringList unsaved;
    auto draw = [&](int page, int x, int y) {
        QImage image = imageWater(templatePaths[page], x, y);
        if (image.isNull())
            missing << QFileInfo(templatePaths[page]).fileName();
        return image;
    };
    auto save = [&](int page, QImage &image) {
        if (!image.isNull() && !writeFile(outputPaths[page], image))
            unsaved << QFileInfo(outputPaths[page]).fileName();
    };

    ui->generateBar->setValue(0);
    const int a4 = first, b5 = first + 1, a4_1200 = first + 2, b5_1200 = first + 3;
    QImage pageA = draw(a4, firstX, firstY);
    QImage pageB = draw(b5, posX[b5], posY[b5]);
    ui->generateBar->setValue(50);
    if (!pageA.isNull())
        showInPreview(pageA);
    ui->generateBar->setValue(60);
    save(a4, pageA);
    ui->generateBar->setValue(70);
    save(b5, pageB);
    ui->generateBar->setValue(80);
    pageA = QImage();
    pageB = QImage();
    QImage pageC = draw(a4_1200, posX[a4_1200], posY[a4_1200]);
    ui->generateBar->setValue(90);
    save(a4_1200, pageC);
    pageC = QImage();
    QImage pageD = draw(b5_1200, posX[b5_1200], posY[b5_1200]);
    save(b5_1200, pageD);
    ui->generateBar->setValue(95);

    // A set with a page missing is of no use to the rasterizer: say which.
    if (!missing.isEmpty())
        ui->statusBar->setText(QStringLiteral("水印生成失败，缺少水印模板 %1")
                                   .arg(missing.join(QStringLiteral("、"))));
    else if (!unsaved.isEmpty())
        ui->statusBar->setText(
            QStringLiteral("水印生成失败，无法保存 %1").arg(unsaved.join(QStringLiteral("、"))));
    else
        ui->statusBar->setText(QStringLiteral("水印生成成功！"));
    ui->generateBar->setValue(100);
}

void waterMark::on_generate_clicked()
{
    if (!templatesLoaded) {
        ui->statusBar->setText(QStringLiteral("图片未载入"));
        return;
    }
    writeSet(UsbA4, posX[UsbA4], posY[UsbA4]);
}

void waterMark::on_generate_2_clicked()
{
    if (!templatesLoaded) {
        ui->statusBar->setText(QStringLiteral("图片未载入"));
        return;
    }
    writeSet(NetA4, posX[NetA4], posY[NetA4]);
}
