// How the layers above the hardware say that something failed: a value or the reason it is
// missing, never a flag with the reason in a side channel. The only exception thrown on purpose
// ends the program (hw::ProgramEnd).
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace velmo::base {

struct Error {
  std::string message;  // what failed and why, in the words shown to the user
  int code = 0;         // the errno behind it, where one applies
};

// A `T` or the `E` that says why there is none. Reading the side that is not there is a bug in
// the caller: asserted in debug builds, and in others it throws rather than read garbage.
template <class T, class E = Error>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  Expected(E error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const E& error() const {
    assert(!has_value());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
};

// Success without a value, or the reason it failed.
template <class E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  Expected(E error) : error_(std::move(error)) {}  // NOLINT: implicit

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }

  const E& error() const {
    assert(error_.has_value());
    return error_.value();
  }

 private:
  std::optional<E> error_;
};

}  // namespace velmo::base
