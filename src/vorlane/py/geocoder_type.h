// The Python class Geocoder: owns an opened address sheet and an optional
// POI layer for its whole life.
#pragma once

#include <Python.h>

namespace vorlane::py {

// The Geocoder type object, built on first use and kept for the process.
// Returns a borrowed reference, or null with an exception set.
PyObject* geocoder_type();

}  // namespace vorlane::py
