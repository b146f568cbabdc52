#include "print_system.h"

#include <cups/cups.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

namespace e2e
{


bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

namespace
{

const char *const kCupsdPaths[] = {"/usr/sbin/cupsd", "/usr/local/sbin/cupsd"};
const char *const kStockServerBin = "/usr/lib/cups";

std::string cupsdPath()
{
    for (const char *p : kCupsdPaths)
        if (access(p, X_OK) == 0)
            return p;
    return "";
}

// A free loopback port (the kernel's pick, released again at once).
int freePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool canConnect(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

pid_t spawn(const std::vector<std::string> &args, const std::string &out, const std::string &err)
{
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (std::string &s : copy)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Ends a process we started: SIGTERM, then SIGKILL after ten seconds.
void stop(pid_t &pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status;
    bool gone = waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                          std::chrono::milliseconds(10000));
    if (!gone) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

// The last `lines` lines of a text.
std::string tail(const std::string &text, size_t lines)
{
    size_t pos = text.size();
    for (size_t i = 0; i <= lines; ++i) {
        if (pos == 0)
            return text;
        pos = text.rfind('\n', pos - 1);
        if (pos == std::string::npos)
            return text;
    }
    return text.substr(pos + 1);
}

} // namespace

PrintSystem::PrintSystem(Programs programs) : programs_(std::move(programs))
{
    // Short on purpose: page paths must fit the hand-off's 70-byte slots.
    char tmpl[] = "/tmp/kve2e-XXXXXX";
    if (mkdtemp(tmpl)) {
        dir_ = tmpl;
        // The scheduler runs filters as its own user: they must reach the folder.
        chmod(dir_.c_str(), 0755);
    }
    root_ = dir_ + "/r";
    pagesDir_ = dir_ + "/pages";
}

PrintSystem::~PrintSystem()
{
    stopAll();
    if (!dir_.empty() && getenv("KOLVEX_E2E_KEEP") == nullptr)
        run("rm -rf " + quote(dir_));
}

std::string PrintSystem::missingTool()
{
    if (cupsdPath().empty())
        return "cupsd is not installed (Debian package cups)";
    for (const char *tool : {"lp", "lpadmin", "lpstat", "cancel"})
        if (run(std::string("command -v ") + tool) != 0)
            return std::string(tool) + " is not installed (Debian package cups-client)";
    for (const char *filter : {"gstoraster", "pdftopdf", "texttopdf"})
        if (!exists(std::string(kStockServerBin) + "/filter/" + filter))
            return std::string(filter) + " is not installed (Debian package cups-filters)";
    if (run("command -v gs") != 0)
        return "ghostscript is not installed";
    return "";
}

bool PrintSystem::start(int emulatorScale, const std::string &scenario)
{
    if (dir_.empty()) {
        error_ = "cannot make a temporary folder";
        return false;
    }
    return layOutRoot() && makeServerBin() && startEmulator(emulatorScale, scenario) &&
           writeConfig() && startScheduler() && addQueues();
}

bool PrintSystem::layOutRoot()
{
    // As the package lays it out: folders everyone may write, the shared
    // control files and logs 0666, the stand-in programs.
    const char *dirs[] = {"",
                          "/LR880",
                          "/LR880/control",
                          "/LR880/WaterMark",
                          "/LR880N",
                          "/LR880N/control",
                          "/LR880N/WaterMark",
                          "/tmp",
                          "/tmp/printfiles",
                          "/tmp/printfiles_net"};
    for (const char *d : dirs) {
        const std::string p = root_ + d;
        if (mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
            error_ = "cannot make " + p;
            return false;
        }
        chmod(p.c_str(), 0777);
    }
    const char *files[] = {"LR880/control/printerInfo_r88",    "LR880/control/duplexFlagInfo_r88",
                           "LR880/control/PrinterState_r88",   "LR880/lr880_print_log",
                           "LR880N/control/printerInfo_r88n",  "LR880N/control/duplexFlagInfo_r88n",
                           "LR880N/control/PrinterState_r88n", "LR880N/control/jobid_r88n",
                           "LR880N/lr880n_print_log"};
    for (const char *f : files) {
        const std::string p = root_ + "/" + f;
        writeFile(p, "");
        chmod(p.c_str(), 0666);
    }
    const std::string s = programs_.standinDir;
    return run("install -m 755 " + quote(s + "/print_log_summarize.sh") + " " +
                   quote(root_ + "/LR880/lr880_print_log_summarize") + " && install -m 755 " +
                   quote(s + "/print_log_summarize.sh") + " " +
                   quote(root_ + "/LR880N/lr880n_print_log_summarize") + " && install -m 755 " +
                   quote(s + "/lr880n_cancel_job.sh") + " " +
                   quote(root_ + "/LR880N/lr880n_cancel_job"),
               &error_) == 0;
}

bool PrintSystem::makeServerBin()
{
    // The stock programs by link; our filters copied with mode 0755 (a
    // scheduler running as root refuses filters that are not root-owned or
    // that others may write).
    const std::string sb = dir_ + "/sb";
    std::string cmd = "mkdir -p " + quote(sb + "/filter") + " && chmod 755 " + quote(sb) + " " +
                      quote(sb + "/filter");
    for (const char *x : {"backend", "cgi-bin", "daemon", "monitor", "notifier", "driver"})
        cmd += std::string(" && ln -s ") + kStockServerBin + "/" + x + " " + quote(sb + "/" + x);
    cmd += std::string(" && for f in ") + kStockServerBin + "/filter/*; do ln -s \"$f\" " +
           quote(sb + "/filter/") + "; done";
    for (const std::string &f : {programs_.rastersend, programs_.rastersendNet,
                                 programs_.rastercodec, programs_.rastercodecNet})
        cmd += " && install -m 755 " + quote(f) + " " + quote(sb + "/filter/");
    return run(cmd, &error_) == 0;
}

// Sanitizer options may name a suppressions file in the source tree, which
// the scheduler's user may not be allowed to read (a sanitizer that cannot
// read it stops the program): such a file is copied into our folder.
std::string PrintSystem::readableByFilters(const std::string &options)
{
    const std::string key = "suppressions=";
    const size_t at = options.find(key);
    if (at == std::string::npos)
        return options;
    const size_t start = at + key.size();
    const size_t end = options.find(':', start);
    const std::string file = options.substr(start, end == std::string::npos ? end : end - start);
    const std::string copy = dir_ + "/sanitizer-" + std::to_string(++copies_) + ".supp";
    writeFile(copy, readFile(file));
    chmod(copy.c_str(), 0644);
    return options.substr(0, start) + copy +
           (end == std::string::npos ? std::string() : options.substr(end));
}

bool PrintSystem::writeConfig()
{
    for (const char *d : {"/etc", "/log", "/state", "/cache", "/spool", "/tmp"})
        mkdir((dir_ + d).c_str(), 0755);
    chmod((dir_ + "/tmp").c_str(), 01777);
    port_ = freePort();
    if (port_ == 0) {
        error_ = "no free port";
        return false;
    }
    std::ostringstream files;
    files << "ServerRoot " << dir_ << "/etc\n"
          << "StateDir " << dir_ << "/state\n"
          << "CacheDir " << dir_ << "/cache\n"
          << "RequestRoot " << dir_ << "/spool\n"
          << "TempDir " << dir_ << "/tmp\n"
          << "AccessLog " << dir_ << "/log/access_log\n"
          << "ErrorLog " << dir_ << "/log/error_log\n"
          << "PageLog " << dir_ << "/log/page_log\n"
          << "ServerBin " << dir_ << "/sb\n"
          << "Printcap " << dir_ << "/printcap\n"
          << "FileDevice yes\n"
          << "SetEnv KOLVEX_PRINTERS_ROOT " << root_ << "\n";
    // A sanitizer build's filters run under the scheduler, which passes on
    // only what it is told to: give them the test's sanitizer settings
    // (leak suppressions for the system libraries, above all).
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        const char *value = getenv(name);
        if (value && *value && !std::strchr(value, '\n'))
            files << "SetEnv " << name << " " << readableByFilters(value) << "\n";
    }
    if (geteuid() != 0) {
        // An ordinary user's scheduler runs everything as that user.
        const passwd *pw = getpwuid(geteuid());
        const group *gr = getgrgid(getegid());
        if (!pw || !gr) {
            error_ = "cannot name the current user and group";
            return false;
        }
        files << "User " << pw->pw_name << "\nGroup " << gr->gr_name << "\nSystemGroup "
              << gr->gr_name << "\n";
    }
    writeFile(dir_ + "/etc/cups-files.conf", files.str());
    std::ostringstream conf;
    conf << "Listen 127.0.0.1:" << port_ << "\n"
         << "Listen " << dir_ << "/sock\n"
         << "Browsing Off\nDefaultAuthType None\nLogLevel debug\nWebInterface No\n"
         << "ErrorPolicy abort-job\nPreserveJobHistory Yes\nMaxLogSize 0\n"
         << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    writeFile(dir_ + "/etc/cupsd.conf", conf.str());
    return true;
}

bool PrintSystem::startEmulator(int scale, const std::string &scenario)
{
    std::vector<std::string> args = {
        programs_.emulator,    "--port", "0", "--out", pagesDir_, "--scale",
        std::to_string(scale), "--quiet"};
    if (!scenario.empty()) {
        writeFile(dir_ + "/printer.scn", scenario);
        args.push_back("--scenario");
        args.push_back(dir_ + "/printer.scn");
    }
    emulator_ = spawn(args, dir_ + "/emulator.out", dir_ + "/emulator.err");
    if (emulator_ <= 0) {
        error_ = "cannot start " + programs_.emulator;
        return false;
    }
    const std::string marker = "listening on 127.0.0.1:";
    waitUntil([&] { return readFile(dir_ + "/emulator.out").find(marker) != std::string::npos; },
              std::chrono::seconds(10));
    const std::string out = readFile(dir_ + "/emulator.out");
    const size_t at = out.find(marker);
    if (at == std::string::npos) {
        error_ = "the emulator did not start: " + out + readFile(dir_ + "/emulator.err");
        return false;
    }
    emulatorPort_ = std::atoi(out.c_str() + at + marker.size());
    return emulatorPort_ > 0;
}

bool PrintSystem::startScheduler()
{
    cupsd_ = spawn(
        {cupsdPath(), "-f", "-c", dir_ + "/etc/cupsd.conf", "-s", dir_ + "/etc/cups-files.conf"},
        dir_ + "/cupsd.out", dir_ + "/cupsd.err");
    if (cupsd_ <= 0 || !waitUntil([&] { return canConnect(port_); }, std::chrono::seconds(15))) {
        error_ = "the scheduler did not start: " + readFile(dir_ + "/cupsd.err") +
                 tail(readFile(errorLog()), 20);
        return false;
    }
    return true;
}

bool PrintSystem::addQueues()
{
    const std::string device = "socket://127.0.0.1:" + std::to_string(emulatorPort_);
    for (const char *queue : {"LR880", "LR880N"}) {
        std::string out;
        if (run("lpadmin -h 127.0.0.1:" + std::to_string(port_) + " -p " + queue + " -E -v " +
                    device + " -P " + quote(programs_.ppdDir + "/" + queue + ".ppd"),
                &out) != 0) {
            error_ = std::string("cannot add the queue ") + queue + ": " + out;
            return false;
        }
    }
    return true;
}

void PrintSystem::stopAll()
{
    stop(cupsd_);
    stop(emulator_);
    // The scheduler ends the programs of its jobs when it stops; any that
    // outlived it (a scheduler that had to be killed) would hold the
    // hand-off of the next test. They run from our own filter folder.
    for (pid_t pid : filterProcesses())
        kill(pid, SIGKILL);
}

std::string PrintSystem::client(const std::string &program, const std::string &arguments)
{
    std::string out;
    run(program + " -h 127.0.0.1:" + std::to_string(port_) + " " + arguments, &out);
    return out;
}

int PrintSystem::submit(const std::string &queue, const std::string &file,
                        const std::vector<std::string> &options)
{
    std::string args = "-d " + queue;
    for (const std::string &o : options)
        args += " -o " + quote(o);
    const std::string out = client("lp", args + " " + quote(file));
    const std::string marker = "request id is " + queue + "-";
    const size_t at = out.find(marker);
    if (at == std::string::npos) {
        error_ = "lp failed: " + out;
        return 0;
    }
    return std::atoi(out.c_str() + at + marker.size());
}

namespace
{

// One attribute of a job, fetched with Get-Job-Attributes.
ipp_t *jobAttributes(int port, int jobId)
{
    http_t *http =
        httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (!http)
        return nullptr;
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ipp_t *response = cupsDoRequest(http, request, "/");
    httpClose(http);
    return response;
}

} // namespace

int PrintSystem::jobState(int jobId)
{
    ipp_t *response = jobAttributes(port_, jobId);
    int state = 0;
    if (ipp_attribute_t *a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
        state = ippGetInteger(a, 0);
    ippDelete(response);
    return state;
}

int PrintSystem::waitForJobEnd(int jobId, std::chrono::seconds timeout)
{
    int state = 0;
    waitUntil(
        [&] {
            state = jobState(jobId);
            // A stopped job goes no further without someone acting on it.
            return state == kCompleted || state == kCanceled || state == kAborted ||
                   state == kStopped;
        },
        timeout);
    return state;
}

std::string PrintSystem::pageImage(int n) const
{
    char name[32];
    std::snprintf(name, sizeof name, "/page-%03d.png", n);
    return pagesDir_ + name;
}

std::string PrintSystem::pageDir(bool network) const
{
    return root_ + (network ? "/tmp/printfiles_net" : "/tmp/printfiles");
}

std::vector<pid_t> PrintSystem::filterProcesses() const
{
    std::vector<pid_t> found;
    const std::string prefix = dir_ + "/sb/filter/";
    if (DIR *d = opendir("/proc")) {
        while (dirent *e = readdir(d)) {
            const pid_t pid = std::atoi(e->d_name);
            if (pid <= 0)
                continue;
            char exe[4096];
            const ssize_t n =
                readlink(("/proc/" + std::string(e->d_name) + "/exe").c_str(), exe, sizeof exe - 1);
            if (n > 0 && std::string(exe, static_cast<size_t>(n)).rfind(prefix, 0) == 0)
                found.push_back(pid);
        }
        closedir(d);
    }
    return found;
}

std::string PrintSystem::diagnostics() const
{
    std::string log;
    std::istringstream lines(readFile(errorLog()));
    std::string line;
    // The job lines of the scheduler's log, without the filter's per-command chatter.
    while (std::getline(lines, line))
        if (line.find("[Job ") != std::string::npos && line.find("envp[") == std::string::npos)
            log += line + "\n";
    return "---- scheduler log (jobs, last lines) ----\n" + tail(log, 120) +
           "\n---- printer log (last lines) ----\n" + tail(readFile(printerLog()), 60) +
           "\n---- emulator stderr ----\n" + tail(readFile(dir_ + "/emulator.err"), 20);
}

} // namespace e2e
