// OnUnzipMessage: one listing line per member the library reports.
#include "extract/library_text.h"
#include "extract/listing_line.h"
#include "extract/unzip_callbacks.h"
#include "skip_on_error.h"

namespace vlr {

extern "C" void UZ_WINAPI OnUnzipMessage(std::uint32_t uncompressedSize,
                                         std::uint32_t /*compressedSize*/,
                                         std::uint32_t /*compressionFactor*/, std::uint32_t month,
                                         std::uint32_t day, std::uint32_t year, std::uint32_t hour,
                                         std::uint32_t minute, std::int32_t /*marker*/,
                                         char* memberName, char* /*methodName*/,
                                         std::uint32_t /*crc*/, std::int32_t /*encrypted*/) noexcept {
  // The date and time travel as 32-bit values holding 16-bit numbers.
  auto asShort = [](std::uint32_t v) { return static_cast<std::int16_t>(v & 0xFFFFu); };

  if (ListedCount == 0) {
    SkipOnError([&] { ListingText = ListingHeading() + L"\r\n"; });
  }
  std::wstring name;
  SkipOnError([&] { name = ReadLibraryText(memberName, kNameReadLimit); });
  std::wstring line(kListingLineWidth, L' ');
  SkipOnError([&] {
    line = ListingLine(name, static_cast<std::int32_t>(uncompressedSize), asShort(month),
                       asShort(day), asShort(year), asShort(hour), asShort(minute));
  });
  SkipOnError([&] { ListingText += line + L"\r\n"; });
  ++ListedCount;
}

}  // namespace vlr
