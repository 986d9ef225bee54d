// Member names as text: decoding the stored bytes (UTF-8 or code page 437) and
// writing Unicode text as UTF-8, the form of every message inside the library.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zip_records.h"

namespace uz32 {

// The stored name as Unicode: strict UTF-8 when utf8 is set (nothing when the bytes are
// not valid UTF-8), code page 437 otherwise.
std::optional<std::u32string> DecodeName(std::string_view raw, bool utf8);

// The member's decoded name, nothing when it cannot be decoded.
std::optional<std::u32string> DecodeEntryName(const ZipEntry& e);

// The member's name as shown and matched: decoded, or read as code page 437 (which maps
// every byte) when it is not valid UTF-8.
std::u32string LenientName(const ZipEntry& e);

std::string ToUtf8(std::u32string_view text);

// The member's name for messages: decoded where possible, control characters shown as
// '?', cut to 200 characters. Never fails.
std::string DisplayName(const ZipEntry& e);

}  // namespace uz32
