#include "common/TextCodec.h"

#include <algorithm>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace korax::tools {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Bytes of the UTF-8 sequence a lead byte starts (1 for a stray continuation byte).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

std::uint32_t DecodeAt(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = SequenceLength(lead);
    if (length == 1 || i + length > text.size()) {
        ++i;
        return lead;
    }
    std::uint32_t code = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k)
        code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    i += length;
    return code;
}

bool IsWide(std::uint32_t code) {
    // The CJK blocks, Hangul, full-width forms: what terminals draw two columns wide.
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
}

#if defined(_WIN32)
constexpr UINT GbkCodePage = 936;

std::wstring ToWide(UINT codePage, std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring out(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), wide);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    // The replacement for characters without a form in the target page; UTF-8 takes none.
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int narrow = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, fallback, nullptr);
    if (narrow <= 0) return {};
    std::string out(static_cast<std::size_t>(narrow), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), narrow, fallback, nullptr);
    return out;
}
#else
// Converts with iconv; at a sequence the source cannot give or the target cannot take, `skip` says how
// many source bytes to step over and `substitute` is written instead.
std::string Convert(const char* to, const char* from, std::string_view text, std::string_view substitute,
                    std::size_t (*skip)(std::string_view rest)) {
    if (text.empty()) return {};
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[512];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out.append(substitute);
            const std::size_t n = std::min(inLeft, skip(std::string_view(in, inLeft)));
            in += n;
            inLeft -= n;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::size_t OneByte(std::string_view) {
    return 1;
}

std::size_t OneCharacter(std::string_view rest) {
    return rest.empty() ? 0 : SequenceLength(static_cast<unsigned char>(rest[0]));
}
#endif

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
#if defined(_WIN32)
    // Windows decodes an invalid byte to U+FFFD (or the page's default) by itself.
    return FromWide(CP_UTF8, ToWide(GbkCodePage, gbk));
#else
    // GB18030 is GBK's superset: every GBK byte string reads the same, and the driver's own texts are
    // compiled as GB18030.
    return Convert("UTF-8", "GB18030", gbk, Replacement, OneByte);
#endif
}

#if defined(_WIN32)
std::wstring Utf8ToWide(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string WideToUtf8(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}
#endif

std::string Utf8ToGbk(std::string_view utf8) {
#if defined(_WIN32)
    return FromWide(GbkCodePage, ToWide(CP_UTF8, utf8));
#else
    return Convert("GBK", "UTF-8", utf8, "?", OneCharacter);
#endif
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) width += IsWide(DecodeAt(utf8, i)) ? 2 : 1;
    return width;
}

std::string FitWidth(std::string_view utf8, std::size_t columns) {
    std::size_t width = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t next = i;
        const std::size_t w = IsWide(DecodeAt(utf8, next)) ? 2 : 1;
        if (width + w > columns) break;
        width += w;
        i = next;
    }
    return std::string(utf8.substr(0, i));
}

} // namespace korax::tools
