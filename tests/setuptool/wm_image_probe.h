// Measures the ink on a 1-bit page: where the black pixels are, how many, and
// their centre of mass. Used by the watermark tests to check drawn bitmaps.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>

struct InkProbe {
    QRect box;        // bounding box of the black pixels; null when none
    qint64 count = 0; // number of black pixels
    QPointF centroid; // their mean position
};

// Black is the darker palette entry of the image.
inline InkProbe probeInk(const QImage &image)
{
    InkProbe probe;
    if (image.format() != QImage::Format_Mono || image.colorCount() < 2)
        return probe;
    const int black = qGray(image.color(0)) < qGray(image.color(1)) ? 0 : 1;
    const int bytesPerLine = (image.width() + 7) / 8;
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    double sumX = 0, sumY = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *row = image.constScanLine(y);
        for (int b = 0; b < bytesPerLine; ++b) {
            const uchar byte = black ? row[b] : uchar(~row[b]);
            if (!byte)
                continue;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = b * 8 + bit;
                if (x >= image.width() || !(byte & (0x80 >> bit)))
                    continue;
                ++probe.count;
                sumX += x;
                sumY += y;
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    if (probe.count) {
        probe.box = QRect(QPoint(left, top), QPoint(right, bottom));
        probe.centroid = QPointF(sumX / probe.count, sumY / probe.count);
    }
    return probe;
}
