// The program's handlers and procedures run in skip-on-error mode: a statement that
// fails is skipped and the next one runs; no error leaves the handler.
#pragma once

namespace vlr {

// Runs one statement; true when it completed, false when it failed and was skipped.
template <class Statement>
bool SkipOnError(Statement&& statement) noexcept {
  try {
    statement();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vlr
