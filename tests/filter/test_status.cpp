// What every status code does: the status code file, the CUPS lines and the
// printer-state text; the levels the command loops act on; ClearStatus.
#include <gtest/gtest.h>

#include "filter_test_support.h"

using namespace filtertest;

namespace {

struct StatusCase {
    unsigned code;
    std::vector<std::string> lines;
    std::string state;
};

std::vector<std::string> cupsLines(const std::vector<std::string> &all)
{
    std::vector<std::string> out;
    for (const std::string &l : all)
        if (l.rfind("DEBUG", 0) != 0)
            out.push_back(l);
    return out;
}

class ResponseStatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ResponseStatusTable, WritesCodeFileCupsLinesAndStateText)
{
    const StatusCase &c = GetParam();
    JobBench bench;
    bench.job->Flag_Lock = 0;
    bench.job->Response_status(c.code);
    EXPECT_EQ(readFile(bench.paths.statusCodeFile), "CODE=" + std::to_string(c.code) + "\n");
    EXPECT_EQ(cupsLines(bench.log.lines()), c.lines);
    EXPECT_EQ(readFile(bench.paths.printerStateFile), c.state);
}

const std::string R = "STATE: +";

INSTANTIATE_TEST_SUITE_P(
    Codes, ResponseStatusTable,
    ::testing::Values(
        StatusCase{0, {"INFO:打印机就绪"}, "OK"}, StatusCase{3, {"INFO:打印机就绪"}, "OK"},
        StatusCase{10, {"INFO:打印机就绪"}, "OK"}, StatusCase{21, {"INFO:打印机就绪"}, "OK"},
        StatusCase{1, {"INFO:打印机就绪"}, "Ready"},
        StatusCase{2, {"INFO:打印中…………"}, "OK"}, StatusCase{1001, {"INFO:打印中…………"}, "OK"},
        StatusCase{1005, {"INFO:打印中…………"}, "OK"}, StatusCase{6, {"INFO:锁定打印"}, "OK"},
        StatusCase{200, {"INFO:SleepMode=5"}, "OK"},
        StatusCase{205, {"INFO:InstalledMemory=8"}, "OK"},
        StatusCase{300, {"INFO:TonerRemain=100"}, "OK"},
        StatusCase{500, {"INFO:OPCRemain=100"}, "OK"},
        StatusCase{600, {"INFO:PaperSource=auto"}, "OK"},
        StatusCase{1002, {"INFO:打印未锁定"}, "OK"}, StatusCase{1003, {"INFO:打印预热中"}, "OK"},
        StatusCase{1010, {"INFO:打印机正在工作中，请等待"}, "OK"},
        StatusCase{1012, {"INFO:请安装新硒鼓"}, "OK"}, StatusCase{1013, {"INFO:TestMode"}, "OK"},
        StatusCase{2006, {"WARNING:墨盒即将用尽"}, "OK"},
        StatusCase{2007, {"WARNING:硒鼓即将用尽"}, "OK"},
        StatusCase{2008, {"WARNING:纸张尺寸不正确"}, "Media Size Error"},
        StatusCase{2010, {"WARNING:纸张尺寸不正确"}, "Media Size Error"},
        StatusCase{2009, {"WARNING:省电模式"}, "OK"},
        StatusCase{2011, {"WARNING:使用了劣质硒鼓"}, "OK"},
        StatusCase{2012, {"WARNING:未完成所有打印"}, "OK"},
        StatusCase{4, {"STATE:+打印任务已删除", "INFO:打印任务已删除"}, "Print Job deleated"},
        StatusCase{8, {"INFO: 打印机连接失败", R + "打印机连接失败"}, "Failed to connect to printer"},
        StatusCase{3004, {R + "cover-open", "INFO: cover-open"}, "OK"},
        StatusCase{3019, {R + "纸仓搓纸失败", "INFO: 纸仓搓纸失败"}, "Pick Paper Error"},
        StatusCase{3020, {R + "手动进纸失败", "INFO: 手动进纸失败"}, "OK"},
        StatusCase{3079, {R + "手动进纸失败", "INFO: 手动进纸失败"}, "OK"},
        StatusCase{3025, {R + "输出卡纸", "INFO: 输出卡纸"}, "OutPut Paper Jam"},
        StatusCase{3026, {R + "纸张尺寸不正确", "INFO: 纸张尺寸不正确"}, "OK"},
        StatusCase{3069, {R + "纸张尺寸不正确", "INFO: 纸张尺寸不正确"}, "OK"},
        StatusCase{3038, {R + "内存不足请等待", "INFO: 内存不足请等待"}, "OK"},
        StatusCase{3068, {R + "3068WrongJBIGFormat;", "INFO: 3068WrongJBIGFormat;"}, "OK"},
        StatusCase{3070, {R + "打印机卡纸", "INFO: 打印机卡纸"}, "Printer Jam"},
        StatusCase{3074, {R + "机器过热", "INFO: 机器过热"}, "Printer over heat"},
        StatusCase{3172, {R + "LSU-Black-Error-001", "INFO: LSU-Black-Error-001"}, "OK"},
        StatusCase{4001, {R + "TestMode-error", "INFO: TestMode-error"}, "OK"},
        StatusCase{5004, {R + "搜索中…………", "INFO: 搜索中…………"}, "OK"},
        StatusCase{6018, {R + "该指纹不存在", "INFO: 该指纹不存在"}, "Finger Print does not exist"},
        StatusCase{6019, {R + "选中的指纹不存在", "INFO: 选中的指纹不存在"}, "OK"},
        StatusCase{6096, {R + "选中的指纹不存在", "INFO: 选中的指纹不存在"}, "OK"},
        StatusCase{6035, {R + "指纹操作超时", "INFO: 指纹操作超时"}, "Finger Print Time out"},
        StatusCase{6180, {R + "请等待....", "INFO: 请等待...."}, "OK"},
        StatusCase{6244, {R + "请离开手指", "INFO: 请离开手指"}, "OK"},
        StatusCase{7, {R + "KOLVEX未知错误"}, "OK"},
        StatusCase{5012, {R + "KOLVEX未知错误"}, "OK"}));

TEST(ResponseStatus, CodeOneWhileLockedReportsPrintingAndOk)
{
    JobBench bench;
    bench.job->Flag_Lock = 1;
    bench.job->Response_status(1);
    EXPECT_EQ(cupsLines(bench.log.lines()), std::vector<std::string>{"INFO:打印中…………"});
    EXPECT_EQ(readFile(bench.paths.printerStateFile), "OK");
}

TEST(ResponseStatus, ReportOverwritesTheDuplexRequest)
{
    JobBench bench;
    writeFile(bench.paths.statusCodeFile, "CODE=4444\n");
    bench.job->Response_status(3070);
    EXPECT_EQ(readFile(bench.paths.statusCodeFile), "CODE=3070\n");
}

TEST(ResponseStatus, UnwritableControlFolderIsLoggedAndSurvived)
{
    JobBench bench;
    std::string control = bench.root.file("LR880/control");
    ASSERT_EQ(std::system(("rm -rf '" + control + "'").c_str()), 0);
    bench.job->Response_status(3070);
    std::string log = bench.log.text();
    EXPECT_NE(log.find("DEBUG:[KOLVEX-LR880]open file error " + bench.paths.statusCodeFile), std::string::npos);
    EXPECT_NE(log.find("[KOLVEX-LR880][rastersend]open file printer state error"), std::string::npos);
    EXPECT_NE(log.find("STATE: +打印机卡纸"), std::string::npos);
    // Eight attempts, seven 5 ms pauses.
    EXPECT_NEAR(bench.clock.elapsed, 0.035, 1e-9);
}

TEST(ClearStatus, WithdrawsAllFiftySixReasonsAndTouchesNoFile)
{
    JobBench bench;
    bench.job->ClearStatus();
    auto lines = bench.log.lines();
    ASSERT_EQ(lines.size(), 57u);
    EXPECT_EQ(lines[0], "DEBUG[rastersend]:ClearStatus() Entry.");
    EXPECT_EQ(lines[1], "STATE: -打印任务已删除");
    EXPECT_EQ(lines[2], "STATE: -打印机连接失败");
    EXPECT_EQ(lines[6], "STATE: -3068WrongJBIGFormat;");
    EXPECT_EQ(lines[56], "STATE: -指纹模块通讯错误");
    EXPECT_FALSE(fileExists(bench.paths.statusCodeFile));
    EXPECT_FALSE(fileExists(bench.paths.printerStateFile));
}

struct LevelCase {
    unsigned code;
    int level;
};

class StatusLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(StatusLevels, ClassifiesCode)
{
    EXPECT_EQ(kolvex::Response_status_lever(GetParam().code), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Codes, StatusLevels,
                         ::testing::Values(LevelCase{0, 0}, LevelCase{1, 0}, LevelCase{2, 2},
                                           LevelCase{3, 3}, LevelCase{4, 6}, LevelCase{2999, 0},
                                           LevelCase{3000, 5}, LevelCase{3037, 5},
                                           LevelCase{3038, 7}, LevelCase{3039, 5},
                                           LevelCase{3171, 5}, LevelCase{3172, 5},
                                           LevelCase{4000, 5}, LevelCase{4001, 5},
                                           LevelCase{4002, 0}, LevelCase{5002, 0},
                                           LevelCase{6002, 5}, LevelCase{6018, 0},
                                           LevelCase{6244, 0}));

struct ReplyCase {
    std::string reply;
    unsigned code;
};

class ReplyParsing : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyParsing, TakesTheFirstFourCharactersOfTheFirstWord)
{
    const ReplyCase &c = GetParam();
    EXPECT_EQ(kolvex::replyCode(c.reply.data(), c.reply.size()), c.code);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyParsing,
                         ::testing::Values(ReplyCase{"0002", 2}, ReplyCase{"  0002", 2},
                                           ReplyCase{"\t3038 out of memory", 3038},
                                           ReplyCase{"00021", 2}, ReplyCase{"6244\r\n", 6244},
                                           ReplyCase{"abcd", 0}, ReplyCase{"", 0},
                                           ReplyCase{"   ", 0}, ReplyCase{"12 34", 12}));

struct ResolutionCase {
    std::string resolution;
    int waterMark;
    int isColor;
    int choice;
};

class ResolutionRule : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(ResolutionRule, ChoosesTheResolutionCode)
{
    const ResolutionCase &c = GetParam();
    EXPECT_EQ(kolvex::chooseResolution(c.resolution, c.waterMark, c.isColor), c.choice);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ResolutionRule,
    ::testing::Values(ResolutionCase{"600dpi", 0, 1, 0}, ResolutionCase{"1200dpi", 1, 0, 1},
                      ResolutionCase{"1200*600dpi", 1, 0, 2}, ResolutionCase{"300dpi", 0, 1, 3},
                      ResolutionCase{"300dpi", 0, 2, 3}, ResolutionCase{"300dpi", 1, 1, 0},
                      ResolutionCase{"300dpi", 0, 0, 0}, ResolutionCase{"200dpi", 0, 1, 4},
                      ResolutionCase{"200dpi", 1, 1, 0}, ResolutionCase{"200dpi", 0, 0, 0},
                      ResolutionCase{"", 0, 1, 0}, ResolutionCase{"2400dpi", 0, 1, 0}));

} // namespace
