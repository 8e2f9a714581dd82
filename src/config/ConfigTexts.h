#pragma once
#include <array>
#include <string_view>

// Fixed texts of the parameter block and its model helpers (GBK at run time); the model names are in the
// model rows.
namespace korax::config::texts {

inline constexpr std::string_view InvalidModel = "无效";
inline constexpr std::string_view SingleEnded = "单端";
inline constexpr std::string_view Differential = "差动";

} // namespace korax::config::texts
