// Which file a member may become: only the last component of its stored name, and only
// when Windows would store that component as an ordinary file in the target folder.
#pragma once

#include <string>
#include <string_view>

namespace uz32 {

// The library's own temporary and renamed-aside files start with this; members may not.
inline constexpr std::u32string_view kReservedPrefix = U".~uz32-";
inline constexpr std::string_view kReservedPrefixAscii = ".~uz32-";

// What follows the last '/' or '\' of name (all of name when it has none).
std::u32string_view LastComponent(std::u32string_view name);

// Empty when component can be written as a file of that name in the folder; otherwise
// a short reason ("contains ':'", ...) for the refusal message.
std::string RefusalReason(std::u32string_view component);

}  // namespace uz32
