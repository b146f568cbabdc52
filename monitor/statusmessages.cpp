#include "statusmessages.h"

#include <QCoreApplication>

namespace
{

// The hint for faults that need the printer switched off and on.
#define T_ QT_TRANSLATE_NOOP("LR990N", "关闭打印机等待几分钟再开启，\n如果错误仍出现，请联系经销商")

// Codes the printer (or the duplex handshake) can leave in the status code
// file, with the window message for each. Codes absent here are silent.
const StatusMessage kMessages[] = {
    {1, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪"),
     QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪，等待打印任务")},
    {10, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪"),
     QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪，等待打印任务")},
    {20, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪"),
     QT_TRANSLATE_NOOP("LR990N", "打印机准备就绪，等待打印任务")},
    {4, KindInfo, QT_TRANSLATE_NOOP("LR990N", "取消打印作业"),
     QT_TRANSLATE_NOOP("LR990N", "打印作业被取消，内存强制清零")},
    {5, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {9, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {1001, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {1005, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {1010, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {1011, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印正在进行……"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在执行打印任务，请稍后……")},
    {8, KindError, QT_TRANSLATE_NOOP("LR990N", "通讯错误"),
     QT_TRANSLATE_NOOP("LR990N", "请检查所有电缆连接\n并确定打印机已经打开")},
    {1003, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印机正在预热"),
     QT_TRANSLATE_NOOP("LR990N", "打印机正在预热，请稍后……")},
    {1012, KindWarning, QT_TRANSLATE_NOOP("LR990N", "请安装新硒鼓"),
     QT_TRANSLATE_NOOP("LR990N", "请安装新硒鼓")},
    {2008, KindError, QT_TRANSLATE_NOOP("LR990N", "纸张尺寸不正确"),
     QT_TRANSLATE_NOOP("LR990N", "请选择和纸盒中纸型相符的选项，\n开合顶盖，并重新打印")},
    {3026, KindError, QT_TRANSLATE_NOOP("LR990N", "纸张尺寸不正确"),
     QT_TRANSLATE_NOOP("LR990N", "请选择和纸盒中纸型相符的选项，\n开合顶盖，并重新打印")},
    {2010, KindError, QT_TRANSLATE_NOOP("LR990N", "纸张尺寸不正确"),
     QT_TRANSLATE_NOOP("LR990N", "请选择正确的纸张")},
    {3069, KindError, QT_TRANSLATE_NOOP("LR990N", "纸张尺寸不正确"),
     QT_TRANSLATE_NOOP("LR990N", "请选择正确的纸张")},
    {3000, KindError, QT_TRANSLATE_NOOP("LR990N", "打印中断"),
     QT_TRANSLATE_NOOP("LR990N", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机")},
    {3065, KindError, QT_TRANSLATE_NOOP("LR990N", "打印中断"),
     QT_TRANSLATE_NOOP("LR990N", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机")},
    {3066, KindError, QT_TRANSLATE_NOOP("LR990N", "打印中断"),
     QT_TRANSLATE_NOOP("LR990N", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机")},
    {3068, KindError, QT_TRANSLATE_NOOP("LR990N", "打印中断"),
     QT_TRANSLATE_NOOP("LR990N", "关闭打印机并重新检查打印机连接状态，\n并重新开启打印机")},
    {3004, KindError, QT_TRANSLATE_NOOP("LR990N", "打印机顶盖打开"),
     QT_TRANSLATE_NOOP("LR990N", "请关闭打印机顶盖")},
    {3019, KindError, QT_TRANSLATE_NOOP("LR990N", "纸盒取纸失败"), nullptr},
    {3020, KindError, QT_TRANSLATE_NOOP("LR990N", "纸盒取纸失败"), nullptr},
    {3025, KindError, QT_TRANSLATE_NOOP("LR990N", "打印机输出卡纸"),
     QT_TRANSLATE_NOOP("LR990N", "请打开打印机顶盖，\n并移除被卡纸张")},
    {3038, KindWarning, QT_TRANSLATE_NOOP("LR990N", "内存不足"),
     QT_TRANSLATE_NOOP("LR990N", "请稍后……")},
    {3063, KindError, QT_TRANSLATE_NOOP("LR990N", "严重错误"), T_},
    {3064, KindError, QT_TRANSLATE_NOOP("LR990N", "严重错误"), T_},
    {3070, KindError, QT_TRANSLATE_NOOP("LR990N", "打印机卡纸"),
     QT_TRANSLATE_NOOP("LR990N", "请打开打印机顶盖，\n并移除被卡纸张")},
    {3071, KindError, QT_TRANSLATE_NOOP("LR990N", "黑色LSU错误002"), T_},
    {3072, KindError, QT_TRANSLATE_NOOP("LR990N", "黑色LSU错误001"), T_},
    {3073, KindError, QT_TRANSLATE_NOOP("LR990N", "加热异常"), T_},
    {3074, KindError, QT_TRANSLATE_NOOP("LR990N", "机器过热"), T_},
    {3078, KindError, QT_TRANSLATE_NOOP("LR990N", "送纸错误"),
     QT_TRANSLATE_NOOP("LR990N", "请检查纸盒中的纸，\n然后打开并关闭顶盖")},
    {3079, KindError, QT_TRANSLATE_NOOP("LR990N", "无纸"),
     QT_TRANSLATE_NOOP("LR990N", "请检查纸盒中的纸，\n然后打开并关闭顶盖")},
    {3171, KindError, QT_TRANSLATE_NOOP("LR990N", "红色LSU错误002"), T_},
    {3172, KindError, QT_TRANSLATE_NOOP("LR990N", "红色LSU错误001"), T_},
    {CodeTurnShortEdge, KindInfo, QT_TRANSLATE_NOOP("LR990N", "手动双面打印"),
     QT_TRANSLATE_NOOP(
         "LR990N",
         "短边翻转：请将打印机出纸托盘中的纸\n【按短边翻转】180度，并重新放入纸仓\n然后点击“确定”按"
         "钮！")},
    {CodeTurnLongEdge, KindInfo, QT_TRANSLATE_NOOP("LR990N", "手动双面打印"),
     QT_TRANSLATE_NOOP(
         "LR990N",
         "长边翻转：请将打印机出纸托盘中的纸\n【按长边翻转】180度，并重新放入纸仓\n然后点击“确定”按"
         "钮！")},
    {5012, KindError, QT_TRANSLATE_NOOP("LR990N", "输出盖子打开"),
     QT_TRANSLATE_NOOP("LR990N", "请关闭外盖")},
    {6000, KindInfo, QT_TRANSLATE_NOOP("LR990N", "操作指纹成功"),
     QT_TRANSLATE_NOOP("LR990N", "操作指纹成功")},
    {6001, KindError, QT_TRANSLATE_NOOP("LR990N", "操作指纹失败"),
     QT_TRANSLATE_NOOP("LR990N", "操作指纹失败")},
    {6002, KindWarning, QT_TRANSLATE_NOOP("LR990N", "请录入指纹"),
     QT_TRANSLATE_NOOP("LR990N", "请将手指放入指纹识别器中，停留5秒")},
    {6018, KindError, QT_TRANSLATE_NOOP("LR990N", "该指纹不存在"),
     QT_TRANSLATE_NOOP("LR990N", "该指纹不存在，请重试其他指纹")},
    {6019, KindError, QT_TRANSLATE_NOOP("LR990N", "选中的指纹不存在"),
     QT_TRANSLATE_NOOP("LR990N", "选中的指纹不存在，\n请重试其他指纹")},
    {6020, KindError, QT_TRANSLATE_NOOP("LR990N", "选中的指纹不为空"),
     QT_TRANSLATE_NOOP("LR990N", "选中的指纹不为空")},
    {6021, KindError, QT_TRANSLATE_NOOP("LR990N", "打印机无存储指纹"),
     QT_TRANSLATE_NOOP("LR990N", "打印机中没有存储指纹，请注册指纹")},
    {6022, KindError, QT_TRANSLATE_NOOP("LR990N", "打印机指纹存储已满"),
     QT_TRANSLATE_NOOP("LR990N", "打印机指纹存储已满，\n请删除无用的指纹")},
    {6025, KindError, QT_TRANSLATE_NOOP("LR990N", "该指纹已存在"),
     QT_TRANSLATE_NOOP("LR990N", "该指纹已经在打印机注册，请重新注册")},
    {6033, KindError, QT_TRANSLATE_NOOP("LR990N", "指纹图像质量不好"),
     QT_TRANSLATE_NOOP("LR990N", "请确保指纹模块清洁，手指干燥")},
    {6035, KindError, QT_TRANSLATE_NOOP("LR990N", "指纹操作超时"),
     QT_TRANSLATE_NOOP("LR990N", "打印机指纹操作超时，请重试")},
    {6065, KindError, QT_TRANSLATE_NOOP("LR990N", "取消指纹操作"),
     QT_TRANSLATE_NOOP("LR990N", "取消打印机指纹操作")},
    {6096, KindError, QT_TRANSLATE_NOOP("LR990N", "选中的指纹不存在"),
     QT_TRANSLATE_NOOP("LR990N", "选中的指纹不存在，请重试")},
    {6176, KindInfo, QT_TRANSLATE_NOOP("LR990N", "指纹识别成功"),
     QT_TRANSLATE_NOOP("LR990N", "打印机识别指纹成功")},
    {6177, KindInfo, QT_TRANSLATE_NOOP("LR990N", "注册指纹成功"),
     QT_TRANSLATE_NOOP("LR990N", "打印机注册指纹成功")},
    {6178, KindInfo, QT_TRANSLATE_NOOP("LR990N", "删除单个指纹成功"),
     QT_TRANSLATE_NOOP("LR990N", "打印机删除单个指纹成功")},
    {6179, KindInfo, QT_TRANSLATE_NOOP("LR990N", "删除所有指纹成功"),
     QT_TRANSLATE_NOOP("LR990N", "打印机删除所有指纹成功")},
    {6244, KindInfo, QT_TRANSLATE_NOOP("LR990N", "请离开手指"),
     QT_TRANSLATE_NOOP("LR990N", "打印机指纹验证完成，请离开手指")},
    {6245, KindError, QT_TRANSLATE_NOOP("LR990N", "指纹模块通信错误"), T_},
    {CodeSecondSide, KindInfo, QT_TRANSLATE_NOOP("LR990N", "手动双面打印"),
     QT_TRANSLATE_NOOP("LR990N", "正在打印第二面，请稍后……")},
};

const StatusMessage kPrinterLocked = {
    CodePrinterLocked, KindInfo, QT_TRANSLATE_NOOP("LR990N", "打印机锁定成功"),
    QT_TRANSLATE_NOOP("LR990N", "打印机已锁定，准备执行打印任务")};

#undef T_

QString tr(const char *source)
{
    return QCoreApplication::translate("LR990N", source);
}

} // namespace

const StatusMessage *findStatusMessage(int code)
{
    for (const StatusMessage &m : kMessages) {
        if (m.code == code)
            return &m;
    }
    return nullptr;
}

const StatusMessage &printerLockedMessage()
{
    return kPrinterLocked;
}

QString paperFeedText(const QString &paperSize)
{
    return tr("检查纸盒是否有") + paperSize + tr("纸\n") + tr("请在纸盒1中放入标准") + paperSize +
           tr("纸\n") + tr("并开合顶盖继续。");
}
