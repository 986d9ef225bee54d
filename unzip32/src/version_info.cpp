#include "version_info.h"

#include <zlib.h>

#include <cstring>

namespace uz32 {
namespace {

constexpr uint32_t kFlagZlibInflate = 1u << 1;
constexpr char kReleaseDate[] = "2025-01-15";

// Copies text into a fixed field, zero-filled, always zero-terminated.
template <size_t N>
void SetText(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::strncpy(field, text, N - 1);
}

}  // namespace

void FillVersionRecord(UnzipVersionRecord* record) {
  if (!record || record->StructLength < sizeof(UnzipVersionRecord)) return;
  record->Flags = kFlagZlibInflate;
  SetText(record->BetaLevel, "");
  SetText(record->Date, kReleaseDate);
  SetText(record->ZlibVersion, zlibVersion());
  record->UnzipVersion = kLibraryVersion;
  record->ZipInfoVersion = UnzipVersionTriple{0, 0, 0, 0};
  record->Os2DllVersion = UnzipVersionTriple{0, 0, 0, 0};
  record->WindowsDllVersion = kLibraryVersion;
}

}  // namespace uz32
