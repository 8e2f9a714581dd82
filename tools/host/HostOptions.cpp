#include "host/HostOptions.h"

#include <cmath>
#include <cstdlib>

namespace korax::tools::host {

namespace {

// An option's text without its "@SECONDS" tail, and that time in milliseconds (0 without one).
struct Timed {
    std::string_view Body;
    std::uint32_t AtMs = 0;
};

Result<Timed> SplitTime(std::string_view text) {
    Timed timed{text, 0};
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos) return timed;
    const std::string when(text.substr(at + 1));
    char* end = nullptr;
    const double seconds = std::strtod(when.c_str(), &end);
    if (when.empty() || end != when.c_str() + when.size() || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 4.0e6) {
        return Failure{"\"" + when + "\" after '@' is not a number of seconds"};
    }
    timed.Body = text.substr(0, at);
    timed.AtMs = static_cast<std::uint32_t>(std::llround(seconds * 1000.0));
    return timed;
}

Result<NamedValue> SplitNamedValue(std::string_view text, std::string_view form) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || Trimmed(text.substr(0, equals)).empty()) {
        return Failure{"\"" + std::string(text) + "\" is not " + std::string(form)};
    }
    return NamedValue{Trimmed(text.substr(0, equals)), std::string(text.substr(equals + 1))};
}

// The comma-separated parts of a list, each trimmed.
std::vector<std::string> Parts(std::string_view list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        parts.push_back(Trimmed(list.substr(start, comma - start)));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

} // namespace

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

Result<ScheduledWrite> ParseWriteOption(std::string_view text) {
    if (text.find('=') == std::string_view::npos) {
        return Failure{"\"" + std::string(text) + "\" is not NAME=VALUE[@SECONDS]"};
    }
    const auto timed = SplitTime(text);
    if (!timed) return timed.Error();
    const auto value = SplitNamedValue(timed->Body, "NAME=VALUE[@SECONDS]");
    if (!value) return value.Error();
    return ScheduledWrite{value->Name, value->Value, timed->AtMs};
}

Result<ScheduledWriteSet> ParseWriteSetOption(std::string_view text) {
    const auto timed = SplitTime(text);
    if (!timed) return timed.Error();
    ScheduledWriteSet set{{}, timed->AtMs};
    for (const std::string& part : Parts(timed->Body)) {
        const auto value = SplitNamedValue(part, "NAME=VALUE[,NAME=VALUE...][@SECONDS]");
        if (!value) return value.Error();
        set.Values.push_back(*value);
    }
    return set;
}

Result<ScheduledRead> ParseReadOption(std::string_view text) {
    const auto timed = SplitTime(text);
    if (!timed) return timed.Error();
    ScheduledRead read{Parts(timed->Body), timed->AtMs};
    for (const std::string& name : read.Names) {
        if (name.empty()) return Failure{"\"" + std::string(text) + "\" is not NAME[,NAME...][@SECONDS]"};
    }
    return read;
}

Result<ScheduledAddition> ParseAdditionOption(std::string_view text) {
    const auto timed = SplitTime(text);
    if (!timed) return timed.Error();
    if (timed->Body.empty()) return Failure{"\"" + std::string(text) + "\" is not FILE[@SECONDS]"};
    return ScheduledAddition{std::string(timed->Body), timed->AtMs};
}

Result<ScheduledLog> ParseLogOption(std::string_view text) {
    const auto timed = SplitTime(text);
    if (!timed) return timed.Error();
    const std::string word = Trimmed(timed->Body);
    if (word != "on" && word != "off")
        return Failure{"\"" + std::string(text) + "\" is not on|off[@SECONDS]"};
    return ScheduledLog{word == "on", timed->AtMs};
}

} // namespace korax::tools::host
