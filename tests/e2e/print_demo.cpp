// print_demo OUTDIR [--network] [--scale N] [FILE...]
//
// Prints documents (by default the bundled sample document) through the
// whole driver exactly as the end-to-end tests do: a private CUPS scheduler
// of this user, an LR880 (or LR880N) queue with the driver's PPD, CUPS's own
// rendering, rastercodec and the filter, and the printer emulator, which
// draws every page it receives. The page images are copied to OUTDIR.
// Needs no root; everything else lives in a temporary folder that is
// removed at the end.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "print_system.h"

using namespace e2e;

namespace
{

const char *stateName(int state)
{
    switch (state) {
    case kCompleted:
        return "completed";
    case kCanceled:
        return "canceled";
    case kAborted:
        return "aborted";
    default:
        return "not finished";
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s OUTDIR [--network] [--scale N] [FILE...]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    bool network = false;
    int scale = 1;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--network") == 0)
            network = true;
        else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc)
            scale = std::max(1, std::atoi(argv[++i]));
        else
            files.push_back(argv[i]);
    }
    if (files.empty())
        files.push_back(SAMPLE_PDF);

    const std::string missing = PrintSystem::missingTool();
    if (!missing.empty()) {
        std::fprintf(stderr, "print_demo: cannot run a CUPS scheduler here: %s\n", missing.c_str());
        return 1;
    }
    Programs programs;
    programs.rastersend = RASTERSEND_PATH;
    programs.rastersendNet = RASTERSEND_NET_PATH;
    programs.rastercodec = RASTERCODEC_PATH;
    programs.rastercodecNet = RASTERCODEC_NET_PATH;
    programs.emulator = OPLPRINTER_PATH;
    programs.ppdDir = PPD_DIR;
    programs.standinDir = STANDIN_DIR;

    PrintSystem system(programs);
    if (!system.start(scale)) {
        std::fprintf(stderr, "print_demo: %s\n", system.error().c_str());
        return 1;
    }
    const std::string queue = network ? "LR880N" : "LR880";
    int status = 0;
    for (const std::string &file : files) {
        std::printf("Printing %s on the %s queue ...\n", file.c_str(), queue.c_str());
        std::fflush(stdout);
        const int job = system.submit(queue, file);
        if (job <= 0) {
            std::fprintf(stderr, "print_demo: %s\n", system.error().c_str());
            return 1;
        }
        const int state = system.waitForJobEnd(job, std::chrono::seconds(300));
        std::printf("  job %s-%d %s\n", queue.c_str(), job, stateName(state));
        if (state != kCompleted) {
            std::fputs(system.diagnostics().c_str(), stderr);
            status = 1;
        }
    }

    mkdir(out.c_str(), 0755);
    int pages = 0;
    for (int n = 1; exists(system.pageImage(n)); ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03d.png", n);
        if (run("cp " + quote(system.pageImage(n)) + " " + quote(out + name)) == 0)
            ++pages;
    }
    run("cp " + quote(system.printerLog()) + " " + quote(out + "/printer.log"));
    const std::string model = network ? "LR880N" : "LR880";
    const std::string log = network ? "lr880n_print_log" : "lr880_print_log";
    run("cp " + quote(system.root() + "/" + model + "/" + log) + " " + quote(out + "/" + log));
    std::printf("%d page image(s) of what the printer received are in %s:\n", pages, out.c_str());
    for (int n = 1; n <= pages; ++n)
        std::printf("  %s/page-%03d.png\n", out.c_str(), n);
    std::printf("The printer's side of the conversation is in %s/printer.log,\n"
                "the driver's print log in %s/%s.\n",
                out.c_str(), out.c_str(), log.c_str());
    return pages > 0 ? status : 1;
}
