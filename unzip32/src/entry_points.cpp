// The exported functions. No C++ exception leaves them: memory exhaustion becomes
// UNZIP_ERR_MEMORY, anything unforeseen UNZIP_ERR_SEVERE.
#include <new>

#include "extraction_run.h"
#include "folder_recovery.h"
#include "os/platform_text.h"
#include "reporter.h"
#include "run_options.h"
#include "unzip32.h"
#include "version_info.h"

extern "C" {

UZ_EXPORT void UZ_WINAPI UzpVersion2(UnzipVersionRecord* record) {
  try {
    uz32::FillVersionRecord(record);
  } catch (...) {
  }
}

UZ_EXPORT int32_t UZ_WINAPI Wiz_SingleEntryUnzip(int32_t includeCount, char** includeNames,
                                                 int32_t excludeCount, char** excludeNames,
                                                 UnzipOptionsRecord* options,
                                                 UnzipCallbacksRecord* callbacks) {
  try {
    uz32::RunOptions run;
    const uz32::Status read = uz32::ReadOptions(includeCount, includeNames, excludeCount,
                                                  excludeNames, options, run);
    // The complaint about bad options honours a quiet level that is itself valid.
    const bool quietValid = options && options->Quiet >= 0 && options->Quiet <= 2;
    uz32::Reporter reporter(callbacks, read.ok() ? run.quiet : quietValid ? options->Quiet : 0);
    if (!read.ok()) {
      reporter.Error(read.message());
      return read.code();
    }
    const auto fs = uz32::MakeNativeFileSystem();
    return uz32::RunUnzip(run, reporter, *fs);
  } catch (const std::bad_alloc&) {
    return UNZIP_ERR_MEMORY;
  } catch (...) {
    return UNZIP_ERR_SEVERE;
  }
}

UZ_EXPORT int32_t UZ_WINAPI UzpRecoverFolder(const char* folder) {
  try {
    if (!folder || !*folder) return UNZIP_ERR_BAD_OPTIONS;
    const uz32::NativeString path = uz32::NativeFromAnsi(folder);
    const auto fs = uz32::MakeNativeFileSystem();
    if (!fs->IsFolder(path)) return UNZIP_ERR_DISK_FULL;
    std::unique_ptr<platform::LockFile> lock;
    if (const uz32::Status s = uz32::LockFolder(*fs, path, lock); !s.ok()) return s.code();
    return uz32::RecoverFolder(*fs, path).code();
  } catch (const std::bad_alloc&) {
    return UNZIP_ERR_MEMORY;
  } catch (...) {
    return UNZIP_ERR_SEVERE;
  }
}

}  // extern "C"
