// A move-only owner of one strong Python reference, so that no early return
// can leak an object. Null-aware: a null PyRef means a Python error is set.
#pragma once

#include <Python.h>

#include <utility>

namespace vorlane::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (or null).
  static PyRef steal(PyObject* p) { return PyRef(p); }
  // Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* p) {
    Py_XINCREF(p);
    return PyRef(p);
  }

  PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(p_);
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the reference back to the caller (typically CPython).
  PyObject* release() { return std::exchange(p_, nullptr); }

 private:
  explicit PyRef(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

// Releases the interpreter lock for its lifetime; engine code run inside
// must not touch Python objects. Re-acquiring may end the thread: at
// interpreter exit a daemon thread leaves through a forced unwind, which a
// noexcept destructor would turn into std::terminate.
class GilRelease {
 public:
  GilRelease() : state_(PyEval_SaveThread()) {}
  ~GilRelease() noexcept(false) { PyEval_RestoreThread(state_); }
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;

 private:
  PyThreadState* state_;
};

}  // namespace vorlane::py
