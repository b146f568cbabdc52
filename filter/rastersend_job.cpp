// The job from start to end: options, job-information file, hand-off,
// lock, job start, the page loop with its manual-duplex order, end of job,
// unlock, print log.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <cups/cups.h>

#include "job_options.h"
#include "rastersend.h"

namespace kolvex {

namespace {

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool canOpenForReading(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

// An announcement that carries no name yet.
bool isEmptyValue(const std::string &v)
{
    return v.empty() || v == " " || v == "0";
}

template <size_t N> void copyField(char (&field)[N], const std::string &value)
{
    std::snprintf(field, N, "%s", value.c_str());
}

// Quotes a path for the shell.
std::string shellQuote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

} // namespace

int chooseResolution(const std::string &resolution, int waterMark, int isColor)
{
    if (resolution == "600dpi")
        return 0;
    if (resolution == "1200dpi")
        return 1;
    if (resolution == "1200*600dpi")
        return 2;
    // The low resolutions serve only red-and-black jobs without a watermark.
    if (resolution == "300dpi")
        return (waterMark == 1 || isColor == 0) ? 0 : 3;
    if (resolution == "200dpi")
        return (waterMark == 1 || isColor == 0) ? 0 : 4;
    return 0;
}

Rastersend::Rastersend(const ModelConfig &model, const std::string &root, Io io, FilterLog &log)
    : model_(model), root_(root), paths_(FilterPaths::make(model, root, "")), io_(io), log_(log),
      handoff_(log)
{
}

std::string Rastersend::ctimeText()
{
    time_t t = io_.clock.now();
    char text[64];
    if (!ctime_r(&t, text))
        return "\n";
    return text;
}

void Rastersend::writeJobInfo()
{
    FILE *f = openWithRetries(paths_.jobInfoFile, "w");
    if (!f)
        return;
    std::fprintf(f, "resolution:%s;\n", resolution.c_str());
    std::fprintf(f, "papersize:%s;\n", pageSizeName.c_str());
    std::fprintf(f, "colorMode:%s;\n", ColorMode.c_str());
    std::fprintf(f, "WatermarkOptions:%s;\n", WatermarkOptions.c_str());
    std::fprintf(f, "duplex:%s;\n", Duplex.c_str());
    std::fclose(f);
}

std::string Rastersend::consumeValue(int kind, const char *name)
{
    for (;;) {
        log_.keep(" consume ");
        std::string value = handoff_.consume(kind);
        log_.keep(kind == kKindCopies ? " consume string= %s " : " consume string2= %s ",
                  value.c_str());
        if (!isEmptyValue(value)) {
            log_.debug("find size successfully %s=%s!", kind == kKindCopies ? "copies" : "pagesount",
                       value.c_str());
            log_.keep(" receive %s=%s", name, value.c_str());
            return value;
        }
        log_.debug("can not find %s size=%s ! ", name, value.c_str());
        if (handoff_.failed()) {
            // The hand-off objects went away under us: attach again rather
            // than spin on a dead semaphore set.
            io_.clock.sleepSeconds(1);
            if (handoff_.initreceiver(handoffKey_) != 1)
                handoff_.initsender(handoffKey_);
        }
    }
}

void Rastersend::removeHandoff()
{
    if (handoff_.shm_send_receve && handoff_.unlinkshm() != 0)
        log_.line("DEBUG:[KOLVEX-LR880][rastersend] unlinkshm Sem error error number=%d, reason:%s",
                  errno, std::strerror(errno));
    if (handoff_.semid != -1 && handoff_.removeSem() != 0)
        log_.line("DEBUG:[KOLVEX-LR880][rastersend] delete Sem error error number=%d, reason:%s",
                  errno, std::strerror(errno));
    if (handoff_.shmid != -1 && handoff_.removeShm() != 0)
        log_.line("DEBUG:[KOLVEX-LR880][rastersend] delete deleteshm error error number=%d, "
                  "reason:%s",
                  errno, std::strerror(errno));
}

void Rastersend::LoopEndOfPage()
{
    log_.debug(" in LoopEndOfPage start remove msgid");
    removeHandoff();
    log_.debug("GOTO: LoopEndOfPage;");
    EndOfJob();
}

Rastersend::Next Rastersend::waitForFirstFiles()
{
    int remembered = -1;
    for (;;) {
        if (model_.network) {
            // The network printer is watched while the first pages render.
            CheckStatus();
            io_.clock.sleepMicros(model_.sleepTimeMicros);
        } else {
            io_.clock.sleepSeconds(1);
        }
        if (Flag_CancelJob)
            return Next::EndOfPage;
        struct dirent **entries = nullptr;
        int n = scandir(paths_.pageDir.c_str(), &entries, selectfile, alphasort);
        for (int i = 0; i < n; ++i)
            std::free(entries[i]);
        std::free(entries);
        if (n <= 0) {
            log_.debug("scandir error! no .jbg file");
            continue;
        }
        if (remembered < 0) {
            remembered = n;
            io_.clock.sleepSeconds(1);
            continue;
        }
        if (n == remembered || n > 1)
            return Next::Continue;
        remembered = n;
        io_.clock.sleepSeconds(1);
    }
}

Rastersend::Next Rastersend::waitForPage(int page)
{
    const std::string black = paths_.blackPlane(page);
    for (;;) {
        std::string name = handoff_.consume(kKindFileName);
        if (handoff_.failed()) {
            log_.debug("the page hand-off is gone; goto LoopEndOfPage.");
            return Next::EndOfPage;
        }
        if (isEmptyValue(name)) {
            log_.debug("can not find file name =%s!", name.c_str());
            continue;
        }
        log_.debug("find size successfully file=%s!", name.c_str());
        if (name == black)
            return Next::Continue;
        if (name == kEndMarker) {
            log_.debug("!!!!!!!!!!!!!!!read String = %s!", name.c_str());
            return Next::Continue;
        }
        log_.debug("(black)Jbig is here!;");
        if (!fileExists(black)) {
            log_.debug("cannot open redelse jbg file;");
            if (!canOpenForReading(paths_.markerFile)) {
                log_.debug("rastercodec is not exist!goto LoopEndOfPage.");
                return Next::EndOfPage;
            }
            log_.debug("rastercodec is exist!it will continue");
            io_.clock.sleepMicros(500000);
        }
    }
}

Rastersend::Next Rastersend::waitForPageNet(int page)
{
    const std::string black = paths_.blackPlane(page);
    for (;;) {
        // Wait until the rasterizer has finished writing the black plane:
        // its size must stay the same for four looks.
        long largest = 0;
        int unchanged = 0;
        for (;;) {
            struct stat st;
            bool exists = stat(black.c_str(), &st) == 0;
            if (!exists) {
                CheckStatus();
                if (Flag_CancelJob)
                    return Next::Unlock;
                if (!canOpenForReading(paths_.markerFile))
                    break;
                io_.clock.sleepMicros(500000);
                continue;
            }
            if (static_cast<long>(st.st_size) > largest) {
                largest = static_cast<long>(st.st_size);
                CheckStatus();
                if (Flag_CancelJob)
                    return Next::Unlock;
                io_.clock.sleepMicros(400000);
                continue;
            }
            if (++unchanged >= 4)
                break;
            if (resolutionChoice == 4) {
                log_.debug("sleep 500ms;");
                io_.clock.sleepMicros(400000);
            } else {
                io_.clock.sleepMicros(100000);
            }
        }

        std::string name;
        do {
            name = handoff_.consume(kKindFileName);
            if (handoff_.failed())
                return Next::EndOfPage;
        } while (isEmptyValue(name));
        if (name == black)
            return Next::Continue;
        if (name == kEndMarker) {
            log_.keep("!!!!!!!!!!!!!!!read String = %s!", name.c_str());
            return Next::Continue;
        }
        if (!fileExists(black)) {
            if (!canOpenForReading(paths_.markerFile))
                return Next::EndOfPage;
            io_.clock.sleepMicros(500000);
        }
    }
}

int Rastersend::duplexFlagSignal()
{
    log_.verboseLine(writeFlag != 0 ? "DEBUG:[KOLVEX-LR880]open file with read"
                                    : "DEBUG:[KOLVEX-LR880]open file with write");
    FILE *f = openWithRetries(paths_.statusCodeFile, writeFlag != 0 ? "r" : "w");
    if (!f)
        return 0;

    if (writeFlag != 0) {
        char text[10] = {};
        size_t n = std::fread(text, 1, 9, f);
        text[n] = '\0';
        std::fclose(f);
        int retnum = 0;
        if (std::sscanf(text, "CODE=%d", &retnum) != 1)
            retnum = 0;
        log_.verboseLine("DEBUG:[KOLVEX-LR880]read retnum = %d", retnum);
        if (retnum == 7777) {
            log_.verboseLine("DEBUG:[KOLVEX-LR880]read %s", text);
            return 1;
        }
        return 0;
    }

    // Ask the operator to turn the stack: 4444 short edge, 4477 long edge.
    int request = isDuplex == 1 ? 4444 : isDuplex == 2 ? 4477 : 0;
    if (request) {
        log_.verboseLine("DEBUG:[KOLVEX-LR990N]ready to send the even page %d", request);
        std::fprintf(f, "CODE=%d\n", request);
    }
    std::fclose(f);
    ++writeFlag;
    return 0;
}

Rastersend::Next Rastersend::waitForTurnOver()
{
    for (;;) {
        log_.keep("wait the turn over signal 1;");
        CheckStatus();
        writeFlag = 0;
        if (Flag_CancelJob)
            return Next::EndOfPage;
        duplexFlagSignal();
        io_.clock.sleepSeconds(2);
        if (duplexFlagSignal() == 1)
            return Next::Continue;
        log_.keep("wait the turn over signal 2;");
    }
}

void Rastersend::removePageFiles(int page, bool logRemoval)
{
    for (const std::string &path : {paths_.blackPlane(page), paths_.redPlane(page)}) {
        if (logRemoval)
            log_.debug("remove(%s);", path.c_str());
        if (std::remove(path.c_str()) != 0 && errno != ENOENT)
            log_.debug("remove %s failed: %s", path.c_str(), std::strerror(errno));
    }
}

std::string Rastersend::readPrinterState()
{
    FILE *f = std::fopen(paths_.printerStateFile.c_str(), "r");
    if (!f) {
        log_.line("[KOLVEX-LR880][rastersend]open file printer state error %s",
                  paths_.printerStateFile.c_str());
        return std::string();
    }
    char line[200] = {};
    if (!std::fgets(line, sizeof line, f))
        line[0] = '\0';
    std::fclose(f);
    line[std::strcspn(line, "\n")] = '\0';
    return line;
}

void Rastersend::runSummarizer()
{
    if (access(paths_.logSummarizer.c_str(), X_OK) != 0) {
        log_.debug("log summarizer %s is not there", paths_.logSummarizer.c_str());
        return;
    }
    io_.system.runShell(shellQuote(paths_.logSummarizer));
}

void Rastersend::writePrintLogEntry()
{
    FILE *f = std::fopen(paths_.printLog.c_str(), "a");
    if (f) {
        log_.keep("open file OK:%s ", paths_.printLog.c_str());
        std::string state = readPrinterState();
        std::fprintf(f, "PageNum=%d;\n", record_.cPageNum);
        std::fprintf(f, "PaperSize=%s;\n", record_.cPaperSize);
        std::fprintf(f, "Resolution=%s;\n", record_.cResolution);
        std::fprintf(f, "Copies-Actual=%s;\n", record_.cCopies);
        std::fprintf(f, "PrinterState=%s;\n", state.c_str());
        std::fprintf(f, "EndTime:%s", ctimeText().c_str());
        std::fputs("\n==================================\n\n", f);
        std::fclose(f);
    } else {
        log_.keep("open file error:%s ", paths_.printLog.c_str());
    }
    log_.debug("        Program End!");
    runSummarizer();
    Response_status(1);
    log_.line("INFO:打印机就绪");
}

void Rastersend::cancel_job(int reason)
{
    removeHandoff();
    if (cancel_job_flag) {
        // A second SIGTERM while the first cancellation is still running.
        cancel_job_flag = 0;
        if (model_.network)
            log_.line("INFO:打印机就绪");
        Response_status(1);
        if (!model_.network)
            log_.line("INFO:打印机就绪");
        io_.system.exitProcess(0);
        return;
    }
    cancel_job_flag = 1;
    if (reason == 15)
        Response_status(8);
    if (!model_.network)
        log_.line("[KOLVEX-LR880][rastersend]signal SIGTERM int = %d", reason);

    FILE *f = std::fopen(paths_.printLog.c_str(), "a");
    if (f) {
        std::string state = readPrinterState();
        log_.keep("open file OK:%s ", paths_.printLog.c_str());
        std::fprintf(f, "PageNum=%d;\n", printPage);
        std::fprintf(f, "PaperSize=%s;\n", record_.cPaperSize);
        std::fprintf(f, "Resolution=%s;\n", record_.cResolution);
        std::fprintf(f, "Copies-Actual=%s;\n", record_.cCopies);
        std::fprintf(f, "EndTime:%s", ctimeText().c_str());
        if (Flag_CancelJob)
            std::fprintf(f, "PrinterState=%s\nPrint Job Canceled from the Printer\n", state.c_str());
        if (reason == 15)
            std::fprintf(f, "PrinterState=%s\nPrint Job Canceled from the Computer or USB Lost Connect\n",
                         state.c_str());
        std::fputs("\n==========================\n\n", f);
        std::fclose(f);
    } else {
        log_.keep("open file error:%s ", paths_.printLog.c_str());
    }
    ClearStatus();
    runSummarizer();
    Response_status(1);
    log_.line("INFO:打印机就绪");

    std::string lastError;
    int r = io_.system.cancelSchedulerJob(PrinterName, std::atoi(JobID.c_str()), &lastError);
    if (model_.network) {
        if (!paths_.cancelProgram.empty() && access(paths_.cancelProgram.c_str(), X_OK) == 0)
            io_.system.runShell(shellQuote(paths_.cancelProgram));
    } else {
        log_.line("[KOLVEX-LR880][rastersend]cupsCancelJob int = %d", r);
        log_.line("[KOLVEX-LR880][rastersend]cupsCancelJoblasterror = %s", lastError.c_str());
    }
    io_.system.exitProcess(0);
}

int Rastersend::run(int argc, char **argv, const char *ppdPath)
{
    Flag_Unlock = 0;
    Flag_Lock = 0;
    if (argc < 6) {
        log_.line("ERROR: rastersend needs the CUPS filter arguments: "
                  "queue job-id user title copies options [file]");
        return 1;
    }
    PrinterName = argv[0];
    JobID = argv[1];
    Copies = argv[4];
    paths_ = FilterPaths::make(model_, root_, JobID);
    if (!haveKey_)
        handoffKey_ = model_.network ? networkHandoffKey(std::atoi(JobID.c_str())) : kUsbHandoffKey;

    if (model_.network) {
        log_.keep("finS0 = %s,S1 = %s,RedS1= %s,", paths_.fileBase.c_str(),
                  paths_.blackPlane(0).c_str(), paths_.redPlane(0).c_str());
        FILE *f = std::fopen(paths_.jobIdFile.c_str(), "w");
        if (f) {
            std::fputs(JobID.c_str(), f);
            std::fclose(f);
        } else {
            log_.line("[KOLVEX-LR880][rastersend]open file PrinterJID printer state error %s",
                      paths_.printerStateFile.c_str());
        }
    } else {
        struct timeval tv;
        struct timezone tz;
        gettimeofday(&tv, &tz);
        log_.debug("StartTime:%s", ctimeText().c_str());
        log_.debug("tv_sec:%d", static_cast<int>(tv.tv_sec));
        log_.debug("tv_usec:%d", static_cast<int>(tv.tv_usec));
        log_.debug("tz_minuteswest:%d", tz.tz_minuteswest);
        log_.debug("tz_dsttime:%d", tz.tz_dsttime);
    }

    // The job's option list, kept to the end of the job.
    cups_option_t *jobOptions = nullptr;
    int optionCount = cupsParseOptions(argv[5], 0, &jobOptions);
    if (optionCount < 0) {
        log_.debug("illegal option.return 0");
        return 0;
    }
    log_.debug("re_option_num= %d,argv_5= %s", optionCount, argv[5]);

    JobOptions o;
    readJobOptions(ppdPath, argv[5], &o, log_);
    pageSizeName = o.pageSize;
    media_type = o.mediaType;
    WatermarkOptions = o.watermarkOptions;
    waterMark = o.watermarkMarked && o.watermarkOptions != "None" ? 1 : 0;
    ColorMode = o.colorMode;
    isColor = !o.colorModeMarked || o.colorMode == "Color" ? 1 : o.colorMode == "Green" ? 2 : 0;
    resolution = o.resolution;
    resolutionChoice = chooseResolution(resolution, waterMark, isColor);
    InputSlot = o.inputSlot;
    cupsDarkness = o.darkness;
    Duplex = o.duplex;
    isDuplex = o.duplex == "DuplexTumble" ? 1 : o.duplex == "DuplexNoTumble" ? 2 : 0;
    log_.debug("media_type=%s,WatermarkOptions=%s,ColorMode=%s,resolution=%s,InputSlot=%s,"
               "cupsDarkness=%s,Duplex=%s,resolutionChoice=%d",
               media_type.c_str(), WatermarkOptions.c_str(), ColorMode.c_str(), resolution.c_str(),
               InputSlot.c_str(), cupsDarkness.c_str(), Duplex.c_str(), resolutionChoice);

    writeJobInfo();

    pPrintLog = &record_;
    copyField(record_.cPrintName, PrinterName);
    copyField(record_.cJobID, JobID);
    copyField(record_.cFileName, argv[3]);
    copyField(record_.cCopies, Copies);
    copyField(record_.cResolution, resolution);
    copyField(record_.cPaperSize, pageSizeName);

    log_.keep(" initreceiver ");
    if (model_.network)
        log_.keep("(initreceiver)the JOBID = %d,rand number = %d", std::atoi(JobID.c_str()),
                  static_cast<int>(handoffKey_));
    if (handoff_.initreceiver(handoffKey_) != 1) {
        // The rasterizer has not created the objects yet: create them.
        for (;;) {
            if (model_.network)
                log_.keep("the JOBID = %d,rand number = %d", std::atoi(JobID.c_str()),
                          static_cast<int>(handoffKey_));
            if (handoff_.initsender(handoffKey_) == 1)
                break;
            io_.clock.sleepSeconds(1);
        }
    }
    if (model_.network)
        log_.keep("(opensem)semid  = %d", handoff_.semid);
    log_.keep(" initreceiver ok");

    Copies = consumeValue(kKindCopies, "copies");
    log_.debug("find copies ok!");
    Pagescount = consumeValue(kKindPagesCount, "pagescount");
    pageCount = std::atoi(Pagescount.c_str());
    log_.debug("PrinterName=%s,JobID=%s, copies=%s ", PrinterName.c_str(), JobID.c_str(),
               Copies.c_str());

    int lockResult = 1;
    CheckStatus();
    lockResult = CheckLockPrinter();
    if (lockResult == 0) {
        StartOfJob();
        StartPageHeader(Copies, pageSizeName, resolution, media_type, 0, 0);
        Next next = waitForFirstFiles();
        if (next == Next::Continue)
            next = printPages();
        if (next == Next::EndOfPage)
            LoopEndOfPage();
    } else if (!Flag_CancelJob) {
        // The printer was never locked: nothing was sent, but the rasterizer
        // must not be left waiting on the hand-off for a reader that is gone.
        removeHandoff();
    }

    log_.debug("GOTO: LoopUnlockPrinter;");
    CheckUnlockPrinter(lockResult);
    cupsFreeOptions(optionCount, jobOptions);
    log_.line("STATE: -打印任务已删除");
    ClearStatus();
    record_.cPageNum = printPage;
    log_.debug("[PrintLog]pPrintLog->cCopies=%s;", record_.cCopies);
    log_.debug("[PrintLog]pPrintLog->cFileName=%s;", record_.cFileName);
    log_.debug("[PrintLog]pPrintLog->cJobID=%s;", record_.cJobID);
    log_.debug("[PrintLog]pPrintLog->cPageNum=%d;", record_.cPageNum);
    log_.debug("[PrintLog]pPrintLog->cPaperSize=%s;", record_.cPaperSize);
    log_.debug("[PrintLog]pPrintLog->cPrintName=%s;", record_.cPrintName);
    log_.debug("[PrintLog]pPrintLog->cResolution=%s;", record_.cResolution);
    log_.debug("[PrintLog]pPrintLog->cUserName=%s;", record_.cUserName);

    if (Flag_CancelJob) {
        log_.keep("This Job has been canceled;");
        cancel_job(Flag_communication == 1 ? 15 : 0);
        return 0;
    }
    writePrintLogEntry();
    return 0;
}

Rastersend::Next Rastersend::printPages()
{
    if (pageCount == 1)
        isDuplex = 0;
    const int step = isDuplex != 0 ? 2 : 1;
    const int n = pageCount;
    int PageInc = step;
    bool skipAnnouncement = false;
    bool resend = false;

    for (;;) {
        // A page sent again gets its header again, and does not wait for an
        // announcement it has already had.
        if (PageInc != step || resend)
            StartPageHeader(Copies, pageSizeName, resolution, media_type, 0, 0);
        log_.debug("start send page data;");
        log_.debug("fnin=%s;", paths_.blackPlane(PageInc).c_str());
        log_.debug("(red)fRednin=%s;", paths_.redPlane(PageInc).c_str());
        if (!skipAnnouncement && !resend) {
            Next next = model_.network ? waitForPageNet(PageInc) : waitForPage(PageInc);
            if (next != Next::Continue)
                return next;
        }
        resend = false;

        Next next = sendPage(PageInc);
        if (next != Next::Continue)
            return next;

        if (Flag_CancelJob) {
            // Cancelled at the printer after the red plane: this page is gone,
            // the job ends like a normal one.
            Flag_CancelJob = 0;
            log_.debug("canceljob flag=%d;", Flag_CancelJob);
            log_.line("STATE: +正在删除临时文件");
            removePageFiles(PageInc, true);
            log_.line("STATE: -正在删除临时文件");
            log_.debug("Job Cancelled,JBIG files have been removed;");
            CheckStatus();
            log_.debug("JobCancelled!");
            return Next::EndOfPage;
        }
        if (Flag_OOM) {
            // The printer ran out of memory: keep the files and send the page again.
            log_.debug("Flag-OOM=1;");
            PageInc -= step;
            Flag_OOM = 0;
            log_.debug("Flag_OOM=%d,PageInc=%d", Flag_OOM, PageInc);
            resend = true;
        } else {
            removePageFiles(PageInc, false);
        }
        log_.debug("PageInc=%d;", PageInc);

        if (step == 2 && n % 2 == 0 && PageInc == n) {
            skipAnnouncement = true;
            PageInc = -1;
            log_.debug("duplex-long_r88;");
            if (waitForTurnOver() != Next::Continue)
                return Next::EndOfPage;
        } else if (step == 2 && n % 2 == 0 && PageInc + 1 == n) {
            return Next::EndOfPage;
        } else if (step == 2 && n % 2 == 1 && PageInc + 1 == n) {
            skipAnnouncement = true;
            PageInc = -1;
            log_.keep("duplex-short_r88;");
            if (waitForTurnOver() != Next::Continue)
                return Next::EndOfPage;
        } else if (step == 2 && n % 2 == 1 && PageInc + 2 == n) {
            skipAnnouncement = false;
        } else if (step == 2 && n % 2 == 1 && PageInc == n) {
            return Next::EndOfPage;
        } else if (step == 1 && PageInc == n) {
            return Next::EndOfPage;
        }
        PageInc += step;
    }
}

} // namespace kolvex
