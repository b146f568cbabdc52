#include "support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern "C" {
#include <jbig.h>
}

#include "filter_log.h"
#include "handoff.h"

extern char **environ;

namespace rctest
{

void writeRaster(const std::string &path, const std::vector<RgbPage> &pages, bool truncateLastPage)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
    ASSERT_NE(ras, nullptr);
    for (size_t i = 0; i < pages.size(); ++i) {
        const RgbPage &p = pages[i];
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.cupsWidth = static_cast<unsigned>(p.width);
        h.cupsHeight = static_cast<unsigned>(p.height);
        h.cupsBitsPerColor = 8;
        h.cupsBitsPerPixel = 24;
        h.cupsBytesPerLine = static_cast<unsigned>(p.width * 3);
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = CUPS_CSPACE_RGB;
        h.cupsNumColors = 3;
        h.HWResolution[0] = h.HWResolution[1] = static_cast<unsigned>(p.dpi);
        h.PageSize[0] = static_cast<unsigned>(p.pageWidthPoints);
        h.PageSize[1] = static_cast<unsigned>(p.pageHeightPoints);
        h.cupsPageSize[0] = static_cast<float>(p.pageWidthPoints);
        h.cupsPageSize[1] = static_cast<float>(p.pageHeightPoints);
        h.ImagingBoundingBox[0] = static_cast<unsigned>(p.bboxLeft);
        h.ImagingBoundingBox[1] = static_cast<unsigned>(p.bboxBottom);
        h.ImagingBoundingBox[2] = static_cast<unsigned>(p.bboxRight);
        h.ImagingBoundingBox[3] = static_cast<unsigned>(p.bboxTop);
        h.cupsImagingBBox[0] = static_cast<float>(p.bboxLeft);
        h.cupsImagingBBox[1] = static_cast<float>(p.bboxBottom);
        h.cupsImagingBBox[2] = static_cast<float>(p.bboxRight);
        h.cupsImagingBBox[3] = static_cast<float>(p.bboxTop);
        h.NumCopies = 1;
        std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", p.sizeName.c_str());
        ASSERT_TRUE(cupsRasterWriteHeader2(ras, &h));
        std::vector<uint8_t> line(h.cupsBytesPerLine);
        const bool truncate = truncateLastPage && i + 1 == pages.size();
        const int rows = truncate ? p.height / 2 : p.height;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < p.width; ++x) {
                uint8_t *px = &line[3 * static_cast<size_t>(x)];
                px[0] = px[1] = px[2] = 255;
                if (p.paint)
                    p.paint(x, y, px);
            }
            ASSERT_EQ(cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine),
                      h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(ras);
    close(fd);
}

kolvex::Bilevel decodeJbigFile(const std::string &path)
{
    const std::string data = readFile(path);
    struct jbg_dec_state state;
    jbg_dec_init(&state);
    size_t used = 0;
    int r = jbg_dec_in(&state, reinterpret_cast<unsigned char *>(const_cast<char *>(data.data())),
                       data.size(), &used);
    EXPECT_EQ(r, JBG_EOK) << path << ": " << jbg_strerror(r);
    kolvex::Bilevel plane;
    if (r == JBG_EOK) {
        const int w = static_cast<int>(jbg_dec_getwidth(&state));
        const int h = static_cast<int>(jbg_dec_getheight(&state));
        plane = kolvex::Bilevel(w, h);
        std::memcpy(plane.data(), jbg_dec_getimage(&state, 0), plane.stride() * h);
    }
    jbg_dec_free(&state);
    return plane;
}

size_t countIn(const kolvex::Bilevel &plane, int x0, int y0, int x1, int y1)
{
    size_t n = 0;
    for (int y = std::max(0, y0); y < std::min(plane.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(plane.width(), x1); ++x)
            n += plane.get(x, y) ? 1 : 0;
    return n;
}

namespace
{

void removeTree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR *d = opendir(path.c_str())) {
            while (struct dirent *e = readdir(d)) {
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    removeTree(path + "/" + e->d_name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

} // namespace

TempDir::TempDir()
{
    // Short on purpose: page paths must fit the hand-off's 70-byte slots.
    char tmpl[] = "/tmp/rcXXXXXX";
    const char *p = mkdtemp(tmpl);
    EXPECT_NE(p, nullptr);
    path_ = p ? p : "/tmp";
}

TempDir::~TempDir()
{
    removeTree(path_);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void writeFile(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary);
    out << data;
}

int Child::wait(int timeoutMs)
{
    int status = 0;
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "process did not end in time; its log:\n" << log();
    return -1;
}

Child startProgram(const std::string &program, const std::vector<std::string> &args,
                   const std::vector<std::pair<std::string, std::string>> &env,
                   const std::string &stdinPath, const std::string &stderrPath)
{
    std::vector<std::string> envStrings;
    for (char **e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto &kv : env)
            replaced |= std::strncmp(*e, (kv.first + "=").c_str(), kv.first.size() + 1) == 0;
        if (!replaced)
            envStrings.push_back(*e);
    }
    for (const auto &kv : env)
        envStrings.push_back(kv.first + "=" + kv.second);
    std::vector<char *> envp;
    for (std::string &s : envStrings)
        envp.push_back(&s[0]);
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : argStrings)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    Child child;
    child.stderrPath = stderrPath;
    int r = posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(r, 0) << "cannot start " << program;
    return child;
}

struct Receiver::Impl {
    explicit Impl(key_t k) : log(stderr, "DEBUG:[test-receiver]", false), handoff(log), key(k) {}
    kolvex::FilterLog log;
    kolvex::Handoff handoff;
    key_t key;
};

Receiver::Receiver(key_t key) : impl_(new Impl(key)) {}

Receiver::~Receiver()
{
    if (impl_->handoff.shm_send_receve)
        impl_->handoff.unlinkshm();
    delete impl_;
}

bool Receiver::attach(int timeoutMs)
{
    // Unlike the real filter the test never creates the objects itself: it
    // waits for the rasterizer to have made them.
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (semget(impl_->key, 0, 0) != -1 && impl_->handoff.initreceiver(impl_->key) == 1)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

namespace
{

bool usable(const std::string &v)
{
    return !(v.empty() || v == " " || v == "0");
}

} // namespace

// Takes a value as the filter does, sleeping on the kind's "full" semaphore
// (the rasterizer announces only to a filter that waits so), but with a
// time-out so that a test never blocks for ever on a rasterizer that
// announced less.
std::string Receiver::take(int kind, int fullSem, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        struct sembuf op;
        op.sem_num = static_cast<unsigned short>(fullSem);
        op.sem_op = -1;
        op.sem_flg = 0;
        struct timespec slice = {0, 200 * 1000 * 1000};
        if (semtimedop(impl_->handoff.semid, &op, 1, &slice) != 0)
            continue;
        // Give the count back and let the real receiving code take the value.
        op.sem_op = 1;
        semop(impl_->handoff.semid, &op, 1);
        std::string v = impl_->handoff.consume(kind);
        if (usable(v))
            return v;
    }
    return "<nothing announced>";
}

std::string Receiver::copies(int timeoutMs)
{
    return take(kolvex::kKindCopies, kolvex::kSemCopiesFull, timeoutMs);
}

std::string Receiver::pagesCount(int timeoutMs)
{
    return take(kolvex::kKindPagesCount, kolvex::kSemCountFull, timeoutMs);
}

std::string Receiver::fileName(int timeoutMs)
{
    return take(kolvex::kKindFileName, kolvex::kSemNamesWaiting, timeoutMs);
}

int Receiver::semValue(int num) const
{
    return semctl(impl_->handoff.semid, num, GETVAL);
}

void Receiver::endJob()
{
    impl_->handoff.unlinkshm();
    impl_->handoff.removeSem();
    impl_->handoff.removeShm();
}

void Receiver::detach()
{
    impl_->handoff.unlinkshm();
}

void removeHandoff(key_t key)
{
    int sem = semget(key, 0, 0);
    if (sem != -1)
        semctl(sem, 0, IPC_RMID);
    int shm = shmget(key, 0, 0);
    if (shm != -1)
        shmctl(shm, IPC_RMID, nullptr);
}

} // namespace rctest
