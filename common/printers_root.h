// The one root under which the driver package keeps everything it uses at
// run time. Installed systems use /opt/kolvex/Printers; tests, demos and
// packaging checks move it with the environment variable KOLVEX_PRINTERS_ROOT.
#pragma once

#include <cstdlib>
#include <string>

namespace kolvex {

// Returns the root without a trailing slash.
inline std::string printersRoot()
{
    const char *env = std::getenv("KOLVEX_PRINTERS_ROOT");
    std::string root = (env && *env) ? env : KOLVEX_PRINTERS_DEFAULT_ROOT;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

// Joins a path relative to the root ("LR880/control/printerInfo_r88").
inline std::string printersPath(const std::string &relative)
{
    return printersRoot() + "/" + relative;
}

} // namespace kolvex
