#include "platform/Text.h"

#include <iconv.h>

#include <algorithm>

namespace korax::platform {

std::string WideToGbk(std::u16string_view text) {
    if (text.empty()) return {};
    const iconv_t cd = iconv_open("GBK//TRANSLIT", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out;
    const char* in = reinterpret_cast<const char*>(text.data());
    std::size_t inLeft = text.size() * sizeof(char16_t);
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r == static_cast<std::size_t>(-1) && outLeft == sizeof buffer) {
            // A unit that has no GBK form (or a lone surrogate): write '?' and step over it.
            out.push_back('?');
            in += sizeof(char16_t);
            inLeft -= std::min(inLeft, sizeof(char16_t));
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace korax::platform
