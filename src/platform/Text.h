#pragma once
#include <string>
#include <string_view>

namespace korax::platform {

// UTF-16 text to the GBK code page (code page 936); characters without a GBK form become '?'.
std::string WideToGbk(std::u16string_view text);

} // namespace korax::platform
