// Dicts are built only after the engine has finished, with the interpreter
// lock held; the first failing insertion releases the dict and returns null.
#include "vorlane/py/hit_dict.h"

#include <string_view>

namespace vorlane::py {
namespace {

PyRef str_of(std::string_view s) {
  return PyRef::steal(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}

bool set_item(PyObject* dict, const char* key, PyRef value) {
  if (!value) return false;
  return PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyRef flags_list(const std::vector<std::string_view>& flags) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return list;
  for (std::string_view flag : flags) {
    PyRef item = str_of(flag);
    if (!item || PyList_Append(list.get(), item.get()) != 0) return PyRef();
  }
  return list;
}

}  // namespace

PyRef hit_to_dict(const query::Hit& hit) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return dict;
  PyObject* d = dict.get();
  bool ok = set_item(d, "lat", PyRef::steal(PyFloat_FromDouble(hit.lat))) &&
            set_item(d, "lon", PyRef::steal(PyFloat_FromDouble(hit.lon))) &&
            set_item(d, "precision", str_of(hit.precision)) &&
            set_item(d, "score", PyRef::steal(PyFloat_FromDouble(hit.score))) &&
            set_item(d, "street", str_of(hit.street)) &&
            (!hit.housenumber || set_item(d, "housenumber", str_of(*hit.housenumber))) &&
            set_item(d, "commune", str_of(hit.commune)) &&
            set_item(d, "postcode", str_of(hit.postcode)) &&
            set_item(d, "confidence", PyRef::steal(PyFloat_FromDouble(hit.confidence))) &&
            (hit.flags.empty() || set_item(d, "flags", flags_list(hit.flags))) &&
            (!hit.region || set_item(d, "region", str_of(*hit.region)));
  if (!ok) return PyRef();
  return dict;
}

}  // namespace vorlane::py
