// One page on the wire: the page header, the black plane in packages, the
// end-of-plane exchange and a status check, the red plane, the end-of-page
// exchange and another status check.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "rastersend.h"

namespace kolvex {

namespace {

constexpr long kPackageSize = 32768;

struct RasterSizes {
    int width, height;
};

// Raster size of a page by resolution row (600/1200x600, 1200, 300, 200)
// and paper (A4, B5, C16K).
const RasterSizes kRasterTable[4][3] = {
    {{4960, 7016}, {4300, 6070}, {4576, 6358}},
    {{9920, 14032}, {8600, 12140}, {9152, 12716}},
    {{2480, 3580}, {2150, 3035}, {2288, 3179}},
    {{1632, 2268}, {1408, 1964}, {1525, 2120}},
};

int resolutionRow(int resolutionChoice)
{
    switch (resolutionChoice) {
    case 1: return 1;
    case 3: return 2;
    case 4: return 3;
    default: return 0;  // 600x600 and 1200x600 share their sizes
    }
}

int paperColumn(const std::string &paper)
{
    if (paper == "A4")
        return 0;
    if (paper == "B5")
        return 1;
    if (paper == "C16K")
        return 2;
    return -1;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

} // namespace

bool rasterSize(int resolutionChoice, const std::string &paper, int *width, int *height)
{
    int column = paperColumn(paper);
    if (column < 0)
        return false;
    const RasterSizes &s = kRasterTable[resolutionRow(resolutionChoice)][column];
    *width = s.width;
    *height = s.height;
    return true;
}

void Rastersend::StartPageHeader(const std::string &copies, const std::string &paper,
                                 const std::string & /*resolutionText*/,
                                 const std::string & /*mediaType*/, int width, int height)
{
    static const char *const kResolutions[] = {
        "Resolution=600x600;", "Resolution=1200x1200;", "Resolution=1200x600;",
        "Resolution=300x300;", "Resolution=200x200;"};
    log_.debug("StartPageHeader() entry.");
    log_.debug("copies=%s", copies.c_str());

    int choice = resolutionChoice >= 0 && resolutionChoice <= 4 ? resolutionChoice : 0;
    sendCommand(kResolutions[choice]);
    if (paper == "B5")
        sendCommand("MediaSize=na_b5_182x257mm;");
    else if (paper == "C16K" || paper == "Custom.595.28x841.89")
        sendCommand("MediaSize=na_c16k_195x270mm;");
    else
        sendCommand("MediaSize=na_a4_210x297mm;");
    sendCommand("MediaType=plain;");
    sendCommand("MediaInputTrayCheck=auto;");
    sendCommand("Copies=1;");  // the host sends every copy itself
    sendCommand("PrintMode=TRUE;");
    sendCommand("Sides=OneSided;");  // manual duplex is ordered by the host
    sendCommand("Origin.Top=+50;");
    sendCommand("Origin.Left=+50;");
    sendCommand("RasterObject.Compression=JBIG;");

    int tableWidth = 0, tableHeight = 0;
    bool inTable = rasterSize(choice, paper, &tableWidth, &tableHeight);
    // For a paper outside the table no size is sent, but the drain still is.
    auto sizeCommand = [&](const char *key, int given, int fromTable) {
        if (given != 0)
            sendCommand(std::string(key) + std::to_string(given) + ";");
        else if (inTable)
            sendCommand(std::string(key) + std::to_string(fromTable) + ";");
        else {
            io_.channel.drain(1.0);
            pause();
        }
    };
    sizeCommand("RasterObject.Width=", width, tableWidth);
    sizeCommand("RasterObject.Height=", height, tableHeight);
    sendCommand("RasterObject.Planes=000000,1P0000;");
    sendCommand("RasterObject.BitsPerPixel=1;");
    log_.debug("StartPageHeader() leave.");
}

bool Rastersend::sendPlaneFile(const std::string &path, bool red)
{
    const char *tag = red ? "(Red)" : "";
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (!red)
            log_.debug("(black)can not open file %s, goto loopendPage;", path.c_str());
        return false;
    }
    struct stat st;
    if (fstat(fileno(file.get()), &st) != 0) {
        log_.debug("%scan not stat file %s: %s", tag, path.c_str(), std::strerror(errno));
        return false;
    }
    const long length = static_cast<long>(st.st_size);
    const long fullPackages = length / kPackageSize;
    const long lastSize = length % kPackageSize;
    log_.debug("%sJbigDataLenth=%ld", tag, length);
    log_.debug("%sPackageNum=%ld", tag, fullPackages + 1);
    log_.debug("%sLast_PackageSize=%ld", tag, lastSize);

    const std::string command =
        std::string(model_.commandPrefix) + (red ? "RasterObject.RedData#" : "RasterObject.Data#");
    // Every plane ends with a package holding the remainder, sent even when
    // it is empty.
    for (long i = 0; i <= fullPackages; ++i) {
        const long size = i < fullPackages ? kPackageSize : lastSize;
        if (i < fullPackages)
            log_.debug("Full_PackageNum=%ld;", i);
        else if (red)
            log_.debug("(Red)Last_Package i=%ld;", i);
        std::unique_ptr<char[]> data(new (std::nothrow) char[size > 0 ? size : 1]);
        if (!data) {
            log_.debug(red ? "(Red)Sorry, not enough memory available!"
                           : "Sorry, not enough memory available(2)!");
            return false;
        }
        size_t got = std::fread(data.get(), 1, static_cast<size_t>(size), file.get());
        if (static_cast<long>(got) != size) {
            log_.debug(red ? "(Red)read !=RedJbigData_Read, error! fred_num=%ld; JbigData_Read=%ld;"
                           : "read !=JbigData_Read, error! fred_num=%ld; JbigData_Read=%ld;",
                       static_cast<long>(got), size);
            return false;
        }
        const std::string head = command + std::to_string(size) + "=";
        sendRaw(head.data(), head.size());
        ssize_t written = io_.channel.write(data.get(), static_cast<size_t>(size));
        if (written != static_cast<ssize_t>(size)) {
            log_.debug(red ? "(Red)write !=RedJbigData_Read, error" : "write !=JbigData_Read, error");
            return false;
        }
        // The network printer needs a moment between a black package's data
        // and its closing semicolon.
        if (!red && model_.network)
            io_.clock.sleepMicros(5 * model_.sleepTimeMicros);
        EndOfCmd();
        log_.debug(red ? "(Red)Send Red JBIG Data,Package %ld" : "Send JBIG Data,Package %ld", i + 1);
    }
    return true;
}

int Rastersend::endEvent(const char *event, const char *filler)
{
    char reply[kReplySize + 1];
    sendCommand(event);
    ssize_t n = readReply(reply, kEndEventFillers, filler, 1.0);
    pause();
    if (n <= 0) {
        Flag_communication = 1;
        return 7;
    }
    Flag_communication = 0;
    unsigned code = replyCode(reply, static_cast<size_t>(n));
    log_.debug("%s code=%u", event, code);
    Response_status(code);
    return Response_status_lever(code) == kLevelCancelled ? 6 : 0;
}

void Rastersend::checkEndEvent(int result, const char *name)
{
    pause();
    if (result == 7) {
        log_.debug("send %s can not receive data and send 3 [_] times:%d;", name, 1);
    } else if (result == 6) {
        // The printer dropped the job: confirm before giving up the page.
        log_.debug("%s--CancelJob for received CancelJob;", name);
        int ok = CancelJobOK();
        log_.debug("%s--CancelJobOK;", name);
        if (ok == 0) {
            log_.debug("OKFlag=%d;", ok);
            Flag_CancelJob = 1;
        }
    }
}

int Rastersend::EndOfPlane()
{
    return endEvent("Event=EndofPlane;", model_.planeFiller);
}

int Rastersend::EndOfPage()
{
    sendCommand("NumberOfDots=1740;");
    return endEvent("Event=EndOfPage;", kFiller);
}

void Rastersend::CheckEndofPlane()
{
    log_.debug("CheckEndofPlane() entry.");
    checkEndEvent(EndOfPlane(), "EndofPlane");
}

void Rastersend::CheckEndOfPage()
{
    checkEndEvent(EndOfPage(), "EndOfPage");
}

Rastersend::Next Rastersend::sendPage(int page)
{
    log_.debug("(black)start send black jbig!");
    if (!sendPlaneFile(paths_.blackPlane(page), false))
        return Next::EndOfPage;
    CheckEndofPlane();
    if (Flag_CancelJob)
        return Next::Unlock;
    CheckStatus();
    Response_status(1001);
    if (Flag_CancelJob)
        return Next::Unlock;

    ++printPage;
    log_.debug("(Red)start send red jbig!");
    if (!sendPlaneFile(paths_.redPlane(page), true))
        return Next::EndOfPage;
    CheckEndOfPage();
    if (model_.network)
        io_.clock.sleepSeconds(1);
    if (!Flag_CancelJob)
        CheckStatus();
    Response_status(1001);
    if (model_.network)
        io_.clock.sleepSeconds(1);
    return Next::Continue;
}

} // namespace kolvex
