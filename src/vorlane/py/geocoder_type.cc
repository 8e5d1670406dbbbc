// Geocoder is a heap type built with PyType_FromSpec on the limited API. The object
// is the Python header plus one pointer to the C++ engine state; it holds no
// Python references, so it needs no garbage-collector support.
#include "vorlane/py/geocoder_type.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vorlane/py/batch_pool.h"
#include "vorlane/py/convert.h"
#include "vorlane/py/hit_dict.h"
#include "vorlane/py/py_ref.h"
#include "vorlane/query/index.h"
#include "vorlane/query/spine.h"

namespace vorlane::py {
namespace {

struct Engine {
  std::unique_ptr<query::Index> address;
  std::unique_ptr<query::Index> poi;  // null when no POI layer was given
};

struct GeocoderObject {
  PyObject_HEAD
  Engine* engine;
};

const char kGeocoderDoc[] =
    "Geocoder(index_path, poi=None)\n--\n\n"
    "Single-country geocoder: opens an index file (mmap, effectively instant).";

void raise_os_error(const Error& error) {
  PyErr_SetString(PyExc_OSError, error.message().c_str());
}

// Opens the sheet, the optional POI layer, and checks that they belong
// together; sets a Python exception and returns null on failure.
std::unique_ptr<Engine> open_engine(const std::string& index_path,
                                    const std::optional<std::string>& poi_path) {
  auto engine = std::make_unique<Engine>();
  auto address = query::Index::open_address(index_path);
  if (!address) {
    raise_os_error(address.error());
    return nullptr;
  }
  engine->address = std::move(*address);
  if (poi_path) {
    auto poi = query::Index::open(*poi_path);
    if (!poi) {
      raise_os_error(poi.error());
      return nullptr;
    }
    engine->poi = std::move(*poi);
    if (auto mismatch = query::check_pair(*engine->address, *engine->poi)) {
      PyErr_SetString(PyExc_ValueError, mismatch->c_str());
      return nullptr;
    }
  }
  return engine;
}

PyObject* geocoder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return call_guarded([&]() -> PyObject* {
    static const char* keywords[] = {"index_path", "poi", nullptr};
    PyObject* index_obj = nullptr;
    PyObject* poi_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:Geocoder", const_cast<char**>(keywords),
                                     &index_obj, &poi_obj)) {
      return nullptr;
    }
    // Both paths are converted before any file is touched.
    const auto index_path = path_arg(index_obj, "index_path");
    if (!index_path) return nullptr;
    std::optional<std::string> poi_path;
    if (poi_obj != Py_None) {
      poi_path = path_arg(poi_obj, "poi");
      if (!poi_path) return nullptr;
    }

    std::unique_ptr<Engine> engine = open_engine(*index_path, poi_path);
    if (!engine) return nullptr;

    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<GeocoderObject*>(self)->engine = engine.release();
    return self;
  });
}

Engine& engine_of(PyObject* self) { return *reinterpret_cast<GeocoderObject*>(self)->engine; }

// A new list of the hits' dicts, in order; null with an exception set.
PyObject* hit_list(const std::vector<query::Hit>& hits) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const query::Hit& hit : hits) {
    PyRef dict = hit_to_dict(hit);
    if (!dict || PyList_Append(list.get(), dict.get()) != 0) return nullptr;
  }
  return list.release();
}

const char kGeocodeDoc[] =
    "geocode($self, q, k=10)\n--\n\n"
    "Single query: returns a list of dicts (lat, lon, precision, score, street,\n"
    "optional housenumber, commune, postcode).";

// One forward query over the sheet and its optional POI layer.
PyObject* geocoder_geocode(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_guarded([&]() -> PyObject* {
    static const char* keywords[] = {"q", "k", nullptr};
    PyObject* q_obj = nullptr;
    PyObject* k_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:geocode", const_cast<char**>(keywords),
                                     &q_obj, &k_obj)) {
      return nullptr;
    }
    const auto q = query_text_arg(q_obj, "q");
    if (!q) return nullptr;
    std::optional<uint64_t> k = 10;
    if (k_obj != nullptr && !(k = count_arg(k_obj, "k"))) return nullptr;

    const Engine& engine = engine_of(self);
    std::vector<query::Hit> hits;
    {
      GilRelease released;
      hits = query::query_cascade(*engine.address, engine.poi.get(), *q, *k);
    }
    return hit_list(hits);
  });
}

const char kGeocodeManyDoc[] =
    "geocode_many($self, queries, k=1)\n--\n\n"
    "Batch of queries (rayon; defaults to cores minus two to keep the machine\n"
    "responsive; override with the VORLANE_THREADS env var — it is read when the\n"
    "pool for the current process is first built, so set it before the first call).\n"
    "Returns one list of up to `k` hits per query — the same shape as `geocode`,\n"
    "so `k` is honoured (an empty list means no match). Interruptible: Ctrl-C is\n"
    "checked between chunks and raises KeyboardInterrupt.";

// One run of a batch: the answers of queries[first, first + answers.size()),
// each written by a worker into its own slot.
struct RunTask {
  const Engine& engine;
  const std::vector<std::string>& queries;
  uint64_t k;
  size_t first = 0;
  std::vector<std::vector<query::Hit>> answers;

  void operator()(size_t i) {
    answers[i] = query::query_cascade(*engine.address, engine.poi.get(), queries[first + i], k);
  }
};

// The runs of one batch on the pool. Two runs alternate, so that one is
// converted under the interpreter lock while the workers map the next.
class BatchRuns {
 public:
  BatchRuns(batch_pool::Pool& pool, const Engine& engine, const std::vector<std::string>& queries,
            uint64_t k)
      : pool_(pool), runs_{RunTask{engine, queries, k, 0, {}}, RunTask{engine, queries, k, 0, {}}} {}

  void start(size_t first, size_t m) {
    RunTask& run = run_at(first);
    run.first = first;
    run.answers.assign(m, {});
    pending_.emplace(pool_, m, run);
  }

  // Waits with the lock released. A failed query is rethrown only once the
  // lock is held again: the thread may be ended while re-acquiring it at
  // exit, and that must not happen while another exception is in flight.
  void finish() {
    std::exception_ptr failure;
    {
      GilRelease released;
      try {
        pending_->wait();
      } catch (...) {
        failure = std::current_exception();
      }
    }
    pending_.reset();
    if (failure) std::rethrow_exception(failure);
  }

  const std::vector<std::vector<query::Hit>>& answers(size_t first) { return run_at(first).answers; }

 private:
  RunTask& run_at(size_t first) { return runs_[first / batch_pool::kRunSize % 2]; }

  batch_pool::Pool& pool_;
  RunTask runs_[2];
  // Declared last, so that leaving early waits for the run before its
  // buffers go.
  std::optional<batch_pool::Pool::Pending> pending_;
};

// Forward queries on the process's batch pool, a run of at most kRunSize
// queries at a time: an interrupt check, the run answered with the lock
// released, its answers converted in input order.
PyObject* geocoder_geocode_many(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_guarded([&]() -> PyObject* {
    static const char* keywords[] = {"queries", "k", nullptr};
    PyObject* queries_obj = nullptr;
    PyObject* k_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:geocode_many",
                                     const_cast<char**>(keywords), &queries_obj, &k_obj)) {
      return nullptr;
    }
    // Copied out (as much of each as a query reads) before any query runs:
    // another thread may change the sequence while the lock is released.
    const auto queries = query_texts_arg(queries_obj, "queries");
    if (!queries) return nullptr;
    std::optional<uint64_t> k = 1;
    if (k_obj != nullptr && !(k = count_arg(k_obj, "k"))) return nullptr;
    const std::shared_ptr<batch_pool::Pool> pool = batch_pool::acquire();
    if (!pool) {
      set_internal_error("geocode_many: no worker thread could be started");
      return nullptr;
    }

    PyRef out = PyRef::steal(PyList_New(0));
    if (!out) return nullptr;
    BatchRuns runs(*pool, engine_of(self), *queries, *k);
    const bool done = batch_pool::run_in_runs(
        queries->size(), [] { return PyErr_CheckSignals() == 0; },
        [&](size_t first, size_t m) { runs.start(first, m); },
        [&] {
          try {
            runs.finish();
          } catch (abi::__forced_unwind&) {
            // The interpreter is ending this thread at exit without giving
            // the lock back: the output list may not even be released now.
            (void)out.release();
            throw;
          }
        },
        [&](size_t first, size_t m) {
          const auto& answers = runs.answers(first);
          for (size_t i = 0; i < m; ++i) {
            PyRef list = PyRef::steal(hit_list(answers[i]));
            if (!list || PyList_Append(out.get(), list.get()) != 0) return false;
          }
          return true;
        });
    if (!done) return nullptr;
    return out.release();
  });
}

const char kReverseDoc[] =
    "reverse($self, lat, lon, k=3)\n--\n\nReverse geocoding: nearest houses to a point.";

// Nearest houses to a point, always on the address sheet.
PyObject* geocoder_reverse(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_guarded([&]() -> PyObject* {
    static const char* keywords[] = {"lat", "lon", "k", nullptr};
    PyObject* lat_obj = nullptr;
    PyObject* lon_obj = nullptr;
    PyObject* k_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|O:reverse", const_cast<char**>(keywords),
                                     &lat_obj, &lon_obj, &k_obj)) {
      return nullptr;
    }
    const auto lat = coordinate_arg(lat_obj, "lat");
    if (!lat) return nullptr;
    const auto lon = coordinate_arg(lon_obj, "lon");
    if (!lon) return nullptr;
    std::optional<uint64_t> k = 3;
    if (k_obj != nullptr && !(k = count_arg(k_obj, "k"))) return nullptr;

    const query::Index& address = *engine_of(self).address;
    std::optional<Result<std::vector<query::Hit>>> answer;
    {
      GilRelease released;
      answer.emplace(address.try_reverse(*lat, *lon, static_cast<size_t>(*k)));
    }
    if (!*answer) {
      PyErr_SetString(PyExc_ValueError, answer->error().message().c_str());
      return nullptr;
    }
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const query::Hit& hit : **answer) {
      PyRef dict = hit_to_dict(hit);
      if (!dict) return nullptr;
      if (hit.distance_m && !add_distance(dict.get(), *hit.distance_m)) return nullptr;
      if (PyList_Append(list.get(), dict.get()) != 0) return nullptr;
    }
    return list.release();
  });
}

PyMethodDef geocoder_methods[] = {
    {"geocode", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(geocoder_geocode)),
     METH_VARARGS | METH_KEYWORDS, kGeocodeDoc},
    {"geocode_many",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(geocoder_geocode_many)),
     METH_VARARGS | METH_KEYWORDS, kGeocodeManyDoc},
    {"reverse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(geocoder_reverse)),
     METH_VARARGS | METH_KEYWORDS, kReverseDoc},
    {nullptr, nullptr, 0, nullptr},
};

void geocoder_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<GeocoderObject*>(self)->engine;
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);
}

PyType_Slot geocoder_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(geocoder_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(geocoder_dealloc)},
    {Py_tp_doc, const_cast<char*>(kGeocoderDoc)},
    {Py_tp_methods, geocoder_methods},
    {0, nullptr},
};

// The class belongs to no module of ours: its qualified name is
// "builtins.Geocoder". Not a base type, so it cannot be subclassed.
PyType_Spec geocoder_spec = {
    "builtins.Geocoder",
    sizeof(GeocoderObject),
    0,
    Py_TPFLAGS_DEFAULT,
    geocoder_slots,
};

PyObject* geocoder_type_object = nullptr;

}  // namespace

PyObject* geocoder_type() {
  if (geocoder_type_object == nullptr) geocoder_type_object = PyType_FromSpec(&geocoder_spec);
  return geocoder_type_object;
}

}  // namespace vorlane::py
