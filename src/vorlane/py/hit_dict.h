// Conversion of engine answers into Python dicts.
#pragma once

#include <Python.h>

#include "vorlane/py/py_ref.h"
#include "vorlane/query/hit.h"

namespace vorlane::py {

// A new dict with the keys "lat", "lon", "precision", "score", "street",
// "housenumber" (when present), "commune", "postcode", "confidence",
// "flags" (when any) and "region" (when present), in that order. Null with
// the interpreter's exception set on failure.
PyRef hit_to_dict(const query::Hit& hit);

// Sets "distance_m" in a dict of hit_to_dict, as its last key. False with
// the interpreter's exception set on failure.
bool add_distance(PyObject* dict, double metres);

}  // namespace vorlane::py
