// rastersend: the CUPS filter that drives the LR880 (and, built with the
// network configuration, the LR880N) through one print job. It takes the
// pages the rasterizer announces, locks the printer, sends a page header and
// the black and red JBIG planes of every page in OPL, reads the printer's
// four-digit replies, reports the printer's state to CUPS and to the control
// files, runs manual duplex with the status monitor and writes the print log.
//
// The job logic talks to the world only through OplChannel, Clock,
// SystemHooks and the files under the printers root, so tests can drive it.
#pragma once

#include <sys/types.h>

#include <string>

#include "filter_log.h"
#include "handoff.h"
#include "io.h"
#include "model_config.h"

namespace kolvex {

// A reply from the printer is read into a buffer of this size.
constexpr size_t kReplySize = 512;
// Sent while the printer is silent, before a query counts as unanswered.
constexpr const char *kFiller = "       ";  // seven blanks
constexpr int kEndEventFillers = 3;

// Level of a status code: what the command loops do about it.
enum StatusLevel {
    kLevelCarryOn = 0,
    kLevelLocked = 2,
    kLevelUnlocked = 3,
    kLevelError = 5,
    kLevelCancelled = 6,
    kLevelOutOfMemory = 7,
};

int Response_status_lever(unsigned code);

// The status code at the head of a reply: the first word, at most four
// characters, read as a decimal number (non-digits give 0).
unsigned replyCode(const char *reply, size_t length);

// Resolution codes: 0 600x600, 1 1200x1200, 2 1200x600, 3 300x300, 4 200x200.
int chooseResolution(const std::string &resolution, int waterMark, int isColor);

// Raster size of a page in pixels; false for a paper name outside the table.
bool rasterSize(int resolutionChoice, const std::string &paper, int *width, int *height);

// The job record kept for the print log.
struct PrintLog {
    char cPrintName[50];
    char cJobID[10];
    char cUserName[50];
    char cFileName[254];
    char cCopies[5];
    char cResolution[10];
    char cPaperSize[5];
    int32_t cPageNum;
};

class Rastersend {
public:
    struct Io {
        OplChannel &channel;
        Clock &clock;
        SystemHooks &system;
    };

    // root: the printers root; handoffKey: the IPC key of the hand-off
    // (kUsbHandoffKey for the USB model, networkHandoffKey(job id) for the
    // network model; tests use keys of their own).
    Rastersend(const ModelConfig &model, const std::string &root, Io io, FilterLog &log);

    // Runs the whole job for the CUPS arguments; returns the exit status
    // (always 0 once the arguments are usable). A cancellation ends the
    // process through SystemHooks::exitProcess.
    int run(int argc, char **argv, const char *ppdPath);

    // Before run(): which hand-off key to use. Defaults by model and job id.
    void setHandoffKey(key_t key) { handoffKey_ = key; haveKey_ = true; }

    // The SIGTERM path: also reached when the printer stopped answering.
    void cancel_job(int reason);

    // Handshakes, public for the tests that drive them one by one.
    int LockPrinter();
    int CheckLockPrinter();
    int Status();
    void CheckStatus();
    int CancelJobOK();
    int UnlockPrinter();
    int CheckUnlockPrinter(int lockResult);
    void StartOfJob();
    void EndOfJob();
    void EndOfCmd();
    void StartPageHeader(const std::string &copies, const std::string &paper,
                         const std::string &resolutionText, const std::string &mediaType,
                         int width, int height);
    int EndOfPlane();
    void CheckEndofPlane();
    int EndOfPage();
    void CheckEndOfPage();

    void Response_status(unsigned code);
    void ClearStatus();
    void writeStatus(int code);
    int duplexFlagSignal();

    const FilterPaths &paths() const { return paths_; }

    // Job settings and flags (process-wide in a filter process).
    std::string PrinterName, JobID, Copies, Pagescount;
    std::string pageSizeName, media_type, WatermarkOptions, ColorMode, resolution, InputSlot,
        cupsDarkness, Duplex;
    int waterMark = 0;
    int isColor = 1;
    int resolutionChoice = 0;
    int isDuplex = 0;
    int printPage = 0;
    int pageCount = 0;

    int Flag_CancelJob = 0;
    int Flag_OOM = 0;
    int Flag_Lock = 0;
    int Flag_Unlock = 0;
    int Flag_communication = 0;
    int writeFlag = 0;
    int cancel_job_flag = 0;

    PrintLog *pPrintLog = nullptr;

private:
    // Outcome of a page or a wait in the job sequence.
    enum class Next { Continue, EndOfPage, Unlock };

    void sendCommand(const std::string &text, double drainSeconds = 1.0);
    void sendRaw(const void *data, size_t size);
    void pause();
    ssize_t readReply(char *reply, int fillers, const char *filler, double firstTimeout);
    ssize_t readWithFillers(char *reply, ssize_t n, int fillers, const char *filler);
    bool sendPlaneFile(const std::string &path, bool red);
    int endEvent(const char *event, const char *filler);
    void checkEndEvent(int result, const char *name);
    FILE *openWithRetries(const std::string &path, const char *mode);
    Next sendPage(int page);
    Next printPages();
    Next waitForPage(int page);
    Next waitForPageNet(int page);
    Next waitForFirstFiles();
    Next waitForTurnOver();
    void removePageFiles(int page, bool logRemoval);
    void LoopEndOfPage();
    void removeHandoff();
    void writeJobInfo();
    void writePrinterStateText(const char *text);
    std::string readPrinterState();
    void writePrintLogEntry();
    void runSummarizer();
    std::string consumeValue(int kind, const char *name);
    std::string ctimeText();

    const ModelConfig &model_;
    std::string root_;
    FilterPaths paths_;
    Io io_;
    FilterLog &log_;
    Handoff handoff_;
    key_t handoffKey_ = kUsbHandoffKey;
    bool haveKey_ = false;
    PrintLog record_ = {};
};

} // namespace kolvex
