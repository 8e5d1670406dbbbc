// Argument conversions at the Python boundary. They run with the
// interpreter lock held, before any engine work, and copy what the engine
// needs into C++ values.
#include "vorlane/py/convert.h"

#include <new>
#include <stdexcept>
#include <string>

#include "vorlane/py/py_ref.h"
#include "vorlane/query/spine.h"

namespace vorlane::py {
namespace {

PyObject* internal_error_type = nullptr;

// Adds the note "while processing '<name>'" to the pending exception,
// keeping its type and text.
void note_parameter(const char* name) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    const std::string note = std::string("while processing '") + name + "'";
    PyRef result = PyRef::steal(PyObject_CallMethod(value, "add_note", "s", note.c_str()));
    if (!result) PyErr_Clear();
  }
  PyErr_Restore(type, value, traceback);
}

// Raises TypeError with `format`, whose one %S is the type name of `obj`,
// noted with the parameter name.
void refuse_type(PyObject* obj, const char* format, const char* name) {
  PyRef type_name = PyRef::steal(PyObject_GetAttrString(
      reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__"));
  PyErr_Format(PyExc_TypeError, format, type_name ? type_name.get() : Py_None);
  note_parameter(name);
}

// The part of a str's UTF-8 that a query reads. The whole text is encoded
// (a lone surrogate anywhere still fails), but only the cut is copied: a
// batch may hold thousands of references to one long text.
std::optional<std::string> query_utf8_of(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return std::nullopt;
  return std::string(query::cut_query_text(std::string_view(data, static_cast<size_t>(size))));
}

}  // namespace

std::optional<std::string> path_arg(PyObject* obj, const char* name) {
  PyRef fspath = PyRef::steal(PyOS_FSPath(obj));
  if (!fspath) {
    note_parameter(name);
    return std::nullopt;
  }
  if (!PyUnicode_Check(fspath.get())) {
    PyErr_Format(PyExc_TypeError, "expected str or a path-like object returning str, not %s",
                 PyBytes_Check(fspath.get()) ? "bytes" : "another type");
    note_parameter(name);
    return std::nullopt;
  }
  PyRef encoded = PyRef::steal(PyUnicode_EncodeFSDefault(fspath.get()));
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (!encoded || PyBytes_AsStringAndSize(encoded.get(), &data, &size) != 0) {
    note_parameter(name);
    return std::nullopt;
  }
  return std::string(data, static_cast<size_t>(size));
}

std::optional<std::string> query_text_arg(PyObject* obj, const char* name) {
  if (!PyUnicode_Check(obj)) {
    refuse_type(obj, "expected str, not %S", name);
    return std::nullopt;
  }
  auto text = query_utf8_of(obj);  // a lone surrogate cannot be UTF-8: UnicodeEncodeError
  if (!text) note_parameter(name);
  return text;
}

std::optional<std::vector<std::string>> query_texts_arg(PyObject* obj, const char* name) {
  if (PyUnicode_Check(obj)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    note_parameter(name);
    return std::nullopt;
  }
  if (!PySequence_Check(obj)) {
    refuse_type(obj, "'%S' object cannot be converted to 'Sequence'", name);
    return std::nullopt;
  }
  // Asked as the sequence protocol would, but never trusted to size
  // anything: a failing __len__ is forgotten, a lying one changes nothing.
  if (PySequence_Size(obj) < 0) PyErr_Clear();
  PyRef iterator = PyRef::steal(PyObject_GetIter(obj));
  if (!iterator) {
    note_parameter(name);
    return std::nullopt;
  }
  std::vector<std::string> texts;
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    auto text = query_text_arg(item.get(), name);
    if (!text) return std::nullopt;
    texts.push_back(std::move(*text));
  }
  if (PyErr_Occurred()) {
    note_parameter(name);
    return std::nullopt;
  }
  return texts;
}

std::optional<uint64_t> count_arg(PyObject* obj, const char* name) {
  PyRef index = PyRef::steal(PyNumber_Index(obj));
  if (!index) {
    note_parameter(name);
    return std::nullopt;
  }
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    note_parameter(name);
    return std::nullopt;
  }
  return static_cast<uint64_t>(value);
}

std::optional<double> coordinate_arg(PyObject* obj, const char* name) {
  const double value = PyFloat_AsDouble(obj);
  if (value == -1.0 && PyErr_Occurred()) {
    note_parameter(name);
    return std::nullopt;
  }
  return value;
}

bool init_internal_error_type() {
  if (internal_error_type != nullptr) return true;
  internal_error_type =
      PyErr_NewExceptionWithDoc("vorlane.InternalError",
                                "An internal check of the engine failed; the operation ended.",
                                PyExc_BaseException, nullptr);
  return internal_error_type != nullptr;
}

void set_internal_error(const char* message) {
  PyErr_SetString(internal_error_type != nullptr ? internal_error_type : PyExc_SystemError,
                  message);
}

PyObject* translate_current_exception() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    set_internal_error(e.what());
  } catch (...) {
    set_internal_error("unknown internal error");
  }
  return nullptr;
}

}  // namespace vorlane::py
