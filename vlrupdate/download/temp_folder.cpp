#include "download/temp_folder.h"

#include <cstdint>
#include <string_view>

#include "platform/services.h"
#include "platform/system.h"
#include "platform/text.h"

namespace vlr {

std::wstring GetTempFolder() {
  constexpr std::uint32_t kBufferLength = 512;
  try {
    char buffer[kBufferLength] = {};
    std::uint32_t n = platform::Get<platform::System>().GetTempPathA(kBufferLength, buffer);
    // 0 is a failure. A count above the buffer length is the length the path would
    // need: the buffer then holds no path, and we give the empty text as for a
    // failure (the callers then use bare file names in the current folder).
    if (n == 0 || n > kBufferLength) return {};
    return platform::FromAnsi(std::string_view(buffer, n));
  } catch (...) {
    return {};
  }
}

}  // namespace vlr
