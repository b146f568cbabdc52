// What differs between the USB model's monitor (statusmon) and the network
// model's (statusmon-net). Both programs run the same window code; each main
// picks its model's configuration, chosen at build time.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

struct MonitorConfig {
    QString modelName;    // folder under the printers root: "LR880" or "LR880N"
    QString suffix;       // control-file suffix: "_r88" or "_r88n"
    QString lockFilePath; // single-instance lock, fixed in /tmp

    // Form differences; the .ui file holds the USB model's values.
    const char *windowTitle; // source text, translated in context "LR990N"
    const char *helpInitialText;
    QSize dialogSize;
    QRect printerImgGeometry;
    QRect printerHelpGeometry;
    QRect groupBoxGeometry;
    QRect label5Geometry;
    int valueLabelWidth;

    bool silentDebug;     // the network build keeps its file and code traces quiet
    bool showLockMessage; // the network build announces status code 2

    // Waiting for a system tray at start: rounds of trayWaitMs each. Tests
    // set the rounds to 0; the programs keep the defaults.
    int trayWaitRounds = 3;
    int trayWaitMs = 4000;

    // Absolute paths of the two control files under the current printers root.
    QString statusFilePath() const;  // duplexFlagInfo_r88 / _r88n
    QString jobInfoFilePath() const; // printerInfo_r88 / _r88n

    static MonitorConfig usb();
    static MonitorConfig network();
};
