// setuptool: the launcher of the LR880's setting tools.
#include "programgrop.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char *argv[])
{
    // Locale-dependent conversions follow the desktop's own encoding.
    QTextCodec *systemCodec = QTextCodec::codecForName("System");
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    if (systemCodec)
        QTextCodec::setCodecForLocale(systemCodec);

    QApplication app(argc, argv);
    int status = 0;
    {
        ProgramGrop launcher(nullptr);
        launcher.show();
        status = app.exec();
    }
    return status;
}
