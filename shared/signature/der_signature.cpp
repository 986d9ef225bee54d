#include "signature/der_signature.h"

#include <cstddef>

namespace vlr {
namespace {

// A reader over the DER bytes that only ever moves forward and never past the end.
class DerReader {
 public:
  explicit DerReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool AtEnd() const { return at_ == bytes_.size(); }

  // The contents of the next element with tag `tag`, in short-form length only: every
  // element of a P-256 signature is shorter than 128 bytes.
  std::optional<std::span<const std::uint8_t>> Element(std::uint8_t tag) {
    if (bytes_.size() - at_ < 2 || bytes_[at_] != tag) return std::nullopt;
    std::size_t length = bytes_[at_ + 1];
    if (length >= 0x80 || bytes_.size() - at_ - 2 < length) return std::nullopt;
    std::span<const std::uint8_t> contents = bytes_.subspan(at_ + 2, length);
    at_ += 2 + length;
    return contents;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;

// Writes a positive, minimally encoded INTEGER of at most 32 bytes right-aligned into
// `out`; false for any other integer.
bool PutInteger(std::span<const std::uint8_t> value, std::span<std::uint8_t, 32> out) {
  if (value.empty() || (value[0] & 0x80) != 0) return false;        // empty or negative
  if (value.size() > 1 && value[0] == 0 && (value[1] & 0x80) == 0) return false;  // padded
  if (value[0] == 0) value = value.subspan(1);                        // the sign byte
  if (value.empty() || value.size() > out.size()) return false;      // zero, or too wide
  std::size_t pad = out.size() - value.size();
  for (std::size_t i = 0; i < pad; ++i) out[i] = 0;
  for (std::size_t i = 0; i < value.size(); ++i) out[pad + i] = value[i];
  return true;
}

}  // namespace

std::optional<RawP256Signature> DerToRawP256(std::span<const std::uint8_t> der) {
  DerReader outer(der);
  std::optional<std::span<const std::uint8_t>> sequence = outer.Element(kSequence);
  if (!sequence || !outer.AtEnd()) return std::nullopt;
  DerReader inner(*sequence);
  std::optional<std::span<const std::uint8_t>> r = inner.Element(kInteger);
  std::optional<std::span<const std::uint8_t>> s = r ? inner.Element(kInteger) : std::nullopt;
  if (!s || !inner.AtEnd()) return std::nullopt;
  RawP256Signature raw{};
  std::span<std::uint8_t, 64> all(raw);
  if (!PutInteger(*r, all.first<32>()) || !PutInteger(*s, all.last<32>())) return std::nullopt;
  return raw;
}

}  // namespace vlr
