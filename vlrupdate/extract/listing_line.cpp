#include "extract/listing_line.h"

#include <algorithm>
#include <string_view>

namespace vlr {

namespace {

// Writes `text` into the field of `width` columns starting at `column` (from 1):
// as many columns as the text has characters, at most the width; the rest of the
// field stays as it was.
void WriteField(std::wstring& line, std::size_t column, std::size_t width,
                std::wstring_view text) {
  std::size_t n = std::min(text.size(), width);
  line.replace(column - 1, n, text.substr(0, n));
}

std::wstring LastChars(const std::wstring& text, std::size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

// The value after a "0", last two characters: a zero-padded two-digit field.
std::wstring TwoDigits(int value) { return LastChars(L"0" + std::to_wstring(value), 2); }

}  // namespace

std::wstring ListingHeading() {
  std::wstring line(kListingLineWidth, L' ');
  WriteField(line, 1, 50, L"Filename:");
  WriteField(line, 53, 4, L"Size");
  WriteField(line, 62, 4, L"Date");
  WriteField(line, 71, 4, L"Time");
  return line;
}

std::wstring ListingLine(const std::wstring& name, std::int32_t size, std::int16_t month,
                         std::int16_t day, std::int16_t year, std::int16_t hour,
                         std::int16_t minute) {
  std::wstring line(kListingLineWidth, L' ');
  WriteField(line, 1, 50, name);
  WriteField(line, 51, 7, LastChars(std::wstring(8, L' ') + std::to_wstring(size), 7));
  WriteField(line, 60, 3, TwoDigits(month) + L"/");
  WriteField(line, 63, 3, TwoDigits(day) + L"/");
  WriteField(line, 66, 2, TwoDigits(year));
  // The hour is padded with a space (a minus sign when negative), not a zero.
  std::wstring hourText = (hour >= 0 ? L" " : L"") + std::to_wstring(hour);
  WriteField(line, 70, 3, LastChars(hourText, 2) + L":");
  WriteField(line, 73, 2, TwoDigits(minute));
  return line;
}

}  // namespace vlr
