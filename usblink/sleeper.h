// The seam for the dialogs' whole-second waits between printer polls. In the
// program a wait blocks the GUI thread for real; tests install a sleeper that
// only records the waits.
#pragma once

namespace usblink
{

class Sleeper
{
  public:
    virtual ~Sleeper() = default;
    virtual void sleepSeconds(int seconds) = 0;
};

// Blocks the calling thread through the installed sleeper (a real blocking
// sleep when none is installed).
void sleepSeconds(int seconds);

// Installs a sleeper (nullptr restores the real one) and returns the previous
// one. The caller keeps ownership. Tests only.
Sleeper *setSleeper(Sleeper *sleeper);

} // namespace usblink
