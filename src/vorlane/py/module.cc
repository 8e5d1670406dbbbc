// The extension module `vorlane` on the CPython limited API, with
// multi-phase initialisation: PyInit_vorlane only hands back the module
// definition, and its single execution step adds the Geocoder class.
#include <Python.h>
#include <cxxabi.h>

#include "vorlane/py/convert.h"
#include "vorlane/py/geocoder_type.h"
#include "vorlane/py/py_ref.h"

namespace vorlane::py {
namespace {

// Appends "Geocoder" to the module's __all__ (created when missing) and sets
// the class as a module attribute.
int add_class(PyObject* module, PyObject* type) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return -1;
  }
  PyRef name = PyRef::steal(PyUnicode_FromString("Geocoder"));
  if (!name || PyList_Append(all.get(), name.get()) != 0) return -1;
  return PyObject_SetAttrString(module, "Geocoder", type);
}

int exec_module(PyObject* module) {
  try {
    if (!PyModule_Check(module)) {
      PyErr_SetString(PyExc_TypeError, "expected a module object");
      return -1;
    }
    if (!init_internal_error_type()) return -1;
    PyObject* type = geocoder_type();
    if (type == nullptr) return -1;
    return add_class(module, type);
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    translate_current_exception();
    return -1;
  }
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef vorlane_module = {
    PyModuleDef_HEAD_INIT,
    "vorlane",
    "",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace vorlane::py

PyMODINIT_FUNC PyInit_vorlane(void) { return PyModuleDef_Init(&vorlane::py::vorlane_module); }
