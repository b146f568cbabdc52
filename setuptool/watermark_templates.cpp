#include "watermark_templates.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace watermark_templates
{

const QVector<TemplatePage> &templatePages()
{
    static const QVector<TemplatePage> pages = {
        {"LR880/WaterMark/WaterMark1A4_r88.bmp", 4960, 7016, 600},
        {"LR880/WaterMark/WaterMark1B5_r88.bmp", 4300, 6070, 600},
        {"LR880/WaterMark/WaterMark1200A4_r88.bmp", 9920, 14032, 1200},
        {"LR880/WaterMark/WaterMark1200B5_r88.bmp", 8600, 12140, 1200},
        {"LR880N/WaterMark/WaterMark1A4_r88n.bmp", 4960, 7016, 600},
        {"LR880N/WaterMark/WaterMark1B5_r88n.bmp", 4300, 6070, 600},
        {"LR880N/WaterMark/WaterMark1200A4_r88n.bmp", 9920, 14032, 1200},
        {"LR880N/WaterMark/WaterMark1200B5_r88n.bmp", 8600, 12140, 1200},
    };
    return pages;
}

QImage blankTemplate(const TemplatePage &page)
{
    // Index 0 is paper white, index 1 toner black, as the printer's planes are.
    QImage image(page.width, page.height, QImage::Format_Mono);
    if (image.isNull())
        return image;
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    const int dotsPerMeter = qRound(page.dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

bool writeTemplates(const QString &root, QString *error)
{
    for (const TemplatePage &page : templatePages()) {
        const QString path = QDir(root).filePath(QString::fromLatin1(page.relativePath));
        const QImage image = blankTemplate(page);
        // Written through a save file so that an interrupted run never leaves
        // a truncated template behind.
        QSaveFile file(path);
        bool ok = !image.isNull() && QDir().mkpath(QFileInfo(path).absolutePath()) &&
                  file.open(QIODevice::WriteOnly);
        if (ok) {
            QImageWriter writer(&file, "bmp");
            ok = writer.write(image) && file.commit();
        }
        if (!ok) {
            if (error)
                *error = path;
            return false;
        }
    }
    return true;
}

} // namespace watermark_templates
