#pragma once
#include <array>
#include <string_view>

// Fixed texts the exports hand to the host (GBK at run time).
namespace korax::driver::texts {

inline constexpr std::string_view InvalidTagList = "无效的标签列表。";
inline constexpr std::string_view InvalidParameters = "无效的参数信息。";
inline constexpr std::string_view NoInitEvent = "TLSEvent = 0";
inline constexpr std::string_view SharingConflict = "设备不支持并发访问，共享冲突。";
inline constexpr std::string_view InitFailed = "通讯设备初始化失败";

// The tag editor's templates, in the order GetTags and GetTagAddrList hand them out.
struct TemplateText {
    std::string_view Name;
    std::string_view Description;
};
inline constexpr std::array<TemplateText, 14> TemplateTexts = {{
    {"AD", "模拟量输入"},
    {"CLREVENT", "清除事件计数"},
    {"CommLink", "设备通信线路状态"},
    {"COUNT", "计数"},
    {"DA", "模拟量输出"},
    {"DI", "数字量输入"},
    {"EnCommLink", "设备通信线路通断控制"},
    {"ENLOG", "日志文件输出控制"},
    {"DO", "数字量输出"},
    {"EVENT_NO", "事件计数-无门控"},
    {"FREQ", "计频"},
    {"TEMP", "温度"},
    {"CountTarget", "计数的目标值"},
    {"RunCount", "启动或停止定时器"},
}};

// The device test's.
inline constexpr std::string_view DeviceTestNotSupported = "暂时不支持测试功能！";
inline constexpr std::string_view DeviceTestProbeTag = "SysMsg";

} // namespace korax::driver::texts
