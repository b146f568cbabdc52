// Stand-in factories, overridden by the definitions in the tools' own files.
#include "tool_dialogs.h"

namespace setuptool
{

__attribute__((weak)) QDialog *createMarginAdjustment()
{
    return nullptr;
}

__attribute__((weak)) QWidget *createWaterMark()
{
    return nullptr;
}

__attribute__((weak)) QWidget *createNetIpSet()
{
    return nullptr;
}

} // namespace setuptool
