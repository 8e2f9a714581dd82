#pragma once
// What the fuzz targets share: a reader that takes an input front to back (so seed files can be written
// by hand, field after field), a clock the input moves, and tag addresses assembled from a few bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "platform/Clock.h"

namespace korax::fuzz {

// A broken promise of the code under test: the fuzzer stops here and keeps the input.
inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// Reads the input in order; once it is used up every read gives zeros, so any prefix of an input is an
// input too.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    std::size_t Remaining() const { return size_ - position_; }

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    template <typename T>
    T Get() {
        T value{};
        std::uint8_t bytes[sizeof(T)] = {};
        Bytes(bytes, sizeof bytes);
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    bool Bool() { return (Byte() & 1) != 0; }
    // A value in 0..count-1 (0 for a count of 0).
    std::uint32_t Below(std::uint32_t count) { return count == 0 ? 0 : Get<std::uint16_t>() % count; }
    // Copies up to size bytes; whatever the input no longer holds stays zero.
    void Bytes(void* to, std::size_t size) {
        const std::size_t taken = std::min(size, Remaining());
        if (taken > 0) std::memcpy(to, data_ + position_, taken);
        if (size > taken) std::memset(static_cast<std::uint8_t*>(to) + taken, 0, size - taken);
        position_ += taken;
    }
    // A length byte (cut to max), then that many characters.
    std::string Text(std::size_t max) {
        std::string text(std::min<std::size_t>(Byte(), max), '\0');
        Bytes(text.data(), text.size());
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Time as the input says: it starts at the same moment for every input and moves only when told.
class InputClock final : public platform::Clock {
public:
    std::uint32_t TickMs() override { return tick_; }
    double Now() override { return now_; }
    void Reset() {
        tick_ = StartTick;
        now_ = StartNow;
    }
    void Advance(std::uint32_t ms) {
        tick_ += ms; // wraps like the system tick
        now_ += ms / 86'400'000.0;
    }

private:
    static constexpr std::uint32_t StartTick = 1000;
    static constexpr double StartNow = 45000.5;
    std::uint32_t tick_ = StartTick;
    double now_ = StartNow;
};

// Every name an address can start with: the tag types, the special tags, and one that names nothing.
inline constexpr const char* AddressHeads[] = {"AD",       "DI",    "DO",       "DA",         "COUNT",
                                               "FREQ",     "TEMP",  "EVENT_NO", "CLREVENT",   "CountTarget",
                                               "RunCount", "ENLOG", "CommLink", "EnCommLink", "SysMsg"};
inline constexpr std::size_t AddressHeadCount = std::size(AddressHeads);

// An address from five bytes: the head; which parts follow; station; channel (0xFF: none, so the type's
// first); slot and bit as the low and high half of the last byte. Numbers stray a little outside their
// ranges, and sometimes the address is in lower case, as hosts store them.
inline std::string MakeAddress(Reader& input) {
    const std::uint8_t head = input.Byte();
    const std::uint8_t parts = input.Byte();
    const std::uint8_t station = input.Byte();
    const std::uint8_t channel = input.Byte();
    const std::uint8_t extra = input.Byte();
    const auto text = [](int value) { return std::to_string(value); };
    std::string address = AddressHeads[head % AddressHeadCount];
    if ((parts & 0x01) != 0) address += text(station % 40 - 2) + ":";
    if ((parts & 0x02) != 0) address += text((extra & 0x0F) - 1) + ",";
    if (channel != 0xFF) address += text(channel % 40 - 2);
    if ((parts & 0x04) != 0) address += "." + text((extra >> 4) - 1);
    if ((parts & 0x08) != 0) {
        for (char& c : address) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return address;
}

// The host's count for an array of n records: right, short, negative or zero.
inline std::int32_t HostCount(Reader& input, std::size_t n) {
    const std::uint8_t mode = input.Byte();
    switch (mode & 3) {
    case 0:
        return static_cast<std::int32_t>(n);
    case 1:
        return static_cast<std::int32_t>(n - std::min<std::size_t>(n, mode >> 2));
    case 2:
        return mode >> 2 == 0 ? std::numeric_limits<std::int32_t>::min() : -(mode >> 2);
    default:
        return 0;
    }
}

} // namespace korax::fuzz
