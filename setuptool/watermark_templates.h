// The blank watermark templates that setuptool draws the watermark text on.
// One 1-bit bitmap per model, paper size and resolution, at the page size the
// rasterizer renders (A4 4960 x 7016 and B5 4300 x 6070 at 600 dpi, twice that
// at 1200 dpi), white, with the resolution recorded in the file.
#pragma once

#include <QImage>
#include <QString>
#include <QVector>

namespace watermark_templates
{

struct TemplatePage {
    const char *relativePath; // below the printers root
    int width;
    int height;
    int dpi;
};

// The eight templates, USB model first, then the network model.
const QVector<TemplatePage> &templatePages();

// A white 1-bit image (palette white, black) of the page's size and resolution.
QImage blankTemplate(const TemplatePage &page);

// Writes every template below root, creating the folders. Returns false and
// names the file in *error at the first file that cannot be written.
bool writeTemplates(const QString &root, QString *error);

} // namespace watermark_templates
