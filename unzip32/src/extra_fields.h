// The extra fields that matter here: zip64 sizes/offsets (0x0001) and the extended
// timestamp (0x5455). Every block is bounds-checked; a malformed list is reported.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace uz32 {

// Which values the fixed header left at their "see zip64 field" marker, in the order
// the zip64 block stores them.
struct Zip64Wanted {
  bool uncompressed = false;
  bool compressed = false;
  bool offset = false;
  bool disk = false;
};

struct Zip64Values {
  uint64_t uncompressed = 0;
  uint64_t compressed = 0;
  uint64_t offset = 0;
  uint32_t disk = 0;
};

// Fills the wanted values from the zip64 block. Returns false when a value is wanted
// but the block is missing or too short; out keeps the rest unchanged.
bool ReadZip64Extra(std::span<const uint8_t> extra, const Zip64Wanted& wanted,
                    Zip64Values& out);

// The modification time (UTC seconds) of an extended-timestamp block, if present.
std::optional<int64_t> ReadUnixMtime(std::span<const uint8_t> extra);

}  // namespace uz32
