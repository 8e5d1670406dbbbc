// The extension module `vorlane`, built on the CPython limited API with
// multi-phase initialisation.
#include <Python.h>

namespace {

PyModuleDef_Slot module_slots[] = {
    {0, nullptr},
};

PyModuleDef vorlane_module = {
    PyModuleDef_HEAD_INIT,
    "vorlane",
    "Street-address geocoder over memory-mapped index files.",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_vorlane(void) { return PyModuleDef_Init(&vorlane_module); }
