#include "extract/ansi_records.h"

#include <cstring>
#include <optional>
#include <utility>
#include <string_view>

#include "platform/text.h"

namespace vlr {

namespace {

// The option record's fields 1 to 15, in order.
using Field = std::int32_t UnzipOptionsRecord::*;
constexpr Field kFields[kUnzipSettingCount] = {
    &UnzipOptionsRecord::ExtractOnlyNewer, &UnzipOptionsRecord::SpaceToUnderscore,
    &UnzipOptionsRecord::PromptToOverwrite, &UnzipOptionsRecord::Quiet,
    &UnzipOptionsRecord::WriteStdout,      &UnzipOptionsRecord::TestArchive,
    &UnzipOptionsRecord::VerboseListing,   &UnzipOptionsRecord::FreshenOnly,
    &UnzipOptionsRecord::DisplayComment,   &UnzipOptionsRecord::RecreateFolders,
    &UnzipOptionsRecord::OverwriteAll,     &UnzipOptionsRecord::TranslateLineEnds,
    &UnzipOptionsRecord::ZipInfoListing,   &UnzipOptionsRecord::IgnoreCase,
    &UnzipOptionsRecord::RestoreAcl};

// The text in `buffer` up to its first zero byte, never past its end.
std::wstring FromBuffer(const std::string& buffer) {
  return platform::FromAnsi(std::string_view(buffer.c_str(), std::strlen(buffer.c_str())));
}

void PutFixed(char* field, size_t length, const std::wstring& text) {
  std::string ansi = platform::ToAnsi(text);
  std::memset(field, 0, length);
  std::memcpy(field, ansi.data(), ansi.size() < length ? ansi.size() : length);
}

std::wstring GetFixed(const char* field, size_t length) {
  std::wstring text = platform::FromAnsi(std::string_view(field, length));
  text.resize(length, L'\0');
  return text;
}

// The ANSI form of a path for the library; throws when there is none that names it.
std::string LibraryPath(const std::wstring& path) {
  std::optional<std::string> ansi = platform::ToAnsiPath(path);
  if (!ansi) throw UnrepresentablePath();
  return std::move(*ansi);
}

}  // namespace

AnsiOptions::AnsiOptions(const UnzipOptionsData& options)
    : zipFileName_(LibraryPath(options.ZipFileName)),
      extractFolder_(LibraryPath(options.ExtractFolder)) {
  for (int i = 0; i < kUnzipSettingCount; ++i) record_.*kFields[i] = options.Fields[i];
  record_.ZipFileName = zipFileName_.data();
  record_.ExtractFolder = extractFolder_.data();
}

void AnsiOptions::CopyBack(UnzipOptionsData& options) const {
  for (int i = 0; i < kUnzipSettingCount; ++i) options.Fields[i] = record_.*kFields[i];
  options.ZipFileName = FromBuffer(zipFileName_);
  options.ExtractFolder = FromBuffer(extractFolder_);
}

AnsiNameList::AnsiNameList(const UnzipNameList& list) {
  for (size_t i = 0; i < list.Names.size(); ++i) {
    if (!list.Names[i]) continue;
    names_[i] = platform::ToAnsi(*list.Names[i]);
    record_.Names[i] = names_[i].data();
    sent_[i] = true;
  }
}

void AnsiNameList::CopyBack(UnzipNameList& list) const {
  for (size_t i = 0; i < list.Names.size(); ++i) {
    if (sent_[i]) list.Names[i] = FromBuffer(names_[i]);
  }
}

UnzipVersionRecord ToAnsiRecord(const UnzipVersionData& version) {
  UnzipVersionRecord record{};
  record.StructLength = version.StructLength;
  record.Flags = version.Flags;
  PutFixed(record.BetaLevel, kBetaLevelLength, version.BetaLevel);
  PutFixed(record.Date, kDateLength, version.Date);
  PutFixed(record.ZlibVersion, kZlibVersionLength, version.ZlibVersion);
  record.UnzipVersion = version.UnzipVersion;
  record.ZipInfoVersion = version.ZipInfoVersion;
  record.Os2DllVersion = version.Os2DllVersion;
  record.WindowsDllVersion = version.WindowsDllVersion;
  return record;
}

UnzipVersionData FromAnsiRecord(const UnzipVersionRecord& record) {
  UnzipVersionData version;
  version.StructLength = record.StructLength;
  version.Flags = record.Flags;
  version.BetaLevel = GetFixed(record.BetaLevel, kBetaLevelLength);
  version.Date = GetFixed(record.Date, kDateLength);
  version.ZlibVersion = GetFixed(record.ZlibVersion, kZlibVersionLength);
  version.UnzipVersion = record.UnzipVersion;
  version.ZipInfoVersion = record.ZipInfoVersion;
  version.Os2DllVersion = record.Os2DllVersion;
  version.WindowsDllVersion = record.WindowsDllVersion;
  return version;
}

}  // namespace vlr
