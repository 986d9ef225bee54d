#include "extract/unzip_callbacks.h"

#include "extract/library_text.h"
#include "skip_on_error.h"

namespace vlr {

std::wstring PrintText;
std::wstring ListingText;
std::int32_t ListedCount = 0;
std::int16_t PasswordDeclined = 0;
std::int16_t Unattended = 0;

extern "C" std::int32_t UZ_WINAPI OnUnzipPrint(char* text, std::int32_t length) noexcept {
  std::wstring piece;
  SkipOnError([&] {
    if (length <= 0) return;
    std::size_t limit = static_cast<std::size_t>(length);
    piece = ReadLibraryText(text, limit < kLargeBufferSize ? limit : kLargeBufferSize);
  });
  // The library starts a new line with a piece that begins with LF: it becomes one
  // line break, and the rest of that piece is dropped.
  if (!piece.empty() && piece[0] == L'\n') SkipOnError([&] { piece = L"\r\n"; });
  SkipOnError([&] { PrintText += piece; });
  return 0;
}

extern "C" std::int32_t UZ_WINAPI OnUnzipService(const char* /*memberName*/,
                                                 std::int32_t /*value*/) noexcept {
  return 0;
}

}  // namespace vlr
