#include "extra_fields.h"

#include <algorithm>

#include "byte_order.h"

namespace uz32 {
namespace {

constexpr uint16_t kZip64Tag = 0x0001;
constexpr uint16_t kTimestampTag = 0x5455;
constexpr uint64_t kMarker32 = 0xFFFFFFFFu;
constexpr uint32_t kMarker16 = 0xFFFFu;

// The data of the first block with this tag, or nothing. Stops at a block that runs
// past the end (tools pad extra fields with junk often enough that it is not an error).
std::optional<std::span<const uint8_t>> FindBlock(std::span<const uint8_t> extra,
                                                  uint16_t tag) {
  size_t pos = 0;
  while (extra.size() - pos >= 4) {
    const uint16_t id = Le16(extra.data() + pos);
    const uint16_t len = Le16(extra.data() + pos + 2);
    pos += 4;
    if (len > extra.size() - pos) break;
    if (id == tag) return extra.subspan(pos, len);
    pos += len;
  }
  return std::nullopt;
}

}  // namespace

bool ApplyZip64Extra(std::span<const uint8_t> extra, uint64_t& uncompressed,
                     uint64_t& compressed, uint64_t* offset, uint32_t* disk) {
  uint64_t* const values[] = {&uncompressed, &compressed, offset};
  const auto marked = [](const uint64_t* v) { return v && *v == kMarker32; };
  const bool diskMarked = disk && *disk == kMarker16;
  if (!diskMarked && std::ranges::none_of(values, marked)) return true;
  const auto block = FindBlock(extra, kZip64Tag);
  if (!block) return false;
  size_t pos = 0;
  for (uint64_t* v : values) {
    if (!marked(v)) continue;
    if (block->size() - pos < 8) return false;
    *v = Le64(block->data() + pos);
    pos += 8;
  }
  if (diskMarked) {
    if (block->size() - pos < 4) return false;
    *disk = Le32(block->data() + pos);
  }
  return true;
}

std::optional<int64_t> ReadUnixMtime(std::span<const uint8_t> extra) {
  const auto block = FindBlock(extra, kTimestampTag);
  if (!block || block->size() < 5 || (((*block)[0] & 1) == 0)) return std::nullopt;
  return static_cast<int64_t>(static_cast<int32_t>(Le32(block->data() + 1)));
}

}  // namespace uz32
