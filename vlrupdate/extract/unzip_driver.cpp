#include "extract/unzip_driver.h"

#include "extract/ansi_records.h"
#include "extract/unzip_callbacks.h"
#include "extract/unzip_library.h"
#include "extract/unzip_records.h"

namespace vlr {

namespace {

template <class Procedure>
Procedure ThroughFnPtr(Procedure procedure) {
  return reinterpret_cast<Procedure>(FnPtr(reinterpret_cast<std::uintptr_t>(procedure)));
}

template <class Procedure>
Procedure Entry(const char* name) {
  return reinterpret_cast<Procedure>(UnzipLibraryEntry(name));
}

// A fixed-length text of `length` characters: spaces ending in one zero character.
std::wstring BlankText(size_t length) { return std::wstring(length - 1, L' ') + L'\0'; }

}  // namespace

static_assert(sizeof(UnzipVersionRecord) == 64, "the version record says its own length");

std::uintptr_t FnPtr(std::uintptr_t address) noexcept { return address; }

std::int32_t UnzipResult = -1;

bool UnzipArchive(const std::wstring& zipPath, const std::wstring& folder) noexcept {
  try {
    UnzipResult = -1;
    PrintText.clear();
    ListedCount = 0;

    UnzipSettings[kSettingPromptToOverwrite - 1] = 1;
    UnzipSettings[kSettingOverwriteAll - 1] = 1;
    UnzipSettings[kSettingDisplayComment - 1] = 0;
    UnzipSettings[kSettingVerboseListing - 1] = 0;
    UnzipSettings[kSettingRecreateFolders - 1] = 0;

    IncludeNames.Names[0].reset();
    IncludeCount = 0;
    ExcludeNames.Names[0].reset();
    ExcludeCount = 0;

    ZipFileName = zipPath;
    ExtractFolder = folder;

    UnzipResult = CallUnzipDll();
    return UnzipResult == 0;
  } catch (...) {
    // A missing library, a missing entry point or a call that cannot be made is a
    // failed extraction, not an error for the caller.
    return false;
  }
}

std::int32_t CallUnzipDll() {
  for (int i = 0; i < kUnzipSettingCount; ++i) UnzipOptions.Fields[i] = UnzipSettings[i];
  UnzipOptions.ZipFileName = ZipFileName;
  UnzipOptions.ExtractFolder = ExtractFolder;

  UnzipCallbacks.Print = ThroughFnPtr<UnzipPrintProc>(&OnUnzipPrint);
  UnzipCallbacks.Sound = nullptr;
  UnzipCallbacks.Replace = ThroughFnPtr<UnzipReplaceProc>(&OnUnzipReplace);
  UnzipCallbacks.Password = ThroughFnPtr<UnzipPasswordProc>(&OnUnzipPassword);
  UnzipCallbacks.Message = ThroughFnPtr<UnzipMessageProc>(&OnUnzipMessage);
  UnzipCallbacks.Service = ThroughFnPtr<UnzipServiceProc>(&OnUnzipService);

  // The flags and the four versions go out as the previous call left them.
  UnzipVersionInfo.StructLength = 64;
  UnzipVersionInfo.BetaLevel = BlankText(kBetaLevelLength);
  UnzipVersionInfo.Date = BlankText(kDateLength);
  UnzipVersionInfo.ZlibVersion = BlankText(kZlibVersionLength);

  // A missing library is met here, before anything is extracted.
  auto version = Entry<UzpVersion2Fn>("UzpVersion2");
  UnzipVersionRecord versionCopy = ToAnsiRecord(UnzipVersionInfo);
  version(&versionCopy);
  UnzipVersionInfo = FromAnsiRecord(versionCopy);

  AnsiOptions options(UnzipOptions);
  AnsiNameList exclude(ExcludeNames);
  AnsiNameList include(IncludeNames);
  auto unzip = Entry<WizSingleEntryUnzipFn>("Wiz_SingleEntryUnzip");
  std::int32_t result = unzip(IncludeCount, include.Pointers(), ExcludeCount,
                              exclude.Pointers(), options.Record(), &UnzipCallbacks);

  options.CopyBack(UnzipOptions);
  exclude.CopyBack(ExcludeNames);
  include.CopyBack(IncludeNames);
  return result;
}

}  // namespace vlr
