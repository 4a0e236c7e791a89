#include "app/UiTexts.h"

#include <array>
#include <cstddef>

namespace {

struct TextEntry
{
    TextId id;
    std::string_view zh;
    std::string_view en;
};

// One row per TextId, in the order of the enumeration; the checks below keep it complete.
constexpr TextEntry kTexts[] = {
    // Main window.
    {TextId::WindowCaption, "Z62", "Z62"},
    {TextId::MachineListGroup, "在线机器列表", "Machine on line"},
    {TextId::FunctionButtonsGroup, "功能键区", "Function Button"},
    {TextId::ColorSetGroup, "换色设置", "Color Set"},
    {TextId::DesignViewGroup, "花样显示", "Design Show"},
    {TextId::MachineSearchButton, "Z62机器搜索", "Z62 Machine search"},
    {TextId::InputDesignButton, "导入花样", "Input Design"},
    {TextId::ParametersButton, "参数设置", "Param Set"},
    {TextId::SendDesignButton, "发送当前花样", "Send current Design"},
    {TextId::LeverButton, "开始绣作", "start work"},
    {TextId::JogButton, "点动", "100 Degree"},
    {TextId::ConfirmButton, "刺绣确认", "Emb Confirm"},
    {TextId::LanguageButton, "语言选择", "Language Set"},
    {TextId::ColorPageUpButton, "上一页", "Page Up"},
    {TextId::ColorPageDownButton, "下一页", "Page Down"},
    {TextId::BatchSendingButton, "批量传花样", "Batch sending"},
    {TextId::SearchWaitText, "搜索Z62机器中，请等待！", "In machine search, please wait！"},
    {TextId::AboutMenuItem, "关于 Hoopwatch(&A)...", "About Hoopwatch(&A)..."},
    {TextId::AboutCaption, "关于 Hoopwatch", "About Hoopwatch"},
    {TextId::MessageLogCaption, "消息记录", "Message log"},
    {TextId::MessageLogCopy, "全部复制", "Copy all"},
    {TextId::MessageLogForgotten, "（更早的%d条记录已删除）", "(%d earlier entries were dropped)"},

    // Button labels by machine state.
    {TextId::StartWork, "拉杆启动", "Start Work"},
    {TextId::StopWork, "拉杆停止", "Stop Work"},
    {TextId::EmbConfirm, "刺绣确认", "Emb Confirm"},
    {TextId::EmbRelease, "刺绣解除", "Emb Release"},

    // Language dialog.
    {TextId::LanguageCaption, "语言选择-language Set", "Language Set"},
    {TextId::LanguageChinese, "中文-Chinese", "Chinese"},
    {TextId::LanguageEnglish, "英文-English", "English"},
    {TextId::LanguageOk, "OK", "OK"},

    // Design file dialog; its panel captions are the same in both languages.
    {TextId::FileFilter,
     "Tajima Format(*.DST)|*.DST|Tajima Format(*.TBF)|*.TBF|Barudan Format(*.DSB)|*.DSB|"
     "Template(*.TPL)|*.TPL|DXF Format(*.DXF)|*.DXF|PLT Format(*.PLT)|*.PLT|"
     "All Format(*.DSB;*.DST;*.TBF;*.DXF;*.PLT;)|*.DSB;*.DST;*.TBF;*.DXF;*.PLT||",
     "Tajima Format(*.DST)|*.DST|Tajima Format(*.TBF)|*.TBF|Barudan Format(*.DSB)|*.DSB|"
     "Template(*.TPL)|*.TPL|DXF Format(*.DXF)|*.DXF|PLT Format(*.PLT)|*.PLT|"
     "All Format(*.DSB;*.DST;*.TBF;*.DXF;*.PLT;)|*.DSB;*.DST;*.TBF;*.DXF;*.PLT||"},
    {TextId::FilePreviewTemplate, "文件预览(&P)", "文件预览(&P)"},
    {TextId::FileAdvancedTemplate, "高级选项(&S)", "高级选项(&S)"},
    {TextId::FileExtractDesign, "提取花样", "提取花样"},
    {TextId::FilePreview, "预览(P)", "预览(P)"},
    {TextId::FileAdvanced, "高级(S)", "高级(S)"},
    {TextId::FileDesignType, "花样文件", "design file"},

    // Information strip.
    {TextId::DesignInfoTemplate,
     "花样信息：  花样针数:%d               换色数:%d                           "
     "高度:%d mm            宽度:%d mm       \r\n机器状态： ",
     "Design Information：  Needle Count:%d               Color Count  :%d                  "
     "         Hight:%d mm            Width:%d mm       \r\nMachine State：      "},
    {TextId::EmbStateConfirm, "刺绣状态:刺绣确认", "Emb State:Emb Confirm"},
    {TextId::EmbStateRelease, "刺绣状态:刺绣解除", "Emb State:Emb Release"},
    {TextId::CurrentNeedleTemplate, "当前针数:%d", "Current number of needle:%d"},

    // Receiver thread.
    {TextId::DesignSent, "花样发送成功!", "Successful sending of Design!"},
    {TextId::DesignParamSent, "花样发送参数成功!", "Successful sending of Design param!"},
    {TextId::JogDone, "点动成功!", "100 degree Successful!"},
    {TextId::LeverDone, "拉杆成功!", "Start Successful!"},
    {TextId::EmbConfirmDone, "刺绣确认成功!", "Emb confirm Successful!"},
    {TextId::EmbReleaseDone, "刺绣解除成功!", "Emb  relrase Successful!"},
    {TextId::ReceiverSocketFailed, "创建Socket失败", "Failed to create socket"},
    {TextId::SearchTimeoutHead, "网络连接超时，本机IP地址是",
     "Network connection timeout, local IP address is"},
    {TextId::SearchTimeoutTail,
     ",1,确认网线连接正确 2,确认电脑IP与Z62IP地址保持同一网段 3,若依旧无法连接，"
     "请确认Z62软件是否支持网络功能！",
     ",1. Make sure that the network connection is correct 2. Make sure that the computer IP "
     "and Z62 IP address remain the same segment 3. If you still can't connect, make sure that "
     "Z62 software supports network functions."},

    // Design transfer and machine commands.
    {TextId::TransferSocketFailed, "创建套接字失败", "Failed to create socket"},
    {TextId::MachineNotOnline, "机器不在线!", "The machine is not online!"},
    {TextId::UnselectedMachine, "未选中机器!", "Unselected Machine!"},
    {TextId::NoMatchingDesign, "没有匹配的花样!", "No matching design!"},
    {TextId::DesignPathEmpty, "没有导入花样!", "No design has been imported!"},
    {TextId::DesignFileUnreadable, "花样文件无法读取!", "The design file cannot be read!"},
    {TextId::DesignFileTooLarge, "花样文件超过40960000字节，无法发送!",
     "The design file is larger than 40960000 bytes and cannot be sent!"},
    {TextId::DesignFileTooLargeToOpen, "花样文件超过40960000字节，无法打开!",
     "The design file is larger than 40960000 bytes and cannot be opened!"},
    {TextId::DesignFileChanged, "花样文件在读取时被改动，没有发送!",
     "The design file changed while it was read and was not sent!"},

    // Transfer acknowledgements and sewing progress.
    {TextId::TransferNotAcknowledged, "机器未确认花样的全部数据！",
     "The machine did not acknowledge every part of the design!"},
    {TextId::TransferAckCount, "机器已确认：%d / %d", "Acknowledged by the machine: %d of %d"},
    {TextId::SewnPercent, "%d %", "%d %"},
    {TextId::MinutesLeft, "约剩%d分钟", "about %d min left"},
    {TextId::HoursMinutesLeft, "约剩%d小时%d分钟", "about %d h %d min left"},
    {TextId::StripOffline, "机器离线：没有应答", "Machine offline: no answer"},

    // Design parameter dialog.
    {TextId::ParamCaption, "参数设置", "Parameter setting"},
    {TextId::ParamDirection, "图案方向：", "Design direction:"},
    {TextId::ParamAngle, "角度(0-89)：", "angle(0-89)："},
    {TextId::ParamPriorityMode, "优先方式：", "Priority mode："},
    {TextId::ParamZoomPriority, "缩放优先", "Zoom priority"},
    {TextId::ParamRotationPriority, "旋转优先", "Rotation priority"},
    {TextId::ParamZoom, "缩放XY(50-200)：", "zoom XY(50-200)："},
    {TextId::ParamRepeatMode, "反复方式：", "Repeated mode："},
    {TextId::ParamUsuallyRepeated, "通常反复", "Usually repeated"},
    {TextId::ParamLocalRecurrence, "局部反复", "Local recurrence"},
    {TextId::ParamRepeatOrder, "反复顺序：", "Sequence of repetition："},
    {TextId::ParamXPriority, "X优先", "X priority"},
    {TextId::ParamYPriority, "Y优先", "Y priority"},
    {TextId::ParamRepeatCount, "反复次数XY(1-99)：", "Number of repetitionsXY(1-99)："},
    {TextId::ParamRepeatSpacing, "反复间距XY(-999-999)：", "Repeated spacingXY(-999-999)："},
    {TextId::ParamSend, "发送花样参数和换色设置", "Send Design color and param seting"},
    {TextId::ParamExit, "退出", "Exit"},
    {TextId::ParamOutOfRange, "%1必须是%2到%3之间的整数（现为“%4”），参数没有发送!",
     "%1 must be a whole number from %2 to %3 (not \"%4\"); the parameters were not sent!"},
    {TextId::ParamFieldAngle, "角度", "Angle"},
    {TextId::ParamFieldScaleX, "缩放X", "Zoom X"},
    {TextId::ParamFieldScaleY, "缩放Y", "Zoom Y"},
    {TextId::ParamFieldRepeatCountX, "反复次数X", "Number of repetitions X"},
    {TextId::ParamFieldRepeatCountY, "反复次数Y", "Number of repetitions Y"},
    {TextId::ParamFieldSpacingX, "反复间距X", "Repeated spacing X"},
    {TextId::ParamFieldSpacingY, "反复间距Y", "Repeated spacing Y"},

    // Colour picker.
    {TextId::PickerCaption, "换色", "color"},

    // Settings file failures.
    {TextId::ConfigNotRegular, "配置文件不是普通文件，设置无法保存!",
     "The configuration file is not a regular file; the settings cannot be saved!"},
    {TextId::ConfigReadOnly, "配置文件是只读的，设置无法保存!",
     "The configuration file is read-only; the settings cannot be saved!"},
    {TextId::ConfigTooLarge, "配置文件超过1 MB，设置无法保存!",
     "The configuration file is larger than 1 MB; the settings cannot be saved!"},
    {TextId::ConfigUnreadable, "配置文件无法读取，设置无法保存!",
     "The configuration file cannot be read; the settings cannot be saved!"},
    {TextId::ConfigWriteFailed, "配置文件写入失败，设置没有保存!",
     "Writing the configuration file failed; the settings were not saved!"},

    // Cipher complaints; printed as they are whatever the language.
    {TextId::CipherPlainLength, "明文字符长度必须为16的倍数！", "明文字符长度必须为16的倍数！"},
    {TextId::CipherCipherLength, "密文字符长度必须为16的倍数！现在的长度为%d",
     "密文字符长度必须为16的倍数！现在的长度为%d"},

    // Machines window.
    {TextId::MachinesCaption, "机器", "Machines"},
    {TextId::MachinesAddress, "地址", "Address"},
    {TextId::MachinesState, "状态", "State"},
    {TextId::MachinesDesign, "花样", "Design"},
    {TextId::MachinesDrawing, "图样", "Drawing"},
    {TextId::MachinesProgress, "进度", "Progress"},
    {TextId::MachinesSewn, "已绣", "Sewn"},
    {TextId::MachinesTimeLeft, "剩余时间", "Time left"},
    {TextId::MachineWaiting, "等待应答", "Waiting"},
    {TextId::MachineOffline, "离线", "Offline"},
    {TextId::MachineWorking, "绣作中", "Working"},
    {TextId::MachineStanding, "停止", "Standing"},
    {TextId::MachineFinished, "完成", "Finished"},
    {TextId::MinutesLeftTemplate, "约剩%d分钟", "about %d min left"},
    {TextId::FleetFinishedTemplate, "机器%s花样绣作完成", "%s finished its design"},
    {TextId::FleetOfflineTemplate, "机器%s在绣作中离线!", "%s went offline while sewing!"},
    {TextId::FleetFileFailed, "机器记录文件无法写入，发送的花样只记到程序结束!",
     "The fleet file cannot be written; the design sent is remembered only until the program "
     "ends!"},
    {TextId::ShopCaption, "车间看板", "Shop floor"},
    {TextId::ShopWebEnabled, "网页看板(只读)", "Web page (read-only)"},
    {TextId::ShopListen, "监听地址:", "Listen on:"},
    {TextId::ShopTokenFile, "令牌文件:", "Token file:"},
    {TextId::ShopDesigns, "花样文件夹:", "Design folder:"},
    {TextId::ShopMqttEnabled, "发布到MQTT服务器", "Publish to an MQTT broker"},
    {TextId::ShopMqttUrl, "MQTT服务器:", "MQTT broker:"},
    {TextId::ShopMqttCredentials, "MQTT账号文件:", "MQTT credentials file:"},
    {TextId::ShopOff, "网页看板和MQTT均已关闭", "The web page and MQTT are off"},
    {TextId::ShopWebServing, "网页看板: %s", "Web page: %s"},
    {TextId::ShopWebFailed, "网页看板无法启动: %s", "The web page cannot start: %s"},
    {TextId::ShopMqttStarted, "MQTT发布已开启: %s", "MQTT publishing switched on: %s"},
    {TextId::ShopMqttFailed, "MQTT无法启动: %s", "MQTT cannot start: %s"},

    // Machines as a group.
    {TextId::MachinesName, "名称", "Name"},
    {TextId::MachineOnline, "在线", "Online"},
    {TextId::TargetLabel, "命令发往：", "Commands go to:"},
    {TextId::NoTarget, "未选中机器", "No machine chosen"},
    {TextId::MachinesSendSelected, "向所选机器发送当前花样",
     "Send current Design to the selected machines"},
    {TextId::MachinesLeverSelected, "所选机器拉杆启动/停止",
     "Start / stop work on the selected machines"},
    {TextId::MachinesConfirmSelected, "所选机器刺绣确认", "Emb Confirm on the selected machines"},
    {TextId::MachinesChooseTarget, "设为命令目标", "Make it the target"},
    {TextId::MachinesRename, "命名...", "Name..."},
    {TextId::MachinesRemove, "从机器列表删除", "Remove from the table"},
    {TextId::MachineNameCaption, "机器名称（空白则取消名称）", "Machine name (empty removes it)"},
    {TextId::MachineNameRefused, "名称最多40个字符，且不能含控制字符！",
     "A name has at most 40 characters and no control characters!"},
    {TextId::MachineRemoveQuestion, "从机器列表删除%s？", "Remove %s from the machine table?"},
    {TextId::MultiSendMachineDone, "全部确认", "every part acknowledged"},
    {TextId::MultiSendMachineMissing, "未确认全部数据！", "did not acknowledge every part!"},
    {TextId::MultiSendSummary, "花样%s：%d台机器全部确认（共%d台）",
     "%s: every part acknowledged by %d of %d machines"},
    {TextId::HistoryFailed, "生产记录文件无法使用，不再记录!",
     "The production history cannot be used; nothing more is recorded!"},
    {TextId::ProductionCaption, "生产记录", "Production"},
    {TextId::ProductionToday, "今天", "Today"},
    {TextId::ProductionThisWeek, "本周", "This week"},
    {TextId::ProductionRange, "时间段", "Range"},
    {TextId::ProductionExport, "导出CSV", "Export CSV"},
    {TextId::RunStarted, "开始", "Started"},
    {TextId::RunEnded, "结束", "Ended"},
    {TextId::RunStitchesSewn, "已绣针数", "Stitches sewn"},
    {TextId::RunSewingMinutes, "绣作(分)", "Sewing (min)"},
    {TextId::RunStandingMinutes, "停机(分)", "Standing (min)"},
    {TextId::RunStops, "停止次数", "Stops"},
    {TextId::ChartUtilisation, "利用率", "Utilisation"},
    {TextId::ChartSewing, "绣作", "Sewing"},
    {TextId::ChartNoData, "此时间段没有记录", "Nothing recorded in this range"},
    {TextId::ProductionSummaryTemplate, "完成%s件  已绣%s针  利用率%s",
     "%s pieces finished  %s stitches sewn  utilisation %s"},
    {TextId::HistoryUnreadable, "生产记录文件无法读取!", "The production history cannot be read!"},
    {TextId::ExportFailed, "文件无法写入!", "The file cannot be written!"},
    {TextId::HistoryRowsDropped, "生产记录写入过慢，部分记录丢失!",
     "The production history could not keep up; some rows were lost!"},
};

constexpr bool tableIsComplete()
{
    if (std::size(kTexts) != static_cast<std::size_t>(kTextCount))
        return false;
    for (std::size_t i = 0; i < std::size(kTexts); ++i) {
        if (static_cast<std::size_t>(kTexts[i].id) != i || kTexts[i].zh.empty() ||
            kTexts[i].en.empty())
            return false;
    }
    return true;
}

static_assert(tableIsComplete(), "every TextId needs one row, in order, with both texts");

} // namespace

int readLanguage(const ConfigFile& config, std::string_view def)
{
    return config.readNumber("Z62Language", "Language", def);
}

bool isChinese(int language)
{
    return language == 1;
}

std::string_view uiText(TextId id, int language)
{
    const auto index = static_cast<std::size_t>(id);
    if (index >= std::size(kTexts))
        return {};
    return isChinese(language) ? kTexts[index].zh : kTexts[index].en;
}

std::string configFailureMessage(const ConfigFailure& failure, int language)
{
    std::string message(uiText(failure.text, language));
    if (!failure.path.empty())
        message += "\n" + failure.path;
    return message;
}
