#include "framework/Value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace korax::framework {

namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// A number written in the text, if the whole (trimmed) text is one.
bool TextToDouble(std::string_view text, double& out) {
    text = Trimmed(text);
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    // Only decimal numbers count: one sign at most, and no "nan" or "inf" spelled out.
    const std::size_t first = !plus && !text.empty() && text.front() == '-' ? 1 : 0;
    if (text.size() <= first) return false;
    const char lead = text[first];
    if (!(lead == '.' || (lead >= '0' && lead <= '9'))) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

Value Value::Text(std::string v) {
    if (v.size() > ShortText::Capacity)
        return Value(Storage(std::in_place_index<LongTextIndex>, std::move(v)));
    ShortText text{};
    v.copy(text.Chars, v.size());
    text.Size = static_cast<std::uint8_t>(v.size());
    return Value(Storage(std::in_place_index<4>, text));
}

std::string_view Value::TextView() const noexcept {
    if (const auto* text = std::get_if<4>(&Data_)) return {text->Chars, text->Size};
    if (const auto* text = std::get_if<LongTextIndex>(&Data_); text != nullptr && text->Text)
        return *text->Text;
    return {};
}

bool Value::SameAs(const Value& other) const noexcept {
    if (GetKind() != other.GetKind()) return false;
    switch (GetKind()) {
    case Kind::Integer:
        return std::get<1>(Data_) == std::get<1>(other.Data_);
    case Kind::Real: {
        const double a = std::get<2>(Data_);
        const double b = std::get<2>(other.Data_);
        return a == b ? std::signbit(a) == std::signbit(b) : std::isnan(a) && std::isnan(b);
    }
    case Kind::Boolean:
        return std::get<3>(Data_) == std::get<3>(other.Data_);
    case Kind::Text:
        return TextView() == other.TextView();
    case Kind::Empty:
        break;
    }
    return true;
}

bool Value::IsNumeric() const {
    const Kind k = GetKind();
    return k == Kind::Integer || k == Kind::Real || k == Kind::Boolean;
}

double Value::ToDouble() const noexcept {
    switch (GetKind()) {
    case Kind::Integer:
        return static_cast<double>(std::get<1>(Data_));
    case Kind::Real:
        return std::get<2>(Data_);
    case Kind::Boolean:
        return std::get<3>(Data_) ? 1.0 : 0.0;
    case Kind::Text: {
        double v = 0.0;
        return TextToDouble(TextView(), v) ? v : 0.0;
    }
    case Kind::Empty:
        break;
    }
    return 0.0;
}

bool Value::ToBool() const noexcept {
    if (GetKind() == Kind::Text) {
        const std::string_view text = Trimmed(TextView());
        if (EqualsIgnoreCase(text, "true")) return true;
        if (EqualsIgnoreCase(text, "false")) return false;
    }
    if (GetKind() == Kind::Boolean) return std::get<3>(Data_);
    return ToDouble() != 0.0;
}

std::int64_t Value::ToInteger() const noexcept {
    if (GetKind() == Kind::Integer) return std::get<1>(Data_);
    const double v = ToDouble();
    if (std::isnan(v)) return 0;
    constexpr double limit = 9223372036854775807.0; // 2^63, the first double out of range
    if (v >= limit) return std::numeric_limits<std::int64_t>::max();
    if (v <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v);
}

std::string Value::ToText() const {
    switch (GetKind()) {
    case Kind::Integer:
        return std::to_string(std::get<1>(Data_));
    case Kind::Real:
        return FormatGeneral(std::get<2>(Data_));
    case Kind::Boolean:
        return std::get<3>(Data_) ? "True" : "False";
    case Kind::Text:
        return std::string(TextView());
    case Kind::Empty:
        break;
    }
    return {};
}

bool Value::Differs(const Value& other) const noexcept {
    if (IsNumeric() && other.IsNumeric()) {
        if (GetKind() == Kind::Integer && other.GetKind() == Kind::Integer)
            return std::get<1>(Data_) != std::get<1>(other.Data_);
        const double a = ToDouble();
        const double b = other.ToDouble();
        // A value that stays NaN has not changed.
        return a != b && !(std::isnan(a) && std::isnan(b));
    }
    if (GetKind() != other.GetKind()) return true;
    if (GetKind() == Kind::Text) return TextView() != other.TextView();
    return false; // both empty
}

Value Value::Different() const {
    switch (GetKind()) {
    case Kind::Integer: {
        const std::int64_t v = std::get<1>(Data_);
        return Integer(v == std::numeric_limits<std::int64_t>::max() ? v - 1 : v + 1);
    }
    case Kind::Real: {
        const double v = std::get<2>(Data_);
        // NaN + 1 is NaN again, and a huge value + 1 is itself: neither would differ.
        return Real(std::isfinite(v) && v + 1.0 != v ? v + 1.0 : 0.0);
    }
    case Kind::Boolean:
        return Boolean(!std::get<3>(Data_));
    case Kind::Text:
        return Text(std::string(TextView()) + '\r');
    case Kind::Empty:
        break;
    }
    return Integer(0);
}

std::string FormatGeneral(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.15G", v);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool ParseInt32(std::string_view text, std::int32_t& out) {
    if (text.empty()) return false;
    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty()) return false;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    if (text.front() == '-') value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

} // namespace korax::framework
