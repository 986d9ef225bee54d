// The fixed-width lines of the extraction listing: 80 characters each.
#pragma once

#include <cstdint>
#include <string>

namespace vlr {

inline constexpr std::size_t kListingLineWidth = 80;

// "Filename:" over the name, "Size", "Date" and "Time" over their columns.
std::wstring ListingHeading();

// One member: the name's first 50 characters in columns 1-50, the size right-aligned
// in 51-57 (only its last 7 characters), the date as MM/DD/YY in 60-67 and the time
// as "HH:MM" in 70-74, the hour padded with a space. Values out of range keep the
// last characters of their decimal form.
std::wstring ListingLine(const std::wstring& name, std::int32_t size, std::int16_t month,
                         std::int16_t day, std::int16_t year, std::int16_t hour,
                         std::int16_t minute);

}  // namespace vlr
