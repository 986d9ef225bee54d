// The two procedures that ask the user: the overwrite question and the password.
#include <algorithm>
#include <cstring>
#include <optional>

#include "extract/library_text.h"
#include "extract/unzip_callbacks.h"
#include "platform/services.h"
#include "skip_on_error.h"
#include "platform/text.h"
#include "platform/window_system.h"

namespace vlr {

namespace {

constexpr unsigned kOverwriteBoxStyle = platform::kMbYesNoCancel | platform::kMbIconExclamation;
static_assert(kOverwriteBoxStyle == 51);

// The answer's bytes for the library, or nullopt when they cannot stand for what the
// user typed: a character without a code in the system code page (it would go out
// as "?", a different password) or a zero character (it would end the password
// early).
std::optional<std::string> PasswordBytes(const std::wstring& answer) {
  std::string bytes = platform::ToAnsi(answer);
  if (bytes.find('\0') != std::string::npos) return std::nullopt;
  if (platform::FromAnsi(bytes) != answer) return std::nullopt;
  return bytes;
}

}  // namespace

extern "C" std::int32_t UZ_WINAPI OnUnzipReplace(char* fileName) noexcept {
  if (Unattended == 1) return kReplaceYes;
  std::int32_t result = kReplaceKeep;
  std::wstring name;
  SkipOnError([&] { name = ReadLibraryText(fileName, kNameReadLimit); });
  // A box that cannot be shown, or any answer but Yes and Cancel, keeps the file:
  // nothing is replaced without the user's consent.
  SkipOnError([&] {
    int answer = platform::Get<platform::WindowSystem>().ShowMessageBox(
        L"Overwrite " + name + L"?", L"VBUnZip32 - File Already Exists!", kOverwriteBoxStyle);
    if (answer == platform::kIdCancel) result = kReplaceKeepAll;
    if (answer == platform::kIdYes) result = kReplaceYes;
  });
  return result;
}

// The buffer receives the answer's bytes and a zero byte, and every other byte of
// its first `size` bytes is zeroed; nothing is written past `size` or past index
// 256. An answer that does not fit there, or that has no exact one-byte form in the
// system code page, is refused: the buffer is left untouched and the result is 1
// ("no password"), as a cut or altered password could only be a wrong one. Such an
// answer does not count as declining, so the next request asks again.
extern "C" std::int32_t UZ_WINAPI OnUnzipPassword(char* buffer, std::int32_t size,
                                                  const char* /*prompt*/,
                                                  const char* /*memberName*/) noexcept {
  std::int32_t result = 1;
  if (PasswordDeclined == 1 || Unattended == 1) return result;

  std::optional<std::wstring> answer;
  SkipOnError([&] {
    answer = platform::Get<platform::WindowSystem>().InputBox(L"Please Enter The Password!", L"",
                                                              L"");
  });
  // Cancelled, empty, or no box to be had: no password now or later in this program.
  if (!answer || answer->empty()) {
    PasswordDeclined = 1;
    return result;
  }

  SkipOnError([&] {
    if (buffer == nullptr || size <= 0) return;
    std::optional<std::string> bytes = PasswordBytes(*answer);
    if (!bytes) return;
    const std::size_t writable = std::min(static_cast<std::size_t>(size), kSmallBufferSize);
    if (bytes->size() + 1 > writable) return;
    std::memset(buffer, 0, writable);
    std::memcpy(buffer, bytes->data(), bytes->size());
    result = 0;
  });
  return result;
}

}  // namespace vlr
