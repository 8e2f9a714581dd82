#pragma once
#include <array>
#include <string_view>

// Fixed texts of the parameter block and its model helpers (GBK at run time).
namespace korax::config::texts {

inline constexpr std::array<std::string_view, 7> ModelNames = {
    "KRX-A100", "KRX-A200", "KRX-B100", "KRX-C100", "KRX-C200", "KRX-C210", "KRX-C300",
};
inline constexpr std::string_view InvalidModel = "无效";
inline constexpr std::string_view SingleEnded = "单端";
inline constexpr std::string_view Differential = "差动";

} // namespace korax::config::texts
