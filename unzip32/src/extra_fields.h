// The extra fields that matter here: zip64 sizes/offsets (0x0001) and the extended
// timestamp (0x5455). Every block is bounds-checked; a malformed list is reported.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace uz32 {

// Replaces each value a fixed header gives that holds its "see the zip64 field" marker
// (0xFFFFFFFF; 0xFFFF for the disk) by the one the zip64 block stores for it (it stores
// only those, in this order; offset and disk may be left out). False when one is marked
// but the block is missing or too short; the values are then not to be used.
bool ApplyZip64Extra(std::span<const uint8_t> extra, uint64_t& uncompressed,
                     uint64_t& compressed, uint64_t* offset = nullptr, uint32_t* disk = nullptr);

// The modification time (UTC seconds) of an extended-timestamp block, if present.
std::optional<int64_t> ReadUnixMtime(std::span<const uint8_t> extra);

}  // namespace uz32
