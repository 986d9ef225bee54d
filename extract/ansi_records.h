// ANSI copies of the module's records in the extraction library's layouts, made for
// one call and copied back after it. Characters without a code in the system code
// page become "?", which no Windows file name holds: such a path makes the library
// fail to open it instead of naming some other file.
#pragma once

#include <array>
#include <string>

#include "extract/unzip_records.h"
#include "unzip32/unzip32.h"

namespace vlr {

// The option record with its two paths as zero-terminated ANSI strings owned by the
// copy. Copying back takes the fifteen fields from the record and the paths from
// the copy's own buffers (up to their first zero byte); a pointer the library may
// have replaced is never followed.
class AnsiOptions {
 public:
  explicit AnsiOptions(const UnzipOptionsData& options);
  AnsiOptions(const AnsiOptions&) = delete;
  AnsiOptions& operator=(const AnsiOptions&) = delete;

  UnzipOptionsRecord* Record() { return &record_; }
  void CopyBack(UnzipOptionsData& options) const;

 private:
  std::string zipFileName_;
  std::string extractFolder_;
  UnzipOptionsRecord record_{};
};

// A name list as 100 pointers, null for null entries, else to a zero-terminated ANSI
// copy owned by this object. Copying back refreshes the entries that went out as
// strings from their buffers; null entries stay null.
class AnsiNameList {
 public:
  explicit AnsiNameList(const UnzipNameList& list);
  AnsiNameList(const AnsiNameList&) = delete;
  AnsiNameList& operator=(const AnsiNameList&) = delete;

  char** Pointers() { return record_.Names; }
  void CopyBack(UnzipNameList& list) const;

 private:
  std::array<std::string, UNZIP_NAME_LIST_SIZE> names_;
  std::array<bool, UNZIP_NAME_LIST_SIZE> sent_{};  // went out as a string, not null
  UnzipNameListRecord record_{};
};

// The version record in the library's layout: each text cut or padded with zero
// bytes to its fixed length.
UnzipVersionRecord ToAnsiRecord(const UnzipVersionData& version);

// The library's version record back in the module's form; each text read in full
// (zero bytes included) and kept at its fixed length.
UnzipVersionData FromAnsiRecord(const UnzipVersionRecord& record);

}  // namespace vlr
