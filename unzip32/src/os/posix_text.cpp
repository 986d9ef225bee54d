// Linux: paths and texts are bytes, UTF-8 by convention.
#include <unistd.h>

#include "name_text.h"
#include "os/platform_text.h"

namespace uz32 {

NativeString NativeFromAnsi(const char* ansi) { return ansi ? std::string(ansi) : std::string(); }

NativeString NativeFromUnicode(std::u32string_view text) { return ToUtf8(text); }

NativeString NativeFromAscii(std::string_view ascii) { return std::string(ascii); }

std::string AnsiFromUtf8(std::string_view utf8) { return std::string(utf8); }

std::string Utf8FromNative(const NativeString& path) { return path; }

NativeString FileNameKey(const NativeString& name) {
  std::string key = name;
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return key;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace uz32
