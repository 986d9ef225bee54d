#include <system_error>

#include "platform/system_error_text.h"

namespace platform {

std::string SystemErrorText(unsigned long code) {
  std::string text = std::generic_category().message(static_cast<int>(code));
  return text.empty() ? "system error " + std::to_string(code) : text;
}

}  // namespace platform
