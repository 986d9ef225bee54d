#include "signature/public_key_pem.h"

#include <cstddef>

#include "platform/signature.h"

namespace vlr {
namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Standard base64 with its padding; line breaks and blanks are skipped. nullopt for
// any other character, a bad length or data after the padding.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int count = 0, padding = 0;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    int v = Base64Value(c);
    if (v < 0 || padding > 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count % 4 == 0) {
      out.push_back(static_cast<std::uint8_t>(bits >> 16));
      out.push_back(static_cast<std::uint8_t>(bits >> 8));
      out.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
    }
  }
  const int rest = count % 4;
  if (rest == 1 || (rest == 0 && padding != 0) || (rest != 0 && rest + padding != 4)) {
    return std::nullopt;
  }
  if (rest == 2) out.push_back(static_cast<std::uint8_t>(bits >> 4));
  if (rest == 3) {
    out.push_back(static_cast<std::uint8_t>(bits >> 10));
    out.push_back(static_cast<std::uint8_t>(bits >> 2));
  }
  return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> P256PointFromPem(std::string_view pem) {
  constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
  constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
  const std::size_t begin = pem.find(kBegin);
  if (begin == std::string_view::npos) return std::nullopt;
  const std::size_t body = begin + kBegin.size();
  const std::size_t end = pem.find(kEnd, body);
  if (end == std::string_view::npos) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> der = DecodeBase64(pem.substr(body, end - body));
  if (!der || der->size() != platform::kP256SpkiHeader.size() + 65) return std::nullopt;
  for (std::size_t i = 0; i < platform::kP256SpkiHeader.size(); ++i) {
    if ((*der)[i] != platform::kP256SpkiHeader[i]) return std::nullopt;
  }
  std::vector<std::uint8_t> point(der->begin() + platform::kP256SpkiHeader.size(), der->end());
  if (point[0] != 0x04) return std::nullopt;
  return point;
}

}  // namespace vlr
