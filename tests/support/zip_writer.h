// A small writer of stored (uncompressed) zip archives, for tests that need a package
// without running another tool.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vlrtest {

inline std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// members: (name, content) pairs; every member stored, dated 3 January 2004, 9:05.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& members) {
  auto u16 = [](std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::string& s, std::uint32_t v) {
    u16(s, v & 0xFFFF);
    u16(s, v >> 16);
  };
  const std::uint32_t dosTime = (9u << 11) | (5u << 5);
  const std::uint32_t dosDate = ((2004u - 1980u) << 9) | (1u << 5) | 3u;
  std::string out, central;
  for (const auto& [name, data] : members) {
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    std::uint32_t crc = Crc32(data);
    u32(out, 0x04034b50);
    u16(out, 10);
    u16(out, 0);
    u16(out, 0);
    u16(out, dosTime);
    u16(out, dosDate);
    u32(out, crc);
    u32(out, static_cast<std::uint32_t>(data.size()));
    u32(out, static_cast<std::uint32_t>(data.size()));
    u16(out, static_cast<std::uint32_t>(name.size()));
    u16(out, 0);
    out += name;
    out += data;
    u32(central, 0x02014b50);
    u16(central, 20);
    u16(central, 10);
    u16(central, 0);
    u16(central, 0);
    u16(central, dosTime);
    u16(central, dosDate);
    u32(central, crc);
    u32(central, static_cast<std::uint32_t>(data.size()));
    u32(central, static_cast<std::uint32_t>(data.size()));
    u16(central, static_cast<std::uint32_t>(name.size()));
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u32(central, 0);
    u32(central, offset);
    central += name;
  }
  std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  u32(out, 0x06054b50);
  u16(out, 0);
  u16(out, 0);
  u16(out, static_cast<std::uint32_t>(members.size()));
  u16(out, static_cast<std::uint32_t>(members.size()));
  u32(out, static_cast<std::uint32_t>(central.size()));
  u32(out, centralOffset);
  u16(out, 0);
  return out;
}

}  // namespace vlrtest
