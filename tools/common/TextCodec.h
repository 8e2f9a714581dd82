#pragma once
// The driver speaks GBK (code page 936); terminals, JSON and the tools' files speak UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace korax::tools {

// GBK to UTF-8. Bytes that are no GBK character become U+FFFD, so a damaged message still shows.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. Characters without a GBK form (and malformed bytes) become '?'.
std::string Utf8ToGbk(std::string_view utf8);

#if defined(_WIN32)
// UTF-8 to UTF-16 and back, for the wide Win32 calls.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
#endif

// Terminal columns a UTF-8 text takes: East Asian wide characters take two.
std::size_t DisplayWidth(std::string_view utf8);

// The longest prefix of a UTF-8 text that fits in a number of columns, never cutting a character.
std::string FitWidth(std::string_view utf8, std::size_t columns);

} // namespace korax::tools
