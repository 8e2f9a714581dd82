#include "platform/Text.h"

#include <windows.h>

namespace korax::platform {

namespace {
constexpr UINT GbkCodePage = 936;
}

std::string WideToGbk(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(GbkCodePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(GbkCodePage, 0, wide, length, out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace korax::platform
