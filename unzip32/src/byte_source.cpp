#include "byte_source.h"

#include <cstring>

namespace uz32 {

Status UnexpectedEnd() {
  return Status::Fail(UNZIP_ERR_UNEXPECTED_EOF, "unexpected end of archive");
}

Status MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > size_ || out.size() > size_ - offset) return UnexpectedEnd();
  if (!out.empty()) std::memcpy(out.data(), data_ + offset, out.size());
  return Status::Ok();
}

}  // namespace uz32
