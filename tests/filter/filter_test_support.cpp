#include "filter_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace filtertest {

void FakeClock::advance(double seconds)
{
    elapsed += seconds;
    if (elapsed > limit)
        throw std::runtime_error("the filter's fake clock ran past its limit: stuck in a loop?");
}

void FakeClock::sleepSeconds(unsigned seconds)
{
    advance(seconds);
    if (onSleep)
        onSleep(seconds);
}

void FakeClock::sleepMicros(unsigned micros)
{
    advance(micros / 1e6);
    if (onSleep)
        onSleep(micros / 1e6);
}

void ScriptedChannel::take(std::vector<oplprinter::OplEvent> &events)
{
    for (oplprinter::OplEvent &e : events) {
        oplprinter::Reply reply = scenario_.answer(e);
        if (reply)
            pendingReplies_.push_back(*reply);
        if (onEvent)
            onEvent(e);
        exchanges_.push_back({std::move(e), reply});
    }
    events.clear();
}

ssize_t ScriptedChannel::write(const void *data, size_t size)
{
    size_t accepted = size;
    if (failWritesAfter >= 0) {
        accepted = std::min<size_t>(size, static_cast<size_t>(failWritesAfter));
        failWritesAfter -= static_cast<long>(accepted);
    }
    raw_.append(static_cast<const char *>(data), accepted);
    std::vector<oplprinter::OplEvent> events;
    parser_.feed(static_cast<const char *>(data), accepted, events);
    take(events);
    return accepted == size ? static_cast<ssize_t>(size) : -1;
}

int ScriptedChannel::drain(double)
{
    ++drains_;
    std::vector<oplprinter::OplEvent> events;
    parser_.markBoundary(events);
    take(events);
    return 0;
}

ssize_t ScriptedChannel::readReply(char *buffer, size_t size, double timeoutSeconds)
{
    if (pendingReplies_.empty()) {
        clock_.advance(timeoutSeconds);
        return 0;
    }
    std::string reply = pendingReplies_.front();
    pendingReplies_.erase(pendingReplies_.begin());
    size_t n = std::min(size, reply.size());
    std::memcpy(buffer, reply.data(), n);
    return static_cast<ssize_t>(n);
}

std::vector<std::string> ScriptedChannel::commands() const
{
    std::vector<std::string> out;
    for (const Exchange &x : exchanges_)
        if (x.event.kind == oplprinter::OplEventKind::Command ||
            x.event.kind == oplprinter::OplEventKind::Query)
            out.push_back(x.event.raw);
    return out;
}

int FakeSystem::runShell(const std::string &command)
{
    shellCommands.push_back(command);
    return std::system(command.c_str());
}

int FakeSystem::cancelSchedulerJob(const std::string &printer, int jobId, std::string *lastError)
{
    cancelledJobs.emplace_back(printer, jobId);
    *lastError = "successful-ok";
    return 1;
}

TempRoot::TempRoot()
{
    // Short: announced page names must fit the hand-off's 70-byte slots.
    char pattern[] = "/tmp/kvf-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    for (const char *dir : {"/LR880", "/LR880/control", "/LR880N", "/LR880N/control", "/tmp",
                            "/tmp/printfiles", "/tmp/printfiles_net"})
        mkdir((path_ + dir).c_str(), 0755);
}

TempRoot::~TempRoot()
{
    std::string command = "rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}


key_t uniqueKey()
{
    static std::atomic<int> counter{0};
    return static_cast<key_t>(0x4b000000 | ((getpid() & 0xffff) << 8) | (counter++ & 0xff));
}

std::string testPpd()
{
    return KOLVEX_FILTER_TEST_DATA "/lr880-test.ppd";
}

RasterizerStandIn::RasterizerStandIn(const kolvex::FilterPaths &paths, key_t key)
    : paths_(paths), logFile_(std::tmpfile()),
      log_(logFile_, "DEBUG:[KOLVEX-LR880][rastercodec]", true), handoff_(log_)
{
    if (handoff_.initsender(key) != 1)
        throw std::runtime_error("cannot create the hand-off objects");
}

RasterizerStandIn::~RasterizerStandIn()
{
    // The filter normally removes the objects; make sure a failed test
    // leaves none behind.
    if (handoff_.shm_send_receve)
        handoff_.unlinkshm();
    handoff_.removeSem();
    handoff_.removeShm();
    std::fclose(logFile_);
}

std::string RasterizerStandIn::planeBytes(int page, bool red, size_t size)
{
    std::string pattern = (red ? "red-" : "black-") + std::to_string(page) + ";";
    std::string data;
    data.reserve(size);
    while (data.size() < size)
        data += pattern;
    data.resize(size);
    return data;
}

void RasterizerStandIn::writePage(int page, size_t blackSize, size_t redSize)
{
    writeFile(paths_.blackPlane(page), planeBytes(page, false, blackSize));
    writeFile(paths_.redPlane(page), planeBytes(page, true, redSize));
}

void RasterizerStandIn::announceJob(const std::string &copies, int pages)
{
    handoff_.produce(copies, kolvex::kKindCopies);
    handoff_.produce(std::to_string(pages), kolvex::kKindPagesCount);
}

void RasterizerStandIn::announcePage(int page)
{
    handoff_.produce(paths_.blackPlane(page), kolvex::kKindFileName);
}

void RasterizerStandIn::announceEnd()
{
    handoff_.produce(kolvex::kEndMarker, kolvex::kKindFileName);
}

CapturedLog::CapturedLog(bool verbose)
    : file_(std::tmpfile()), log_(file_, "DEBUG:[KOLVEX-LR880][rastersend]", verbose)
{
    // KOLVEX_TEST_ECHO=1 shows the filter's lines as they are written.
    if (std::getenv("KOLVEX_TEST_ECHO")) {
        std::fclose(file_);
        file_ = stderr;
        log_ = kolvex::FilterLog(file_, "DEBUG:[KOLVEX-LR880][rastersend]", true);
    }
}

CapturedLog::~CapturedLog()
{
    if (file_ != stderr)
        std::fclose(file_);
}

std::string CapturedLog::text() const
{
    std::fflush(file_);
    long size = std::ftell(file_);
    std::string out(static_cast<size_t>(size), '\0');
    std::rewind(file_);
    size_t n = std::fread(&out[0], 1, out.size(), file_);
    out.resize(n);
    std::fseek(file_, 0, SEEK_END);
    return out;
}

std::vector<std::string> CapturedLog::lines() const
{
    std::vector<std::string> out;
    std::stringstream s(text());
    std::string line;
    while (std::getline(s, line))
        out.push_back(line);
    return out;
}

JobBench::JobBench(const kolvex::ModelConfig &m, oplprinter::Scenario scenario, const std::string &id)
    : model(m), jobId(id), channel(std::move(scenario), clock), log(!m.network), key(uniqueKey()),
      paths(kolvex::FilterPaths::make(m, root.path(), id)), ppd(testPpd())
{
    rasterizer = std::make_unique<RasterizerStandIn>(paths, key);
    job = std::make_unique<kolvex::Rastersend>(
        model, root.path(), kolvex::Rastersend::Io{channel, clock, system}, log.log());
    job->setHandoffKey(key);
}

int JobBench::run(const std::string &options, const std::string &copies)
{
    std::string queue = model.network ? "LR880N" : "LR880";
    std::vector<std::string> args = {queue, jobId, "alice", "report.pdf", copies, options};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    try {
        return job->run(static_cast<int>(args.size()), argv.data(), ppd.c_str());
    } catch (const ProcessExit &e) {
        exitedThroughCancel = true;
        return e.status;
    }
}

int JobBench::runPages(int pages, const std::string &options, size_t blackSize, size_t redSize)
{
    rasterizer->announceJob("1", pages);
    for (int page = 1; page <= pages; ++page) {
        rasterizer->writePage(page, blackSize, redSize);
        rasterizer->announcePage(page);
    }
    rasterizer->announceEnd();
    return run(options);
}

} // namespace filtertest
