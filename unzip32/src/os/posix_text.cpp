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

NativeString JoinPath(const NativeString& folder, const NativeString& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + '/' + name;
}

std::vector<NativeString> PathComponents(const NativeString& relative) {
  std::vector<NativeString> parts;
  size_t start = 0;
  for (;;) {
    const size_t cut = relative.find('/', start);
    if (cut != start && start < relative.size()) parts.push_back(relative.substr(start, cut - start));
    if (cut == NativeString::npos) return parts;
    start = cut + 1;
  }
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace uz32
