#include "monitorconfig.h"

#include "printers_root.h"

namespace
{

// Joins "<model>/control/<name><suffix>" under the printers root, read afresh
// each time so that a root moved by KOLVEX_PRINTERS_ROOT is followed.
QString controlFile(const MonitorConfig &config, const char *name)
{
    const QString relative = config.modelName + "/control/" + name + config.suffix;
    return QString::fromStdString(kolvex::printersPath(relative.toStdString()));
}

} // namespace

QString MonitorConfig::statusFilePath() const
{
    return controlFile(*this, "duplexFlagInfo");
}

QString MonitorConfig::jobInfoFilePath() const
{
    return controlFile(*this, "printerInfo");
}

MonitorConfig MonitorConfig::usb()
{
    MonitorConfig c;
    c.modelName = "LR880";
    c.suffix = "_r88";
    c.lockFilePath = "/tmp/lockfile_r88";
    c.windowTitle = QT_TRANSLATE_NOOP("LR990N", "LR880 USB状态监控");
    c.helpInitialText = "print";
    c.dialogSize = QSize(346, 284);
    c.printerImgGeometry = QRect(1, -1, 71, 61);
    c.printerHelpGeometry = QRect(78, 50, 261, 61);
    c.groupBoxGeometry = QRect(80, 110, 221, 121);
    c.label5Geometry = QRect(10, 100, 61, 16);
    c.valueLabelWidth = 111;
    c.silentDebug = false;
    c.showLockMessage = false;
    return c;
}

MonitorConfig MonitorConfig::network()
{
    MonitorConfig c;
    c.modelName = "LR880N";
    c.suffix = "_r88n";
    c.lockFilePath = "/tmp/lockfile_r88n";
    c.windowTitle = QT_TRANSLATE_NOOP("LR990N", "LR880N 网络状态监控");
    c.helpInitialText = "printer_help";
    c.dialogSize = QSize(347, 285);
    c.printerImgGeometry = QRect(1, 0, 71, 61);
    c.printerHelpGeometry = QRect(80, 50, 261, 61);
    c.groupBoxGeometry = QRect(80, 110, 211, 121);
    c.label5Geometry = QRect(10, 101, 61, 16);
    c.valueLabelWidth = 121;
    c.silentDebug = true;
    c.showLockMessage = true;
    return c;
}
