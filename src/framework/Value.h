#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace korax::framework {

// A tag value: empty, integer, real, Boolean or text. Conversions never throw; the one rule for
// "differs" lives in Differs so change detection, writes and forced reports agree.
class Value {
public:
    enum class Kind : std::uint8_t { Empty, Integer, Real, Boolean, Text };

    Value() = default;
    static Value Integer(std::int64_t v) { return Value(Storage(std::in_place_index<1>, v)); }
    static Value Real(double v) { return Value(Storage(std::in_place_index<2>, v)); }
    static Value Boolean(bool v) { return Value(Storage(std::in_place_index<3>, v)); }
    static Value Text(std::string v);

    Kind GetKind() const {
        return Data_.index() == LongTextIndex ? Kind::Text : static_cast<Kind>(Data_.index());
    }
    // The text of a text value; empty for any other kind.
    std::string_view TextView() const noexcept;
    // The same kind and the same content: what the value would hold after being assigned the other.
    bool SameAs(const Value& other) const noexcept;
    bool IsEmpty() const { return GetKind() == Kind::Empty; }
    // Integer, real and Boolean values are numbers for conversions and comparison.
    bool IsNumeric() const;

    // Text that is not a number converts to 0; Boolean true is 1.
    double ToDouble() const noexcept;
    // Numbers: non-zero is true. Text: "true"/"false" in any case, else a number's truth, else false.
    bool ToBool() const noexcept;
    // Reals are truncated toward zero and saturate at the 64-bit limits; NaN gives 0.
    std::int64_t ToInteger() const noexcept;
    // Reals in general format with up to 15 significant digits; Booleans "True"/"False"; empty "".
    std::string ToText() const;

    // Numbers compare numerically whatever their kind; texts byte by byte; empty equals only empty;
    // a text and a number always differ.
    bool Differs(const Value& other) const noexcept;
    // A value that Differs from this one, made the way the driver forces a report: a number plus one,
    // the other Boolean, the text with a carriage return appended.
    Value Different() const;

private:
    // A tag holds two values, so a value is kept to 16 bytes: texts of up to seven bytes (a bit's state,
    // a port byte or count in decimal) in the value itself, longer ones in a block of their own.
    struct ShortText {
        static constexpr std::size_t Capacity = 7;
        char Chars[Capacity];
        std::uint8_t Size;
    };
    struct LongText {
        LongText() = default;
        explicit LongText(std::string text) : Text(std::make_unique<const std::string>(std::move(text))) {}
        LongText(const LongText& other) : Text(Copy(other)) {}
        LongText(LongText&&) noexcept = default;
        LongText& operator=(const LongText& other) {
            Text = Copy(other);
            return *this;
        }
        // A moved-from text is empty.
        static std::unique_ptr<const std::string> Copy(const LongText& other) {
            return std::make_unique<const std::string>(other.Text ? *other.Text : std::string());
        }
        LongText& operator=(LongText&&) noexcept = default;
        std::unique_ptr<const std::string> Text;
    };
    using Storage = std::variant<std::monostate, std::int64_t, double, bool, ShortText, LongText>;
    static constexpr std::size_t LongTextIndex = 5;
    explicit Value(Storage data) : Data_(std::move(data)) {}
    Storage Data_;
};

// General float format, up to 15 significant digits (the form of every number in the driver's texts).
std::string FormatGeneral(double v);

// Decimal conversion of the whole text into out; false, with out untouched, when the text is not a
// decimal integer that fits 32 bits.
bool ParseInt32(std::string_view text, std::int32_t& out);

} // namespace korax::framework
