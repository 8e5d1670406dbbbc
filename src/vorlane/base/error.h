// Error values carried through the engine. A failure is a message with
// optional outer context layers; the outermost layer is what a caller (and
// in the end Python) reports. No exceptions are thrown inside the library.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorlane {

enum class ErrorCode {
  io,
  corrupt,
  unsupported_version,
  mismatch,
  invalid_argument,
  not_found,
  internal,
};

class Error {
 public:
  Error(ErrorCode code, std::string message) : code_(code) {
    layers_.push_back(std::move(message));
  }

  ErrorCode code() const { return code_; }

  // The message a caller should show: the outermost context layer.
  const std::string& message() const { return layers_.back(); }

  // The innermost message (the original cause).
  const std::string& cause() const { return layers_.front(); }

  // Every layer, innermost first.
  const std::vector<std::string>& layers() const { return layers_; }

  // Adds an outer layer; it becomes the message.
  Error& with_context(std::string outer) & {
    layers_.push_back(std::move(outer));
    return *this;
  }
  Error&& with_context(std::string outer) && {
    layers_.push_back(std::move(outer));
    return std::move(*this);
  }

  // "outer: ...: inner", for logs and test diagnostics.
  std::string full_chain() const;

 private:
  ErrorCode code_;
  std::vector<std::string> layers_;
};

inline Error corrupt(std::string message) {
  return Error(ErrorCode::corrupt, std::move(message));
}

}  // namespace vorlane
