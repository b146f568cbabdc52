// Factories of the tool windows that the launcher opens besides the
// fingerprint manager. Each tool's own source file defines its factory; until
// a tool is built into the program its factory yields nullptr and the
// launcher's button opens nothing.
#pragma once

class QDialog;
class QWidget;

namespace setuptool
{

// The red margin dialog, run modally by the launcher; owned by the caller.
QDialog *createMarginAdjustment();
// The watermark window, shown application-modal by the launcher.
QWidget *createWaterMark();
// The network address window, shown application-modal by the launcher.
QWidget *createNetIpSet();

} // namespace setuptool
