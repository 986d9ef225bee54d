// The procedures the extraction library calls from inside its extraction call, and
// the texts they collect. They run in skip-on-error mode: a step that fails is
// skipped, nothing is ever thrown back into the library, and each returns the
// result it has reached (print 0, service 0, overwrite question 100, password 1 by
// default). Library buffers are read only up to their first zero byte and within
// the bounds given below.
#pragma once

#include <cstdint>
#include <string>

#include "unzip32/unzip32.h"

namespace vlr {

// Everything the library printed during the current run. Emptied by UnzipArchive.
extern std::wstring PrintText;
// The listing of the current run: a heading line and one line per reported member,
// each 80 characters and CR LF. Replaced when a run reports its first member.
extern std::wstring ListingText;
// Member lines added in the current run. Set to 0 by UnzipArchive.
extern std::int32_t ListedCount;
// 1 once the user has declined to give a password; never reset.
extern std::int16_t PasswordDeclined;
// 1 in an unattended run: no box is ever shown; the overwrite question answers 102
// (overwrite, as the extraction options ask) and a password request is refused (1).
extern std::int16_t Unattended;

// The largest buffers the procedures read: member names and the password buffer
// have indexes 0 to 256, printed text and the overwrite file name 0 to 32,800.
inline constexpr std::size_t kSmallBufferSize = 257;
inline constexpr std::size_t kLargeBufferSize = 32801;
// Member names are read up to index 255.
inline constexpr std::size_t kNameReadLimit = 256;

// The results of the overwrite question.
inline constexpr std::int32_t kReplaceKeep = UNZIP_REPLACE_KEEP;         // 100
inline constexpr std::int32_t kReplaceYes = UNZIP_REPLACE_YES;           // 102
inline constexpr std::int32_t kReplaceKeepAll = UNZIP_REPLACE_KEEP_ALL;  // 104

extern "C" {

// Appends `length` bytes of `text` (up to a zero byte, at most 32,801) to PrintText;
// a piece starting with LF is appended as CR LF alone. Returns 0.
std::int32_t UZ_WINAPI OnUnzipPrint(char* text, std::int32_t length) noexcept;

// Adds the member's line to ListingText, after the heading when it is the run's
// first member. Only the size, the date and time fields and the name are read.
void UZ_WINAPI OnUnzipMessage(std::uint32_t uncompressedSize, std::uint32_t compressedSize,
                              std::uint32_t compressionFactor, std::uint32_t month,
                              std::uint32_t day, std::uint32_t year, std::uint32_t hour,
                              std::uint32_t minute, std::int32_t marker, char* memberName,
                              char* methodName, std::uint32_t crc,
                              std::int32_t encrypted) noexcept;

// Asks whether the existing file `fileName` may be overwritten: 102 for Yes, 104 for
// Cancel (keep this and every further file), 100 for No; 102 unasked when Unattended. A box that cannot be shown
// keeps the file either way: the Windows box reports that as Cancel (104), and a
// window system that fails with an error gives 100.
std::int32_t UZ_WINAPI OnUnzipReplace(char* fileName) noexcept;

// Asks for the archive's password; see the definition for what goes into `buffer`.
// Returns 0 with a password in the buffer, 1 without one (always 1, unasked, when
// Unattended).
std::int32_t UZ_WINAPI OnUnzipPassword(char* buffer, std::int32_t size, const char* prompt,
                                       const char* memberName) noexcept;

// Lets the extraction go on: always 0.
std::int32_t UZ_WINAPI OnUnzipService(const char* memberName, std::int32_t value) noexcept;

}  // extern "C"

}  // namespace vlr
