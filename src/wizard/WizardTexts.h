#pragma once
#include <array>
#include <string_view>

// Every fixed text of the configuration wizard (GBK at run time): captions, header lines, button and option
// texts, labels, list items and messages. The page controllers and the dialog windows both take them from
// here.
namespace korax::wizard::texts {

// Shared by all pages.
inline constexpr std::string_view HeaderTitle = "欢迎使用Norvane板卡配置向导";
inline constexpr std::string_view NextButton = "下一步";
inline constexpr std::string_view BackButton = "上一步";
inline constexpr std::string_view FinishButton = "完成";

// Start page.
inline constexpr std::string_view StartCaption = "Norvane板卡向导：选择执行的操作方式";
inline constexpr std::string_view StartInstruction = "请选择下面的操作选项，然后用鼠标单击下一步或完成按钮：";
inline constexpr std::string_view NewOption = "新建设备";
inline constexpr std::array<std::string_view, 2> NewOptionDescription = {
    "提供简单到复杂的应用创建向导，可以一次创建多个板卡，并", "集中管理。"};
inline constexpr std::string_view ModifyOption = "修改设备";
inline constexpr std::string_view ModifyOptionDescription = "修改原有的设备配置";
inline constexpr std::string_view BrowseOption = "察看设备";
inline constexpr std::string_view BrowseOptionDescription = "浏览已设定好的设备配置";

// End page.
inline constexpr std::string_view EndCaption = "Norvane板卡向导：向导退出前的确认";
inline constexpr std::string_view EndInstruction = "确认后单击完成按钮，或单击上一步按钮修改配置：";

// Board page. The captions are indexed by the wizard mode (create, modify, view).
inline constexpr std::array<std::string_view, 3> BoardCaptions = {
    "Norvane板卡向导:板卡安装", "Norvane板卡向导:修改板卡配置", "Norvane板卡向导:察看板卡配置"};
inline constexpr std::string_view BoardInstruction = "请在板卡配置图中选中板卡，然后可以修改或察看板卡配置。";
inline constexpr std::string_view BoardGroup = "当前板卡配置";
inline constexpr std::string_view ModelLabel = "板卡类型";
inline constexpr std::string_view BoardNumberLabel = "板卡号";
inline constexpr std::string_view BaseAddressLabel = "基址：";
inline constexpr std::string_view InputModeLabel = "AD输入方式";
inline constexpr std::string_view MaxRangeLabel = "AD最大范围";
// A label ending in this colon shows its access key before it.
inline constexpr std::string_view FullWidthColon = "：";
inline constexpr std::string_view AddButton = "添加板卡";
inline constexpr std::string_view DeleteButton = "删除板卡";
// Tabs of ParmPage, in their order: board diagram, analog input, analog output.
inline constexpr std::array<std::string_view, 3> SheetTitles = {"板卡配置图", "模拟量输入", "模拟量输出"};
inline constexpr std::array<std::string_view, 2> MaxRangeItems = {"5V", "10V"};
// A base address item is the address in upper-case hexadecimal followed by this letter.
inline constexpr std::string_view BaseAddressSuffix = "H";

// A tree node: NodeBoard + number + " " + name + NodeBase + address (hex) + " " + wiring.
inline constexpr std::string_view NodeBoard = "板卡号:";
inline constexpr std::string_view NodeBase = " 基址:";
inline constexpr std::string_view NodeSeparator = " ";

// Analog tabs.
inline constexpr std::string_view ChannelHeader = "通道号";
inline constexpr std::string_view InputRangeHeader = "输入范围";
inline constexpr std::string_view OutputRangeHeader = "输出范围";
inline constexpr std::string_view PageUpLabel = "上页";
inline constexpr std::string_view PageDownLabel = "下页";

// A board number that is not an integer: Before + the field's text + After.
inline constexpr std::string_view NotAnIntegerBefore = "'";
inline constexpr std::string_view NotAnIntegerAfter = "' is not a valid integer value";
// A board number naming a slot another board holds: Before + the number as typed + After.
inline constexpr std::string_view NumberTakenBefore = "板卡号";
inline constexpr std::string_view NumberTakenAfter = "已被其他板卡使用，请输入一个空闲的板卡号。";
// A base address whose ports overlap another board's: Before + the address item + After.
inline constexpr std::string_view BaseTakenBefore = "基址";
inline constexpr std::string_view BaseTakenAfter = "与其他板卡的端口重叠，请选择一个空闲的基址。";
// Adding a board when no base address of the list leaves the other boards' ports free.
inline constexpr std::string_view NoFreeBase = "没有空闲的基址，无法添加板卡。";

} // namespace korax::wizard::texts
