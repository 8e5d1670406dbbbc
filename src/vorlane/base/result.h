// Result<T>: a value or an Error, with the members of std::expected that the
// code uses (GCC 12 and clang 14 have no std::expected).
#pragma once

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "vorlane/base/error.h"

namespace vorlane {

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { assert(has_value()); return std::get<0>(v_); }
  const T& value() const& { assert(has_value()); return std::get<0>(v_); }
  T&& value() && { assert(has_value()); return std::get<0>(std::move(v_)); }

  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& { assert(!has_value()); return std::get<1>(v_); }
  Error&& error() && { assert(!has_value()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : e_(std::move(error)) {}  // NOLINT

  bool has_value() const { return !e_.has_value(); }
  explicit operator bool() const { return has_value(); }

  const Error& error() const& { assert(e_); return *e_; }
  Error&& error() && { assert(e_); return std::move(*e_); }

 private:
  std::optional<Error> e_;
};

inline Result<void> ok() { return Result<void>(); }

}  // namespace vorlane

#define VORLANE_CONCAT_INNER_(a, b) a##b
#define VORLANE_CONCAT_(a, b) VORLANE_CONCAT_INNER_(a, b)

// Returns the error of `expr` (a Result) from the enclosing function.
#define VORLANE_TRY(expr)                                      \
  do {                                                         \
    auto vorlane_try_result_ = (expr);                         \
    if (!vorlane_try_result_) return std::move(vorlane_try_result_).error(); \
  } while (0)

// `lhs = *expr`, or returns the error of `expr` from the enclosing function.
#define VORLANE_ASSIGN_OR_RETURN(lhs, expr) \
  VORLANE_ASSIGN_OR_RETURN_IMPL_(VORLANE_CONCAT_(vorlane_res_, __LINE__), lhs, expr)
#define VORLANE_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, expr) \
  auto tmp = (expr);                                   \
  if (!tmp) return std::move(tmp).error();             \
  lhs = std::move(tmp).value()
