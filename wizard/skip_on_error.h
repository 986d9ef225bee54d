// The wizard's handlers run in skip-on-error mode: a statement that fails is skipped
// and the next one runs; no error leaves the handler.
#pragma once

#include <exception>

namespace vlr {

template <class Statement>
void SkipOnError(Statement&& statement) noexcept {
  try {
    statement();
  } catch (...) {
    // Skipped on purpose: the handler goes on with its next statement.
  }
}

}  // namespace vlr
