#pragma once
#include <string_view>

// Fixed texts the exports hand to the host (GBK at run time).
namespace korax::driver::texts {

inline constexpr std::string_view InvalidTagList = "无效的标签列表。";
inline constexpr std::string_view InvalidParameters = "无效的参数信息。";
inline constexpr std::string_view NoInitEvent = "TLSEvent = 0";
inline constexpr std::string_view SharingConflict = "设备不支持并发访问，共享冲突。";
inline constexpr std::string_view InitFailed = "通讯设备初始化失败";

} // namespace korax::driver::texts
