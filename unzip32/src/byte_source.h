// Random access to the bytes of an archive: a file (platform layer) or memory (tests,
// fuzzing); and where decoded content goes.
#pragma once

#include <cstdint>
#include <span>

#include "status.h"

namespace uz32 {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly out.size() bytes at offset. A range past the end fails with
  // UNZIP_ERR_UNEXPECTED_EOF, a read error with UNZIP_ERR_FORMAT; out is then
  // not to be used.
  virtual Status ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

// Serves a caller-owned buffer, which must outlive it.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Takes content piece by piece (an extracted file, or nothing when an archive is tested).
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes the next piece of content; a failure ends the decoding with it.
  virtual Status Write(std::span<const uint8_t> data) = 0;
};

// The common failure for a read past the end.
Status UnexpectedEnd();

}  // namespace uz32
