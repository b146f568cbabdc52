// rastersend / rastersend-net: the CUPS filter program. Parses nothing
// itself: it sets up standard error, the signal handlers and the real I/O,
// and hands the CUPS arguments to the job.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cups_io.h"
#include "printers_root.h"
#include "rastersend.h"

#ifdef KOLVEX_NETWORK_MODEL
static const kolvex::ModelConfig &kModel = kolvex::kNetModel;
#else
static const kolvex::ModelConfig &kModel = kolvex::kUsbModel;
#endif

namespace {

kolvex::Rastersend *g_job = nullptr;

// SIGTERM: CUPS cancels the job (or the printer connection is gone).
void cancel_job(int signum)
{
    if (g_job)
        g_job->cancel_job(signum);
    _exit(0);
}

void hold(int signum)
{
    std::fprintf(stderr, "[KOLVEX-LR880][rastersend]signal SIGCHLD int = %d\n", signum);
}

void continuei(int signum)
{
    std::fprintf(stderr, "[KOLVEX-LR880][rastersend]signal SIGCONT int = %d\n", signum);
}

void hangup(int signum)
{
    std::fprintf(stderr, "[KOLVEX-LR880][rastersend]signal SIGHUP int = %d\n", signum);
}

void pipeSig(int signum)
{
    std::fprintf(stderr, "[KOLVEX-LR880][rastersend]signal SIGPIPE int = %d\n", signum);
}

void install(int signum, void (*handler)(int), bool restart)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    sigaction(signum, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    if (!kModel.network)
        std::fputs("DEBUG:[KOLVEX-LR880][rastersend]set buffer of stderr null.\n", stderr);
    setvbuf(stderr, nullptr, _IONBF, 0);
    if (!kModel.network)
        std::fputs("DEBUG:[KOLVEX-LR880][rastersend]main() entry.\n", stderr);

    install(SIGPIPE, pipeSig, true);
    install(SIGCHLD, hold, true);
    install(SIGCONT, continuei, true);
    install(SIGHUP, hangup, true);
    // A second SIGTERM must be able to interrupt the first cancellation.
    struct sigaction term = {};
    term.sa_handler = cancel_job;
    sigemptyset(&term.sa_mask);
    term.sa_flags = SA_NODEFER;
    sigaction(SIGTERM, &term, nullptr);

    kolvex::FilterLog log(stderr, "DEBUG:[KOLVEX-LR880][rastersend]", !kModel.network);
    kolvex::CupsOplChannel channel;
    kolvex::RealClock clock;
    kolvex::RealSystemHooks system;
    kolvex::Rastersend job(kModel, kolvex::printersRoot(), {channel, clock, system}, log);
    g_job = &job;
    return job.run(argc, argv, std::getenv("PPD"));
}
