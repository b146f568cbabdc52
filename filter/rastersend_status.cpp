// Status reporting: every code the filter learns goes to the status code
// file (read by the monitor), to CUPS as STATE/INFO/WARNING lines, and as a
// short English text to the printer-state file (copied into the print log).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "rastersend.h"

namespace kolvex {

namespace {

// How a code is reported to CUPS.
enum class Report {
    Info,           // "INFO:<text>"
    Warning,        // "WARNING:<text>"
    Reason,         // "STATE: +<text>" then "INFO: <text>"
    ReasonNoBlank,  // "STATE:+<text>" then "INFO:<text>" (code 4)
    InfoFirst,      // "INFO: <text>" then "STATE: +<text>" (code 8)
    ByLock,         // code 1: depends on the lock
};

struct StatusRow {
    unsigned code;
    Report report;
    const char *text;
    const char *state;  // printer-state text; nullptr for "OK"
};

const char kReady[] = "打印机就绪";
const char kPrinting[] = "打印中…………";
const char kUnknownReason[] = "KOLVEX未知错误";

const StatusRow kStatusTable[] = {
    {0, Report::Info, kReady, nullptr},
    {3, Report::Info, kReady, nullptr},
    {10, Report::Info, kReady, nullptr},
    {20, Report::Info, kReady, nullptr},
    {21, Report::Info, kReady, nullptr},
    {1, Report::ByLock, nullptr, nullptr},
    {2, Report::Info, kPrinting, nullptr},
    {5, Report::Info, kPrinting, nullptr},
    {9, Report::Info, kPrinting, nullptr},
    {1001, Report::Info, kPrinting, nullptr},
    {1005, Report::Info, kPrinting, nullptr},
    {6, Report::Info, "锁定打印", nullptr},
    {200, Report::Info, "SleepMode=5", nullptr},
    {205, Report::Info, "InstalledMemory=8", nullptr},
    {300, Report::Info, "TonerRemain=100", nullptr},
    {500, Report::Info, "OPCRemain=100", nullptr},
    {600, Report::Info, "PaperSource=auto", nullptr},
    {1002, Report::Info, "打印未锁定", nullptr},
    {1003, Report::Info, "打印预热中", nullptr},
    {1010, Report::Info, "打印机正在工作中，请等待", nullptr},
    {1011, Report::Info, "打印机正在工作中，请等待", nullptr},
    {1012, Report::Info, "请安装新硒鼓", nullptr},
    {1013, Report::Info, "TestMode", nullptr},
    {2006, Report::Warning, "墨盒即将用尽", nullptr},
    {2007, Report::Warning, "硒鼓即将用尽", nullptr},
    {2008, Report::Warning, "纸张尺寸不正确", "Media Size Error"},
    {2010, Report::Warning, "纸张尺寸不正确", "Media Size Error"},
    {2009, Report::Warning, "省电模式", nullptr},
    {2011, Report::Warning, "使用了劣质硒鼓", nullptr},
    {2012, Report::Warning, "未完成所有打印", nullptr},
    {4, Report::ReasonNoBlank, "打印任务已删除", "Print Job deleated"},
    {8, Report::InfoFirst, "打印机连接失败", "Failed to connect to printer"},
    {3000, Report::Reason, "3000SettingsUndefined", nullptr},
    {3004, Report::Reason, "cover-open", nullptr},
    {3009, Report::Reason, "墨粉溢出", nullptr},
    {3010, Report::Reason, "硒鼓已到使用寿命", nullptr},
    {3016, Report::Reason, "纸张类型不正确", nullptr},
    {3019, Report::Reason, "纸仓搓纸失败", "Pick Paper Error"},
    {3020, Report::Reason, "手动进纸失败", nullptr},
    {3079, Report::Reason, "手动进纸失败", nullptr},
    {3025, Report::Reason, "输出卡纸", "OutPut Paper Jam"},
    {3026, Report::Reason, "纸张尺寸不正确", nullptr},
    {3069, Report::Reason, "纸张尺寸不正确", nullptr},
    {3030, Report::Reason, "未安装硒鼓", nullptr},
    {3038, Report::Reason, "内存不足请等待", nullptr},
    {3063, Report::Reason, "严重错误", nullptr},
    {3064, Report::Reason, "CUP-INTERNAL-error", nullptr},
    {3065, Report::Reason, "3065CommandNotUnderstood", nullptr},
    {3066, Report::Reason, "3066UnknownParameter", nullptr},
    {3068, Report::Reason, "3068WrongJBIGFormat;", nullptr},
    {3070, Report::Reason, "打印机卡纸", "Printer Jam"},
    {3071, Report::Reason, "LSU-Red-Error-002", nullptr},
    {3072, Report::Reason, "LSU-Red-Error-001", nullptr},
    {3073, Report::Reason, "加热异常", nullptr},
    {3074, Report::Reason, "机器过热", "Printer over heat"},
    {3075, Report::Reason, "墨盒错误", nullptr},
    {3076, Report::Reason, "劣质墨盒", nullptr},
    {3077, Report::Reason, "墨盒故障", nullptr},
    {3078, Report::Reason, "送纸错误", nullptr},
    {3171, Report::Reason, "LSU-Black-Error-002", nullptr},
    {3172, Report::Reason, "LSU-Black-Error-001", nullptr},
    {4000, Report::Reason, "4000FlashError", nullptr},
    {4001, Report::Reason, "TestMode-error", nullptr},
    {5002, Report::Reason, "状态确认错误", nullptr},
    {5003, Report::Reason, "非列表中设备", nullptr},
    {5004, Report::Reason, "搜索中…………", nullptr},
    {5013, Report::Reason, "打印从另一台计算机发送的数据时出现错误", nullptr},
    {5014, Report::Reason, "打印从另一个端口发送的数据时出现错误", nullptr},
    {6000, Report::Reason, "指纹操作成功", nullptr},
    {6001, Report::Reason, "指纹操作失败", nullptr},
    {6002, Report::Reason, "请放入手指", nullptr},
    {6018, Report::Reason, "该指纹不存在", "Finger Print does not exist"},
    {6019, Report::Reason, "选中的指纹不存在", nullptr},
    {6096, Report::Reason, "选中的指纹不存在", nullptr},
    {6020, Report::Reason, "选中的指纹不为空", nullptr},
    {6021, Report::Reason, "无存储指纹", nullptr},
    {6022, Report::Reason, "指纹存储已满", nullptr},
    {6025, Report::Reason, "该指纹已存在", nullptr},
    {6033, Report::Reason, "指纹图像质量不好", nullptr},
    {6035, Report::Reason, "指纹操作超时", "Finger Print Time out"},
    {6065, Report::Reason, "取消指纹操作", nullptr},
    {6176, Report::Reason, "识别指纹成功", nullptr},
    {6177, Report::Reason, "注册指纹成功", nullptr},
    {6178, Report::Reason, "删除单个指纹成功", nullptr},
    {6179, Report::Reason, "删除所有指纹成功", nullptr},
    {6180, Report::Reason, "请等待....", nullptr},
    {6244, Report::Reason, "请离开手指", nullptr},
    {6245, Report::Reason, "指纹模块通讯错误", nullptr},
};

// Every reason the reporter can add, in the order ClearStatus withdraws them.
const char *const kAllReasons[] = {
    "打印任务已删除", "打印机连接失败", "3000SettingsUndefined", "3065CommandNotUnderstood",
    "3066UnknownParameter", "3068WrongJBIGFormat;", "4000FlashError", "cover-open", "墨粉溢出",
    "硒鼓已到使用寿命", "纸张类型不正确", "纸仓搓纸失败", "手动进纸失败", "输出卡纸",
    "纸张尺寸不正确", "未安装硒鼓", "内存不足请等待", "严重错误", "CUP-INTERNAL-error",
    "打印机卡纸", "LSU-Red-Error-002", "LSU-Red-Error-001", "LSU-Black-Error-002",
    "LSU-Black-Error-001", "加热异常", "机器过热", "墨盒错误", "劣质墨盒", "墨盒故障",
    "送纸错误", "TestMode-error", "状态确认错误", "非列表中设备", "搜索中…………",
    "打印从另一台计算机发送的数据时出现错误", "打印从另一个端口发送的数据时出现错误",
    kUnknownReason, "指纹操作成功", "指纹操作失败", "请放入手指", "该指纹不存在",
    "选中的指纹不存在", "选中的指纹不为空", "请等待....", "无存储指纹", "指纹存储已满",
    "该指纹已存在", "指纹图像质量不好", "指纹操作超时", "取消指纹操作", "识别指纹成功",
    "注册指纹成功", "删除单个指纹成功", "删除所有指纹成功", "请离开手指", "指纹模块通讯错误",
};
static_assert(sizeof kAllReasons / sizeof kAllReasons[0] == 56, "56 printer-state reasons");

const StatusRow *findRow(unsigned code)
{
    for (const StatusRow &row : kStatusTable)
        if (row.code == code)
            return &row;
    return nullptr;
}

constexpr int kOpenAttempts = 8;
constexpr unsigned kOpenPauseMicros = 5000;

} // namespace

int Response_status_lever(unsigned code)
{
    if ((code >= 3000 && code <= 3037) || (code >= 3039 && code <= 4001) || code == 6002)
        return kLevelError;
    if (code == 2)
        return kLevelLocked;
    if (code == 3)
        return kLevelUnlocked;
    if (code == 4)
        return kLevelCancelled;
    if (code == 3038)
        return kLevelOutOfMemory;
    return kLevelCarryOn;
}

FILE *Rastersend::openWithRetries(const std::string &path, const char *mode)
{
    // The monitor may be rewriting a control file at this very moment.
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        if (FILE *f = std::fopen(path.c_str(), mode))
            return f;
        log_.line("DEBUG:[KOLVEX-LR880]open file error %s", path.c_str());
        log_.line("DEBUG:[KOLVEX-LR880] error number=%d, reason:%s", errno, std::strerror(errno));
        if (attempt < kOpenAttempts)
            io_.clock.sleepMicros(kOpenPauseMicros);
    }
    return nullptr;
}

void Rastersend::writeStatus(int code)
{
    FILE *f = openWithRetries(paths_.statusCodeFile, "w");
    if (!f)
        return;
    log_.verboseLine("DEBUG:[KOLVEX-LR880]open file ok %s", paths_.statusCodeFile.c_str());
    log_.verboseLine("DEBUG:[KOLVEX-LR990N]printer info %d", code);
    std::fprintf(f, "CODE=%d\n", code);
    std::fclose(f);
}

void Rastersend::writePrinterStateText(const char *text)
{
    FILE *f = std::fopen(paths_.printerStateFile.c_str(), "w+");
    if (!f) {
        log_.line("[KOLVEX-LR880][rastersend]open file printer state error %s",
                  paths_.printerStateFile.c_str());
        return;
    }
    std::fputs(text, f);
    std::fclose(f);
}

void Rastersend::Response_status(unsigned code)
{
    writeStatus(static_cast<int>(code));

    const char *state = "OK";
    const StatusRow *row = findRow(code);
    if (!row) {
        // Any other code: the unknown reason alone, no INFO line.
        log_.line("STATE: +%s", kUnknownReason);
    } else {
        switch (row->report) {
        case Report::Info: log_.line("INFO:%s", row->text); break;
        case Report::Warning: log_.line("WARNING:%s", row->text); break;
        case Report::Reason:
            log_.line("STATE: +%s", row->text);
            log_.line("INFO: %s", row->text);
            break;
        case Report::ReasonNoBlank:
            log_.line("STATE:+%s", row->text);
            log_.line("INFO:%s", row->text);
            break;
        case Report::InfoFirst:
            log_.line("INFO: %s", row->text);
            log_.line("STATE: +%s", row->text);
            break;
        case Report::ByLock:
            if (Flag_Lock == 0)
                log_.line("INFO:%s", kReady);
            else if (Flag_Lock == 1)
                log_.line("INFO:%s", kPrinting);
            state = Flag_Lock == 0 ? "Ready" : "OK";
            break;
        }
        if (row->state)
            state = row->state;
    }
    writePrinterStateText(state);
}

void Rastersend::ClearStatus()
{
    log_.verboseLine("DEBUG[rastersend]:ClearStatus() Entry.");
    for (const char *reason : kAllReasons)
        log_.line("STATE: -%s", reason);
}

} // namespace kolvex
