// The outcome of one step of a run: a result code of unzip32.h and, on failure, the
// line that explains it (UTF-8; the reporter converts it for the print procedure).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "unzip32.h"

namespace uz32 {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Fail(int32_t code, std::string message) { return Status(code, std::move(message)); }

  bool ok() const { return code_ == UNZIP_OK; }
  int32_t code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Status(int32_t code, std::string message) : code_(code), message_(std::move(message)) {}

  int32_t code_ = UNZIP_OK;
  std::string message_;
};

}  // namespace uz32
