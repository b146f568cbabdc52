// The monitor's message for each printer status code it reports.
#pragma once

#include <QString>

// How a message looks: 1 black picture, tray "Ready", window up for 4 s;
// 2 yellow picture, tray unchanged, 14 s; 3 red picture, tray "Error", 14 s.
enum MessageKind { KindInfo = 1, KindWarning = 2, KindError = 3 };

// One row of the code table. The texts are source texts in translation
// context "LR990N"; text is null for the paper-feed rows, whose text names the
// job's paper size and is put together by the window.
struct StatusMessage {
    int code;
    int kind;
    const char *title;
    const char *text;
};

// Status codes that drive manual duplex and the printer lock rather than a
// plain message.
enum HandshakeCode {
    CodePrinterLocked = 2,
    CodePrinterUnlocked = 3,
    CodeTurnShortEdge = 4444,
    CodeTurnLongEdge = 4477,
    CodeSecondSide = 7777,
};

// Returns the row for code, or nullptr for codes the monitor stays silent
// about (and for 2 and 3, which show nothing in the USB build).
const StatusMessage *findStatusMessage(int code);

// The message the network build shows for status code 2.
const StatusMessage &printerLockedMessage();

// Text of the paper-feed failure (codes 3019, 3020) for the given paper size,
// each piece translated in context "LR990N".
QString paperFeedText(const QString &paperSize);
