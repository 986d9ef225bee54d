#include "extract/unzip_records.h"

#include <cstddef>

namespace vlr {

std::array<std::int16_t, kUnzipSettingCount> UnzipSettings{};
std::wstring ZipFileName;
std::wstring ExtractFolder;
UnzipNameList IncludeNames;
UnzipNameList ExcludeNames;
std::int32_t IncludeCount = 0;
std::int32_t ExcludeCount = 0;
UnzipOptionsData UnzipOptions;
UnzipCallbacksRecord UnzipCallbacks{};
UnzipVersionData UnzipVersionInfo;

// The shipped library is 32-bit: there every byte of the records is fixed.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(UnzipOptionsRecord, PromptToOverwrite) == 8);
static_assert(offsetof(UnzipOptionsRecord, RestoreAcl) == 56);
static_assert(offsetof(UnzipOptionsRecord, ZipFileName) == 60);
static_assert(offsetof(UnzipCallbacksRecord, Sound) == 4);
static_assert(offsetof(UnzipCallbacksRecord, Replace) == 8);
static_assert(offsetof(UnzipCallbacksRecord, Password) == 12);
static_assert(offsetof(UnzipCallbacksRecord, Message) == 16);
static_assert(offsetof(UnzipCallbacksRecord, Service) == 20);
static_assert(offsetof(UnzipVersionRecord, Flags) == 4);
static_assert(offsetof(UnzipVersionRecord, BetaLevel) == 8);
static_assert(offsetof(UnzipVersionRecord, ZipInfoVersion) == 52);
static_assert(offsetof(UnzipVersionRecord, Os2DllVersion) == 56);
#endif
static_assert(kBetaLevelLength == 10 && kDateLength == 20 && kZlibVersionLength == 10);

}  // namespace vlr
