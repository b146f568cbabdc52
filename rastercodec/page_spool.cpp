#include "page_spool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jbig_plane.h"

namespace kolvex
{

namespace
{

// What the SIGTERM handler needs, kept in fixed storage so that it can be
// read without allocating. A base longer than the buffer disables the
// handler's clean-up (the normal paths still clean up).
constexpr size_t kPathMax = 4096;
char gBase[kPathMax];
char gMarker[kPathMax];
volatile sig_atomic_t gPagesWritten = 0;
volatile sig_atomic_t gRegistered = 0;

std::string tempName(const std::string &final)
{
    // "...outredelsejbg3.jbg" -> "...outredelsejbg3.part": not a page file
    // for the filter's ".jbg" look.
    return final.substr(0, final.size() - 4) + ".part";
}

bool writePlaneFile(const std::string &path, const Bilevel &plane, std::string *why)
{
    const std::string temp = tempName(path);
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        *why = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = writeJbigPlane(plane, f);
    int savedErrno = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        *why = "cannot write " + path + ": " + std::strerror(savedErrno);
        std::remove(temp.c_str());
    }
    return ok;
}

// Async-signal-safe: appends text to buf (size kPathMax); false if it does not fit.
bool append(char *buf, size_t *len, const char *text)
{
    while (*text) {
        if (*len + 1 >= kPathMax)
            return false;
        buf[(*len)++] = *text++;
    }
    buf[*len] = '\0';
    return true;
}

bool appendNumber(char *buf, size_t *len, long n)
{
    char digits[24];
    int i = 0;
    do {
        digits[i++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 && i < 23);
    char text[24];
    int j = 0;
    while (i > 0)
        text[j++] = digits[--i];
    text[j] = '\0';
    return append(buf, len, text);
}

void unlinkPlane(const char *stem, long page, const char *extension)
{
    char path[kPathMax];
    size_t len = 0;
    path[0] = '\0';
    if (append(path, &len, gBase) && append(path, &len, stem) && appendNumber(path, &len, page) &&
        append(path, &len, extension))
        unlink(path);
}

} // namespace

bool PageSpool::start(std::string *why)
{
    // The package installs the page directory; a moved printers root (tests,
    // the demo) may not have it yet.
    std::string dir = paths_.pageDir;
    for (size_t pos = 1; pos != std::string::npos && pos < dir.size();
         pos = dir.find('/', pos + 1)) {
        const std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    int fd = open(paths_.markerFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *why = "cannot create the marker file " + paths_.markerFile + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

bool PageSpool::writePage(int page, const Bilevel &black, const Bilevel &red, std::string *why)
{
    const std::string blackPath = paths_.blackPlane(page);
    const std::string redPath = paths_.redPlane(page);
    if (!writePlaneFile(redPath, red, why))
        return false;
    // The black plane comes last: it is the name announced to the filter.
    if (!writePlaneFile(blackPath, black, why)) {
        std::remove(redPath.c_str());
        return false;
    }
    pagesWritten_ = page > pagesWritten_ ? page : pagesWritten_;
    gPagesWritten = pagesWritten_;
    return true;
}

std::string PageSpool::placeholderPath() const
{
    return paths_.blackPlane(0);
}

bool PageSpool::writePlaceholder(std::string *why)
{
    int fd = open(placeholderPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *why = "cannot create " + placeholderPath() + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    placeholder_ = true;
    return true;
}

void PageSpool::finish()
{
    std::remove(paths_.markerFile.c_str());
}

void PageSpool::removeLeftovers()
{
    for (int page = 1; page <= pagesWritten_; ++page) {
        std::remove(paths_.blackPlane(page).c_str());
        std::remove(paths_.redPlane(page).c_str());
    }
    if (placeholder_)
        std::remove(placeholderPath().c_str());
}

void PageSpool::registerForSignals()
{
    if (paths_.fileBase.size() + 64 >= kPathMax || paths_.markerFile.size() >= kPathMax)
        return;
    std::memcpy(gBase, paths_.fileBase.c_str(), paths_.fileBase.size() + 1);
    std::memcpy(gMarker, paths_.markerFile.c_str(), paths_.markerFile.size() + 1);
    gPagesWritten = pagesWritten_;
    gRegistered = 1;
}

void PageSpool::removeAllFromSignal()
{
    if (!gRegistered)
        return;
    unlink(gMarker);
    unlinkPlane("outredelsejbg", 0, ".jbg");
    const long last = gPagesWritten + 1;
    for (long page = 1; page <= last; ++page) {
        unlinkPlane("outredelsejbg", page, ".jbg");
        unlinkPlane("outredjbg", page, ".jbg");
    }
    unlinkPlane("outredelsejbg", last, ".part");
    unlinkPlane("outredjbg", last, ".part");
}

} // namespace kolvex
