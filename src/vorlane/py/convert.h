// Conversion of Python arguments into engine values. On failure a Python
// exception is set (TypeError or OverflowError, as the conversion raised
// it) and carries the note "while processing '<name>'".
#pragma once

#include <Python.h>
#include <cxxabi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlane::py {

// A str, or an os.PathLike that yields a str, as file-system bytes.
std::optional<std::string> path_arg(PyObject* obj, const char* name);

// A str, as the UTF-8 that a query reads of it: the first 1024 bytes, cut
// back to a character boundary (query::cut_query_text).
std::optional<std::string> query_text_arg(PyObject* obj, const char* name);

// A sequence of str (not a str itself), each as query_text_arg gives it, in
// order. Its length is asked for and then ignored: the items are read by
// iteration.
std::optional<std::vector<std::string>> query_texts_arg(PyObject* obj, const char* name);

// Any object with an integer value (__index__), as an unsigned 64-bit count.
std::optional<uint64_t> count_arg(PyObject* obj, const char* name);

// Anything float() accepts, as a double.
std::optional<double> coordinate_arg(PyObject* obj, const char* name);

// Sets the module's internal-error exception (derived from BaseException,
// not Exception) with `message`.
void set_internal_error(const char* message);

// Creates the internal-error exception type once per process.
bool init_internal_error_type();

// Converts the C++ exception being handled into a Python exception; call
// from a catch (...) block at an entry point. Returns null.
PyObject* translate_current_exception();

// Runs the body of an entry point. A C++ exception becomes a Python
// exception (and null), except the forced unwind that ends a thread (a
// daemon thread at interpreter exit), which must go on unwinding.
template <typename Body>
PyObject* call_guarded(Body&& body) {
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return translate_current_exception();
  }
}

}  // namespace vorlane::py
