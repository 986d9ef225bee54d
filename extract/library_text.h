// Reading the extraction library's text buffers, and the skip-on-error rule of the
// procedures it calls.
#pragma once

#include <cstddef>
#include <string>

namespace vlr {

// The ANSI text in `buffer` from index 0 up to, not including, its first zero byte,
// reading at most `maxBytes` bytes; empty for a null buffer. The bytes are converted
// as one text, so a character of several bytes stays one character.
std::wstring ReadLibraryText(const char* buffer, std::size_t maxBytes);

// Runs one step of a procedure; a step that fails is skipped.
template <class Step>
void SkipStepOnError(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
    // Skipped on purpose: the procedure goes on with its next step.
  }
}

}  // namespace vlr
