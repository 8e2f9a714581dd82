#pragma once
// The system's texts are GBK bytes; windows are given UTF-16 so that they show right whatever the system's
// code page is.
#include <windows.h>

#include <string>
#include <string_view>

namespace korax::wizard::win32 {

std::wstring Wide(std::string_view gbk);
std::string Gbk(std::wstring_view wide);
// A window's text as it is now.
std::wstring WindowText(HWND window);

} // namespace korax::wizard::win32
