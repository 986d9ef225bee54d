// The one owner of a file descriptor.
#pragma once

#include <unistd.h>

#include "platform/unique_handle.h"

namespace platform {

struct FdIsNone {
  static constexpr int Value() { return -1; }
};
using UniqueFd = UniqueHandle<int, CloseWith<::close>, FdIsNone>;

}  // namespace platform
