#include "download/progress_message.h"

namespace vlr {

std::wstring ProgressMessage(const std::wstring& remoteName, std::int32_t total) {
  // Integer rounding: thousands with a half rounding up, without the double
  // product's representation error at exact halves (2,500 bytes give 3 k).
  std::int64_t thousands = (static_cast<std::int64_t>(total) + 500) / 1000;
  if (total < 0) thousands = 0;
  return remoteName + L"\r\n" + std::to_wstring(thousands) + L" k";
}

}  // namespace vlr
