// oplprinter: an emulated LR880N for tests and demos. It listens on a
// loopback TCP port as the network printer does for the CUPS socket backend
// (or reads the stream from standard input), answers the filter's queries by
// a scenario, prints each page as a PNG and logs the conversation.
#include "printer_session.h"
#include "scenario.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

using namespace oplprinter;

namespace
{

const char kUsage[] =
    "usage: oplprinter [--port N | --stdio] [--scenario FILE] [--out DIR] [--scale N] [--once]\n"
    "\n"
    "  --port N         listen on 127.0.0.1:N (default 9100; 0 picks a free port).\n"
    "                   The port is announced on standard output as\n"
    "                   \"oplprinter: listening on 127.0.0.1:N\".\n"
    "  --stdio          read one job from standard input, write replies to standard output\n"
    "  --scenario FILE  what the printer answers (format: see scenario.h; default: a ready\n"
    "                   printer)\n"
    "  --out DIR        where page-001.png ... and printer.log go (default: current folder;\n"
    "                   created if missing)\n"
    "  --scale N        shrink the page images N times (default 1: full size, 4960x7016\n"
    "                   at 600 dpi)\n"
    "  --once           exit after the first connection\n"
    "  --quiet          log to printer.log only, not to standard error\n"
    "\n"
    "Pages are numbered across connections. Stop it with SIGTERM or Ctrl-C.\n";

volatile sig_atomic_t gStop = 0;

void onStop(int)
{
    gStop = 1;
}

// Writes every byte or gives up (peer gone).
bool sendAll(int fd, const std::string &bytes, bool socket)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = socket ? send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                           : write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}

// A stream that writes to the log file and, unless quiet, to stderr.
class Tee : public std::streambuf
{
  public:
    Tee(std::streambuf *a, std::streambuf *b) : a_(a), b_(b) {}

  protected:
    int overflow(int c) override
    {
        if (c == EOF)
            return 0;
        if (a_)
            a_->sputc(static_cast<char>(c));
        if (b_)
            b_->sputc(static_cast<char>(c));
        return c;
    }
    int sync() override
    {
        if (a_)
            a_->pubsync();
        if (b_)
            b_->pubsync();
        return 0;
    }

  private:
    std::streambuf *a_, *b_;
};

// Serves one job: bytes from inFd, replies to outFd. Returns when the host
// closes its side or a stop is requested.
void serve(int inFd, int outFd, bool socket, PrinterSession &session)
{
    char buf[65536];
    bool open = true;
    // Replies leave at once, before a finished page is rendered: the filter
    // waits only a second for each.
    session.setReplySink([&](const std::string &reply) {
        if (open && !sendAll(outFd, reply, socket))
            open = false;
    });
    while (open && !gStop) {
        struct pollfd p = {inFd, POLLIN, 0};
        int r = poll(&p, 1, 50);
        if (r == 0) {
            // A quiet line: a filler is complete.
            session.idle();
        } else if (r > 0) {
            ssize_t n = read(inFd, buf, sizeof buf);
            if (n > 0)
                session.feed(buf, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                open = false;
        } else if (errno != EINTR) {
            open = false;
        }
    }
    session.finish();
    session.setReplySink(nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    int port = 9100;
    bool stdio = false, once = false, quiet = false;
    int scale = 1;
    std::string scenarioFile, outDir = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char *what) -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "oplprinter: " << a << " needs " << what << "\n" << kUsage;
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&](const char *what, int min, int max) {
            const std::string v = value(what);
            char *end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < min || n > max) {
                std::cerr << "oplprinter: bad " << a << " \"" << v << "\"\n";
                std::exit(2);
            }
            return static_cast<int>(n);
        };
        if (a == "--port")
            port = number("a port number", 0, 65535);
        else if (a == "--stdio")
            stdio = true;
        else if (a == "--scenario")
            scenarioFile = value("a file");
        else if (a == "--out")
            outDir = value("a folder");
        else if (a == "--scale")
            scale = number("a factor", 1, 64);
        else if (a == "--once")
            once = true;
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "oplprinter: unknown option " << a << "\n" << kUsage;
            return 2;
        }
    }

    Scenario scenario;
    if (!scenarioFile.empty()) {
        std::string error;
        if (!Scenario::load(scenarioFile, scenario, &error)) {
            std::cerr << "oplprinter: " << error << "\n";
            return 2;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    std::ofstream logFile(outDir + "/printer.log", std::ios::app);
    if (!logFile) {
        std::cerr << "oplprinter: cannot write " << outDir << "/printer.log\n";
        return 2;
    }
    Tee tee(logFile.rdbuf(), quiet ? nullptr : std::cerr.rdbuf());
    std::ostream log(&tee);

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    PrinterOptions options;
    options.outDir = outDir;
    options.scale = scale;
    int pages = 0;
    log << "# scenario:\n" << scenario.toText() << std::flush;

    if (stdio) {
        log << "== job from standard input" << std::endl;
        PrinterSession session(scenario, options, &log, &pages);
        serve(0, 1, false, session);
        log << "== end of job: " << session.printedPages().size() << " page(s) printed"
            << std::endl;
        return 0;
    }

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // the emulator never faces the network
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(listener, 4) != 0) {
        std::cerr << "oplprinter: cannot listen on 127.0.0.1:" << port << ": " << strerror(errno)
                  << "\n";
        return 1;
    }
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
    std::cout << "oplprinter: listening on 127.0.0.1:" << ntohs(addr.sin_port) << std::endl;

    int connection = 0;
    while (!gStop) {
        struct pollfd p = {listener, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connection;
        log << "== connection " << connection << std::endl;
        PrinterSession session(scenario, options, &log, &pages);
        serve(fd, fd, true, session);
        close(fd);
        log << "== end of connection " << connection << ": " << session.printedPages().size()
            << " page(s) printed" << std::endl;
        if (once)
            break;
    }
    close(listener);
    return 0;
}
