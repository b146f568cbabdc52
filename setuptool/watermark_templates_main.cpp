// watermark_templates ROOT: writes the blank watermark templates of both
// printer models below ROOT (LR880/WaterMark/..., LR880N/WaterMark/...).
// Run by the build; the install step copies the files under the printers root.
#include "watermark_templates.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        err << "usage: watermark_templates ROOT\n";
        return 2;
    }
    QString failed;
    if (!watermark_templates::writeTemplates(args.at(1), &failed)) {
        err << "watermark_templates: cannot write " << failed << "\n";
        return 1;
    }
    return 0;
}
