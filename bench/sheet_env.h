// Opening a benchmark sheet whose path comes in an environment variable
// (bench/run.py sets them from bench/make_sheet.py).
#pragma once

#include <cstdlib>
#include <iostream>
#include <memory>

#include "vorlane/query/index.h"

// The opened sheet, or nothing (with a message on stderr) when `variable`
// is unset or the sheet does not open; `hint` says how to get the path.
inline std::unique_ptr<vorlane::query::Index> open_sheet_from_env(const char* variable,
                                                                 const char* hint) {
  const char* path = std::getenv(variable);
  if (path == nullptr) {
    std::cerr << variable << " is not set (" << hint << ")\n";
    return nullptr;
  }
  auto opened = vorlane::query::Index::open(path);
  if (!opened) {
    std::cerr << opened.error().message() << "\n";
    return nullptr;
  }
  return std::move(*opened);
}
