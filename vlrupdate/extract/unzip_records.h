// The extraction module's records: the settings, paths, name lists and the option,
// callback and version records that the extraction library reads. All of it is
// module state, zero at start-up, reused from one extraction to the next.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "unzip32/unzip32.h"

namespace vlr {

// Settings are numbered like the option record's fields, from 1.
inline constexpr int kUnzipSettingCount = 15;
inline constexpr int kSettingPromptToOverwrite = 3;
inline constexpr int kSettingVerboseListing = 7;
inline constexpr int kSettingDisplayComment = 9;
inline constexpr int kSettingRecreateFolders = 10;
inline constexpr int kSettingOverwriteAll = 11;

// One 16-bit setting per leading field of the option record: element 0 is field 1.
extern std::array<std::int16_t, kUnzipSettingCount> UnzipSettings;

// The archive to unpack and the folder to unpack it into.
extern std::wstring ZipFileName;
extern std::wstring ExtractFolder;

// A list of member names. An entry without a value is the null string, which the
// library receives as a null pointer; an empty string is a different thing.
struct UnzipNameList {
  std::array<std::optional<std::wstring>, UNZIP_NAME_LIST_SIZE> Names;
};
extern UnzipNameList IncludeNames;
extern UnzipNameList ExcludeNames;
extern std::int32_t IncludeCount;
extern std::int32_t ExcludeCount;

// The option record as the module keeps it: fifteen 32-bit fields and the two paths
// as Unicode; the library gets an ANSI copy in its own layout for each call.
struct UnzipOptionsData {
  std::array<std::int32_t, kUnzipSettingCount> Fields{};
  std::wstring ZipFileName;
  std::wstring ExtractFolder;
};
extern UnzipOptionsData UnzipOptions;

// The callback record, already in the library's layout: it is handed over in place.
extern UnzipCallbacksRecord UnzipCallbacks;

// The version record as the module keeps it: its three texts are fixed-length
// strings of 10, 20 and 10 characters; the library gets an ANSI copy.
inline constexpr size_t kBetaLevelLength = sizeof(UnzipVersionRecord::BetaLevel);
inline constexpr size_t kDateLength = sizeof(UnzipVersionRecord::Date);
inline constexpr size_t kZlibVersionLength = sizeof(UnzipVersionRecord::ZlibVersion);
struct UnzipVersionData {
  std::uint32_t StructLength = 0;
  std::uint32_t Flags = 0;
  std::wstring BetaLevel = std::wstring(kBetaLevelLength, L'\0');
  std::wstring Date = std::wstring(kDateLength, L'\0');
  std::wstring ZlibVersion = std::wstring(kZlibVersionLength, L'\0');
  UnzipVersionTriple UnzipVersion{};
  UnzipVersionTriple ZipInfoVersion{};
  UnzipVersionTriple Os2DllVersion{};
  UnzipVersionTriple WindowsDllVersion{};
};
extern UnzipVersionData UnzipVersionInfo;

}  // namespace vlr
