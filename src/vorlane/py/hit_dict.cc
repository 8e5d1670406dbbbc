// Dicts are built only after the engine has finished, with the interpreter
// lock held; the first failing insertion releases the dict and returns null.
// The keys are interned str objects made once and kept for the process, like
// the type object: building a dict then costs no key creation or interning,
// which keeps the time under the lock, where threads queue, short.
#include "vorlane/py/hit_dict.h"

#include <string_view>

namespace vorlane::py {
namespace {

enum Key { kLat, kLon, kPrecision, kScore, kStreet, kHousenumber, kCommune, kPostcode, kConfidence,
           kFlags, kRegion, kDistance, kKeyCount };

constexpr const char* kKeyTexts[kKeyCount] = {
    "lat",      "lon",        "precision", "score", "street",    "housenumber",
    "commune",  "postcode",   "confidence", "flags", "region",   "distance_m"};

PyObject* keys[kKeyCount] = {};

bool keys_ready() {
  if (keys[kKeyCount - 1] != nullptr) return true;
  for (int k = 0; k < kKeyCount; ++k) {
    if (keys[k] == nullptr && (keys[k] = PyUnicode_InternFromString(kKeyTexts[k])) == nullptr) {
      return false;
    }
  }
  return true;
}

PyRef str_of(std::string_view s) {
  return PyRef::steal(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}

bool set_item(PyObject* dict, Key key, PyRef value) {
  if (!value) return false;
  return PyDict_SetItem(dict, keys[key], value.get()) == 0;
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
  if (!keys_ready()) return PyRef();
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return dict;
  PyObject* d = dict.get();
  bool ok = set_item(d, kLat, PyRef::steal(PyFloat_FromDouble(hit.lat))) &&
            set_item(d, kLon, PyRef::steal(PyFloat_FromDouble(hit.lon))) &&
            set_item(d, kPrecision, str_of(hit.precision)) &&
            set_item(d, kScore, PyRef::steal(PyFloat_FromDouble(hit.score))) &&
            set_item(d, kStreet, str_of(hit.street)) &&
            (!hit.housenumber || set_item(d, kHousenumber, str_of(*hit.housenumber))) &&
            set_item(d, kCommune, str_of(hit.commune)) &&
            set_item(d, kPostcode, str_of(hit.postcode)) &&
            set_item(d, kConfidence, PyRef::steal(PyFloat_FromDouble(hit.confidence))) &&
            (hit.flags.empty() || set_item(d, kFlags, flags_list(hit.flags))) &&
            (!hit.region || set_item(d, kRegion, str_of(*hit.region)));
  if (!ok) return PyRef();
  return dict;
}

bool add_distance(PyObject* dict, double metres) {
  return keys_ready() && set_item(dict, kDistance, PyRef::steal(PyFloat_FromDouble(metres)));
}

}  // namespace vorlane::py
