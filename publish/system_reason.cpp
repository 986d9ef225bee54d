#include "publish/system_reason.h"

#include <system_error>

namespace vlrpub {

std::string SystemReason(int error) {
  if (error == 0) return {};
  return ": " + std::generic_category().message(error);
}

}  // namespace vlrpub
