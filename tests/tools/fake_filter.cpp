// A stand-in for a CUPS filter that talks to the printer the way the real
// one does: it writes OPL to standard output, drains it through libcups'
// side channel and reads replies through libcups' back channel (polling
// fd 3 itself first, since cupsBackChannelRead blocks past its time-out).
// What it does comes from FAKE_FILTER_SCRIPT, steps separated by "|":
//   send:TEXT    write TEXT to stdout and flush
//   pkg:N        write "RasterObject.Data#N=" and N pattern bytes
//   drain        cupsSideChannelDoRequest(DRAIN_OUTPUT), logs "drain:<status>"
//   read[:MS]    wait up to 1 s (or MS) for a reply, logs "reply:<text>" or "reply:none"
//   query:TEXT   send:TEXT, drain, read
//   bidi         asks GET_BIDI, logs "bidi:<status>:<value>"
//   state        asks GET_STATE, logs "state:<status>"
//   sleep:MS     sleeps
//   hang         waits for ever (for signal and time-out tests)
//   trap         SIGTERM then logs "got SIGTERM" and exits with status 3
//   stdin        logs "stdin:<what standard input holds>"
//   argv         logs "argv:" and the arguments joined by ","
//   env:NAME     logs "env:NAME=<value>" or "env:NAME unset"
//   exit:N       exits with status N
// Log lines go to standard error.
#include <cups/sidechannel.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

void logLine(const std::string &line)
{
    std::string l = line + "\n";
    ssize_t ignored = write(2, l.data(), l.size());
    (void)ignored;
}

void onTerm(int)
{
    static const char msg[] = "got SIGTERM\n";
    ssize_t ignored = write(2, msg, sizeof msg - 1);
    (void)ignored;
    _exit(3);
}

void send(const std::string &text)
{
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

void drain()
{
    char buf[512];
    int len = sizeof buf;
    cups_sc_status_t st = cupsSideChannelDoRequest(CUPS_SC_CMD_DRAIN_OUTPUT, buf, &len, 1.0);
    logLine("drain:" + std::to_string(static_cast<int>(st)));
}

void readReply(int waitMillis)
{
    struct pollfd p = {3, POLLIN, 0};
    if (poll(&p, 1, waitMillis) <= 0 || !(p.revents & POLLIN)) {
        logLine("reply:none");
        return;
    }
    char buf[513];
    ssize_t n = cupsBackChannelRead(buf, 512, 1.0);
    if (n <= 0) {
        logLine("reply:none");
        return;
    }
    logLine("reply:" + std::string(buf, static_cast<std::size_t>(n)));
}

} // namespace

int main(int argc, char **argv)
{
    const char *script = getenv("FAKE_FILTER_SCRIPT");
    std::string s = script ? script : "";
    std::size_t start = 0;
    while (start <= s.size() && !s.empty()) {
        std::size_t end = s.find('|', start);
        if (end == std::string::npos)
            end = s.size();
        const std::string step = s.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = step.find(':');
        const std::string op = step.substr(0, colon);
        const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);

        if (op == "send") {
            send(arg);
        } else if (op == "pkg") {
            const long n = std::atol(arg.c_str());
            std::string p = "RasterObject.Data#" + std::to_string(n) + "=";
            for (long i = 0; i < n; ++i)
                p.push_back(static_cast<char>(i % 251));
            send(p);
        } else if (op == "drain") {
            drain();
        } else if (op == "read") {
            readReply(arg.empty() ? 1000 : std::atoi(arg.c_str()));
        } else if (op == "query") {
            send(arg);
            drain();
            readReply(1000);
        } else if (op == "bidi") {
            char buf[8] = {0};
            int len = sizeof buf;
            cups_sc_status_t st = cupsSideChannelDoRequest(CUPS_SC_CMD_GET_BIDI, buf, &len, 1.0);
            logLine("bidi:" + std::to_string(static_cast<int>(st)) + ":" +
                    std::to_string(len > 0 ? buf[0] : -1));
        } else if (op == "state") {
            char buf[8] = {0};
            int len = sizeof buf;
            cups_sc_status_t st = cupsSideChannelDoRequest(CUPS_SC_CMD_GET_STATE, buf, &len, 1.0);
            logLine("state:" + std::to_string(static_cast<int>(st)));
        } else if (op == "sleep") {
            usleep(static_cast<useconds_t>(std::atol(arg.c_str())) * 1000u);
        } else if (op == "hang") {
            for (;;)
                pause();
        } else if (op == "trap") {
            signal(SIGTERM, onTerm);
        } else if (op == "stdin") {
            std::string all;
            char buf[4096];
            ssize_t n;
            while ((n = read(0, buf, sizeof buf)) > 0)
                all.append(buf, static_cast<std::size_t>(n));
            logLine("stdin:" + all);
        } else if (op == "argv") {
            std::string all;
            for (int i = 0; i < argc; ++i)
                all += (i ? "," : "") + std::string(argv[i]);
            logLine("argv:" + all);
        } else if (op == "env") {
            const char *v = getenv(arg.c_str());
            logLine(v ? "env:" + arg + "=" + v : "env:" + arg + " unset");
        } else if (op == "exit") {
            return std::atoi(arg.c_str());
        } else if (!op.empty()) {
            logLine("unknown step " + op);
            return 99;
        }
        if (end == s.size())
            break;
    }
    return 0;
}
