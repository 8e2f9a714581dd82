#pragma once
#include <string_view>

// Fixed texts of the driver object (GBK at run time).
namespace korax::framework::texts {

inline constexpr std::string_view KeywordEnLog = "ENLOG";
inline constexpr std::string_view KeywordCommLink = "COMMLINK";
inline constexpr std::string_view KeywordEnCommLink = "ENCOMMLINK";

// Tag validation messages. Each starts with the moment, then TagPrefix + tag name + AddressPrefix + address.
inline constexpr std::string_view TagPrefix = "：标签";
inline constexpr std::string_view AddressPrefix = "错误：标签地址";
inline constexpr std::string_view UnknownTagType = "指定不存在的标签类型。";
// These enclose the board's name.
inline constexpr std::string_view NoDeviceBefore = "站号错误，指定的硬件设备";
inline constexpr std::string_view NoDeviceAfter = "不存在。";
inline constexpr std::string_view SlotErrorBefore = "槽号错误，";
inline constexpr std::string_view ChannelErrorBefore = "通道号错误，";
inline constexpr std::string_view BitErrorBefore = "位号错误，";
inline constexpr std::string_view NoSuchTagAfter = "不存在此标签。";
inline constexpr std::string_view TypeNotOnDeviceBefore = "指定";
inline constexpr std::string_view TypeNotOnDeviceAfter = "中不存在的标签类型";
// Range messages: before + board name + after + the limit in decimal.
inline constexpr std::string_view BitAboveBefore = "的位号超出";
inline constexpr std::string_view BitBelowBefore = "的位号超出最小范围";
inline constexpr std::string_view ChannelOutBefore = "的通道号超出";
inline constexpr std::string_view SlotOutBefore = "的槽号超出";
inline constexpr std::string_view MaximumAfter = "的最大范围";
inline constexpr std::string_view MinimumAfter = "的最小范围";

// What the tag editor's check writes as the type of an address that names none.
inline constexpr std::string_view FallbackKeyword = "EVENT_NO";

// Link supervision.
inline constexpr std::string_view Timeout = "通讯超时错，期待设备应答";
inline constexpr std::string_view SeriousFault = "严重故障：连续通讯失败，请检查线路和设备";
// What a text-typed special tag shows for its state.
inline constexpr std::string_view LogAllowed = "允许写日志";
inline constexpr std::string_view LogForbidden = "禁止写日志";
inline constexpr std::string_view LinkNormal = "通信线路正常";
inline constexpr std::string_view LinkFault = "通信线路故障";
// The statistics line: the moment, then the three fields, each right-aligned in at least 32 bytes.
inline constexpr std::string_view FailureRate = "通讯失败率=";
inline constexpr std::string_view ConsecutiveTimeouts = "连续通讯超时错误计数=";
inline constexpr std::string_view LastReset = "上一次系统通信复位的时间=";

} // namespace korax::framework::texts
