// Helpers that hand back views into their text argument also declare a
// deleted overload taking a `TemporaryString`, so that passing a string
// that dies at the end of the statement (the result of `normalize`, a
// concatenation) does not compile:
//
//   std::string_view trim(std::string_view text);
//   template <TemporaryString S> std::string_view trim(S&&) = delete;
//
// An rvalue `std::string` deduces S = std::string and the deleted template
// is the exact match; an lvalue deduces a reference and a literal or a
// `string_view` deduces another type, so both still reach the real helper.
#pragma once

#include <concepts>
#include <string>
#include <type_traits>

namespace vorlane {

template <typename T>
concept TemporaryString = std::same_as<std::remove_cv_t<T>, std::string>;

}  // namespace vorlane
