#include "wizard/win32/WideText.h"

#include "platform/Text.h"

namespace korax::wizard::win32 {

namespace {
constexpr UINT GbkCodePage = 936;
}

std::wstring Wide(std::string_view gbk) {
    if (gbk.empty()) return {};
    const int length = static_cast<int>(gbk.size());
    const int size = MultiByteToWideChar(GbkCodePage, 0, gbk.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(GbkCodePage, 0, gbk.data(), length, wide.data(), size);
    return wide;
}

std::string Gbk(std::wstring_view wide) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return platform::WideToGbk(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

} // namespace korax::wizard::win32
