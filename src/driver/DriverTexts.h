#pragma once
#include <array>
#include <cstdint>
#include <string_view>

// Fixed texts the exports hand to the host (GBK at run time).
namespace korax::driver::texts {

inline constexpr std::string_view InvalidTagList = "无效的标签列表。";
inline constexpr std::string_view InvalidParameters = "无效的参数信息。";
inline constexpr std::string_view NoInitEvent = "TLSEvent = 0";
inline constexpr std::string_view SharingConflict = "设备不支持并发访问，共享冲突。";
inline constexpr std::string_view InitFailed = "通讯设备初始化失败";

// The tag editor's templates, in the order GetTags and GetTagAddrList hand them out: each row its name and
// description, and what the editor shows beside them.
struct TemplateRow {
    std::string_view Name;
    std::string_view Description;
    std::uint8_t DataType; // 0 real, 1 Boolean
    std::uint8_t Access;   // 0 input, 1 output, 2 the two control tags
    bool Special;          // the link and logging tags the driver serves itself
    double RangeHigh;      // upper end of the value range
};
inline constexpr std::array<TemplateRow, 14> TemplateRows = {{
    {"AD", "模拟量输入", 0, 0, false, 4095},
    {"CLREVENT", "清除事件计数", 1, 1, false, 0},
    {"CommLink", "设备通信线路状态", 1, 0, true, 1},
    {"COUNT", "计数", 0, 0, false, 65535},
    {"DA", "模拟量输出", 0, 1, false, 4095},
    {"DI", "数字量输入", 1, 0, false, 0},
    {"EnCommLink", "设备通信线路通断控制", 1, 2, true, 1},
    {"ENLOG", "日志文件输出控制", 1, 2, true, 1},
    {"DO", "数字量输出", 1, 1, false, 0},
    {"EVENT_NO", "事件计数-无门控", 0, 0, false, 0},
    {"FREQ", "计频", 0, 0, false, 65535},
    {"TEMP", "温度", 0, 0, false, 100},
    {"CountTarget", "计数的目标值", 0, 1, false, 65535},
    {"RunCount", "启动或停止定时器", 1, 1, false, 0},
}};

// The device test's.
inline constexpr std::string_view DeviceTestNotSupported = "暂时不支持测试功能！";
inline constexpr std::string_view DeviceTestProbeTag = "SysMsg";

} // namespace korax::driver::texts
