#pragma once
#include <string_view>

// Fixed texts of the device test (GBK at run time).
namespace korax::devtest::texts {

inline constexpr std::string_view NotSupported = "暂时不支持测试功能！";
inline constexpr std::string_view ProbeTag = "SysMsg";

} // namespace korax::devtest::texts
