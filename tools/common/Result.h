#pragma once
// What a fallible tool operation gives back: its value, or the text that tells the user why there is
// none. Every tool function that can fail returns one, so a caller never mixes out-parameters, nulls and
// exceptions to learn what went wrong.
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace korax::tools {

// Why an operation failed, as the whole message for the user.
struct Failure {
    std::string Text;
};

// A value of type T, or an error of type E (the message alone unless a caller needs more, like a line).
template <typename T, typename E = Failure>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    const E& Error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// Success without a value, or the error.
template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}

    explicit operator bool() const { return !error_; }
    const E& Error() const { return *error_; }

private:
    std::optional<E> error_;
};

using Status = Result<void>;

} // namespace korax::tools
