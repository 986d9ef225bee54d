#include "platform/held_file.h"

#include "platform/text.h"

namespace platform {

std::unique_ptr<PlainFile> HoldFile(const std::wstring& path) {
  unsigned long ignored = 0;
  return OpenPlainFile(ToPath(path), PlainFile::Mode::kHold, ignored);
}

HeldFileBuffer::int_type HeldFileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  std::size_t got = 0;
  if (!file_.Read(buffer_, sizeof buffer_, got) || got == 0) return traits_type::eof();
  setg(buffer_, buffer_, buffer_ + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace platform
