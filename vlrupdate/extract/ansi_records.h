// ANSI copies of the module's records in the extraction library's layouts, made for
// one call and copied back after it. Texts are converted without best fit:
// characters without a code in the system code page become "?" and never a
// look-alike. The two paths must name their own file and folder exactly: they go out
// in their exact ANSI form or, failing that, as their short 8.3 form.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "extract/unzip_records.h"
#include "unzip32/unzip32.h"

namespace vlr {

// A path of the option record has no ANSI form that names it (no exact form and no
// short form): the library must not be called with a look-alike.
class UnrepresentablePath : public std::runtime_error {
 public:
  UnrepresentablePath() : std::runtime_error("path has no exact ANSI form") {}
};

// The option record with its two paths as zero-terminated ANSI strings owned by the
// copy; the constructor throws UnrepresentablePath when a path has none. Copying
// back takes the fifteen fields from the record and the paths from the copy's own
// buffers (up to their first zero byte); a pointer the library may have replaced is
// never followed.
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
