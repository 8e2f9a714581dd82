#include "host/HostOptions.h"

#include <cmath>
#include <cstdlib>

namespace korax::tools::host {

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

Result<ScheduledWrite> ParseWriteOption(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return Failure{"\"" + std::string(text) + "\" is not NAME=VALUE[@SECONDS]"};
    }
    ScheduledWrite write;
    write.Name = Trimmed(text.substr(0, equals));
    std::string_view value = text.substr(equals + 1);
    if (const std::size_t at = value.rfind('@'); at != std::string_view::npos) {
        const std::string when(value.substr(at + 1));
        char* end = nullptr;
        const double seconds = std::strtod(when.c_str(), &end);
        if (when.empty() || end != when.c_str() + when.size() || !std::isfinite(seconds) || seconds < 0 ||
            seconds > 4.0e6) {
            return Failure{"\"" + when + "\" after '@' is not a number of seconds"};
        }
        write.AtMs = static_cast<std::uint32_t>(std::llround(seconds * 1000.0));
        value = value.substr(0, at);
    }
    write.Value = std::string(value);
    return write;
}

} // namespace korax::tools::host
