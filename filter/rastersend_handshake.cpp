// The command channel: how a command leaves the host, how a reply is read
// (with fillers while the printer is silent), and the job-level handshakes.
#include <cstdlib>
#include <cstring>

#include "rastersend.h"

namespace kolvex {

namespace {

// Fillers allowed after each query or end event before it counts as unanswered.
constexpr int kLockFillers = 4;
constexpr int kCancelFillers = 4;
constexpr int kStatusFillers = 3;
constexpr int kUnlockFillers = 3;

constexpr int kLockNoReplyLimit = 6;
constexpr int kFingerprintRetries = 5;
constexpr int kSilentStatusLimit = 3;

bool isFingerprintFailure(int r)
{
    return r == 6018 || r == 6021 || r == 6033 || r == 6035 || r == 6245;
}

} // namespace

unsigned replyCode(const char *reply, size_t length)
{
    size_t i = 0;
    while (i < length && (reply[i] == ' ' || reply[i] == '\t' || reply[i] == '\r' ||
                          reply[i] == '\n'))
        ++i;
    char word[5] = {};
    size_t n = 0;
    while (i < length && n < 4 && reply[i] != '\0' && reply[i] != ' ' && reply[i] != '\t' &&
           reply[i] != '\r' && reply[i] != '\n')
        word[n++] = reply[i++];
    return static_cast<unsigned>(std::strtoul(word, nullptr, 10));
}

void Rastersend::pause()
{
    if (model_.sleepTimeMicros)
        io_.clock.sleepMicros(model_.sleepTimeMicros);
}

void Rastersend::sendRaw(const void *data, size_t size)
{
    ssize_t written = io_.channel.write(data, size);
    if (written != static_cast<ssize_t>(size))
        log_.debug("write to the printer: %zd of %zu bytes", written, size);
}

void Rastersend::sendCommand(const std::string &text, double drainSeconds)
{
    std::string command = std::string(model_.commandPrefix) + text;
    sendRaw(command.data(), command.size());
    int status = io_.channel.drain(drainSeconds);
    log_.debug("send %s, drain status=%d", command.c_str(), status);
    pause();
}

ssize_t Rastersend::readReply(char *reply, int fillers, const char *filler, double firstTimeout)
{
    std::memset(reply, 0, kReplySize + 1);
    ssize_t n = io_.channel.readReply(reply, kReplySize, firstTimeout);
    return readWithFillers(reply, n, fillers, filler);
}

ssize_t Rastersend::readWithFillers(char *reply, ssize_t n, int fillers, const char *filler)
{
    // A silent printer is nudged with a run of blanks before the query
    // counts as unanswered.
    for (int sent = 0; n <= 0 && sent < fillers; ++sent) {
        sendRaw(filler, std::strlen(filler));
        io_.channel.drain(1.0);
        log_.debug("send filler [%s] %d", filler, sent + 1);
        n = io_.channel.readReply(reply, kReplySize, 1.0);
    }
    if (n > 0) {
        reply[n] = '\0';
        log_.debug("OPL_Response_strs=%s", reply);
    }
    return n;
}

void Rastersend::StartOfJob()
{
    static const char *const kStartEvents[] = {
        "Event=StartOfJob0;", "Event=StartOfJob4;", "Event=StartOfJob1;",
        "Event=StartOfJob2;", "Event=StartOfJob3;"};
    sendCommand("OSVersion=Linux;");
    int choice = resolutionChoice >= 0 && resolutionChoice <= 4 ? resolutionChoice : 0;
    sendCommand(kStartEvents[choice]);
    sendCommand("HostName=\\\\" + io_.system.userName() + ";");
    sendCommand("ExtendArea=0;");
    sendCommand("IgnorePaper=0;");
    sendCommand("AutoContinue=0;");
}

int Rastersend::LockPrinter()
{
    char reply[kReplySize + 1];
    sendCommand("LockPrinter?", 5.0);
    std::memset(reply, 0, sizeof reply);
    ssize_t n = io_.channel.readReply(reply, kReplySize, 5.0);
    if (model_.network)
        io_.clock.sleepSeconds(2);
    n = readWithFillers(reply, n, kLockFillers, kFiller);
    pause();
    if (n <= 0) {
        log_.debug("mInc=%d; can not receive data from printer return 6 in Lock printer function;",
                   kLockFillers);
        return 6;
    }
    unsigned code = replyCode(reply, static_cast<size_t>(n));
    Response_status(code);
    if (code == 2 || code == 6244)
        return 0;
    if (isFingerprintFailure(static_cast<int>(code)))
        return static_cast<int>(code);
    if (code == 1002)
        return 2;
    return 1;
}

int Rastersend::CheckLockPrinter()
{
    int fingerprintFailures = 0;
    int unanswered = 0;
    for (;;) {
        int r = LockPrinter();
        pause();
        if (r == 0) {
            log_.debug("LockPrinter OK!");
            ClearStatus();
            Flag_Lock = 1;
            return 0;
        }
        if (r == 6) {
            if (++unanswered >= kLockNoReplyLimit) {
                Response_status(8);
                Flag_communication = 1;
                return 1;
            }
        } else if (isFingerprintFailure(r)) {
            io_.clock.sleepSeconds(3);
            if (fingerprintFailures >= kFingerprintRetries) {
                log_.debug("mInc>=5,break;");
                FILE *f = std::fopen(paths_.printerStateFile.c_str(), "w");
                if (f) {
                    std::fputs("Finger Print Certificate Error", f);
                    std::fclose(f);
                } else {
                    log_.line("[KOLVEX-LR880][rastersend]open file printer state error %s",
                              paths_.printerStateFile.c_str());
                }
                return 1;
            }
            ++fingerprintFailures;
            log_.debug("mInc++;");
        }
        log_.debug("LockPrinter FAILED!");
        Flag_Lock = 0;
        io_.clock.sleepSeconds(2);
    }
}

int Rastersend::Status()
{
    char reply[kReplySize + 1];
    sendCommand("Status?");
    ssize_t n = readReply(reply, kStatusFillers, kFiller, 1.0);
    pause();
    if (n <= 0) {
        Flag_communication = 1;
        return 6;
    }
    Flag_communication = 0;
    unsigned code = replyCode(reply, static_cast<size_t>(n));
    Response_status(code);
    switch (Response_status_lever(code)) {
    case kLevelError: return 5;
    case kLevelLocked: return 2;
    case kLevelUnlocked: return 3;
    case kLevelCancelled: return 8;
    case kLevelOutOfMemory: return 7;
    default: return 0;
    }
}

void Rastersend::CheckStatus()
{
    int unanswered = 0;
    for (;;) {
        int a = Status();
        pause();
        switch (a) {
        case 0:
            log_.debug("CheckStatus,a=0,break;");
            ClearStatus();
            return;
        case 2:
            Flag_Lock = 1;
            ClearStatus();
            return;
        case 3:
            Flag_Unlock = 1;
            ClearStatus();
            return;
        case 6:
            if (++unanswered <= kSilentStatusLimit) {
                log_.debug("send Status? can not receive data and send 3 [_] times:%d;", unanswered);
                continue;
            }
            log_.debug("CheckStatus,a=6,break can not communicate;");
            if (CancelJobOK() == 0) {
                Flag_CancelJob = 1;
                ClearStatus();
                return;
            }
            continue;
        case 7:
            log_.debug("CheckStatus,a=7;");
            Flag_OOM = 1;
            io_.clock.sleepSeconds(1);
            unanswered = 0;
            continue;
        case 8:
            log_.debug("CheckStatus,a=8,break,return the 0004 job canceled;");
            if (CancelJobOK() == 0) {
                Flag_CancelJob = 1;
                ClearStatus();
                return;
            }
            continue;
        default:
            log_.debug("CheckStatus,a=5,error,sleep 1s;");
            io_.clock.sleepSeconds(1);
            unanswered = 0;
            continue;
        }
    }
}

int Rastersend::CancelJobOK()
{
    char reply[kReplySize + 1];
    sendCommand("CancelJob?");
    ssize_t n = readReply(reply, kCancelFillers, kFiller, 1.0);
    pause();
    if (n <= 0) {
        Flag_CancelJob = 1;
        Flag_communication = 1;
        Response_status(4);
        return 0;
    }
    unsigned code = replyCode(reply, static_cast<size_t>(n));
    Response_status(code);
    if (code == 4) {
        Flag_CancelJob = 1;
        return 0;
    }
    return 1;
}

int Rastersend::UnlockPrinter()
{
    char reply[kReplySize + 1];
    sendCommand("UnlockPrinter?");
    ssize_t n = readReply(reply, kUnlockFillers, kFiller, 1.0);
    if (n <= 0) {
        Flag_communication = 1;
        return 2;
    }
    unsigned code = replyCode(reply, static_cast<size_t>(n));
    Response_status(code);
    log_.debug("Unlock_OPL_Response_Num=%u", code);
    switch (Response_status_lever(code)) {
    case kLevelError: return 5;
    case kLevelUnlocked: return 3;
    case kLevelCancelled: return 4;
    default: return 0;
    }
}

int Rastersend::CheckUnlockPrinter(int lockResult)
{
    int unanswered = 0;
    for (;;) {
        int a = UnlockPrinter();
        if (model_.network)
            io_.clock.sleepSeconds(1);
        log_.debug("Unlock?,a=%d;", a);
        switch (a) {
        case 3:
            log_.debug("Unlocked!,a=%d;", a);
            ClearStatus();
            if (lockResult != 0)
                CancelJobOK();
            return 1;
        case 2:
            if (++unanswered <= kSilentStatusLimit) {
                log_.debug("send UnlockPrinter can not receive data and send 3 [_] times:%d;",
                           unanswered);
                continue;
            }
            log_.debug("Unlock?,cancelJob,a=%d;", a);
            if (CancelJobOK() == 0) {
                Flag_CancelJob = 1;
                return 1;
            }
            continue;
        case 4:
            log_.debug("Unlock?,cancelJob,a=%d;", a);
            if (CancelJobOK() == 0) {
                Flag_CancelJob = 1;
                return 1;
            }
            continue;
        case 5:
            unanswered = 0;
            io_.clock.sleepSeconds(1);
            if (Flag_CancelJob)
                return 0;
            continue;
        default:
            Flag_Unlock = 0;
            log_.debug("not Unlocked,a=%d;", a);
            io_.clock.sleepSeconds(1);
            if (Flag_CancelJob == 1)
                return 0;
            continue;
        }
    }
}

void Rastersend::EndOfJob()
{
    sendCommand("Event=EndOfJob;");
}

void Rastersend::EndOfCmd()
{
    sendRaw(";", 1);
    int status = io_.channel.drain(1.0);
    log_.debug("EndOfCmd drain status=%d", status);
    pause();
}

} // namespace kolvex
