#pragma once
#include <string_view>

// Fixed texts of the driver object (GBK at run time).
namespace korax::framework::texts {

inline constexpr std::string_view KeywordEnLog = "ENLOG";
inline constexpr std::string_view KeywordCommLink = "COMMLINK";
inline constexpr std::string_view KeywordEnCommLink = "ENCOMMLINK";

} // namespace korax::framework::texts
